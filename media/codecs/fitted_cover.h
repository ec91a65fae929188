// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "media/tags/carried_tags.h"

namespace sorvina::media::codecs {

// The cover as it goes into a converted file: as it is where no size is asked for, or
// where it fits in the square and weighs no more than a byte a pixel of it; else scaled
// to fit, keeping its aspect, and stored as JPEG (decoded and encoded with FFmpeg). 0
// drops it. A picture that cannot be decoded cannot be measured, so it is dropped where a
// size is asked for.
std::optional<Picture> FittedCover(std::optional<Picture> cover, std::optional<int> maxSide);

}  // namespace sorvina::media::codecs
