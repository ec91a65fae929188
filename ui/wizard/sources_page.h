// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "ui/wizard/wizard_page.h"

class QCheckBox;

namespace sorvina::ui {

class SortedListBox;

// Page 1: "Load Settings" and the types of music file to choose above the list of source
// folders and playlists, "Add Folder", "Add Playlist" and "Remove" below it. The list is
// kept sorted and copied into `sources` on Next, with the types checked. Folders and
// playlists dropped on the list are added as if chosen with "Add Folder" and "Add
// Playlist"; the folder picker starts at the folder added last.
class SourcesPage : public WizardPage {
  Q_OBJECT

 public:
  explicit SourcesPage(engine::SettingsText& settings, QWidget* parent = nullptr);

  // Checks the boxes of the types the settings choose.
  void ShowSettings() override;
  bool validatePage() override;
  void StoreInto(engine::SettingsText& settings) const override;

  SortedListBox& sourceList() const { return *sourceList_; }

 private:
  void AddFolder();
  void AddPlaylist();
  void AddDroppedPaths(const QStringList& paths);
  // Adds `folder` (ending in a separator) and selects it; the picker starts there next.
  void AddFolderEntry(const QString& folder);
  // At least one type stays chosen: unchecking the last checked box checks it again.
  void KeepOneTypeChosen(QCheckBox* unchecked);

  SortedListBox* sourceList_;
  std::vector<QCheckBox*> fileTypeBoxes_;  // in the order of the types' list
  QString lastFolderAdded_;
};

// "Remove" on a sorted list: deletes the selected entry and selects the one before it, or
// the new first entry when the first was removed. Nothing selected: nothing happens.
void RemoveSelectedEntry(SortedListBox& list);

}  // namespace sorvina::ui
