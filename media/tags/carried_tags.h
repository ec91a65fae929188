// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tags and the cover that a conversion carries from its source into its output.
// Private to media/, as TagLib's types appear here.

#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <optional>
#include <string>

#include "media/transcoder.h"

namespace sorvina::media {

struct Picture {
  TagLib::ByteVector data;
  TagLib::String mime;
  int width = 0;  // 0 where not known
  int height = 0;
};

struct CarriedTags {
  // Artist, title, album, album artist, track and disc numbers, date, genre, composer,
  // comment and ReplayGain, under TagLib's property names.
  TagLib::PropertyMap properties;
  std::optional<Picture> cover;  // the front cover, else the first picture
};

// What the source at `path` has of them, in any format TagLib reads; nothing where it
// has none or cannot be read, which leaves the output untagged rather than failing it.
// The file is opened for reading only.
CarriedTags ReadCarriedTags(const std::string& path);

// ReplayGain values describe the source; the output is louder or softer by `appliedDb`.
// A value that cannot be read cannot be corrected, so it is dropped.
void CorrectReplayGain(TagLib::PropertyMap& properties, double appliedDb);

// The cover as it goes into the output: as it is where no size is asked for, or where it
// fits in the square and weighs no more than a byte a pixel of it; else scaled to fit,
// keeping its aspect, and stored as JPEG. 0 drops it. A picture that cannot be decoded
// cannot be measured, so it is dropped where a size is asked for.
std::optional<Picture> FittedCover(std::optional<Picture> cover, std::optional<int> maxSide);

// Writes the tags and the cover into the converted file that `stream` holds, each format
// its own way: ID3v2 (2.3 where asked) for MP3, iTunes items for MP4, a Xiph comment for
// Opus. False when TagLib cannot read or save it.
[[nodiscard]] bool WriteCarriedTags(TagLib::IOStream& stream, TargetCodec codec, bool id3v23,
                                    const CarriedTags& tags);

}  // namespace sorvina::media
