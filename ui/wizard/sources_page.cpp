// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/sources_page.h"

#include <algorithm>
#include <optional>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "media/file_types.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/path_drop_target.h"
#include "ui/shell/path_text.h"
#include "ui/shell/sorted_list_box.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::ui {
namespace {

// The types' check boxes stand in two rows of this many.
constexpr int kTypesPerRow = 4;

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
    : WizardPage(tr("Sorvina step 1"), tr("Select source folders and/or playlists"), settings,
                 parent) {
  // Made in the order Tab visits them.
  auto* loadSettings = Named("loadSettings", new QPushButton(tr("Load Settings"), this));
  loadSettings->setToolTip(tr("Loads the settings from a file"));
  sourceList_ = Named("sourceList", new SortedListBox(this));
  auto* addFolder = Named("addFolder", new QPushButton(tr("Add Folder"), this));
  auto* addPlaylist = Named("addPlaylist", new QPushButton(tr("Add Playlist"), this));
  auto* remove = Named("removeSource", new QPushButton(tr("Remove"), this));
  auto* types = new QGridLayout;
  types->addWidget(new QLabel(tr("File types:"), this), 0, 0);
  int column = 0;
  for (const media::FileType& type : media::AllFileTypes()) {
    const QString name =
        QString::fromLatin1(type.name.data(), static_cast<qsizetype>(type.name.size()));
    auto* box = new QCheckBox(name, this);
    box->setObjectName(QStringLiteral("fileType-") + name);
    connect(box, &QCheckBox::toggled, this, [this, box](bool checked) {
      if (!checked) KeepOneTypeChosen(box);
    });
    types->addWidget(box, column / kTypesPerRow, 1 + column % kTypesPerRow);
    fileTypeBoxes_.push_back(box);
    ++column;
  }

  auto* top = new QHBoxLayout;
  top->addWidget(loadSettings, 0, Qt::AlignTop);
  top->addStretch();
  top->addLayout(types);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(addFolder);
  buttons->addWidget(addPlaylist);
  buttons->addSpacing(fontMetrics().height());
  buttons->addWidget(remove);
  buttons->addStretch();
  auto* page = new QVBoxLayout(this);
  page->addLayout(top);
  page->addWidget(sourceList_, 1);
  page->addLayout(buttons);

  connect(addFolder, &QPushButton::clicked, this, &SourcesPage::AddFolder);
  connect(addPlaylist, &QPushButton::clicked, this, &SourcesPage::AddPlaylist);
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelectedEntry(*sourceList_); });
  connect(loadSettings, &QPushButton::clicked, this, [this] {
    LoadSettings(this, *sourceList_, settings_);
    ShowSettings();
  });
  ShowSettings();
  auto* drops = new PathDropTarget(sourceList_->viewport(), IsFolderOrPlaylist);
  connect(drops, &PathDropTarget::dropped, this, &SourcesPage::AddDroppedPaths);
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

void SourcesPage::ShowSettings() {
  // The list is the page's own: it keeps what the user put there until settings are
  // loaded into it. Type names this version does not know are passed over, as the run
  // passes them over.
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
  if (const std::optional<QString> folder = ChooseFolder(this, lastFolderAdded_))
    AddFolderEntry(*folder);
}

void SourcesPage::AddFolderEntry(const QString& folder) {
  lastFolderAdded_ = folder;
  sourceList_->SelectRow(sourceList_->InsertSorted(folder));
}

void SourcesPage::AddPlaylist() {
  const std::optional<QString> playlist = ChooseFileToOpen(
      this, FilterWithAllFiles(tr("Playlist Files (*.m3u)"), QStringLiteral("*.m3u")),
      QStringLiteral("m3u"), {});
  if (playlist) sourceList_->SelectRow(sourceList_->InsertSorted(*playlist));
}

void SourcesPage::AddDroppedPaths(const QStringList& paths) {
  for (const QString& path : paths) {
    if (IsFolderPath(path)) {
      AddFolderEntry(FolderEntryText(path));
    } else {
      sourceList_->SelectRow(sourceList_->InsertSorted(path));
    }
  }
}

}  // namespace sorvina::ui
