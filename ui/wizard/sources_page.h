#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "ui/wizard/wizard_page.h"

class QCheckBox;

namespace sorvina::ui {

class SortedListBox;

// Page 1: the source folders and playlists, kept sorted in a list and copied into
// `sources` on Next; the types of music file to choose, one check box each, stored on
// Next too; also "Load Settings". Folders and playlists dropped on the list are added as
// if chosen with "Add Folder" and "Add Playlist".
class SourcesPage : public WizardPage {
  Q_OBJECT

 public:
  explicit SourcesPage(engine::SettingsText& settings, QWidget* parent = nullptr);

  void OnEntered() override;
  bool validatePage() override;
  void StoreInto(engine::SettingsText& settings) const override;

  SortedListBox& sourceList() const { return *sourceList_; }
  // Checks the boxes of the types the settings choose.
  void ShowFileTypes();

 private:
  void AddFolder();
  void AddPlaylist();
  void AddDroppedPaths(const QStringList& paths);
  void RemoveSource();
  // At least one type stays chosen: unchecking the last checked box checks it again.
  void KeepOneTypeChosen(QCheckBox* unchecked);

  SortedListBox* sourceList_;
  std::vector<QCheckBox*> fileTypeBoxes_;  // in the order of the types' list
};

// "Remove" on a sorted list: deletes the selected entry and selects the one before it, or
// the new first entry when the first was removed. Nothing selected: nothing happens.
void RemoveSelectedEntry(SortedListBox& list);

}  // namespace sorvina::ui
