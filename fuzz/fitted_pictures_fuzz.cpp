// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of any bytes as an MP3's leading tag, measured by their image headers and
// fitted to a player's largest side as a copy for the player is made: the image header
// reader sees the bytes directly, and the tag rewrite keeps every byte after the tag.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "media/tags/fitted_pictures.h"

namespace {

using sorvina::media::Picture;

// Stands in for the scaling in the codec helper: a picture of the asked side, or none
// for an odd first byte, as an image that does not decode gives none.
std::optional<Picture> SmallPicture(const Picture& picture, int maxSide) {
  if (!picture.data.empty() && (static_cast<unsigned char>(picture.data[0]) & 1) != 0)
    return std::nullopt;
  return Picture{
      .data = std::string(16, 'p'), .mime = "image/png", .width = maxSide, .height = maxSide};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = sorvina::fuzz::AsText(data, size);
  if (const auto picture = sorvina::media::PictureSizeOf(bytes))
    FUZZ_CHECK(picture->width > 0 && picture->height > 0);
  if (size == 0) return 0;

  // The first byte picks the largest side: 0 (no pictures at all) to 255.
  const int maxSide = data[0];
  const std::string path = sorvina::fuzz::ProcessFolder() + "/input.mp3";
  std::string song(bytes.substr(1));
  sorvina::fuzz::WriteWholeFile(path, song);
  (void)sorvina::media::HasPictureBeyond(path, maxSide);

  const std::string before = song;
  std::string reason;
  if (!sorvina::media::FitMp3Pictures(song, maxSide, SmallPicture, &reason)) {
    // A rewrite that fails says why and leaves the bytes as they were.
    FUZZ_CHECK(!reason.empty());
    FUZZ_CHECK(song == before);
  }
  return 0;
}
