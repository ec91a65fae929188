// SPDX-License-Identifier: GPL-3.0-or-later
// The loudness that the tags of any bytes state, as a file of the type that the input's
// first byte picks: TagLib reads the tags through the one opening of the tag readers, and
// the program reads the ReplayGain and R128 values as numbers.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "media/tags/loudness_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string path = sorvina::fuzz::WriteSongFile(data, size);
  const std::optional<sorvina::media::Loudness> loudness = sorvina::media::LoudnessFromTags(path);
  if (!loudness) return 0;
  // The gain to a target must be a number: a loudness never is infinite or NaN, and a peak
  // is a number or unknown.
  FUZZ_CHECK(std::isfinite(loudness->integratedLufs));
  FUZZ_CHECK(std::isnan(loudness->truePeakDb) || std::isfinite(loudness->truePeakDb));
  FUZZ_CHECK(std::isfinite(sorvina::media::GainTo(*loudness, -14)));
  return 0;
}
