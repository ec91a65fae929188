#pragma once

#include "engine/limit_choice.h"
#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace sorvina::ui {

class LinkButton;

// Page 4: how much to select (megabytes, hours or all), "Save Settings", the donation
// button, and Finish, which runs the selection and keeps the wizard open.
class AmountPage : public WizardPage {
  Q_OBJECT

 public:
  // `startFolder` is where the settings folder lies (the sources page fixes it).
  AmountPage(engine::SelectionSettings& settings, const QString& startFolder,
             QWidget* parent = nullptr);

  void OnEntered() override;
  // Finish: runs the selection; always false, so the wizard stays open.
  bool validatePage() override;
  // Back: stores the limit choice.
  void cleanupPage() override;

  // The three buttons and two fields as they stand.
  engine::LimitChoice CurrentLimitChoice() const;
  // Stores the choice into `limitMode` and `amountText`.
  void StoreLimitChoice();

 private:
  void RestoreLimitChoice();
  // The fills to avoid as the check box and its count say: none when unchecked.
  void StoreAvoidLast();

  const QString& startFolder_;
  QLineEdit* hoursField_;
  QLineEdit* megabyteField_;
  QRadioButton* hoursButton_;
  QRadioButton* megabyteButton_;
  QRadioButton* allButton_;
  LinkButton* donationButton_;
  QPushButton* freeSpaceButton_;
  QCheckBox* keepFilling_;
  QCheckBox* avoidLast_;
  QLineEdit* avoidLastCount_;
  QLabel* summary_;
  bool running_ = false;
};

}  // namespace sorvina::ui
