// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "engine/scan/tag_cache.h"
#include "tests/cli/cli_run.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::cli {
namespace {

using ::testing::HasSubstr;

// Ten tagged songs in one folder: six by one artist, two each by two others. Only the tags
// tell the artists apart.
TEST(ShapedSelectionTest, TheTagsCapAndSpreadTheArtistsOfARun) {
  test::TempDir dir;
  std::map<std::string, std::string> artistOf;
  const char* artists[] = {"Big", "Big", "Big", "X", "Big", "Big", "Y", "Big", "X", "Y"};
  for (int i = 0; i < 10; ++i) {
    const std::string path =
        dir.WriteFile("music/mixed/" + std::to_string(i) + ".mp3", test::ConstantBitrateMp3(2));
    test::WriteId3v2Texts(path, "Song " + std::to_string(i), artists[i]);
    artistOf[path] = artists[i];
  }
  // The tag cache goes where the user's cache folder is, here the test's own: the classic
  // run reads no tags, so it leaves none there.
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const Outcome classic = RunCli({"-s", dir / "music", "-p", dir / "l.m3u", "--all", "-n"});
  const bool classicLeftTags = std::filesystem::exists(engine::TagCache::DefaultFile());
  const Outcome capped =
      RunCli({"-s", dir / "music", "-p", dir / "l.m3u", "--all", "-n", "--max-per-artist", "3"});
  const bool cappedLeftTags = std::filesystem::exists(engine::TagCache::DefaultFile());
  EXPECT_EQ(test::LinesOf(classic.out).size(), 10u);
  EXPECT_FALSE(classicLeftTags);
  EXPECT_EQ(test::LinesOf(capped.out).size(), 7u);
  EXPECT_TRUE(cappedLeftTags);

  const std::string saved = dir / "shaped.txt";
  ASSERT_EQ(RunCli({"-s", dir / "music", "-p", dir / "l.m3u", "--all", "--max-per-artist", "2",
                    "--spread", "--rating-weights", "1,1,1,1,1,1", "--save-settings", saved})
                .status,
            0);
  const Outcome drawn = RunCli({"--settings", saved, "--seed", "3", "-n"});
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  const std::vector<std::string> paths = test::LinesOf(drawn.out);
  ASSERT_EQ(paths.size(), 6u) << drawn.out;
  std::map<std::string, int> perArtist;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    ++perArtist[artistOf.at(paths[i])];
    if (i > 0) {
      EXPECT_NE(artistOf.at(paths[i]), artistOf.at(paths[i - 1])) << drawn.out;
    }
  }
  EXPECT_EQ(perArtist, (std::map<std::string, int>{{"Big", 2}, {"X", 2}, {"Y", 2}}));
  // The playlist lists the songs in the order the dry run printed.
  ASSERT_EQ(RunCli({"--settings", saved, "--seed", "3"}).status, 0);
  std::string listed;
  for (const std::string& line : test::LinesOf(test::ReadBytes(dir / "l.m3u")))
    if (!line.empty() && line[0] != '#') listed += line.substr(0, line.size() - 1) + '\n';
  EXPECT_EQ(listed, drawn.out);
}

// Untagged albums, known by their folders: one each by three artists, three by a fourth.
// Whole albums come in their songs' order, cold and warm tag caches draw the same, the
// dry run lists what the playlist holds, and a settings file carries the choices.
TEST(ShapedSelectionTest, WholeAlbumsAndBalancedDrawsFromTheCommandLine) {
  test::TempDir dir;
  const std::string albums[] = {"Ann/Solo", "Bob/Solo", "Cy/Solo",
                                "Big/One",  "Big/Two",  "Big/Three"};
  std::map<std::string, std::string> albumOf;
  for (int a = 0; a < 6; ++a) {
    for (int song = 0; song < 4 + a; ++song) {
      const std::string path = dir.WriteFile(
          "music/" + albums[a] + "/" + std::to_string(song) + ".mp3", test::ConstantBitrateMp3(2));
      albumOf[path] = albums[a];
    }
  }
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const std::string list = dir / "l.m3u";
  const std::string saved = dir / "albums.txt";
  // About half the library, kept filling: whole albums, then single songs.
  ASSERT_EQ(RunCli({"-s", dir / "music", "-p", list, "--hours", "0.01", "--fill", "--albums",
                    "--save-settings", saved})
                .status,
            0);
  const Outcome cold = RunCli({"--settings", saved, "--seed", "5", "-n"});
  const Outcome warm = RunCli({"--settings", saved, "--seed", "5", "-n"});
  ASSERT_EQ(cold.status, 0) << cold.err;
  EXPECT_EQ(warm.out, cold.out);
  const std::vector<std::string> paths = test::LinesOf(cold.out);
  ASSERT_GE(paths.size(), 10u) << cold.out;
  std::size_t wholeSongs = 0;
  for (std::size_t i = 0; i < paths.size();) {
    std::size_t end = i;
    while (end < paths.size() && albumOf.at(paths[end]) == albumOf.at(paths[i]))
      ++end;
    const std::string album = albumOf.at(paths[i]);
    const auto size = static_cast<std::size_t>(std::count_if(
        albumOf.begin(), albumOf.end(), [&](const auto& song) { return song.second == album; }));
    if (end - i != size) break;  // the single songs begin
    EXPECT_TRUE(std::is_sorted(paths.begin() + static_cast<std::ptrdiff_t>(i),
                               paths.begin() + static_cast<std::ptrdiff_t>(end)));
    wholeSongs += size;
    i = end;
  }
  EXPECT_GE(wholeSongs, 4u) << cold.out;
  ASSERT_EQ(RunCli({"--settings", saved, "--seed", "5"}).status, 0);
  std::string listed;
  for (const std::string& line : test::LinesOf(test::ReadBytes(list)))
    if (!line.empty() && line[0] != '#') listed += line.substr(0, line.size() - 1) + '\n';
  EXPECT_EQ(listed, cold.out);

  // An equal chance per artist: the big artist's 24 songs of 39 weigh no more than Ann's
  // 4, so over 60 seeds of one song each it comes first about a quarter of the time.
  int big = 0;
  for (int seed = 1; seed <= 60; ++seed) {
    const Outcome one = RunCli({"-s", dir / "music", "-p", list, "--mb", "0.04", "-n", "--balance",
                                "artist", "--seed", std::to_string(seed)});
    ASSERT_EQ(one.status, 0) << one.err;
    big += albumOf.at(test::LinesOf(one.out).at(0)).starts_with("Big/") ? 1 : 0;
  }
  EXPECT_GT(big, 5);
  EXPECT_LT(big, 25);

  // A settings file may hold both; the run says what to change.
  const Outcome both = RunCli({"--settings", saved, "--balance", "album", "-n"});
  EXPECT_EQ(both.status, 1);
  EXPECT_THAT(both.err, HasSubstr("Whole albums cannot be drawn with an equal chance"));
}

// A shaping option the run cannot take is a wrong command line: status 2, a message that
// says what is wrong, and no playlist written.
struct WrongOptions {
  std::vector<std::string> options;
  std::string message;
};

void PrintTo(const WrongOptions& wrong, std::ostream* out) {
  for (const std::string& option : wrong.options)
    *out << option << ' ';
}

class WrongShapingTest : public ::testing::TestWithParam<WrongOptions> {};

TEST_P(WrongShapingTest, IsAWrongCommandLineThatSaysWhy) {
  test::TempDir dir;
  dir.WriteFile("music/song.mp3", test::ConstantBitrateMp3(2));
  std::vector<std::string> arguments = {"-s", dir / "music", "-p", dir / "l.m3u", "--all"};
  arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
  const Outcome outcome = RunCli(arguments);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_THAT(outcome.err, HasSubstr(GetParam().message));
  EXPECT_FALSE(std::filesystem::exists(dir / "l.m3u"));
}

INSTANTIATE_TEST_SUITE_P(
    ShapedSelectionTest, WrongShapingTest,
    ::testing::Values(WrongOptions{{"--max-per-artist", "0"}, "--max-per-artist"},
                      WrongOptions{{"--rating-weights", "1,2,3"}, "expected six weights"},
                      WrongOptions{{"--rating-weights", "1,2,3,4,5,-1"}, "may not be negative"},
                      WrongOptions{{"--rating-weights", "0,0,0,0,0,0"}, "above 0"},
                      WrongOptions{{"--rating-weights", "1,2,x,4,5,6"},
                                   "'x' is not a decimal number"},
                      WrongOptions{{"--rating-weights", "1,2,3,4,5,1e300"}, "below 1e96"},
                      WrongOptions{{"--balance", "genre"}, "--balance"},
                      WrongOptions{{"--balance", "artist", "--albums"}, "excludes"}));

}  // namespace
}  // namespace sorvina::cli
