// SPDX-License-Identifier: GPL-3.0-or-later
// Fills steered by what was listened to, with histories made up by the tests: weeks of a
// stick where only the songs heard are replaced, songs not played lately drawn more often,
// songs played lately left out, and runs that ask for no history reading none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/draw/play_weights.h"
#include "engine/draw/random_generator.h"
#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "tests/faults/fill_support.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/amounts.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct MadeUpHistory : PlayHistory {
  std::map<std::string, SongPlays> plays;
  std::optional<SongPlays> PlaysOf(std::string_view path) const override {
    const auto found = plays.find(std::string(path));
    return found == plays.end() ? std::nullopt : std::optional(found->second);
  }
};

// Hands out a copy of `history` (none where it is null), counting the calls.
HistoryGatherer GatherFrom(const MadeUpHistory* const& history, int& calls) {
  return [&history, &calls](const HistoryRequest&, RunPorts&) -> std::unique_ptr<PlayHistory> {
    ++calls;
    return history ? std::make_unique<MadeUpHistory>(*history) : nullptr;
  };
}

std::int64_t Now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

SongPlays Played(std::int64_t times, std::int64_t last) {
  return {times, last, std::nullopt};
}

// 30 songs of 1 KiB, each of its own bytes, in one folder.
std::vector<std::string> MakeSongs(const test::TempDir& dir) {
  std::vector<std::string> songs;
  for (int i = 0; i < 30; ++i) {
    const std::string relative = "music/t" + std::to_string(i) + ".mp3";
    dir.WriteFile(relative, std::string(1000, static_cast<char>('a' + i % 26)) + std::to_string(i));
    songs.push_back(dir / relative);
  }
  return songs;
}

// Four weeks of ten songs: each week the listener hears some of those on the stick (by
// their place in name order) and played one other before the fill; in the fourth no
// history is found, and the whole fill goes.
TEST(HeardFillTest, WeeksOfAStickReplaceOnlyTheSongsHeardAndKeepTheOthersInPlace) {
  test::TempDir dir;
  MakeSongs(dir);
  test::ExFatVolume stick(8);
  if (!stick.mounted()) GTEST_SKIP() << stick.reason();
  SelectionSettings settings;
  settings.sources = {dir / "music"};
  settings.copyToFolder = true;
  settings.destination = stick.path();
  settings.options.replacePrevious = settings.options.replaceHeard = true;
  MadeUpHistory history;
  const MadeUpHistory* found = &history;
  int calls = 0;
  SelectionRunOptions options;
  options.gatherHistory = GatherFrom(found, calls);

  std::set<std::string> onStick;
  std::optional<test::EntriesOnDevice> order;
  const std::vector<std::vector<int>> heardEachWeek = {{}, {0, 3, 5, 8}, {1, 2, 9}, {}};
  for (int week = 0; week < 4; ++week) {
    SCOPED_TRACE("week " + std::to_string(week + 1));
    const std::vector<std::string> before(onStick.begin(), onStick.end());
    std::set<std::string> heard;
    for (const int place : heardEachWeek[week]) {
      heard.insert(before[place]);
      history.plays[dir / ("music/" + before[place])] = Played(1, Now());
    }
    if (week > 0) history.plays[dir / ("music/" + before[4])] = Played(3, Now() - 1000);
    if (week == 3) found = nullptr;
    test::RecordingPorts ports;
    options.seed = week;
    const SelectionOutcome outcome =
        test::RunFor(settings, test::Megabytes("0.0098"), ports, options);  // ten songs
    ASSERT_TRUE(outcome.succeeded);
    const std::set<std::string> now = test::SongsOn(stick.path());
    std::set<std::string> chosen;
    for (const std::string& path : outcome.chosenPaths)
      chosen.insert(path.substr(path.rfind('/') + 1));
    EXPECT_EQ(now.size(), 10u);
    const std::string summary = SummaryLine(*outcome.summary);
    if (week == 3) {
      EXPECT_THAT(ports.warnings, ElementsAre(HasSubstr("No plays of the previous fill")));
      EXPECT_THAT(summary, Not(HasSubstr("played")));
      EXPECT_EQ(now, chosen);
      break;
    }
    EXPECT_THAT(ports.warnings, IsEmpty());
    for (const std::string& name : before)
      EXPECT_EQ(now.contains(name), !heard.contains(name)) << name;
    for (const std::string& name : chosen)
      EXPECT_TRUE(now.contains(name) && !heard.contains(name)) << name;
    if (week > 0) {
      EXPECT_THAT(summary, HasSubstr(std::to_string(heard.size()) +
                                     " played since the last fill replaced, " +
                                     std::to_string(10 - heard.size()) + " not yet played kept"));
    }
    // The songs kept stay where they were among the stick's entries.
    const std::optional<test::EntriesOnDevice> entries = stick.ReadEntryOrder();
    const auto keptOnly = [&](const test::EntriesOnDevice& in) {
      std::vector<std::string> kept;
      for (const std::string& name : in.at(""))
        if (onStick.contains(name) && now.contains(name)) kept.push_back(name);
      return kept;
    };
    if (order && entries) {
      EXPECT_EQ(keptOnly(*entries), keptOnly(*order));
    }
    order = entries;
    onStick = now;
  }
  EXPECT_EQ(calls, 4);
}

// Songs last played a day or less, a week, a month, over a year ago and never: 2,000
// draws of one song each take them as often as the curve says (chi-squared, 4 degrees of
// freedom, at 1 %).
TEST(PlayWeightsTest, SongsNotPlayedLatelyAreDrawnAsOftenAsTheCurveSays) {
  const std::int64_t now = 1'700'000'000;
  const std::array<std::int64_t, 4> ago = {600, 7 * kSecondsPerDay, 30 * kSecondsPerDay,
                                           400 * kSecondsPerDay};
  const std::array<double, 5> factors = {0.25, 1, 2, 3, 4};
  MadeUpHistory history;
  for (std::size_t i = 0; i < ago.size(); ++i)
    history.plays["/m/" + std::to_string(i)] = Played(1, now - ago[i]);
  ExtraOptions options;
  options.preferUnplayed = true;
  RandomGenerator random;
  random.Seed(7);
  constexpr int kDraws = 2000;
  std::array<int, 5> drawn{};
  for (int draw = 0; draw < kDraws; ++draw) {
    CandidatePool pool;
    for (std::size_t i = 0; i < factors.size(); ++i)
      pool.Add("/m/" + std::to_string(i), 1, 1.0);
    ASSERT_TRUE(WeighByPlays(pool, history, options, now));
    const std::vector<PooledCandidate> one =
        DrawCandidates(pool, random, {DrawLimit::Kind::kBytes, 1});
    ASSERT_EQ(one.size(), 1u);
    ++drawn[one[0].path.back() - '0'];
  }
  double chiSquared = 0;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const double expected = kDraws * factors[i] / 10.25;
    chiSquared += (drawn[i] - expected) * (drawn[i] - expected) / expected;
  }
  EXPECT_LT(chiSquared, 13.28) << drawn[0] << " " << drawn[1] << " " << drawn[2] << " " << drawn[3]
                               << " " << drawn[4];
}

// Which runs read a history, and what avoiding leaves out and a dry run tells of each
// song: played 1 and 6 days ago are left out with 7 days to avoid; 8 days ago and never
// stay.
TEST(PlayWeightsTest, OnlyRunsThatAskReadAHistoryAndAvoidingLeavesOutExactlyTheRecent) {
  test::TempDir dir;
  const std::vector<std::string> songs = MakeSongs(dir);
  MadeUpHistory history;
  history.plays = {{songs[0], Played(4, Now() - 1 * kSecondsPerDay)},
                   {songs[1], Played(2, Now() - 6 * kSecondsPerDay)},
                   {songs[2], Played(9, Now() - 8 * kSecondsPerDay)}};
  const MadeUpHistory* found = &history;
  const struct {
    bool replace, heard, prefer, playlist;
    int avoid, calls;
  } cases[] = {{false, false, false, false, 0, 0},
               {true, false, false, false, 0, 0},
               {true, true, false, true, 0, 0},
               {false, false, true, false, 0, 1},
               {false, false, false, true, 7, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.replace << c.heard << c.prefer << c.playlist << c.avoid);
    SelectionSettings settings;
    settings.sources = {dir / "music"};
    settings.copyToFolder = !c.playlist;
    settings.destination = c.playlist ? dir / "list.m3u" : dir / "player";
    settings.options.replacePrevious = c.replace;
    settings.options.replaceHeard = c.heard;
    settings.options.preferUnplayed = c.prefer;
    settings.options.avoidPlayedDays = c.avoid;
    settings.options.historySources = {"/nowhere/beets.db"};
    int calls = 0;
    SelectionRunOptions options;
    options.gatherHistory = GatherFrom(found, calls);
    options.dryRun = true;
    test::RecordingPorts ports;
    const SelectionOutcome outcome = test::RunFor(settings, test::All(), ports, options);
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(calls, c.calls);
    const std::set<std::string> chosen(outcome.chosenPaths.begin(), outcome.chosenPaths.end());
    EXPECT_EQ(chosen, std::set<std::string>(songs.begin() + (c.avoid > 0 ? 2 : 0), songs.end()));
    EXPECT_EQ(outcome.plays.size(), c.calls > 0 ? chosen.size() : 0);
    for (std::size_t i = 0; i < outcome.plays.size(); ++i)
      EXPECT_EQ(outcome.plays[i], history.PlaysOf(outcome.chosenPaths[i]));
  }
}

// The command line with the player's own log: a play the scrobbler log names by artist,
// title and length only is matched through the library's tags and kept in the user's
// history, so that the song is left out, and stays left out once the log is gone.
TEST(HeardFillTest, ThePlayersLogNamesASongByItsTagsAndTheCommandLineLeavesItOut) {
  test::TempDir dir;
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  for (const char* name : {"A", "B", "C"}) {
    const std::string path =
        dir.WriteFile(std::string("music/t") + name + ".mp3", test::ConstantBitrateMp3(10));
    test::WriteId3v2Texts(path, std::string("Song ") + name, std::string("Artist ") + name);
  }
  test::ExFatVolume stick(8);
  if (!stick.mounted()) GTEST_SKIP() << stick.reason();
  test::WriteOn(stick.path(), ".scrobbler.log",
                "#AUDIOSCROBBLER/1.1\n#TZ/UTC\n#CLIENT/x\nartist b\tAlbum\tSONG B\t1\t11\tL\t" +
                    std::to_string(Now() - 86400) + "\t\n");
  const std::vector<std::string> fill = {"-s",    dir / "music",    "-c", stick.path(),
                                         "--all", "--avoid-played", "3"};
  test::CliOutcome run = test::RunCli(fill);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::SongsOn(stick.path()), (std::set<std::string>{"tA.mp3", "tC.mp3"})) << run.err;
  EXPECT_THAT(run.err, Not(HasSubstr("matched no song")));

  std::filesystem::remove(stick.path() + "/.scrobbler.log");
  for (const char* name : {"A", "C"})
    std::filesystem::remove(stick.path() + "/t" + name + ".mp3");
  run = test::RunCli(fill);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::SongsOn(stick.path()), (std::set<std::string>{"tA.mp3", "tC.mp3"})) << run.err;
  unsetenv("XDG_STATE_HOME");
}

// Three weeks of a stick with the player's playback log written between them, through the
// command line: exactly the songs heard since a fill are replaced, the others stay, and
// nothing heard comes back the week after.
TEST(HeardFillTest, ThreeWeeksWithThePlayersPlaybackLogReplaceExactlyWhatWasHeard) {
  test::TempDir dir;
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  for (char name = 'A'; name <= 'L'; ++name)
    dir.WriteFile(std::string("music/t") + name + ".mp3",
                  test::ConstantBitrateMp3(4) + std::string(1, name));
  test::ExFatVolume stick(8);
  if (!stick.mounted()) GTEST_SKIP() << stick.reason();
  const auto week = [&](int seed) {
    const test::CliOutcome run =
        test::RunCli({"-s", dir / "music", "-c", stick.path(), "--mb", "0.25", "--replace", "heard",
                      "--seed", std::to_string(seed)});
    EXPECT_EQ(run.status, 0) << run.err;
    return test::SongsOn(stick.path());
  };
  std::string log;
  const auto hear = [&](const std::string& song) {
    log += std::to_string(Now()) + ":60000:64000:/" + song + "\n";
    test::WriteOn(stick.path(), ".rockbox/playback.log", log);
  };
  std::set<std::string> on = week(1);
  ASSERT_GE(on.size(), 3u);
  std::set<std::string> heard;
  for (int w = 2; w <= 3; ++w) {
    const std::string played = *on.begin();
    hear(played);
    heard.insert(played);
    const std::set<std::string> before = on;
    on = week(w);
    EXPECT_EQ(on.count(played), 0u) << "week " << w;
    for (const std::string& song : before) {
      if (song == played) continue;
      EXPECT_EQ(on.count(song), 1u) << song << " week " << w;
    }
    EXPECT_EQ(on.size(), before.size()) << "week " << w;
  }
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace sorvina::engine
