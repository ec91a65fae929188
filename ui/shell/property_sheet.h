#pragma once

#include <QWizard>

#include "engine/selection_settings.h"

namespace sorvina::ui {

class CMyPropertyPage1;
class CMyPropertyPage2;
class CMyPropertyPage3;
class CMyPropertyPage4;
class WizardPage;

// The wizard: the four pages in order (sources, destination, folder weights, final
// settings) with Back, Next, Finish, Cancel and Help. The title bar shows the current
// page's caption and the header its title. Finish runs the selection and leaves the
// wizard open; only Cancel or the close box end it.
class CMyPropertySheet : public QWizard {
  Q_OBJECT

 public:
  explicit CMyPropertySheet(engine::SelectionSettings& settings, QWidget* owner = nullptr);

  CMyPropertyPage1& page1() const { return *page1_; }
  CMyPropertyPage2& page2() const { return *page2_; }
  CMyPropertyPage3& page3() const { return *page3_; }
  CMyPropertyPage4& page4() const { return *page4_; }

 private:
  void OnCurrentPageChanged(int id);
  WizardPage* CurrentWizardPage() const;

  CMyPropertyPage1* page1_;
  CMyPropertyPage2* page2_;
  CMyPropertyPage3* page3_;
  CMyPropertyPage4* page4_;
};

}  // namespace sorvina::ui
