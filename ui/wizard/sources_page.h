#pragma once

#include <vector>

#include <QString>

#include "ui/wizard/wizard_page.h"

class QCheckBox;

namespace sorvina::ui {

class SortedListBox;

// Page 1: the source folders and playlists, kept sorted in a list and copied into
// `sources` on Next; the types of music file to choose, one check box each, stored on
// Next too; also "Load Settings". Fixes `startFolder` when it is made.
class SourcesPage : public WizardPage {
  Q_OBJECT

 public:
  explicit SourcesPage(engine::SelectionSettings& settings, QWidget* parent = nullptr);

  void OnEntered() override;
  bool validatePage() override;

  // The folder that was current when the page was made; settings files live in its
  // "Settings" folder.
  const QString& startFolder() const { return startFolder_; }
  SortedListBox& sourceList() const { return *sourceList_; }

 private:
  void AddFolder();
  void AddPlaylist();
  void RemoveSource();
  // Checks the boxes of the types the settings choose.
  void ShowFileTypes();
  // At least one type stays chosen: unchecking the last checked box checks it again.
  void KeepOneTypeChosen(QCheckBox* unchecked);

  SortedListBox* sourceList_;
  std::vector<QCheckBox*> fileTypeBoxes_;  // in the order of the types' list
  QString startFolder_;
};

// "Remove" on a sorted list: deletes the selected entry and selects the one before it, or
// the new first entry when the first was removed. Nothing selected: nothing happens.
void RemoveSelectedEntry(SortedListBox& list);

}  // namespace sorvina::ui
