// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <utility>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QWizard>

#include "engine/settings/settings_text.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/wizard/selection_wizard.h"

namespace sorvina::test {

// A wizard on screen (offscreen) with its dialogs and message boxes answered by the
// test, driven through its own buttons as a user would.
struct WizardFixture {
  engine::SettingsText settings;
  ui::MessageBoxRecorder messages;
  ui::FileDialogRecorder dialogs;
  std::unique_ptr<ui::SelectionWizard> window;

  // The wizard made over `given`, as the application makes it over the settings restored.
  explicit WizardFixture(engine::SettingsText given = {})
      : settings(std::move(given)), window(std::make_unique<ui::SelectionWizard>(settings)) {
    window->show();
    Settle();
  }

  // Lets posted requests (the pages' button choices) arrive.
  static void Settle() { QCoreApplication::processEvents(); }

  QAbstractButton* Button(QWizard::WizardButton which) const { return window->button(which); }

  // Clicks a wizard button the way a user does; a disabled one does nothing.
  void Click(QWizard::WizardButton which) {
    QTest::mouseClick(Button(which), Qt::LeftButton);
    Settle();
  }
  void Next() { Click(QWizard::NextButton); }
  void Back() { Click(QWizard::BackButton); }
  void Finish() { Click(QWizard::FinishButton); }

  template <class Widget>
  Widget* Find(const char* name) const {
    return window->findChild<Widget*>(QString::fromLatin1(name));
  }
  void ClickControl(const char* name) {
    QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton);
    Settle();
  }
};

}  // namespace sorvina::test
