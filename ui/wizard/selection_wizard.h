#pragma once

#include <QWizard>

#include "engine/selection_settings.h"

namespace sorvina::ui {

class SourcesPage;
class DestinationPage;
class WeightsPage;
class AmountPage;
class WizardPage;

// The wizard: the four pages in order (sources, destination, folder weights, how much to
// select) with Back, Next, Finish, Cancel and Help. The title bar shows the current page's
// caption and the header its title. Finish runs the selection and leaves the wizard open;
// only Cancel or the close box end it.
class SelectionWizard : public QWizard {
  Q_OBJECT

 public:
  explicit SelectionWizard(engine::SelectionSettings& settings, QWidget* owner = nullptr);

  SourcesPage& sourcesPage() const { return *sourcesPage_; }
  DestinationPage& destinationPage() const { return *destinationPage_; }
  WeightsPage& weightsPage() const { return *weightsPage_; }
  AmountPage& amountPage() const { return *amountPage_; }

 private:
  void OnCurrentPageChanged(int id);
  WizardPage* CurrentWizardPage() const;

  SourcesPage* sourcesPage_;
  DestinationPage* destinationPage_;
  WeightsPage* weightsPage_;
  AmountPage* amountPage_;
};

}  // namespace sorvina::ui
