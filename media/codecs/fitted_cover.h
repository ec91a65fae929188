// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "media/codecs.h"
#include "media/tags/carried_tags.h"

namespace sorvina::media::codecs {

// The cover as it goes into a converted file: as it is where no size is asked for, or
// where it fits in the square and weighs no more than a byte a pixel of it; else scaled
// to fit, keeping its aspect, and stored as JPEG (decoded and encoded with FFmpeg). 0
// drops it. A picture that cannot be decoded cannot be measured, so it is dropped where a
// size is asked for.
std::optional<Picture> FittedCover(std::optional<Picture> cover, std::optional<int> maxSide);

// `picture` scaled to fit the square of `maxSide` (at least 1), keeping its aspect, and
// stored as JPEG; as it is where it fits already. Nothing where it cannot be decoded.
std::optional<Picture> ScaledPicture(const Picture& picture, int maxSide);

// The helper's side of media::CopyWithFittedCovers.
CoverCopyResult CopyWithFittedCovers(const std::string& source, const std::string& output,
                                     int maxSide, int gainSteps, const std::atomic<bool>* cancel);

}  // namespace sorvina::media::codecs
