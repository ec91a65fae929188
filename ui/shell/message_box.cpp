#include "ui/shell/message_box.h"

#include <QMessageBox>
#include <QStringList>

#include "ui/shell/application_name.h"

namespace sorvina::ui {
namespace {

QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                 QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, ApplicationName(), text, buttons, parent);
  // What a message says (a path, an address) can be selected and copied.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
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
