#pragma once

#include <QString>

namespace sorvina::ui {

// The executable's file name without its extension: the caption of every message box.
QString ApplicationName();

}  // namespace sorvina::ui
