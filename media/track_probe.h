// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "media/mp3_info.h"

namespace sorvina::media {

// What a playlist entry tells about a file besides its path.
struct TrackSummary {
  std::int64_t seconds = 0;  // 0 when the file cannot be analysed
  std::string caption;       // never empty unless the file name is that short
};

// Duration and caption of one file after another, with one analysis object reused for
// the whole loop. A file is read by the format its name's ending gives: MPEG audio (and
// any name without a known ending) by the stream analysis, the others by their headers
// and tags.
class TrackProbe {
 public:
  TrackSummary Probe(const std::string& path);

  // The playing time alone; `knownSize` is the file's size when the caller holds it, or 0.
  std::int64_t Seconds(const std::string& path, std::int64_t knownSize);

 private:
  Mp3Info info_;
};

}  // namespace sorvina::media
