// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace TagLib {
class IOStream;
}

// Private to media/tags/.
namespace sorvina::media {

// Readings of the containers themselves, for what TagLib misses or misreads. Each takes
// only structures that lie whole in the file, trusts no stated size beyond its end, and
// bounds its work whatever the file claims.

// `samples` at `rate` a second, to the nearest second; 0 without samples or rate.
std::int64_t NearestSecondOfSamples(std::int64_t samples, std::int64_t rate);

// The caption of an AIFF or AIFF-C file from its native text chunks: "AUTH - NAME", or
// NAME alone; empty without a NAME chunk.
std::string AiffTextChunkCaption(TagLib::IOStream& stream);

// The playing time of an Opus file up to its last page that is whole and intact (its
// checksum holds), which is what a download cut short still plays; nothing when no such
// page of the stream lies near the end.
std::optional<std::int64_t> OpusSecondsToLastWholePage(TagLib::IOStream& stream);

// What an MP4 file's whole boxes tell, for a file TagLib refuses (a movie box cut short,
// or claiming more than the file holds): the time from the movie header, else from a
// media header, and the caption from the item list's title and artist. Nothing without
// a movie box.
struct Mp4Boxes {
  std::int64_t seconds = 0;  // to the nearest second; 0 where no header states it
  std::string caption;
};
std::optional<Mp4Boxes> ReadMp4Boxes(TagLib::IOStream& stream);

}  // namespace sorvina::media
