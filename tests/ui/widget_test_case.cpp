// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ui/widget_test_case.h"

#include <QApplication>
#include <QStringList>
#include <QTest>

#include "tests/ui/ui_test_support.h"

namespace sorvina::test {

void WidgetTestCase::cleanup() {
  TidyUp();
  QCOMPARE(TopLevelWidgetsLeft(), QStringList());
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

}  // namespace sorvina::test
