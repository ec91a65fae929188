// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QString>

namespace sorvina::ui {

// Numbers the user types and reads (a weight, an amount of MB or hours) follow the
// desktop's locale, "2,5" in German; the engine and the settings file keep their own fixed
// format with a point, "2.5". Every such number crosses between the two through these.
// A point typed where the locale writes a comma still counts as the decimal point, so
// "2.5" means the same everywhere; any other text ("free", "abc") passes unchanged.
std::string ToEngineNumber(const QString& typed);
QString FromEngineNumber(const std::string& stored);

}  // namespace sorvina::ui
