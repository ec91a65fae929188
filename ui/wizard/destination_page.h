// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "engine/player/player_lookup.h"
#include "ui/shell/removable_volumes.h"
#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace sorvina::ui {

class DropDownList;

// Page 2: copy the chosen files into a folder, or write a playlist, each choice with its
// own options beneath it (only the chosen one's are enabled); "Set" and the label that
// says what it sets, the destination field, and the players plugged in. Choosing a player
// plugged in makes its music folder the destination; the list shows the player that holds
// the destination. A copy is made for a player profile, chosen in a list of its own, with
// a line beneath that says what the choice means at the destination shown. The choice
// shown is derived from `destination` every time the page appears, and from the choice
// last made when there is no destination yet. Each choice keeps its own destination text
// while the user switches between them. Next refuses a copy for a profile that cannot be
// read, saying why; otherwise it stores the choice, the typed destination and the options.
class DestinationPage : public WizardPage {
  Q_OBJECT

 public:
  explicit DestinationPage(engine::SettingsText& settings, QWidget* parent = nullptr);

  void ShowSettings() override;
  bool validatePage() override;
  void StoreInto(engine::SettingsText& settings) const override;

  // The choice shown while the destination is empty: made on Next, or kept from an
  // earlier session; nothing until then (a copy is shown).
  std::optional<bool> copyWhenEmpty() const { return copyWhenEmpty_; }
  void SetCopyWhenEmpty(std::optional<bool> copy) { copyWhenEmpty_ = copy; }

 private:
  void ChooseDestination();
  // Shows `copy`'s destination text, label and options, keeping the other choice's text.
  void SwitchChoice(bool copy);
  // Shows the label and enables the options that go with copying or with a playlist.
  void ShowChoice(bool copy);
  // Reads the players plugged in now into the list.
  void ListPlayers();
  void ChoosePlayer(int index);
  // Shows in the list the player that holds `destination`, or none.
  void ShowPlayerOf(const QString& destination);
  void SetDestination(const QString& destination);
  // Lists the player profiles offered, with `choice` chosen: shown as an entry of its own
  // when it is none of them (a profile file's path, a profile's name). "any" is the
  // same as no name.
  void ListProfiles(const QString& choice);
  void ChooseProfile(int index);
  // How the list names the built-in profile `name`.
  static QString BuiltInProfileLabel(const std::string& name);
  // The profile chosen, as found for the destination shown, or why it cannot be had.
  engine::FoundPlayer FindChosenProfile() const;
  // Which player the profile chosen stands for at the destination shown, or why there is
  // none; shown beneath the list.
  QString ProfileFoundText() const;
  void ShowProfileFound();
  // Shows the play order box as the user set it, or checked while replacing.
  void ShowPlayOrder();

  QRadioButton* copyToFolder_;
  QCheckBox* keepFolders_;
  QCheckBox* replacePrevious_;
  QCheckBox* replaceHeard_;
  QCheckBox* devicePlaylist_;
  QLineEdit* devicePlaylistName_;
  QCheckBox* books_;
  QLineEdit* booksFolder_;
  QPushButton* chooseBooks_;
  QDoubleSpinBox* booksAhead_;
  double loadedBooksAhead_ = 0;               // what the box showed when the settings were loaded
  std::vector<std::string> moreBookFolders_;  // those a settings file names beyond the first
  QLabel* profileLabel_;
  DropDownList* profiles_;
  QLabel* profileFound_;
  QCheckBox* numberFiles_;
  QCheckBox* playOrder_;
  QRadioButton* createPlaylist_;
  QCheckBox* relative_;
  QLabel* label_;
  QLineEdit* destinationField_;
  DropDownList* players_;
  std::vector<RemovableVolume> volumes_;  // as listed in `players_`
  bool showingCopy_ = true;
  QString folderText_;    // the field's text for a copy
  QString playlistText_;  // and for a playlist
  std::optional<bool> copyWhenEmpty_;
  QString profileChoice_;      // the profile chosen, as the settings name it
  bool orderChosen_ = false;   // the play order box as the user set it, whatever replacing shows
  QTimer* profileFoundTimer_;  // the destination typed is looked at once typing pauses
};

// A destination names a playlist when it is longer than ".m3u" and ends in it, in any
// letter case.
bool DestinationIsPlaylist(const QString& destination);

}  // namespace sorvina::ui
