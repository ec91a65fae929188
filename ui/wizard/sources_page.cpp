#include "ui/wizard/sources_page.h"

#include <optional>

#include <QDir>
#include <QPushButton>

#include "resources/resource_ids.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::ui {
namespace {

using namespace resources;

constexpr char kPlaylistFilter[] = "Playlist Files (*.m3u)|*.m3u|All Files (*.*)|*.*||";

// The current folder without a trailing separator ("/" becomes "", so that the settings
// folder is "/Settings").
QString CurrentFolderForSettings() {
  QString folder = QDir::currentPath();
  if (folder.endsWith(QLatin1Char('\\'))) folder.chop(1);
  if (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

}  // namespace

void RemoveSelectedEntry(SortedListBox& list) {
  const int selected = list.SelectedRow();
  if (selected < 0) return;
  list.RemoveRow(selected);
  if (list.count() > 0) {
    list.SelectRow(selected > 0 ? selected - 1 : 0);
  } else {
    list.SelectRow(-1);
  }
}

SourcesPage::SourcesPage(engine::SelectionSettings& settings, QWidget* parent)
    : WizardPage(kIddSourcePage, kIdsPage1Caption, kIdsPage1Header, settings, parent),
      sourceList_(Control<SortedListBox>(kIdcSourceList)),
      startFolder_(CurrentFolderForSettings()) {
  NameControl(kIdcSourceList, "sourceList");
  NameControl(kIdcAddFolder, "addFolder");
  NameControl(kIdcAddPlaylist, "addPlaylist");
  NameControl(kIdcRemoveSource, "removeSource");
  NameControl(kIdcLoadSettings, "loadSettings");
  connect(Control<QPushButton>(kIdcAddFolder), &QPushButton::clicked, this,
          &SourcesPage::AddFolder);
  connect(Control<QPushButton>(kIdcAddPlaylist), &QPushButton::clicked, this,
          &SourcesPage::AddPlaylist);
  connect(Control<QPushButton>(kIdcRemoveSource), &QPushButton::clicked, this,
          &SourcesPage::RemoveSource);
  connect(Control<QPushButton>(kIdcLoadSettings), &QPushButton::clicked, this,
          [this] { LoadSettings(this, startFolder_, *sourceList_, settings_); });
}

void SourcesPage::OnEntered() {
  SetWizardButtons(kWizardNext);
}

bool SourcesPage::validatePage() {
  settings_.sources.clear();
  for (const QString& source : sourceList_->Texts())
    settings_.sources.push_back(ToEngineText(source));
  return true;
}

void SourcesPage::AddFolder() {
  if (const std::optional<QString> folder = ChooseFolder(this))
    sourceList_->SelectRow(sourceList_->InsertSorted(*folder));
}

void SourcesPage::AddPlaylist() {
  const std::optional<QString> playlist =
      ChooseFileToOpen(this, QString::fromLatin1(kPlaylistFilter), QStringLiteral("m3u"), {});
  if (playlist) sourceList_->SelectRow(sourceList_->InsertSorted(*playlist));
}

void SourcesPage::RemoveSource() {
  RemoveSelectedEntry(*sourceList_);
}

}  // namespace sorvina::ui
