// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWizard>

#include "engine/settings/settings_file.h"
#include "engine/settings/settings_text.h"

namespace sorvina::ui {

class SourcesPage;
class DestinationPage;
class WeightsPage;
class AmountPage;
class WizardPage;

// What the wizard holds at one moment: the settings as leaving the current page would
// store them, and what its fields hold beyond them.
struct WizardState {
  engine::SettingsText settings;
  engine::EnteredState entered;
};

// The wizard: the four pages in order (sources, destination, folder weights, how much to
// select) with Back, Next, Finish, Cancel and Help. The title bar shows the current
// page's caption and the header its title. Finish runs the selection and leaves the wizard
// open; only Cancel or the close box end it. The window can be made larger, and the pages'
// lists grow with it.
class SelectionWizard : public QWizard {
  Q_OBJECT

 public:
  explicit SelectionWizard(engine::SettingsText& settings, QWidget* owner = nullptr);

  SourcesPage& sourcesPage() const { return *sourcesPage_; }

  WizardState CurrentState() const;
  // Puts a state kept from an earlier session in place, as loading a settings file does,
  // with the fields' texts and the copy or playlist choice it keeps; the pages show it as
  // they are entered. Call while the first page is the current one.
  void RestoreState(engine::SettingsFileContents contents);

 signals:
  // Finish has run the selection.
  void selectionRun();

 private:
  void OnCurrentPageChanged(int id);
  void FitCurrentPage();
  WizardPage* CurrentWizardPage() const;

  engine::SettingsText& settings_;
  SourcesPage* sourcesPage_;
  DestinationPage* destinationPage_;
  WeightsPage* weightsPage_;
  AmountPage* amountPage_;
};

}  // namespace sorvina::ui
