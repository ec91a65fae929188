// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/message_box.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStringList>

#include "ui/shell/application_name.h"

namespace sorvina::ui {
namespace {

// A box with a short text would be narrower than its caption with the title bar's buttons,
// and the desktop would cut the caption short; the box is kept wide enough for both.
void KeepCaptionWhole(QMessageBox& box) {
  QFont bold = box.font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  const int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
}

QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                 QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, ApplicationName(), text, buttons, parent);
  // What a message says (a path, an address) can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  KeepCaptionWhole(box);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void ShowInformation(QWidget* parent, const QString& text) {
  if (MessageBoxRecorder* recorder = MessageBoxRecorder::active()) {
    recorder->Record(MessageKind::kInformation, text);
    return;
  }
  Show(parent, QMessageBox::Information, text, QMessageBox::Ok);
}

void ShowPlainMessage(QWidget* parent, const QString& text) {
  if (MessageBoxRecorder* recorder = MessageBoxRecorder::active()) {
    recorder->Record(MessageKind::kPlain, text);
    return;
  }
  Show(parent, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

bool AskYesNo(QWidget* parent, const QString& text) {
  if (MessageBoxRecorder* recorder = MessageBoxRecorder::active())
    return recorder->Record(MessageKind::kYesNo, text);
  return Show(parent, QMessageBox::NoIcon, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

QStringList MessageBoxRecorder::texts() const {
  QStringList result;
  for (const ShownMessage& message : shown_)
    result << message.text;
  return result;
}

bool MessageBoxRecorder::Record(MessageKind kind, const QString& text) {
  shown_.push_back({kind, ApplicationName(), text});
  return kind == MessageKind::kYesNo && TakeNext(answers_, false);
}

}  // namespace sorvina::ui
