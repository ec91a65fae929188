#include "ui/wizard/selection_wizard.h"

#include "resources/resource_ids.h"
#include "resources/string_table.h"
#include "ui/shell/path_text.h"
#include "ui/wizard/amount_page.h"
#include "ui/wizard/destination_page.h"
#include "ui/wizard/settings_dialogs.h"
#include "ui/wizard/sources_page.h"
#include "ui/wizard/weights_page.h"

namespace sorvina::ui {

SelectionWizard::SelectionWizard(engine::SettingsText& settings, QWidget* owner)
    : QWizard(owner),
      settings_(settings),
      sourcesPage_(new SourcesPage(settings)),
      destinationPage_(new DestinationPage(settings)),
      weightsPage_(new WeightsPage(settings)),
      amountPage_(new AmountPage(settings)) {
  setObjectName(QStringLiteral("wizard"));
  setWindowTitle(resources::LoadResourceString(resources::kIdsSheetCaption));
  setWizardStyle(QWizard::ModernStyle);
  setOption(QWizard::HaveHelpButton);
  // The header band shows each page's title; it appears only with a subtitle, so every
  // page has an empty one.
  const std::initializer_list<WizardPage*> pages = {sourcesPage_, destinationPage_, weightsPage_,
                                                    amountPage_};
  // Every page as large as the largest, so the window keeps its size from page to page.
  QSize largest;
  for (WizardPage* page : pages)
    largest = largest.expandedTo(page->minimumSize());
  for (WizardPage* page : pages) {
    page->setMinimumSize(largest);
    page->setSubTitle(QStringLiteral(" "));
    addPage(page);
  }
  connect(this, &QWizard::currentIdChanged, this, &SelectionWizard::OnCurrentPageChanged);
  connect(this, &QWizard::helpRequested, this, [this] {
    if (WizardPage* page = CurrentWizardPage()) page->OnHelp();
  });
  connect(amountPage_, &AmountPage::selectionRun, this, &SelectionWizard::selectionRun);
}

WizardPage* SelectionWizard::CurrentWizardPage() const {
  return qobject_cast<WizardPage*>(currentPage());
}

void SelectionWizard::OnCurrentPageChanged(int /*id*/) {
  WizardPage* page = CurrentWizardPage();
  if (!page) return;
  setWindowTitle(page->caption());
  page->OnEntered();
}

WizardState SelectionWizard::CurrentState() const {
  WizardState state{settings_, {}};
  if (const WizardPage* page = CurrentWizardPage()) page->StoreInto(state.settings);
  // An empty destination keeps its choice apart, since no ending tells it.
  state.entered.copyToFolder =
      currentPage() == destinationPage_ && state.settings.destination.empty()
          ? std::optional<bool>(state.settings.copyToFolder)
          : destinationPage_->copyWhenEmpty();
  state.entered.megabytesText = ToEngineText(amountPage_->megabytesText());
  state.entered.hoursText = ToEngineText(amountPage_->hoursText());
  return state;
}

void SelectionWizard::RestoreState(engine::SettingsFileContents contents) {
  const engine::EnteredState entered = contents.entered;
  ApplySettingsFile(std::move(contents), sourcesPage_->sourceList(), settings_);
  sourcesPage_->ShowFileTypes();
  destinationPage_->SetCopyWhenEmpty(entered.copyToFolder);
  amountPage_->SetAmountTexts(FromEngineText(entered.megabytesText.value_or("")),
                              FromEngineText(entered.hoursText.value_or("")));
}

}  // namespace sorvina::ui
