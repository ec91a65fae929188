// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "ui/shell/removable_volumes.h"
#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sorvina::ui {

class DropDownList;

// Page 2: copy the chosen files into a folder, or write a playlist, each choice with its
// own options beneath it (only the chosen one's are enabled); "Set" and the label that
// says what it sets, the destination field, and the players plugged in. Choosing a player
// makes its music folder the destination; the list shows the player that holds the
// destination. The choice shown is derived from `destination` every time the page appears,
// and from the choice last made when there is no destination yet. Each choice keeps its
// own destination text while the user switches between them. Next stores the choice, the
// typed destination and the options.
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

  QRadioButton* copyToFolder_;
  QCheckBox* keepFolders_;
  QCheckBox* replacePrevious_;
  QCheckBox* devicePlaylist_;
  QLineEdit* devicePlaylistName_;
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
};

// A destination names a playlist when it is longer than ".m3u" and ends in it, in any
// letter case.
bool DestinationIsPlaylist(const QString& destination);

}  // namespace sorvina::ui
