// SPDX-License-Identifier: GPL-3.0-or-later
// Fills steered by what was listened to, with histories made up by the tests: weeks of a
// stick where only the songs heard are replaced, songs not played lately drawn more often,
// songs played lately left out, and runs that ask for no history reading none.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ctime>
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
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class MadeUpHistory : public PlayHistory {
 public:
  explicit MadeUpHistory(std::map<std::string, SongPlays> plays) : plays_(std::move(plays)) {}
  std::optional<SongPlays> PlaysOf(std::string_view path) const override {
    const auto found = plays_.find(std::string(path));
    return found == plays_.end() ? std::nullopt : std::optional(found->second);
  }

 private:
  std::map<std::string, SongPlays> plays_;
};

// A gatherer that hands out `plays` (none where `none`) and counts its calls.
struct MadeUpGatherer {
  std::map<std::string, SongPlays> plays;
  bool none = false;
  int calls = 0;
  HistoryGatherer Gatherer() {
    return [this](const HistoryRequest&, RunPorts&) -> std::unique_ptr<PlayHistory> {
      ++calls;
      if (none) return nullptr;
      return std::make_unique<MadeUpHistory>(plays);
    };
  }
};

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

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

TEST(HeardFillTest, WeeksOfAStickReplaceOnlyTheSongsHeardAndKeepTheOthersInPlace) {
  test::TempDir dir;
  const std::vector<std::string> songs = MakeSongs(dir);
  test::ExFatVolume stick(8);
  if (!stick.mounted()) GTEST_SKIP() << stick.reason();
  SelectionSettings settings;
  settings.sources = {dir / "music"};
  settings.copyToFolder = true;
  settings.destination = stick.path();
  settings.options.replacePrevious = true;
  settings.options.replaceHeard = true;
  MadeUpGatherer history;
  SelectionRunOptions options;
  options.gatherHistory = history.Gatherer();
  test::RecordingPorts ports;
  const auto fill = [&](std::uint32_t seed) {
    ports = {};
    options.seed = seed;
    return test::RunFor(settings, test::Megabytes("0.0098"), ports, options);  // ten songs
  };

  std::set<std::string> onStick;  // the songs of the last fill, by name
  std::optional<test::EntriesOnDevice> order;
  // Each week the listener hears these of the songs on the stick (by their place in name
  // order); one other was played, but before the fill.
  const std::vector<std::vector<int>> heardEachWeek = {{}, {0, 3, 5, 8}, {1, 2, 9}};
  for (int week = 0; week < 3; ++week) {
    SCOPED_TRACE("week " + std::to_string(week + 1));
    std::set<std::string> heard;
    const std::vector<std::string> before(onStick.begin(), onStick.end());
    for (const int place : heardEachWeek[week]) {
      heard.insert(before[place]);
      history.plays[dir / ("music/" + before[place])] = Played(1, Now());
    }
    if (week > 0)
      history.plays[dir / ("music/" + before[4])] = Played(3, Now() - 30 * kSecondsPerDay);
    const SelectionOutcome outcome = fill(week + 1);
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_THAT(ports.warnings, IsEmpty());
    std::set<std::string> chosen;
    for (const std::string& path : outcome.chosenPaths)
      chosen.insert(NameOf(path));
    const std::set<std::string> now = test::SongsOn(stick.path());
    const std::size_t kept = before.size() - heard.size();
    EXPECT_EQ(now.size(), 10u);
    EXPECT_EQ(chosen.size(), 10u - kept);
    for (const std::string& name : before)
      EXPECT_EQ(now.contains(name), !heard.contains(name)) << name;
    for (const std::string& name : chosen) {
      EXPECT_FALSE(heard.contains(name)) << name << " was heard this week";
      EXPECT_TRUE(now.contains(name)) << name;
    }
    if (week > 0) {
      EXPECT_THAT(
          SummaryLine(*outcome.summary),
          HasSubstr(std::to_string(heard.size()) + " played since the last fill replaced, " +
                    std::to_string(kept) + " not yet played kept"));
    }
    // The songs kept stay where they were among the stick's entries.
    const std::optional<test::EntriesOnDevice> entries = stick.ReadEntryOrder();
    if (order && entries) {
      const auto keptOnly = [&](const std::vector<std::string>& names) {
        std::vector<std::string> kept;
        for (const std::string& name : names)
          if (onStick.contains(name) && now.contains(name)) kept.push_back(name);
        return kept;
      };
      EXPECT_EQ(keptOnly(entries->at("")), keptOnly(order->at("")));
    }
    order = entries;
    onStick = now;
  }
}

// With no history, or one that knows none of the previous fill's songs, the whole fill is
// replaced, as without the option, and the run says why.
TEST(HeardFillTest, WithoutPlaysOfTheLastFillItIsReplacedWhole) {
  test::TempDir dir;
  const std::vector<std::string> songs = MakeSongs(dir);
  for (const bool none : {true, false}) {
    SCOPED_TRACE(none ? "no history" : "none of its songs known");
    SelectionSettings settings;
    settings.sources = {dir / "music"};
    settings.copyToFolder = true;
    settings.destination = dir.MakeFolder(none ? "player1" : "player2");
    settings.options.replacePrevious = true;
    settings.options.replaceHeard = true;
    MadeUpGatherer history;
    history.none = none;
    history.plays[dir / "elsewhere.mp3"] = Played(1, Now());
    SelectionRunOptions options;
    options.gatherHistory = history.Gatherer();
    test::RecordingPorts ports;
    options.seed = 1;
    ASSERT_TRUE(test::RunFor(settings, test::Megabytes("0.0098"), ports, options).succeeded);
    ports = {};
    options.seed = 2;
    const SelectionOutcome second =
        test::RunFor(settings, test::Megabytes("0.0098"), ports, options);
    EXPECT_THAT(ports.warnings, testing::ElementsAre(HasSubstr("No plays of the previous fill")));
    EXPECT_THAT(SummaryLine(*second.summary), Not(HasSubstr("played")));
    std::set<std::string> chosen;
    for (const std::string& path : second.chosenPaths)
      chosen.insert(NameOf(path));
    EXPECT_EQ(test::SongsOn(settings.destination), chosen);
    EXPECT_EQ(history.calls, 2);
  }
}

// Five songs last played a day or less, a week, a month, over a year ago and never:
// 2,000 draws of one song each take them as often as the curve says (chi-squared, 4
// degrees of freedom, at 1 %).
TEST(PlayWeightsTest, SongsNotPlayedLatelyAreDrawnAsOftenAsTheCurveSays) {
  const std::int64_t now = 1'700'000'000;
  const std::array<std::optional<std::int64_t>, 5> ages = {kSecondsPerDay / 2, 7 * kSecondsPerDay,
                                                           30 * kSecondsPerDay,
                                                           400 * kSecondsPerDay, std::nullopt};
  const std::array<double, 5> factors = {0.25, 1, 2, 3, 4};
  std::map<std::string, SongPlays> plays;
  for (std::size_t i = 0; i < ages.size(); ++i)
    if (ages[i]) plays["/m/" + std::to_string(i)] = Played(1, now - *ages[i]);
  const MadeUpHistory history(plays);
  ExtraOptions options;
  options.preferUnplayed = true;
  RandomGenerator random;
  random.Seed(7);
  constexpr int kDraws = 2000;
  std::array<int, 5> drawn{};
  for (int draw = 0; draw < kDraws; ++draw) {
    CandidatePool pool;
    for (std::size_t i = 0; i < ages.size(); ++i)
      pool.Add("/m/" + std::to_string(i), 1, 1.0);
    ASSERT_TRUE(WeighByPlays(pool, history, options, now));
    const std::vector<PooledCandidate> one =
        DrawCandidates(pool, random, {DrawLimit::Kind::kBytes, 1}, {}, DrawMethod::kFastest);
    ASSERT_EQ(one.size(), 1u);
    ++drawn[std::stoul(std::string(one[0].path.substr(3)))];
  }
  double total = 0;
  for (const double factor : factors)
    total += factor;
  double chiSquared = 0;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const double expected = kDraws * factors[i] / total;
    chiSquared += (drawn[i] - expected) * (drawn[i] - expected) / expected;
  }
  EXPECT_LT(chiSquared, 13.28) << drawn[0] << " " << drawn[1] << " " << drawn[2] << " " << drawn[3]
                               << " " << drawn[4];
}

// Which runs read a history, and what a playlist's dry run leaves out and tells of each
// song: played 1 and 6 days ago are left out with 7 days to avoid; 8 days ago and never
// stay.
TEST(PlayWeightsTest, OnlyRunsThatAskReadAHistoryAndAvoidingLeavesOutExactlyTheRecent) {
  test::TempDir dir;
  const std::vector<std::string> songs = MakeSongs(dir);
  std::map<std::string, SongPlays> plays = {{songs[0], Played(4, Now() - 1 * kSecondsPerDay)},
                                            {songs[1], Played(2, Now() - 6 * kSecondsPerDay)},
                                            {songs[2], Played(9, Now() - 8 * kSecondsPerDay)}};
  struct Case {
    const char* what;
    void (*set)(SelectionSettings&);
    int calls;
  };
  const Case cases[] = {
      {"classic copy", [](SelectionSettings&) {}, 0},
      {"replacing all", [](SelectionSettings& s) { s.options.replacePrevious = true; }, 0},
      {"sources alone",
       [](SelectionSettings& s) { s.options.historySources = {"/nowhere/beets.db"}; }, 0},
      {"heard on a playlist",
       [](SelectionSettings& s) {
         s.copyToFolder = false;
         s.options.replacePrevious = s.options.replaceHeard = true;
       },
       0},
      {"prefer unplayed", [](SelectionSettings& s) { s.options.preferUnplayed = true; }, 1},
      {"avoid played",
       [](SelectionSettings& s) {
         s.copyToFolder = false;
         s.options.avoidPlayedDays = 7;
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SelectionSettings settings;
    settings.sources = {dir / "music"};
    settings.copyToFolder = true;
    settings.destination = dir / "player";
    c.set(settings);
    if (!settings.copyToFolder) settings.destination = dir / "list.m3u";
    MadeUpGatherer history{plays};
    SelectionRunOptions options;
    options.gatherHistory = history.Gatherer();
    options.dryRun = true;
    options.seed = 3;
    test::RecordingPorts ports;
    const SelectionOutcome outcome = test::RunFor(settings, test::All(), ports, options);
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(history.calls, c.calls);
    if (settings.options.avoidPlayedDays == 0) {
      EXPECT_EQ(outcome.chosenPaths.size(), songs.size());
      continue;
    }
    std::set<std::string> chosen(outcome.chosenPaths.begin(), outcome.chosenPaths.end());
    std::set<std::string> expected(songs.begin() + 2, songs.end());
    EXPECT_EQ(chosen, expected);
    ASSERT_EQ(outcome.plays.size(), outcome.chosenPaths.size());
    for (std::size_t i = 0; i < outcome.chosenPaths.size(); ++i)
      EXPECT_EQ(outcome.plays[i],
                outcome.chosenPaths[i] == songs[2] ? std::optional(plays[songs[2]]) : std::nullopt);
  }
}

}  // namespace
}  // namespace sorvina::engine
