// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace sorvina::media {

// An MP3's loudness changes without decoding it: every granule of every channel of a
// Layer III frame states a global gain, one step of which scales the decoded samples by
// 1.5 dB. Changing those 8-bit fields alone changes the volume and leaves every other
// byte, and the file's size, as they are.
inline constexpr double kMp3GainStepDb = 1.5;

// The steps nearest to `gainDb` (at most 256 either way, which reach any gain; 0 for NaN).
[[nodiscard]] int Mp3GainSteps(double gainDb);

// What a change did.
struct Mp3GainChange {
  int frames = 0;         // audio frames changed
  int clampedFields = 0;  // global gains held at 0 or 255 short of the whole change
};

// Adds `steps` to the global gains of every audio frame of the MP3 file whose whole
// content is `bytes` (a granule's block that codes no data, and so decodes to silence,
// keeps its gain). The frames are walked from the first one (after any ID3v2 tag) to the tags
// at the end; a Xing, Info or VBRI frame, which holds no audio, is kept as it is. A frame
// protected by a CRC gets its CRC recomputed; one whose CRC was wrong before refuses the
// file. False, with the reason in `reason` (when given) and `bytes` untouched, for a file
// that is not MPEG Layer III or that is damaged: a frame header missing where one should
// be, a change of version or sample rate, bytes after the frames that are no tag.
[[nodiscard]] bool ApplyMp3Gain(std::string& bytes, int steps, std::string* reason = nullptr,
                                Mp3GainChange* change = nullptr);

}  // namespace sorvina::media
