// SPDX-License-Identifier: GPL-3.0-or-later
// The caption over any bytes: TagLib reads the tags of MPEG audio from memory through the
// program's own caption logic (ID3v2 title and artist, then ID3v1), and the file-name
// fallback takes the same bytes as a path in both styles.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "media/caption.h"
#include "media/tags/tagged_audio.h"

namespace {

using sorvina::text::PathStyle;

void CheckFileNameCaption(std::string_view path, PathStyle style) {
  const std::string caption = sorvina::media::FileNameCaption(path, style);
  FUZZ_CHECK(sorvina::fuzz::IsOneLine(caption));
  // The name less its ending: never longer than the name, never more than four characters
  // (of up to four bytes each) shorter, and taken from its start.
  std::size_t nameStart = path.size();
  while (nameStart > 0 && !sorvina::text::IsSeparator(path[nameStart - 1], style))
    --nameStart;
  const std::string_view name = path.substr(nameStart);
  FUZZ_CHECK(caption.size() <= name.size());
  FUZZ_CHECK(name.size() - caption.size() <= 16);
  FUZZ_CHECK(caption.empty() || caption.size() + 4 <= name.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char c = name[i];
    const auto byte = static_cast<unsigned char>(c);
    FUZZ_CHECK(caption[i] == c || (caption[i] == ' ' && (byte < 0x20 || byte == 0x7F)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string caption =
      sorvina::media::ReadTaggedAudio(std::span(data, size), sorvina::media::AudioFormat::kMpeg)
          .caption;
  FUZZ_CHECK(sorvina::fuzz::IsOneLine(caption));
  FUZZ_CHECK(sorvina::fuzz::IsUtf8(caption));  // whatever text encoding the tag declares

  const std::string_view text = sorvina::fuzz::AsText(data, size);
  CheckFileNameCaption(text, PathStyle::kPosix);
  CheckFileNameCaption(text, PathStyle::kWindows);
  return 0;
}
