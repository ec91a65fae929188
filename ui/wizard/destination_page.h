#pragma once

#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sorvina::ui {

// Page 2: copy the chosen files into a folder, or write a playlist, and where, each
// choice with its own options beneath it (only the chosen one's are enabled). The choice
// shown is derived from `destination` every time the page appears; Next stores the
// choice, the typed destination and the options.
class DestinationPage : public WizardPage {
  Q_OBJECT

 public:
  explicit DestinationPage(engine::SelectionSettings& settings, QWidget* parent = nullptr);

  void OnEntered() override;
  bool validatePage() override;

 private:
  void ChooseDestination();
  // Shows the label and enables the options that go with copying or with a playlist.
  void ShowChoice(bool copy);

  QRadioButton* createPlaylist_;
  QRadioButton* copyToFolder_;
  QLabel* label_;
  QLineEdit* destinationField_;
  QCheckBox* keepFolders_;
  QCheckBox* replacePrevious_;
  QCheckBox* devicePlaylist_;
  QLineEdit* devicePlaylistName_;
  QCheckBox* relative_;
};

// A destination names a playlist when it is longer than ".m3u" and ends in it, in any
// letter case.
bool DestinationIsPlaylist(const QString& destination);

}  // namespace sorvina::ui
