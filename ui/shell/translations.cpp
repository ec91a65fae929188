// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

namespace sorvina::ui {
namespace {

// Where the build puts the compiled translations, one "sorvina_LANGUAGE.qm" each.
constexpr char kTranslationFolder[] = ":/i18n";

// "de_DE.UTF-8@euro" without codeset and modifier: "de_DE".
QString LocaleName(QString name) {
  const qsizetype end = name.indexOf(QRegularExpression(QStringLiteral("[.@]")));
  if (end >= 0) name.truncate(end);
  return name;
}

bool IsUnsetLocale(const QString& name) {
  return name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX");
}

QString OurTranslation(const QString& language) {
  return QStringLiteral("%1/sorvina_%2.qm").arg(QLatin1String(kTranslationFolder), language);
}

// A translator for `file`, owned by the application, installed on it.
bool Install(const QString& file, const QString& folder = {}) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(file, folder) && QCoreApplication::installTranslator(translator))
    return true;
  delete translator;
  return false;
}

}  // namespace

QStringList PreferredLanguages(const EnvironmentReader& environment) {
  QString messagesLocale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    messagesLocale = LocaleName(environment(name));
    if (!messagesLocale.isEmpty()) break;
  }
  if (IsUnsetLocale(messagesLocale)) return {};
  // The list in LANGUAGE stands instead of the locale, not before it.
  QStringList languages;
  for (const QString& entry : environment("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts))
    languages << LocaleName(entry.trimmed());
  languages.removeAll(QString());
  if (languages.isEmpty()) languages << messagesLocale;
  return languages;
}

QStringList AvailableLanguages() {
  QStringList languages;
  const QStringList files =
      QDir(QLatin1String(kTranslationFolder)).entryList({QStringLiteral("sorvina_*.qm")});
  for (const QString& file : files)
    languages << file.mid(8, file.size() - 11);
  return languages;
}

QString InstallTranslations(const QStringList& languages) {
  for (const QString& wanted : languages) {
    // "de_DE", then "de".
    QStringList candidates = {wanted};
    const QString language = wanted.section(QLatin1Char('_'), 0, 0);
    if (language != wanted) candidates << language;
    for (const QString& candidate : candidates) {
      if (candidate == QLatin1String("en")) return candidate;
      // Exactly this language: the translator's own fallback would load "de" for "de_AT".
      if (!QFile::exists(OurTranslation(candidate)) || !Install(OurTranslation(candidate)))
        continue;
      // Without Qt's translations (a separate package) its dialogs keep English buttons.
      Install(QStringLiteral("qtbase_") + candidate,
              QLibraryInfo::path(QLibraryInfo::TranslationsPath));
      return candidate;
    }
  }
  return QStringLiteral("en");
}

}  // namespace sorvina::ui
