// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/conversion_choice.h"

namespace sorvina::engine {
namespace {

std::optional<media::TargetCodec> CodecNamed(std::string_view name) {
  if (name == "mp3") return media::TargetCodec::kMp3;
  if (name == "aac") return media::TargetCodec::kAac;
  if (name == "opus") return media::TargetCodec::kOpus;
  return std::nullopt;
}

}  // namespace

std::optional<ConversionChoice> ParseConversionChoice(std::string_view text) {
  const bool onlyUnplayable = text == "auto" || text.starts_with("auto:");
  if (text == "auto") return ConversionChoice{};
  const std::optional<media::TargetCodec> codec =
      CodecNamed(onlyUnplayable ? text.substr(5) : text);
  if (!codec) return std::nullopt;
  return ConversionChoice{*codec, onlyUnplayable};
}

}  // namespace sorvina::engine
