#include "ui/shell/property_sheet.h"

#include "resources/resource_ids.h"
#include "resources/string_table.h"
#include "ui/wizard/destination_page.h"
#include "ui/wizard/final_page.h"
#include "ui/wizard/source_page.h"
#include "ui/wizard/weights_page.h"

namespace sorvina::ui {

CMyPropertySheet::CMyPropertySheet(engine::SelectionSettings& settings, QWidget* owner)
    : QWizard(owner),
      page1_(new CMyPropertyPage1(settings)),
      page2_(new CMyPropertyPage2(settings)),
      page3_(new CMyPropertyPage3(settings)),
      page4_(new CMyPropertyPage4(settings, page1_->startFolder())) {
  setObjectName(QStringLiteral("wizard"));
  setWindowTitle(QString::fromUtf8(resources::LoadResourceString(resources::kIdsSheetCaption)));
  setWizardStyle(QWizard::ModernStyle);
  setOption(QWizard::HaveHelpButton);
  // The header band shows each page's title; it appears only with a subtitle, so every
  // page has an empty one.
  const std::initializer_list<WizardPage*> pages = {page1_, page2_, page3_, page4_};
  // Every page as large as the largest, so the window keeps its size from page to page.
  QSize largest;
  for (WizardPage* page : pages)
    largest = largest.expandedTo(page->minimumSize());
  for (WizardPage* page : pages) {
    page->setMinimumSize(largest);
    page->setSubTitle(QStringLiteral(" "));
    addPage(page);
  }
  connect(this, &QWizard::currentIdChanged, this, &CMyPropertySheet::OnCurrentPageChanged);
  connect(this, &QWizard::helpRequested, this, [this] {
    if (WizardPage* page = CurrentWizardPage()) page->OnHelp();
  });
}

WizardPage* CMyPropertySheet::CurrentWizardPage() const {
  return qobject_cast<WizardPage*>(currentPage());
}

void CMyPropertySheet::OnCurrentPageChanged(int /*id*/) {
  WizardPage* page = CurrentWizardPage();
  if (!page) return;
  setWindowTitle(page->caption());
  page->OnActivate();
}

}  // namespace sorvina::ui
