// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace sorvina::platform {

// Where the program keeps what belongs to the user rather than to a run, after the XDG
// base-directory rules: the folder a variable names when it holds an absolute path, else
// the default below the home folder. A relative or empty value is ignored, as the rules
// ask. Neither folder is created here. Empty when not even a home folder is known.

// Settings: $XDG_CONFIG_HOME/sorvina, or ~/.config/sorvina.
std::string ConfigFolder();

// State that is no setting, such as what earlier runs chose: $XDG_STATE_HOME/sorvina, or
// ~/.local/state/sorvina.
std::string StateFolder();

// What can be made again but is kept to save time, such as converted songs:
// $XDG_CACHE_HOME/sorvina, or ~/.cache/sorvina.
std::string CacheFolder();

}  // namespace sorvina::platform
