// SPDX-License-Identifier: GPL-3.0-or-later
// Every reader of tags opens a file the same way: what the one opening refuses (a FIFO, a
// folder, an ASF header that claims more than it holds) no reader hands to TagLib.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "media/tags/carried_tags.h"
#include "media/tags/draw_tags.h"
#include "media/tags/loudness_tags.h"
#include "media/tags/tagged_audio.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

// What each reader makes of a file, on one line.
std::string WhatReadersSee(const std::string& path, AudioFormat format) {
  const std::optional<DrawTags> draw = ReadDrawTags(path);
  const CarriedTags carried = ReadCarriedTags(path);
  const auto artist = carried.properties.find("ARTIST");
  return "caption=" + ReadTaggedAudio(path, format).caption +
         " draw=" + (draw ? draw->artist : "(none)") +
         " carried=" + (artist != carried.properties.end() ? artist->second.front() : "(none)") +
         " loudness=" + (LoudnessFromTags(path) ? "yes" : "no");
}

TEST(TagReadersTest, RefuseWhatTheOneOpeningRefuses) {
  test::TempDir dir;
  const std::string nothing = "caption= draw=(none) carried=(none) loudness=no";
  const std::string fifo = dir / "pipe.flac";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(WhatReadersSee(fifo, AudioFormat::kFlac), nothing);  // without waiting for a writer
  EXPECT_EQ(WhatReadersSee(dir.MakeFolder("folder.mp3"), AudioFormat::kMpeg), nothing);
  EXPECT_EQ(WhatReadersSee(dir / "missing.opus", AudioFormat::kOpus), nothing);

  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  const std::string honest = dir / "honest.wma";
  ASSERT_TRUE(
      test::RunCommand("ffmpeg -v error -f lavfi -i sine=duration=0.3 -c:a wmav2 "
                       "-metadata title=T -metadata artist=A " +
                       test::ShellQuoted(honest)));
  EXPECT_EQ(WhatReadersSee(honest, AudioFormat::kAsf),
            "caption=A - T draw=A carried=A loudness=no");
  // The extended content description claims two bytes less than its descriptors take;
  // TagLib would read on past it.
  std::string bytes = test::ReadBytes(honest);
  const std::size_t at = bytes.find(
      std::string("\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50", 16));
  ASSERT_NE(at, std::string::npos);
  std::uint64_t size = 0;
  std::memcpy(&size, bytes.data() + at + 16, 8);  // little-endian, as the machine's
  size -= 2;
  std::memcpy(bytes.data() + at + 16, &size, 8);
  const std::string lying = dir.WriteFile("lying.wma", bytes);
  EXPECT_EQ(WhatReadersSee(lying, AudioFormat::kAsf), nothing);
}

}  // namespace
}  // namespace sorvina::media
