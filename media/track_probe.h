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
// the whole loop.
class TrackProbe {
 public:
  TrackSummary Probe(const std::string& path);

 private:
  Mp3Info info_;
};

}  // namespace sorvina::media
