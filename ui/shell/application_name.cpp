#include "ui/shell/application_name.h"

#include <QGuiApplication>

#include "platform/version.h"
#include "resources/artwork.h"
#include "ui/shell/translations.h"

namespace sorvina::ui {

QString ApplicationName() {
  return QGuiApplication::applicationDisplayName();
}

QString VersionText() {
  return QString::fromLatin1(kDisplayName) + QLatin1Char(' ') +
         QString::fromUtf8(platform::kVersionNotice);
}

QString SetUpApplication() {
  QGuiApplication::setApplicationDisplayName(QString::fromLatin1(kDisplayName));
  QGuiApplication::setApplicationVersion(QString::fromLatin1(platform::kVersion));
  QGuiApplication::setWindowIcon(resources::ProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("sorvina"));
  return InstallTranslations(
      PreferredLanguages([](const char* name) { return qEnvironmentVariable(name); }));
}

}  // namespace sorvina::ui
