// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QCommandLineParser>

#include "engine/settings/settings_text.h"
#include "ui/shell/application_name.h"
#include "ui/wizard/last_state.h"
#include "ui/wizard/selection_wizard.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::app {

int WizardApplication::Run(int argc, char* argv[]) {
  // Answered before any window system is needed, so that it works in any terminal.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts(ui::VersionText().toUtf8().constData());
      return 0;
    }
  }
  QApplication application(argc, argv);
  ui::SetUpApplication();

  QCommandLineParser parser;
  parser.setApplicationDescription(QCoreApplication::translate(
      "sorvina::app::WizardApplication",
      "Fills a music player, or writes a playlist, with a random choice of music files."));
  parser.addHelpOption();
  // Listed in --help; answered above.
  parser.addOption(QCommandLineOption(
      QStringLiteral("version"),
      QCoreApplication::translate("sorvina::app::WizardApplication",
                                  "Displays the version, the copyright and the license.")));
  const QCommandLineOption noRestore(
      QStringLiteral("no-restore"),
      QCoreApplication::translate("sorvina::app::WizardApplication",
                                  "Start with empty settings instead of those the wizard had "
                                  "when it was last closed; those are kept unless Finish is "
                                  "pressed."));
  parser.addOption(noRestore);
  parser.process(application);

  // The one settings record of the program, edited by the pages and read by Finish.
  engine::SettingsText settings;
  ui::SelectionWizard wizard(settings);
  const QString lastState = ui::LastStatePath();
  if (!lastState.isEmpty()) {
    // Started empty, the wizard keeps its state only once it has been used.
    const bool restore = !parser.isSet(noRestore);
    if (restore) ui::RestoreLastState(wizard, lastState);
    ui::KeepLastState(wizard, lastState, !restore);
  }
  wizard.exec();
  // Closing the wizard is the normal way to leave the program.
  return 0;
}

}  // namespace sorvina::app
