// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace sorvina::engine {

// A song's path, size and time of last change to the nanosecond, NUL-separated: what
// tells whether it is still the song a cached figure or file was made from. Nothing for
// anything but a regular file that can be looked at.
std::optional<std::string> SongIdentity(const std::string& path);

}  // namespace sorvina::engine
