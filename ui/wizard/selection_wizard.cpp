// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/selection_wizard.h"

#include <initializer_list>

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
  setWindowTitle(sourcesPage_->caption());
  setWizardStyle(QWizard::ModernStyle);
  setOption(QWizard::HaveHelpButton);
  addPage(sourcesPage_);
  addPage(destinationPage_);
  addPage(weightsPage_);
  addPage(amountPage_);
  // The window is as large as the largest page needs in the language shown, from the first
  // page on, so that it does not change size from page to page. Texts shown later that need
  // more room still make it grow (WizardPage::GrowWizardToFit).
  QSize largest;
  for (QWizardPage* page : std::initializer_list<QWizardPage*>{sourcesPage_, destinationPage_,
                                                               weightsPage_, amountPage_})
    largest = largest.expandedTo(page->sizeHint());
  for (QWizardPage* page : std::initializer_list<QWizardPage*>{sourcesPage_, destinationPage_,
                                                               weightsPage_, amountPage_})
    page->setMinimumSize(largest);
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
  page->ShowSettings();
  // The texts just shown may need more room than the page had when the wizard measured it
  // for the switch; once the switch is over, the window is made large enough for them.
  QMetaObject::invokeMethod(this, &SelectionWizard::FitCurrentPage, Qt::QueuedConnection);
}

void SelectionWizard::FitCurrentPage() {
  if (WizardPage* page = CurrentWizardPage()) page->GrowWizardToFit();
}

WizardState SelectionWizard::CurrentState() const {
  WizardState state{settings_, {}};
  if (const WizardPage* page = CurrentWizardPage()) page->StoreInto(state.settings);
  // An empty destination keeps its choice apart, since no ending tells it.
  state.entered.copyToFolder =
      currentPage() == destinationPage_ && state.settings.destination.empty()
          ? std::optional<bool>(state.settings.copyToFolder)
          : destinationPage_->copyWhenEmpty();
  amountPage_->StoreEntered(state.entered);
  return state;
}

void SelectionWizard::RestoreState(engine::SettingsFileContents contents) {
  const engine::EnteredState entered = contents.entered;
  ApplySettingsFile(std::move(contents), sourcesPage_->sourceList(), settings_);
  sourcesPage_->ShowSettings();
  destinationPage_->SetCopyWhenEmpty(entered.copyToFolder);
  amountPage_->ShowEntered(entered);
}

}  // namespace sorvina::ui
