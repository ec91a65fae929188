// SPDX-License-Identifier: GPL-3.0-or-later
// Weeks of a stick on a real exFAT volume with a lane of books beside the random songs:
// the chapters go on in order, in the directory and by name, and the lane moves on as the
// listener takes chapters off the stick.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/faults/fill_support.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;

// The files of `folder` on the stick, in name order.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Chapters(int first, int last) {
  std::vector<std::string> names;
  for (int i = first; i <= last; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%03d %d.mp3", i, i);
    names.push_back(name);
  }
  return names;
}

TEST(BookLaneFillTest, WeeksOfAStickBringTheNextChaptersInOrderAndMoveOnAsTheyAreTakenOff) {
  test::TempDir dir;
  // A book of 20 chapters, chapter i lasting 30 + i seconds, named so that only natural
  // order puts them right; a second book; and ten songs, some in the books folder's way.
  for (int i = 1; i <= 20; ++i)
    dir.WriteFile("books/The Book/" + std::to_string(i) + ".mp3", test::ConstantBitrateMp3(30 + i));
  dir.WriteFile("books/Zweites/1.mp3", test::ConstantBitrateMp3(29));
  for (int i = 0; i < 10; ++i)
    dir.WriteFile("music/song" + std::to_string(i) + ".mp3", test::ConstantBitrateMp3(5 + i));
  test::ExFatVolume stick(64);
  if (!stick.mounted()) GTEST_SKIP() << stick.reason();
  const std::string shelf = stick / "Audiobooks/The Book";
  // The music source holds the books too: they never come among the random songs.
  const auto fill = [&](int seed) {
    return test::RunCli({"-s", dir.path(), "-c", stick.path(), "--mb", "12", "--books",
                         dir / "books", "--books-ahead", "0.05", "--replace-previous", "--seed",
                         std::to_string(seed)});
  };
  // 180 seconds ahead: chapters 1 to 6 (31 + ... + 36 seconds).
  const test::CliOutcome first = fill(1);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(NamesIn(shelf), Chapters(1, 6));
  for (const std::string& song : NamesIn(stick.path()))
    EXPECT_TRUE(song == "Audiobooks" || song.starts_with("song") || song == ".sorvina") << song;

  // The first three are heard and taken off: 4 and 5 stay, 6 to 8 join them.
  for (int i = 1; i <= 3; ++i)
    fs::remove(shelf + "/" + Chapters(i, i).front());
  const test::CliOutcome second = fill(2);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(NamesIn(shelf), Chapters(4, 8));
  // The new chapters took the places the first three freed, ahead of 4 and 5: the folder
  // was put in play order again.
  std::optional<test::EntriesOnDevice> onDevice = stick.ReadEntryOrder();
  ASSERT_TRUE(onDevice) << "fatsort cannot read the stick";
  EXPECT_EQ(onDevice->at("Audiobooks/The Book"), Chapters(4, 8));

  // All taken off: 9 to 13 come.
  for (const std::string& name : NamesIn(shelf))
    fs::remove(shelf + "/" + name);
  const test::CliOutcome third = fill(3);
  ASSERT_EQ(third.status, 0) << third.err;
  EXPECT_EQ(NamesIn(shelf), Chapters(9, 13));
  onDevice = stick.ReadEntryOrder();
  ASSERT_TRUE(onDevice) << "fatsort cannot read the stick";
  EXPECT_EQ(onDevice->at("Audiobooks/The Book"), Chapters(9, 13));

  // A smaller amount than the lane ahead: chapter 14 fits its 75 seconds; 15 does not, and
  // neither does anything after it, though the next book's 29 seconds would.
  for (const std::string& name : NamesIn(shelf))
    fs::remove(shelf + "/" + name);
  const test::CliOutcome fourth =
      test::RunCli({"-s", dir.path(), "-c", stick.path(), "--hours", "0.021", "--books",
                    dir / "books", "--books-ahead", "1", "--replace-previous", "--seed", "4"});
  ASSERT_EQ(fourth.status, 0) << fourth.err;
  EXPECT_EQ(NamesIn(shelf), Chapters(14, 14));
  EXPECT_FALSE(fs::exists(stick / "Audiobooks/Zweites"));
}

// The car's profile splits an audiobook that is one file at its chapter marks: one file per
// chapter, as long as its marks say, named by its title; the second fill takes the split
// from the cache and brings the chapter after those taken off.
TEST(BookLaneFillTest, TheCarGetsALongBookAsOneFilePerChapter) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const test::CacheFolderMoved cache(dir / "cache");
  const std::vector<std::pair<int, int>> marks = {{0, 12500}, {12500, 20000}, {20000, 31000}};
  std::string metadata = ";FFMETADATA1\nartist=Die Autorin\nalbum=Das Buch\n";
  for (std::size_t i = 0; i < marks.size(); ++i)
    metadata += "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" + std::to_string(marks[i].first) +
                "\nEND=" + std::to_string(marks[i].second) + "\ntitle=Teil " +
                std::to_string(i + 1) + "\n";
  dir.WriteFile("meta.txt", metadata);
  dir.MakeFolder("books");
  ASSERT_TRUE(test::RunCommand("ffmpeg -loglevel error -f lavfi -i sine=duration=31 -i " +
                               test::ShellQuoted(dir / "meta.txt") +
                               " -map_metadata 1 -map_chapters 1 -c:a aac " +
                               test::ShellQuoted(dir / "books/Buch.m4b") + " -y"));
  dir.MakeFolder("music");
  ASSERT_TRUE(
      test::RunCommand("ffmpeg -loglevel error -f lavfi -i sine=duration=3 -c:a libmp3lame " +
                       test::ShellQuoted(dir / "music/song.mp3") + " -y"));
  const std::string player = dir.MakeFolder("player");
  const auto fill = [&](bool convert) {
    std::vector<std::string> arguments = {
        "-s",  dir / "music", "-c",          player,          "--all", "--player",
        "car", "--books",     dir / "books", "--books-ahead", "0.005", "--replace-previous"};
    if (convert) arguments.insert(arguments.end(), {"--convert", "auto"});
    return test::RunCli(arguments);
  };
  const std::string shelf = player + "/Audiobooks/Die Autorin - Das Buch";
  // The car plays MP3 alone: chapters split as AAC go there only converted.
  const test::CliOutcome unconverted = fill(false);
  ASSERT_EQ(unconverted.status, 0) << unconverted.err;
  EXPECT_THAT(unconverted.err, ::testing::HasSubstr("format the player does not play"));
  EXPECT_FALSE(fs::exists(shelf));
  const test::CliOutcome first = fill(true);
  ASSERT_EQ(first.status, 0) << first.err;
  // 18 seconds ahead: the first two chapters.
  ASSERT_EQ(NamesIn(shelf), (std::vector<std::string>{"001 Teil 1.mp3", "002 Teil 2.mp3"}));
  for (std::size_t i = 0; i < 2; ++i)
    EXPECT_NEAR(test::DecodedSeconds(shelf + "/" + NamesIn(shelf)[i]),
                (marks[i].second - marks[i].first) / 1000.0, 0.1);
  fs::remove(shelf + "/001 Teil 1.mp3");
  const test::CliOutcome second = fill(true);
  ASSERT_EQ(second.status, 0) << second.err;
  ASSERT_EQ(NamesIn(shelf), (std::vector<std::string>{"002 Teil 2.mp3", "003 Teil 3.mp3"}));
  EXPECT_NEAR(test::DecodedSeconds(shelf + "/003 Teil 3.mp3"), 11.0, 0.1);
}

}  // namespace
}  // namespace sorvina::engine
