#pragma once

#include <optional>

#include "ui/wizard/wizard_page.h"

namespace sorvina::ui {

class SortedListBox;

// Page 3: folder weights as entries "2.50 /music/rock/", sorted as text. The list is
// rebuilt from `folderWeights` every time the page appears and stored back when the user
// leaves it either way.
class WeightsPage : public WizardPage {
  Q_OBJECT

 public:
  explicit WeightsPage(engine::SelectionSettings& settings, QWidget* parent = nullptr);

  void OnEntered() override;
  bool validatePage() override;
  void cleanupPage() override;

 private:
  void AddWeight();
  void RemoveWeight();
  void ChangeWeight();
  std::optional<double> AskWeight();
  void StoreWeights();

  SortedListBox* weightList_;
};

}  // namespace sorvina::ui
