// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

#include "media/codecs.h"

namespace sorvina::engine {

// What a `convert` setting asks: "auto" (what the player cannot play, to MP3),
// "auto:aac" and "auto:opus" (the same to AAC or Opus), or "mp3", "aac", "opus" (every
// song not in that format, to it). Nothing for any other text.
struct ConversionChoice {
  media::TargetCodec codec = media::TargetCodec::kMp3;
  bool onlyUnplayable = true;
  friend bool operator==(const ConversionChoice&, const ConversionChoice&) = default;
};
std::optional<ConversionChoice> ParseConversionChoice(std::string_view text);

}  // namespace sorvina::engine
