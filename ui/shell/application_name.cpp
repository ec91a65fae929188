// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/application_name.h"

#include <QGuiApplication>

#include "platform/version.h"
#include "resources/artwork.h"
#include "ui/shell/translations.h"

namespace sorvina::ui {
namespace {

// Set by SetUpApplication. Not the application's display name: the desktop would append
// that to every window title ("Sorvina step 1 — Sorvina").
QString& DisplayName() {
  static QString name;
  return name;
}

}  // namespace

QString ApplicationName() {
  return DisplayName().isEmpty() ? QGuiApplication::applicationName() : DisplayName();
}

QString VersionText() {
  return QString::fromLatin1(kDisplayName) + QLatin1Char(' ') +
         QString::fromUtf8(platform::kVersionNotice);
}

QString SetUpApplication() {
  DisplayName() = QString::fromLatin1(kDisplayName);
  QGuiApplication::setApplicationVersion(QString::fromLatin1(platform::kVersion));
  QGuiApplication::setWindowIcon(resources::ProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("sorvina"));
  return InstallTranslations(
      PreferredLanguages([](const char* name) { return qEnvironmentVariable(name); }));
}

}  // namespace sorvina::ui
