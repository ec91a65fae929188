// SPDX-License-Identifier: GPL-3.0-or-later
// The draw tags of any bytes, as a file of the type that the input's first byte picks:
// TagLib reads the tags through the one opening of the tag readers, and the program's
// own reading takes artists, album, positions and ratings from them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "media/tags/draw_tags.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Well-formed UTF-8 without blanks around it.
bool IsTrimmedText(std::string_view text) {
  return sorvina::fuzz::IsUtf8(text) &&
         (text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string path = sorvina::fuzz::WriteSongFile(data, size);
  const std::optional<sorvina::media::DrawTags> tags = sorvina::media::ReadDrawTags(path);
  if (!tags) return 0;
  FUZZ_CHECK(IsTrimmedText(tags->artist));
  FUZZ_CHECK(IsTrimmedText(tags->albumArtist));
  FUZZ_CHECK(IsTrimmedText(tags->album));
  FUZZ_CHECK(tags->track >= 0 && tags->disc >= 0);
  FUZZ_CHECK(tags->rating >= 0 && tags->rating <= 5);
  // Read again, the same.
  FUZZ_CHECK(sorvina::media::ReadDrawTags(path) == tags);
  return 0;
}
