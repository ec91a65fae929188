#pragma once

#include "engine/settings/settings_text.h"
#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace sorvina::ui {

class LinkButton;

// Page 4: how much to select (megabytes, hours or all), "Save Settings", the donation
// button, and Finish, which runs the selection and keeps the wizard open. Typing into an
// amount field checks its button; the other field keeps what it holds.
class AmountPage : public WizardPage {
  Q_OBJECT

 public:
  explicit AmountPage(engine::SettingsText& settings, QWidget* parent = nullptr);

  void OnEntered() override;
  // Finish: runs the selection; always false, so the wizard stays open.
  bool validatePage() override;
  // Back: stores the limit choice.
  void cleanupPage() override;
  void StoreInto(engine::SettingsText& settings) const override;

  // Stores the choice into `limitMode` and `amountText`.
  void StoreLimitChoice();

  // What the two amount fields hold, and filling them (as a session before left them).
  QString megabytesText() const;
  QString hoursText() const;
  void SetAmountTexts(const QString& megabytes, const QString& hours);

 signals:
  // Finish has run the selection.
  void selectionRun();

 private:
  void RestoreLimitChoice();
  // The fills to avoid as the check box and its count say: none when unchecked.
  void StoreAvoidLast();

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
