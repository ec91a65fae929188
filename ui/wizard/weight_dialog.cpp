// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/weight_dialog.h"

#include <algorithm>
#include <cmath>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/settings/folder_weights.h"
#include "ui/shell/message_box.h"
#include "ui/shell/number_text.h"
#include "ui/shell/path_text.h"
#include "ui/wizard/wizard_page.h"

namespace sorvina::ui {
namespace {

// A weight must compare as 0 or more and be small enough for its entry text.
bool IsValidWeight(double weight) {
  return weight >= 0 && weight < engine::kWeightLimit;
}

}  // namespace

std::optional<double> ReadWeightText(const QString& text) {
  const QString number = text.trimmed();
  // Letters would pass as "inf" or "nan"; a weight is digits, a sign, a point, an exponent.
  for (const QChar c : number) {
    if (c.isLetter() && c != QLatin1Char('e') && c != QLatin1Char('E')) return std::nullopt;
  }
  QLocale written = QLocale::c();
  written.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  const double value = written.toDouble(FromEngineText(ToEngineNumber(number)), &ok);
  if (!ok) return std::nullopt;
  return value;
}

WeightDialog::WeightDialog(const QString& folder, const QString& current, QWidget* owner)
    : QDialog(owner) {
  setWindowTitle(tr("Folder weight"));
  auto* ask =
      new QLabel(tr("Enter a number greater than or equal to zero.  Decimals are OK."), this);
  auto* less = new QLabel(
      tr("Numbers less than one mean mp3s in this folder will be less likely to be chosen,"), this);
  auto* more = new QLabel(
      tr("while numbers greater than one mean they will be more likely to be chosen."), this);
  auto* folderLabel = Named("weightFolder", new QLabel(this));
  folderLabel->setTextFormat(Qt::PlainText);
  // A long path is shortened in the middle to the width of the lines above it.
  int width = 0;
  for (const QLabel* line : {ask, less, more})
    width = std::max(width, line->sizeHint().width());
  folderLabel->setText(
      fontMetrics().elidedText(tr("Folder: %1").arg(folder), Qt::ElideMiddle, width));
  folderLabel->setToolTip(folder);
  field_ = Named("weightField", new QLineEdit(current, this));
  FitToCharacters(field_, 10);
  // Enter anywhere presses OK, never Cancel.
  auto* cancel = Named("weightCancel", new QPushButton(tr("Cancel"), this));
  cancel->setAutoDefault(false);
  auto* ok = Named("weightOk", new QPushButton(tr("OK"), this));
  ok->setDefault(true);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel, QDialogButtonBox::RejectRole);

  auto* answer = new QHBoxLayout;
  answer->addWidget(field_);
  answer->addStretch();
  answer->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ask);
  layout->addSpacing(fontMetrics().height());
  layout->addWidget(less);
  layout->addWidget(more);
  layout->addSpacing(fontMetrics().height() / 2);
  layout->addWidget(folderLabel);
  layout->addSpacing(fontMetrics().height() / 2);
  layout->addLayout(answer);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(buttons, &QDialogButtonBox::accepted, this, &WeightDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &WeightDialog::reject);
  field_->selectAll();
  field_->setFocus();
}

void WeightDialog::accept() {
  const std::optional<double> read = ReadWeightText(field_->text());
  weight = read.value_or(0);
  if (read && IsValidWeight(*read)) {
    QDialog::accept();
    return;
  }
  ShowInformation(this, tr("Invalid entry"));
  // What was refused is selected, so that typing replaces it.
  field_->selectAll();
  field_->setFocus();
}

}  // namespace sorvina::ui
