#include "ui/shell/application_name.h"

#include <QGuiApplication>

#include "resources/artwork.h"
#include "ui/about.h"
#include "ui/shell/translations.h"

namespace sorvina::ui {

QString ApplicationName() {
  return QGuiApplication::applicationDisplayName();
}

QString SetUpApplication() {
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kDisplayName));
  QGuiApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QGuiApplication::setWindowIcon(resources::ProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("sorvina"));
  return InstallTranslations(
      PreferredLanguages([](const char* name) { return qEnvironmentVariable(name); }));
}

}  // namespace sorvina::ui
