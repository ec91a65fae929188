#include "ui/wizard/wizard_page.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWizard>

#include "resources/string_table.h"
#include "ui/shell/web_page.h"

namespace sorvina::ui {

WizardPage::WizardPage(int templateId, int captionId, int headerId, engine::SettingsText& settings,
                       QWidget* parent)
    : QWizardPage(parent),
      settings_(settings),
      built_(BuildDialog(resources::FindDialogTemplate(templateId), this)),
      caption_(resources::LoadResourceString(captionId)) {
  setTitle(resources::LoadResourceString(headerId));
}

void WizardPage::OnHelp() {
  OpenHelpPage(window());
}

void WizardPage::NameControl(int id, const char* name) const {
  built_.controls.at(id)->setObjectName(QString::fromLatin1(name));
}

void WizardPage::SetWizardButtons(int buttons) {
  // The wizard sets its buttons itself while it switches pages; a request made during
  // the switch is applied after it, as a posted request.
  QPointer<QWizard> owner = wizard();
  if (!owner) return;
  QMetaObject::invokeMethod(
      owner,
      [owner, buttons] {
        owner->button(QWizard::BackButton)->setEnabled(buttons & kWizardBack);
        owner->button(QWizard::NextButton)->setEnabled(buttons & kWizardNext);
        owner->button(QWizard::FinishButton)->setEnabled(buttons & kWizardFinish);
      },
      Qt::QueuedConnection);
}

}  // namespace sorvina::ui
