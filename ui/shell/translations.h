// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

namespace sorvina::ui {

// Reads one environment variable; empty when it is not set.
using EnvironmentReader = std::function<QString(const char* name)>;

// The languages the user asks for, most wanted first, read as gettext reads them: the
// messages' locale is the first of LC_ALL, LC_MESSAGES and LANG that is set; unless it is
// "C" or "POSIX" (or none is set), the list in LANGUAGE (names separated by ':') stands in
// its place when there is one. Each comes without codeset and modifier
// ("de_DE.UTF-8@euro" gives "de_DE"); none at all means the texts as written.
QStringList PreferredLanguages(const EnvironmentReader& environment);

// Installs on the running application the translations of the first of `languages` that
// has ours, with Qt's own for the buttons of its dialogs; "de_AT" is served by "de".
// English, the language the texts are written in, ends the search with nothing installed.
// Returns the language installed ("de"), or "en".
QString InstallTranslations(const QStringList& languages);

// The languages this build has translations for, besides English ("de", ...).
QStringList AvailableLanguages();

}  // namespace sorvina::ui
