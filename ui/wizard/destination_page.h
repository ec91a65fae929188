#pragma once

#include "ui/wizard/wizard_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace sorvina::ui {

// Page 2: copy the chosen files into a folder, or write a playlist, and where. The
// choice shown is derived from `destination` every time the page appears; Next stores
// the choice and the typed destination.
class DestinationPage : public WizardPage {
  Q_OBJECT

 public:
  explicit DestinationPage(engine::SelectionSettings& settings, QWidget* parent = nullptr);

  void OnEntered() override;
  bool validatePage() override;

 private:
  void ChooseDestination();

  QRadioButton* createPlaylist_;
  QRadioButton* copyToFolder_;
  QLabel* label_;
  QLineEdit* destinationField_;
  QCheckBox* keepFolders_;
};

// A destination names a playlist when it is longer than ".m3u" and ends in it, in any
// letter case.
bool DestinationIsPlaylist(const QString& destination);

}  // namespace sorvina::ui
