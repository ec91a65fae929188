// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sorvina::media {

// How loud a song sounds as a whole, and how high its waveform reaches between samples:
// measured (MeasureLoudness) or as the song's tags state it (LoudnessFromTags).
struct Loudness {
  double integratedLufs;  // EBU R128 integrated loudness
  double truePeakDb;      // dBTP; NaN when unknown (a loudness read from tags alone)
};

// The gain in dB that brings a song of `loudness` to `targetLufs`, lowered (never raised)
// so that its true peak stays at or below `truePeakCeilingDb`. An unknown peak does not
// lower it.
[[nodiscard]] double GainTo(const Loudness& loudness, double targetLufs,
                            double truePeakCeilingDb = -1.0);

}  // namespace sorvina::media
