// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "media/loudness.h"

namespace sorvina::media {

// Decodes the file at `path` and measures its integrated loudness and true peak as EBU
// R128 defines them. A mono file is measured as played on both speakers of a stereo
// player, and one of more than two channels as the stereo downmix such a player gets.
// Nothing for a file that cannot be decoded or holds only silence, with the reason in
// `reason` (when given). The file is only read.
[[nodiscard]] std::optional<Loudness> MeasureLoudness(const std::string& path,
                                                      std::string* reason = nullptr);

}  // namespace sorvina::media
