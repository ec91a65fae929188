#include "ui/shell/dialog_builder.h"

#include <algorithm>
#include <cstdint>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QWidget>

#include "resources/string_table.h"
#include "ui/shell/drop_down_list.h"
#include "ui/shell/link_button.h"
#include "ui/shell/sorted_list_box.h"

namespace sorvina::ui {
namespace {

using resources::ControlKind;
using resources::ControlTemplate;

// value * numerator / denominator, rounded to the nearest integer with halves away from
// zero, without overflow in between. `denominator` is positive.
int ScaleRounded(int value, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = denominator / 2;
  if (product >= 0) return static_cast<int>((product + half) / denominator);
  return static_cast<int>(-((-product + half) / denominator));
}

QPushButton* MakePushButton(const QString& text, bool isDefault, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(isDefault);
  button->setDefault(isDefault);
  return button;
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent) {
  const QString text = QCoreApplication::translate(resources::kResourceContext, control.text);
  switch (control.kind) {
    case ControlKind::kPushButton:
      return MakePushButton(text, false, parent);
    case ControlKind::kDefaultPushButton:
      return MakePushButton(text, true, parent);
    case ControlKind::kRadioButton: {
      auto* button = new QRadioButton(text, parent);
      button->setAutoExclusive(true);
      return button;
    }
    case ControlKind::kCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::kLabel: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setText(text);
      return label;
    }
    case ControlKind::kGroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::kEditField: {
      auto* field = new QLineEdit(parent);
      field->setText(text);
      return field;
    }
    case ControlKind::kListBox:
      return new SortedListBox(parent);
    case ControlKind::kOwnerDrawnButton:
      return new LinkButton(parent);
    case ControlKind::kComboBox:
      return new DropDownList(parent);
  }
  return nullptr;
}

// The template's place for `widget`, widened where its text would otherwise be cut off
// in the current font (never narrowed, never moved, never made taller).
QRect FittedGeometry(const ControlTemplate& control, QWidget* widget, const QRect& place) {
  switch (control.kind) {
    case ControlKind::kLabel:
    case ControlKind::kRadioButton:
    case ControlKind::kCheckBox:
      if (control.text[0] != '\0' && widget->sizeHint().width() > place.width())
        return QRect(place.topLeft(), QSize(widget->sizeHint().width(), place.height()));
      return place;
    default:
      return place;
  }
}

}  // namespace

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int total = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // The average of 52 letters, rounded to the nearest whole pixel.
  return QSize((total / 26 + 1) / 2, metrics.height());
}

QRect DialogUnitsToPixels(const QRect& rect, const QSize& baseUnits) {
  return QRect(ScaleRounded(rect.x(), baseUnits.width(), 4),
               ScaleRounded(rect.y(), baseUnits.height(), 8),
               ScaleRounded(rect.width(), baseUnits.width(), 4),
               ScaleRounded(rect.height(), baseUnits.height(), 8));
}

BuiltDialog BuildDialog(const resources::DialogTemplate& dialogTemplate, QWidget* parent) {
  const QSize baseUnits = DialogBaseUnits(parent->font());
  BuiltDialog built;
  built.size =
      DialogUnitsToPixels(QRect(0, 0, dialogTemplate.width, dialogTemplate.height), baseUnits)
          .size();
  // A control widened for its text must still lie inside the dialog, with the margin that
  // the template keeps on the left.
  int margin = built.size.width();
  int widest = 0;
  // Controls are created in template order, which is also the tab order and the stacking
  // order: a frame listed before the controls it surrounds stays beneath them.
  for (const ControlTemplate& control : dialogTemplate.controls) {
    QWidget* widget = MakeControl(control, parent);
    const QRect place =
        DialogUnitsToPixels(QRect(control.x, control.y, control.width, control.height), baseUnits);
    const QRect fitted = FittedGeometry(control, widget, place);
    widget->setGeometry(fitted);
    margin = std::min(margin, std::max(place.x(), 0));
    if (fitted.width() > place.width()) widest = std::max(widest, fitted.x() + fitted.width());
    if (control.id != resources::kNoControlId) {
      widget->setObjectName(QStringLiteral("control%1").arg(control.id));
      built.controls.emplace(control.id, widget);
    }
  }
  if (widest > 0) built.size.setWidth(std::max(built.size.width(), widest + margin));
  parent->setMinimumSize(built.size);
  return built;
}

}  // namespace sorvina::ui
