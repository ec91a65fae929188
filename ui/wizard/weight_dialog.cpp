#include "ui/wizard/weight_dialog.h"

#include <cmath>

#include <QLineEdit>
#include <QPushButton>

#include "engine/folder_weights.h"
#include "platform/decimal.h"
#include "resources/dialog_templates.h"
#include "resources/resource_ids.h"
#include "ui/shell/dialog_builder.h"
#include "ui/shell/message_box.h"

namespace sorvina::ui {
namespace {

constexpr char kInvalidEntryMessage[] = "Invalid entry";

// A weight must compare as 0 or more and be small enough for its entry text.
bool IsValidWeight(double weight) {
  return weight >= 0 && weight < engine::kWeightLimit;
}

}  // namespace

WeightDialog::WeightDialog(QWidget* owner) : QDialog(owner) {
  using namespace resources;
  const DialogTemplate& dialogTemplate = FindDialogTemplate(kIddWeightDialog);
  setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
  const BuiltDialog built = BuildDialog(dialogTemplate, this);
  resize(built.size);
  field_ = qobject_cast<QLineEdit*>(built.controls.at(kIdcWeightField));
  field_->setObjectName(QStringLiteral("weightField"));
  auto* ok = qobject_cast<QPushButton*>(built.controls.at(kIdOk));
  auto* cancel = qobject_cast<QPushButton*>(built.controls.at(kIdCancel));
  ok->setObjectName(QStringLiteral("weightOk"));
  cancel->setObjectName(QStringLiteral("weightCancel"));
  connect(ok, &QPushButton::clicked, this, &WeightDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &WeightDialog::reject);
  field_->setFocus();
}

void WeightDialog::accept() {
  weight = platform::ParseLeadingDecimal(field_->text().toStdString());
  if (IsValidWeight(weight)) {
    QDialog::accept();
    return;
  }
  ShowInformation(this, QString::fromLatin1(kInvalidEntryMessage));
}

}  // namespace sorvina::ui
