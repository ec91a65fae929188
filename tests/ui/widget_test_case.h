// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace sorvina::test {

// The base of every widget test class. After each test function it undoes what the class
// says it sets up for itself (TidyUp), then checks that the function left no top-level
// window alive and no override cursor (the wait cursor) in place: a window left behind
// would outlive the object that owns it in the program, and a cursor left set would stay
// with the user.
class WidgetTestCase : public QObject {
  Q_OBJECT

 protected:
  // What a test function may have set up that is no window: a seam left replaced, a
  // temporary folder. Runs before the checks.
  virtual void TidyUp() {}

 private slots:
  void cleanup();
};

}  // namespace sorvina::test
