#include "app/application.h"

#include <QApplication>

#include "engine/selection_settings.h"
#include "resources/artwork.h"
#include "ui/wizard/selection_wizard.h"

namespace sorvina::app {

int WizardApplication::Run(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(resources::ProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("sorvina"));

  // The one settings record of the program, edited by the pages and read by Finish.
  engine::SelectionSettings settings;
  ui::SelectionWizard wizard(settings);
  wizard.exec();
  // Closing the wizard is the normal way to leave the program.
  return 0;
}

}  // namespace sorvina::app
