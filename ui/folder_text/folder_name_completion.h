// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/path_style.h"
#include "ui/folder_text/folder_text_checks.h"

namespace sorvina::ui {

// Completes the partly typed last name of `text` when exactly one folder begins with it
// (ASCII letter case ignored). The result is the whole new text: `text` followed by the rest
// of the folder's name, which the picker selects so that the next character typed
// replaces it. Nothing when there is no single such folder or nothing to add.
//
// Windows style, where letter case does not tell names apart, adapts the name to the
// typing: a name in capitals alone ("MUSIC") is first written "Music"; then, when the
// last typed character differs from the name's character at that place, the whole name
// follows the case of that character ("RO" gives "ROCK", "ro" gives "rock"). POSIX style
// keeps the folder's own spelling, the typed part included, so that the text always
// names the folder that was found.
std::optional<std::string> CompleteFolderName(std::string_view text, text::PathStyle style,
                                              FolderQueries& queries);

}  // namespace sorvina::ui
