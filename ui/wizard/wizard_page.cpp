// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/wizard_page.h"

#include <QFontMetrics>
#include <QLayout>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWizard>

#include "ui/shell/web_page.h"

namespace sorvina::ui {

WizardPage::WizardPage(const QString& caption, const QString& title, engine::SettingsText& settings,
                       QWidget* parent)
    : QWizardPage(parent), settings_(settings), caption_(caption) {
  setTitle(title);
  // The header band shows the title only where there is a subtitle; no page has one.
  setSubTitle(QStringLiteral(" "));
}

void WizardPage::OnHelp() {
  OpenHelpPage(window());
}

void WizardPage::GrowWizardToFit() {
  QWizard* owner = wizard();
  if (!owner) return;
  // Hidden controls' layouts are stale: they are measured afresh.
  for (QWidget* control : findChildren<QWidget*>())
    control->updateGeometry();
  layout()->activate();
  owner->setMinimumSize(
      owner->minimumSize().expandedTo(owner->size() - size() + minimumSizeHint()));
}

void FitToCharacters(QLineEdit* field, int characters) {
  QStyleOptionFrame option;
  option.initFrom(field);
  const QSize text(field->fontMetrics().averageCharWidth() * characters,
                   field->fontMetrics().height());
  const int width =
      field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, field).width();
  field->setFixedWidth(width);
}

}  // namespace sorvina::ui
