// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs/chapter_split.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/encoded_audio.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

TEST(ChapterSplitTest, RefusesTablesThatCannotBeSplit) {
  struct Case {
    std::vector<ChapterMark> marks;
    const char* fault;  // the start of the reason; "" for a usable table
  };
  const std::vector<Case> cases = {
      {{{0, 10, ""}, {10, 20, ""}}, ""},
      {{{0, 10, ""}, {12, 20, ""}}, ""},  // a gap is no fault
      {{{-1, 10, ""}, {10, 20, ""}}, "chapter 1 has a negative"},
      {{{0, 10, ""}, {10, 10, ""}}, "chapter 2 ends before"},
      {{{0, 10, ""}, {5, 20, ""}}, "chapter 2 overlaps"},
      {{{0, 1.0 / 0.0, ""}}, "chapter 1 has a negative or no start"},
      {std::vector<ChapterMark>(kMostChapters + 1, {0, 1, ""}), "2001 chapter marks"},
  };
  for (const Case& c : cases) {
    const std::string fault = codecs::ChapterTableFault(c.marks);
    EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault) << fault;
    EXPECT_EQ(fault.empty(), std::string(c.fault).empty()) << fault;
  }
}

// MP3s whose chapter marks (ID3v2 CHAP frames) overlap, or number 100,000, are refused
// through the helper with the reason, in bounded time, and nothing is written.
TEST(ChapterSplitTest, HostileChapterTablesAreRefusedQuickly) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const auto make = [&](const std::string& name, const std::string& chapters) {
    std::ofstream(dir / (name + ".txt")) << ";FFMETADATA1\n" << chapters;
    EXPECT_TRUE(test::RunCommand("ffmpeg -loglevel error -f lavfi -i sine=duration=4 -i " +
                                 test::ShellQuoted(dir / (name + ".txt")) +
                                 " -map_chapters 1 -c:a libmp3lame " +
                                 test::ShellQuoted(dir / (name + ".mp3")) + " -y"));
    return dir / (name + ".mp3");
  };
  const auto chapter = [](int start, int end) {
    return "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" + std::to_string(start) +
           "\nEND=" + std::to_string(end) + "\n";
  };
  std::string many;
  for (int i = 0; i < 100000; ++i)
    many += chapter(i, i + 1);
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {{make("overlap", chapter(0, 3000) + chapter(1000, 4000)), "chapter 2 overlaps"},
               {make("many", many), "100000 chapter marks"}};
  for (const auto& c : cases) {
    const auto begun = std::chrono::steady_clock::now();
    const ChapterSplitResult split = SplitAtChapters(c.path, dir / "out", nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(20));
    EXPECT_FALSE(split.ok);
    EXPECT_EQ(split.reason.substr(0, std::string(c.reason).size()), c.reason) << split.reason;
    EXPECT_TRUE(split.chapters.empty());
  }
}

}  // namespace
}  // namespace sorvina::media
