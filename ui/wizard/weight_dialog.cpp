#include "ui/wizard/weight_dialog.h"

#include <cmath>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "engine/settings/folder_weights.h"
#include "resources/dialog_templates.h"
#include "resources/resource_ids.h"
#include "resources/string_table.h"
#include "ui/shell/dialog_builder.h"
#include "ui/shell/message_box.h"

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
  for (QLocale locale : {QLocale(), QLocale::c()}) {
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(number, &ok);
    if (ok) return value;
  }
  return std::nullopt;
}

WeightDialog::WeightDialog(const QString& folder, const QString& current, QWidget* owner)
    : QDialog(owner) {
  using namespace resources;
  const DialogTemplate& dialogTemplate = FindDialogTemplate(kIddWeightDialog);
  setWindowTitle(QCoreApplication::translate(kResourceContext, dialogTemplate.caption));
  const BuiltDialog built = BuildDialog(dialogTemplate, this);
  resize(built.size);
  field_ = qobject_cast<QLineEdit*>(built.controls.at(kIdcWeightField));
  field_->setObjectName(QStringLiteral("weightField"));
  auto* folderLabel = qobject_cast<QLabel*>(built.controls.at(kIdcWeightFolder));
  folderLabel->setObjectName(QStringLiteral("weightFolder"));
  const QString folderText = tr("Folder: %1").arg(folder);
  folderLabel->setText(
      folderLabel->fontMetrics().elidedText(folderText, Qt::ElideMiddle, folderLabel->width()));
  folderLabel->setToolTip(folder);
  auto* ok = qobject_cast<QPushButton*>(built.controls.at(kIdOk));
  auto* cancel = qobject_cast<QPushButton*>(built.controls.at(kIdCancel));
  ok->setObjectName(QStringLiteral("weightOk"));
  cancel->setObjectName(QStringLiteral("weightCancel"));
  connect(ok, &QPushButton::clicked, this, &WeightDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &WeightDialog::reject);
  field_->setText(current);
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
}

}  // namespace sorvina::ui
