// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/player/player_profile.h"
#include "engine/settings/settings_file.h"
#include "engine/settings/settings_text.h"
#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sorvina::ui {

// Page 4: how much to select (megabytes, hours or all) in a frame with filling and the
// songs to avoid, "Save Settings" beside it, the donation button with its invitation, and
// the line that says what Finish did. Finish runs the selection and keeps the wizard open.
// Typing into an amount field checks its button; the other field keeps what it holds.
// "Free space" fills the megabyte field with the destination's free space, whose figure
// stands beside it. For a copy, the songs the player cannot play (or every song) can be
// converted, at a bitrate or the format's own quality, and every song brought to one
// loudness. Options that do not apply (to a playlist, to "Select all") are disabled.
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
  // The word the megabyte field shows for the free space, in the reader's language; the
  // settings keep "free", which is taken as typed too.
  static QString FreeSpaceWord();
  static QString ShownMegabytes(const std::string& stored);
  static std::string StoredMegabytes(const QString& typed);
  // The formats to convert to that the player chosen plays (all without a player), with
  // `convert` chosen (a choice the list does not offer, such as every song to MP3 from the
  // command line, as an entry of its own). Gives back the choice shown: the first format
  // listed (or none) where `convert` is one the player cannot play.
  std::string ListConversions(const std::string& convert);
  // The profile of the player the copy is made for; nothing for a playlist, or where no
  // profile can be had.
  std::optional<engine::PlayerProfile> PlayerChosen() const;
  // Filling, avoiding, converting and loudness, as their controls say.
  void StoreOptions(engine::ExtraOptions& options) const;
  // A control changed: the options count at once, whichever way the page is left.
  void OptionChanged();
  // Enables what applies to the destination's kind, to the limit chosen and to the boxes
  // checked, and names what the count of fills to avoid counts.
  void ShowWhatApplies();
  void ShowFreeSpace();
  // "every song to Opus", for a format's name in the list.
  static QString EverySongTo(const char* format);
  // "free: 1.93 GB".
  static QString FreeSpaceFigure(std::int64_t bytes);

  QRadioButton* megabyteButton_;
  QLineEdit* megabyteField_;
  QWidget* freeSpaceButton_;
  QLabel* freeSpaceFigure_;
  // The destination reports no free space (a phone may not): "Free space" is not offered.
  bool freeSpaceUnknown_ = false;
  QRadioButton* hoursButton_;
  QLineEdit* hoursField_;
  QRadioButton* allButton_;
  QCheckBox* keepFilling_;
  QCheckBox* avoidLast_;
  QLineEdit* avoidLastCount_;
  QLabel* avoidLastUnit_;
  QCheckBox* convert_;
  QComboBox* convertTo_;
  QLineEdit* bitrate_;
  QLabel* bitrateUnit_;
  QCheckBox* loudness_;
  QLineEdit* loudnessTarget_;
  QLabel* loudnessUnit_;
  QLabel* summary_;
  // The player chosen on page 2, as the page was last shown.
  std::optional<engine::PlayerProfile> player_;
  bool running_ = false;
  // ShowSettings is filling the controls: what they show is the settings already.
  bool showing_ = false;
};

}  // namespace sorvina::ui
