// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace sorvina::ui {

// The name the user knows the program by, "Sorvina", however its executable is named.
inline constexpr char kDisplayName[] = "Sorvina";

// The name the program shows: the caption of every message box. "Sorvina" once
// SetUpApplication ran; until then the executable's file name. Window titles carry their
// own text alone.
QString ApplicationName();

// What --version prints: the display name, the version, the copyright and the licence.
QString VersionText();

// What every window of the program relies on, done once on the running application: the
// display name, the icon, the desktop entry it belongs to, and the translations of the
// user's language (PreferredLanguages). Returns the language installed ("de", or "en").
QString SetUpApplication();

}  // namespace sorvina::ui
