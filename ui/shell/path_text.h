// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QString>

namespace sorvina::ui {

// Paths and texts cross between the widgets (QString) and the engine (byte strings in
// the file system's encoding) only through these two, so that a name round-trips.
std::string ToEngineText(const QString& text);
QString FromEngineText(const std::string& text);

}  // namespace sorvina::ui
