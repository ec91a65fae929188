// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/wait_cursor.h"

#include <QApplication>
#include <QCursor>

namespace sorvina::ui {

ScopedCursor::ScopedCursor(Qt::CursorShape shape) {
  QApplication::setOverrideCursor(QCursor(shape));
}

ScopedCursor::~ScopedCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace sorvina::ui
