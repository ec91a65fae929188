// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace sorvina::media {

// How loud a song sounds as a whole, and how high its waveform reaches between samples.
struct Loudness {
  double integratedLufs;  // EBU R128 integrated loudness
  double truePeakDb;      // dBTP; NaN when unknown (a loudness read from tags alone)
};

// Decodes the file at `path` and measures its integrated loudness and true peak as EBU
// R128 defines them. A mono file is measured as played on both speakers of a stereo
// player, and one of more than two channels as the stereo downmix such a player gets.
// Nothing for a file that cannot be decoded or holds only silence, with the reason in
// `reason` (when given). The file is only read.
[[nodiscard]] std::optional<Loudness> MeasureLoudness(const std::string& path,
                                                      std::string* reason = nullptr);

// The loudness that the file's own tags imply, which spares a measurement: an Opus
// R128_TRACK_GAIN (Q7.8 dB towards -23 LUFS), else a ReplayGain track gain (ID3v2 TXXX,
// Vorbis comment, APE item or MP4 freeform "----:com.apple.iTunes:replaygain_track_gain")
// towards ReplayGain's -18 LUFS. The peak comes from REPLAYGAIN_TRACK_PEAK, a linear
// sample peak that may lie a little below the true peak; NaN without one. Nothing when
// the file cannot be read or carries neither gain as a number.
[[nodiscard]] std::optional<Loudness> LoudnessFromTags(const std::string& path);

// The gain in dB that brings a song of `loudness` to `targetLufs`, lowered (never raised)
// so that its true peak stays at or below `truePeakCeilingDb`. An unknown peak does not
// lower it.
[[nodiscard]] double GainTo(const Loudness& loudness, double targetLufs,
                            double truePeakCeilingDb = -1.0);

}  // namespace sorvina::media
