// SPDX-License-Identifier: GPL-3.0-or-later
// ReplayGain values moved by the gain a conversion applies.
#include "media/tags/carried_tags.h"

#include <gtest/gtest.h>

#include <string>

namespace sorvina::media {
namespace {

TEST(CorrectReplayGainTest, MovesWhatReadsAsANumberAndDropsTheRest) {
  const struct {
    const char* name;
    std::string value;
    const char* corrected;  // after 3 dB more; empty: dropped
  } cases[] = {
      {"REPLAYGAIN_TRACK_GAIN", "-6.50 dB", "-9.50 dB"},
      {"REPLAYGAIN_TRACK_GAIN",
       "\xE2\x88\x92"
       "6,5 dB",
       "-9.50 dB"},
      {"REPLAYGAIN_ALBUM_GAIN", "-6,5 dB", "-9.50 dB"},
      {"REPLAYGAIN_ALBUM_GAIN", " +4 ", "+1.00 dB"},
      {"REPLAYGAIN_TRACK_PEAK", "0,5", "0.706269"},
      {"REPLAYGAIN_ALBUM_PEAK", "0.988000", "1.395587"},
      {"REPLAYGAIN_TRACK_GAIN", "loud", ""},
      {"REPLAYGAIN_TRACK_PEAK", "0.5 dB", ""},
      // Too large to write as a plain number.
      {"REPLAYGAIN_TRACK_GAIN", "-1" + std::string(100, '0') + " dB", ""},
      {"REPLAYGAIN_TRACK_PEAK", "17" + std::string(307, '0'), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    TagProperties properties{{c.name, {c.value}}, {"ARTIST", {"A"}}};
    CorrectReplayGain(properties, 3);
    const TagProperties expected = *c.corrected != '\0'
                                       ? TagProperties{{c.name, {c.corrected}}, {"ARTIST", {"A"}}}
                                       : TagProperties{{"ARTIST", {"A"}}};
    EXPECT_EQ(properties, expected);
  }
}

}  // namespace
}  // namespace sorvina::media
