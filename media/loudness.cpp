// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/loudness.h"

#include <algorithm>
#include <cmath>

namespace sorvina::media {

double GainTo(const Loudness& loudness, double targetLufs, double truePeakCeilingDb) {
  const double gain = targetLufs - loudness.integratedLufs;
  if (std::isnan(loudness.truePeakDb)) return gain;
  return std::min(gain, truePeakCeilingDb - loudness.truePeakDb);
}

}  // namespace sorvina::media
