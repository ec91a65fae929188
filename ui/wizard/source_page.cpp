#include "ui/wizard/source_page.h"

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
  const int selected = list.CurSel();
  if (selected < 0) return;
  list.DeleteString(selected);
  if (list.count() > 0) {
    list.SetCurSel(selected > 0 ? selected - 1 : 0);
  } else {
    list.SetCurSel(-1);
  }
}

CMyPropertyPage1::CMyPropertyPage1(engine::SelectionSettings& settings, QWidget* parent)
    : WizardPage(kIddSourcePage, kIdsPage1Caption, kIdsPage1Header, settings, parent),
      sourceList_(Control<SortedListBox>(kIdcSourceList)),
      startFolder_(CurrentFolderForSettings()) {
  NameControl(kIdcSourceList, "sourceList");
  NameControl(kIdcAddFolder, "addFolder");
  NameControl(kIdcAddPlaylist, "addPlaylist");
  NameControl(kIdcRemoveSource, "removeSource");
  NameControl(kIdcLoadSettings, "loadSettings");
  connect(Control<QPushButton>(kIdcAddFolder), &QPushButton::clicked, this,
          &CMyPropertyPage1::OnAddFolder);
  connect(Control<QPushButton>(kIdcAddPlaylist), &QPushButton::clicked, this,
          &CMyPropertyPage1::OnAddPlaylist);
  connect(Control<QPushButton>(kIdcRemoveSource), &QPushButton::clicked, this,
          &CMyPropertyPage1::OnRemove);
  connect(Control<QPushButton>(kIdcLoadSettings), &QPushButton::clicked, this,
          [this] { LoadSettings(this, startFolder_, *sourceList_, settings_); });
}

void CMyPropertyPage1::OnActivate() {
  SetWizardButtons(kWizardNext);
}

bool CMyPropertyPage1::validatePage() {
  settings_.sources.clear();
  for (const QString& source : sourceList_->Texts())
    settings_.sources.push_back(ToEngineText(source));
  return true;
}

void CMyPropertyPage1::OnAddFolder() {
  if (const std::optional<QString> folder = ChooseFolder(this))
    sourceList_->SetCurSel(sourceList_->AddString(*folder));
}

void CMyPropertyPage1::OnAddPlaylist() {
  const std::optional<QString> playlist =
      ChooseFileToOpen(this, QString::fromLatin1(kPlaylistFilter), QStringLiteral("m3u"), {});
  if (playlist) sourceList_->SetCurSel(sourceList_->AddString(*playlist));
}

void CMyPropertyPage1::OnRemove() {
  RemoveSelectedEntry(*sourceList_);
}

}  // namespace sorvina::ui
