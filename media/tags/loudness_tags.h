// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "media/loudness.h"

namespace sorvina::media {

// The loudness that the file's own tags imply, which spares a measurement: an Opus
// R128_TRACK_GAIN (Q7.8 dB towards -23 LUFS), else a ReplayGain track gain (ID3v2 TXXX,
// Vorbis comment, APE item or MP4 freeform "----:com.apple.iTunes:replaygain_track_gain")
// towards ReplayGain's -18 LUFS. The peak comes from REPLAYGAIN_TRACK_PEAK, a linear
// sample peak that may lie a little below the true peak; NaN without one. Values are read
// as TagNumber reads them. Nothing when the file cannot be read or carries neither gain
// as a number.
[[nodiscard]] std::optional<Loudness> LoudnessFromTags(const std::string& path);

}  // namespace sorvina::media
