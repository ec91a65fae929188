#include "ui/shell/wait_cursor.h"

#include <QApplication>
#include <QCursor>

namespace sorvina::ui {

ScopedWaitCursor::ScopedWaitCursor() {
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

ScopedWaitCursor::~ScopedWaitCursor() {
  QApplication::restoreOverrideCursor();
}

ScopedArrowCursor::ScopedArrowCursor() {
  QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
}

ScopedArrowCursor::~ScopedArrowCursor() {
  QApplication::restoreOverrideCursor();
}

}  // namespace sorvina::ui
