// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "ui/wizard/wizard_page.h"

namespace sorvina::ui {

class HowToChooseBox;
class LeaveOutBox;
class SortedListBox;

// Page 3: folder weights as entries "2.50 /music/rock/", sorted as text, with "Add",
// "Remove" and "Change Weight" below. The list is rebuilt from `weightEntries` every time
// the page appears and stored back when the user leaves it either way. "Add" starts the
// folder picker at the first source; a folder dropped on the list is added as with "Add",
// its weight asked for. Below them, "How to choose" holds the draw's options on artists,
// albums and stars, shown and stored with the weights; Next refuses star weights that are
// not valid.
class WeightsPage : public WizardPage {
  Q_OBJECT

 public:
  explicit WeightsPage(engine::SettingsText& settings, QWidget* parent = nullptr);

  void ShowSettings() override;
  bool validatePage() override;
  void cleanupPage() override;
  void StoreInto(engine::SettingsText& settings) const override;

 private:
  void AddWeight();
  void ChangeWeight();
  void AddDroppedFolders(const QStringList& folders);
  // Asks the weight of `folder`, the field starting with `current`; nothing on Cancel.
  std::optional<double> AskWeight(const QString& folder, const QString& current = {});
  // Adds the entry of `folder` (ending in a separator) with the weight asked for.
  void AddFolderWeight(const QString& folder);

  SortedListBox* weightList_;
  HowToChooseBox* howToChoose_;
  LeaveOutBox* leaveOut_;
};

}  // namespace sorvina::ui
