// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
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

  const std::string list = dir / "l.m3u";
  const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
      {{"--max-per-artist", "0"}, "--max-per-artist"},
      {{"--rating-weights", "1,2,3"}, "expected six weights"},
      {{"--rating-weights", "1,2,3,4,5,-1"}, "may not be negative"},
      {{"--rating-weights", "0,0,0,0,0,0"}, "above 0"},
      {{"--rating-weights", "1,2,x,4,5,6"}, "'x' is not a decimal number"},
  };
  for (const auto& [options, message] : wrong) {
    std::vector<std::string> arguments = {"-s", dir / "music", "-p", list, "--all"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const Outcome outcome = RunCli(arguments);
    EXPECT_EQ(outcome.status, 2) << options.back();
    EXPECT_THAT(outcome.err, HasSubstr(message));
  }
}

}  // namespace
}  // namespace sorvina::cli
