// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pictures in an MP3's ID3v2 tag, measured and fitted to a player's largest picture
// without touching its audio.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "media/tags/carried_tags.h"

namespace sorvina::media {

// The width and height that a JPEG, PNG or GIF image's header states; nothing for other
// formats and for headers that are cut short or make no sense.
struct PictureSize {
  int width = 0;
  int height = 0;
};
std::optional<PictureSize> PictureSizeOf(std::string_view image);

// Whether the MP3 at `path` carries a picture in its leading ID3v2 tag that a player whose
// pictures may be at most `maxSide` pixels on their longer side (0: none at all) cannot
// show as it is: one larger than that, or one whose size cannot be read from its header.
// The file is opened for reading only; false where it cannot be read.
bool HasPictureBeyond(const std::string& path, int maxSide);

// Makes a picture fit `maxSide`; nothing where it cannot (the image does not decode).
using PictureFitter = std::function<std::optional<Picture>(const Picture&, int maxSide)>;

// Rewrites the leading ID3v2 tag of the MP3 whose whole content is `bytes` (a file of
// ours), in its own version (2.3 stays 2.3, others are written as 2.4), with each picture
// beyond `maxSide` passed through `fit`, or every picture left out where `maxSide` is 0.
// Every byte from the first frame on stays as it is. False, with the reason and `bytes`
// untouched, where TagLib cannot read or save the tag, or a picture cannot be fitted.
[[nodiscard]] bool FitMp3Pictures(std::string& bytes, int maxSide, const PictureFitter& fit,
                                  std::string* reason);

}  // namespace sorvina::media
