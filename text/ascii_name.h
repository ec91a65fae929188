// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace sorvina::text {

// `name` (UTF-8) in ASCII, for players that show no other letters: letters with accents
// lose them, umlauts and ligatures become two letters ("ä" gives "ae", "ß" "ss", "é" "e"),
// typographic quotes and dashes their plain kin, every other character outside ASCII "_"
// (a byte that starts no valid sequence included).
std::string AsciiName(std::string_view name);

}  // namespace sorvina::text
