// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace sorvina::test {

// The offscreen platform warns about every window that has a size limit; that says
// nothing about the program, so the tests' output leaves it out. Call from initTestCase(),
// once the test library has its own handler in place.
inline void QuietOffscreenWarnings() {
  static QtMessageHandler previous = nullptr;
  previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
        if (previous) previous(type, context, message);
      });
}

// Sets an environment variable for as long as it lives, then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QString& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
    qputenv(name, value.toLocal8Bit());
  }
  ~ScopedEnvironment() {
    if (had_) {
      qputenv(name_, previous_);
    } else {
      qunsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  QByteArray previous_;
};

// The names (class and object) of the top-level widgets still alive once pending
// deletions have run. A widget test ends with none.
inline QStringList TopLevelWidgetsLeft() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QStringList left;
  for (QWidget* widget : QApplication::topLevelWidgets())
    left << QStringLiteral("%1 '%2'").arg(widget->metaObject()->className(), widget->objectName());
  return left;
}

}  // namespace sorvina::test
