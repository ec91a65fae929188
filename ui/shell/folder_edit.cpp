// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/folder_edit.h"

#include <QKeyEvent>

namespace sorvina::ui {
namespace {

bool IsTab(const QKeyEvent& key) {
  return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) &&
         !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

bool IsEnter(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter ||
         key.text() == QLatin1String("\n") || key.text() == QLatin1String("\r");
}

}  // namespace

FolderEdit::FolderEdit(QWidget* parent) : QLineEdit(parent) {}

bool FolderEdit::event(QEvent* event) {
  // Tab is taken here, before the widget's own focus chain would move on with it.
  if (event->type() == QEvent::KeyPress && IsTab(*static_cast<QKeyEvent*>(event))) {
    emit tabPressed();
    return true;
  }
  return QLineEdit::event(event);
}

void FolderEdit::keyPressEvent(QKeyEvent* event) {
  // Nothing typed here reaches the dialog's default button; Escape is told to the picker.
  if (IsEnter(*event)) {
    event->accept();
    emit enterPressed();
    return;
  }
  if (event->key() == Qt::Key_Escape && !(event->modifiers() & ~Qt::KeypadModifier)) {
    event->accept();
    emit escapePressed();
    return;
  }
  // Selecting changes no text: nothing to judge, and the selection stays.
  if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
    event->accept();
    return;
  }
  const bool backspace = event->key() == Qt::Key_Backspace;
  const bool typesCharacter = backspace || !event->text().isEmpty();
  QLineEdit::keyPressEvent(event);
  event->accept();
  if (event->key() == Qt::Key_Delete)
    emit deletePressed();
  else if (typesCharacter)
    emit characterTyped(backspace);
}

}  // namespace sorvina::ui
