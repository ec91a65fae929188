// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/settings/settings_file.h"
#include "engine/settings/settings_text.h"
#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sorvina::ui {

// Page 4: how much to select (megabytes, hours or all) in a frame with filling and the
// songs to avoid, "Save Settings" beside it, the donation button with its invitation, and
// the line that says what Finish did. Finish runs the selection and keeps the wizard open.
// Typing into an amount field checks its button; the other field keeps what it holds.
// "Free space" fills the megabyte field with the destination's free space, whose figure
// stands beside it; options that do not apply (to a playlist, to "Select all") are
// disabled.
class AmountPage : public WizardPage {
  Q_OBJECT

 public:
  explicit AmountPage(engine::SettingsText& settings, QWidget* parent = nullptr);

  void ShowSettings() override;
  // Finish: runs the selection; always false, so the wizard stays open.
  bool validatePage() override;
  // Finish is offered unless a selection is running.
  bool isComplete() const override;
  // Back: stores the limit choice.
  void cleanupPage() override;
  void StoreInto(engine::SettingsText& settings) const override;

  // What the two amount fields hold, and filling them (as a session before left them).
  void StoreEntered(engine::EnteredState& entered) const;
  void ShowEntered(const engine::EnteredState& entered);

 signals:
  // Finish has run the selection.
  void selectionRun();

 private:
  void ShowLimitChoice();
  // Filling and avoiding, as their boxes say.
  void StoreOptions(engine::ExtraOptions& options) const;
  // Enables what applies to the destination's kind and to the limit chosen, and names what
  // the count of fills to avoid counts.
  void ShowWhatApplies();
  void ShowFreeSpace();

  QRadioButton* megabyteButton_;
  QLineEdit* megabyteField_;
  QWidget* freeSpaceButton_;
  QLabel* freeSpaceFigure_;
  QRadioButton* hoursButton_;
  QLineEdit* hoursField_;
  QRadioButton* allButton_;
  QCheckBox* keepFilling_;
  QCheckBox* avoidLast_;
  QLineEdit* avoidLastCount_;
  QLabel* avoidLastUnit_;
  QLabel* summary_;
  bool running_ = false;
};

}  // namespace sorvina::ui
