#include "ui/wizard/sources_page.h"

#include <algorithm>
#include <optional>

#include <QCheckBox>
#include <QPushButton>
#include <QSignalBlocker>

#include "media/file_types.h"
#include "resources/resource_ids.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/path_drop_target.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::ui {
namespace {

using namespace resources;

bool IsFolderOrPlaylist(const QString& path) {
  return IsFolderPath(path) || IsPlaylistPath(path);
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

SourcesPage::SourcesPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(kIddSourcePage, kIdsPage1Caption, kIdsPage1Header, settings, parent),
      sourceList_(Control<SortedListBox>(kIdcSourceList)) {
  NameControl(kIdcSourceList, "sourceList");
  NameControl(kIdcAddFolder, "addFolder");
  NameControl(kIdcAddPlaylist, "addPlaylist");
  NameControl(kIdcRemoveSource, "removeSource");
  NameControl(kIdcLoadSettings, "loadSettings");
  Control<QPushButton>(kIdcLoadSettings)->setToolTip(tr("Loads the settings from a file"));
  connect(Control<QPushButton>(kIdcAddFolder), &QPushButton::clicked, this,
          &SourcesPage::AddFolder);
  connect(Control<QPushButton>(kIdcAddPlaylist), &QPushButton::clicked, this,
          &SourcesPage::AddPlaylist);
  connect(Control<QPushButton>(kIdcRemoveSource), &QPushButton::clicked, this,
          &SourcesPage::RemoveSource);
  connect(Control<QPushButton>(kIdcLoadSettings), &QPushButton::clicked, this, [this] {
    LoadSettings(this, *sourceList_, settings_);
    ShowFileTypes();
  });
  static_assert(kFileTypeCount > 0);
  Q_ASSERT(media::AllFileTypes().size() == static_cast<std::size_t>(kFileTypeCount));
  for (int i = 0; i < kFileTypeCount; ++i) {
    auto* box = Control<QCheckBox>(kIdcFirstFileType + i);
    box->setObjectName(QStringLiteral("fileType-") + box->text());
    connect(box, &QCheckBox::toggled, this, [this, box](bool checked) {
      if (!checked) KeepOneTypeChosen(box);
    });
    fileTypeBoxes_.push_back(box);
  }
  ShowFileTypes();
  auto* drops = new PathDropTarget(sourceList_->viewport(), IsFolderOrPlaylist);
  connect(drops, &PathDropTarget::dropped, this, &SourcesPage::AddDroppedPaths);
}

void SourcesPage::OnEntered() {
  SetWizardButtons(kWizardNext);
}

bool SourcesPage::validatePage() {
  StoreInto(settings_);
  return true;
}

void SourcesPage::StoreInto(engine::SettingsText& settings) const {
  settings.sources.clear();
  for (const QString& source : sourceList_->Texts())
    settings.sources.push_back(ToEngineText(source));
  settings.options.fileTypes.clear();
  for (std::size_t i = 0; i < fileTypeBoxes_.size(); ++i) {
    if (fileTypeBoxes_[i]->isChecked())
      settings.options.fileTypes.emplace_back(media::AllFileTypes()[i].name);
  }
}

void SourcesPage::ShowFileTypes() {
  // Names this version does not know are passed over, as the run passes them over.
  const media::FileTypeChoice chosen(settings_.options.fileTypes);
  for (std::size_t i = 0; i < fileTypeBoxes_.size(); ++i) {
    const QSignalBlocker quiet(fileTypeBoxes_[i]);
    fileTypeBoxes_[i]->setChecked(chosen.Contains(media::AllFileTypes()[i]));
  }
}

void SourcesPage::KeepOneTypeChosen(QCheckBox* unchecked) {
  const bool anyChecked = std::any_of(fileTypeBoxes_.begin(), fileTypeBoxes_.end(),
                                      [](const QCheckBox* box) { return box->isChecked(); });
  if (anyChecked) return;
  const QSignalBlocker quiet(unchecked);
  unchecked->setChecked(true);
}

void SourcesPage::AddFolder() {
  if (const std::optional<QString> folder = ChooseFolder(this))
    sourceList_->SelectRow(sourceList_->InsertSorted(*folder));
}

void SourcesPage::AddPlaylist() {
  const std::optional<QString> playlist = ChooseFileToOpen(
      this, FilterWithAllFiles(tr("Playlist Files (*.m3u)"), QStringLiteral("*.m3u")),
      QStringLiteral("m3u"), {});
  if (playlist) sourceList_->SelectRow(sourceList_->InsertSorted(*playlist));
}

void SourcesPage::AddDroppedPaths(const QStringList& paths) {
  for (const QString& path : paths) {
    const QString entry = IsFolderPath(path) ? FolderEntryText(path) : path;
    sourceList_->SelectRow(sourceList_->InsertSorted(entry));
  }
}

void SourcesPage::RemoveSource() {
  RemoveSelectedEntry(*sourceList_);
}

}  // namespace sorvina::ui
