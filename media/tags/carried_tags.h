// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tags and the cover that a conversion carries from its source into its output: read
// from the source, and written into the converted file.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/file_types.h"

namespace sorvina::media {

// A picture as a file's tags hold it.
struct Picture {
  std::string data;  // the image file's bytes
  std::string mime;  // as the tag states it ("image/jpeg"); may be empty
  int width = 0;     // 0 where not known
  int height = 0;
};

// Tag values under upper-case property names ("ARTIST", "REPLAYGAIN_TRACK_GAIN"), as
// TagLib names them in every format; each name with its values, in UTF-8.
using TagProperties = std::map<std::string, std::vector<std::string>>;

struct CarriedTags {
  // Artist, title, album, album artist, track and disc numbers, date, genre, composer,
  // comment and ReplayGain.
  TagProperties properties;
  std::optional<Picture> cover;  // the front cover, else the first picture
};

// The names of the tags carried, as TagLib's properties name them.
std::span<const char* const> CarriedTagNames();

// What the source at `path` has of them, in any format TagLib reads; nothing where it
// has none or cannot be read, which leaves the output untagged rather than failing it.
// The file is opened for reading only.
CarriedTags ReadCarriedTags(const std::string& path);

// ReplayGain values describe the source; the output is louder or softer by `appliedDb`.
// Gains and peaks are read as TagNumber reads them (gains with their "dB") and written as
// "-6.50 dB" and "0.250000". A value that cannot be read cannot be corrected, so it is
// dropped, and so is one whose correction is too large to write as a plain number.
void CorrectReplayGain(TagProperties& properties, double appliedDb);

// Writes the tags and the cover into the converted file whose whole content is `bytes`,
// each format its own way: ID3v2 (2.3 where asked) for MPEG audio, iTunes items for MP4,
// a Xiph comment for Opus. False where TagLib cannot read or save it, or for another
// format; `bytes` then holds nothing, as they are handed to TagLib and freed before it
// writes.
[[nodiscard]] bool WriteCarriedTags(std::string& bytes, AudioFormat format, bool id3v23,
                                    const CarriedTags& tags);

}  // namespace sorvina::media
