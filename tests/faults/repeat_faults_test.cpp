// SPDX-License-Identifier: GPL-3.0-or-later
// Fills that follow one another where it is hard: three fills in a row of a real exFAT
// player (and of a small tmpfs) from the command line, a player that goes away part-way
// through a fill, a read-only player, and two fills of one player at once. Each checks
// that the user's files stay as they were, the record is the old one or the new one,
// whole, and every song on the player is whole.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/fill/destination_space.h"
#include "engine/fill/fill_record.h"
#include "engine/report/messages.h"
#include "engine/run/selection_run.h"
#include "platform/drive_type.h"
#include "platform/file_system.h"
#include "tests/faults/fill_support.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/amounts.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

#ifndef SORVINA_FAILING_VOLUME
#define SORVINA_FAILING_VOLUME ""
#endif

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using test::CliOutcome;
using test::Library;
using test::MakeLibrary;
using test::Megabytes;
using test::ReadBytes;
using test::RunCli;
using test::SongsOn;
using test::TempDir;
using test::WriteOn;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// The entries of the playlist at `playlist`, each checked to open.
std::set<std::string> EntriesThatOpen(const std::string& playlist) {
  std::set<std::string> entries;
  std::istringstream lines(ReadBytes(playlist));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    EXPECT_TRUE(std::ifstream(fs::path(playlist).parent_path() / line).good()) << line;
    entries.insert(line);
  }
  return entries;
}

std::int64_t RoundedUp(std::int64_t bytes, std::int64_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// Fills `player` three times in a row as a user does every week and checks each time:
// the player holds a fresh set of whole songs, none of the two sets before, filled to the
// brim, listed by a playlist on it whose every entry opens; the user's own files are
// untouched.
void ExpectThreeFreshFills(const TempDir& dir, const Library& library, const std::string& player) {
  WriteOn(player, "mine.mp3", "the user's own song");
  WriteOn(player, "Podcasts/episode.mp3", "an episode");
  std::vector<std::set<std::string>> fills;
  for (int fill = 1; fill <= 3; ++fill) {
    const CliOutcome run = RunCli({"-s", dir / "music", "-c", player, "--mb", "free", "--fill",
                                   "--replace-previous", "--avoid-last", "2", "--device-playlist",
                                   "Sorvina.m3u8", "--seed", std::to_string(fill)});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::set<std::string> songs = SongsOn(player);
    ASSERT_GT(songs.size(), 3u);
    // The user's files are no earlier fill, and the first fill says so.
    const std::string noRecord =
        fill == 1 ? "warning: This player has no record of an earlier fill\n" : "";
    EXPECT_EQ(run.err.rfind(noRecord + "Copied " + std::to_string(songs.size()) + " files (", 0),
              0u)
        << run.err;
    EXPECT_THAT(run.err,
                HasSubstr(fill == 1 ? ", no earlier fill to replace"
                                    : ", " + std::to_string(fills.back().size()) + " replaced"));
    for (const std::string& song : songs) {
      EXPECT_TRUE(ReadBytes(player + "/" + song) == library.at(song)) << song;
      for (const std::set<std::string>& before : fills)
        EXPECT_FALSE(before.contains(song)) << song << " again in fill " << fill;
    }
    EXPECT_EQ(EntriesThatOpen(player + "/Sorvina.m3u8"), songs);
    EXPECT_EQ(ReadBytes(player + "/mine.mp3"), "the user's own song");
    EXPECT_EQ(ReadBytes(player + "/Podcasts/episode.mp3"), "an episode");

    // Full: what is left is less than the smallest song it could have taken would need,
    // beyond what is kept back and what the record, the journal and the playlist were
    // charged: while the fill runs, the old record and playlist stand beside the new ones
    // and the journal, which goes at the end (about twice the record's lines).
    platform::FileSystemSpace space = platform::SpaceOf(player).value();
    const auto unit = static_cast<std::int64_t>(
        std::max(space.allocationUnit, platform::FatClusterBytes(player)));
    std::int64_t entries = 0;  // charged to each song on top of its clusters
    for (const std::string& song : songs)
      entries += DirectoryEntryBytes(song.size());
    std::int64_t leastLeftOut = std::numeric_limits<std::int64_t>::max();
    for (const auto& [song, bytes] : library) {
      const bool avoided =
          std::any_of(fills.end() - std::min<std::size_t>(fills.size(), 2), fills.end(),
                      [&](const auto& s) { return s.contains(song); });
      if (!avoided && !songs.contains(song))
        leastLeftOut = std::min<std::int64_t>(
            leastLeftOut, (static_cast<std::int64_t>(bytes.size()) + unit - 1) / unit * unit);
    }
    ASSERT_NE(leastLeftOut, std::numeric_limits<std::int64_t>::max()) << "library too small";
    EXPECT_LT(
        static_cast<std::int64_t>(space.availableBytes),
        leastLeftOut + FreeSpaceReserve(static_cast<std::uint64_t>(unit)) + 5 * unit + entries +
            RoundedUp(
                2 * static_cast<std::int64_t>(ReadBytes(player + "/.sorvina/fills.txt").size()),
                unit));
    std::cout << "[   NOTE   ] fill " << fill << ": " << songs.size() << " songs, "
              << space.availableBytes << " bytes left in units of " << unit << "\n";
    fills.push_back(songs);
  }
  const ParsedRecord record = ParseFillRecord(ReadBytes(player + "/.sorvina/fills.txt"));
  EXPECT_EQ(record.problem, RecordProblem::kNone);
  EXPECT_EQ(record.history.fills.size(), 3u);
}

TEST(RepeatFaultsTest, ThreeFillsInARowOfARealExFatPlayerShareNoSong) {
  TempDir dir;
  // About 26 MiB of music for about 6 MiB of free clusters: three fills and a choice left.
  const Library library = MakeLibrary(dir, 96, 150 * 1024, 6 * 1024);
  const test::ExFatVolume player(8);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  ExpectThreeFreshFills(dir, library, player.path());
}

// A fill of a real exFAT player whose songs are converted on the way ends full, though
// their sizes are known only once converted: what is left is less than the smallest song
// left out would take, converted, beyond what is kept back; and no write failed.
TEST(RepeatFaultsTest, AFillWithConversionsEndsFullOnARealExFatPlayer) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::ExFatVolume player(6);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  TempDir dir;
  // Noise, 12 to 20 seconds a song: about 6.5 MB of MP3s in all, more than the player holds.
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(test::RunCommand(
        "ffmpeg -loglevel error -f lavfi -i anoisesrc=duration=" + std::to_string(12 + i % 9) +
        ":seed=" + std::to_string(i) + " -ac 2 " +
        test::ShellQuoted(dir.WriteFile("music/n" + std::to_string(i) + ".flac")) + " -y"));
  }
  // Converted songs are kept in a cache folder of the test's own.
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const CliOutcome run = RunCli({"-s", dir / "music", "--types", "flac", "-c", player.path(),
                                 "--mb", "free", "--fill", "--convert", "mp3", "--seed", "3"});
  // Every song converted, as a fill of a roomy folder does it (from the cache).
  const CliOutcome all = RunCli({"-s", dir / "music", "--types", "flac", "-c", dir / "all", "--all",
                                 "--convert", "mp3", "--seed", "3"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_THAT(run.err, Not(HasSubstr("failed"))) << run.err;
  const platform::FileSystemSpace space = platform::SpaceOf(player.path()).value();
  const auto unit = static_cast<std::int64_t>(
      std::max(space.allocationUnit, platform::FatClusterBytes(player.path())));
  std::int64_t leastLeftOut = std::numeric_limits<std::int64_t>::max();
  std::size_t onPlayer = 0;
  for (const fs::directory_entry& song : fs::directory_iterator(dir / "all")) {
    if (song.path().extension() != ".mp3") continue;
    if (fs::exists(player.path() + "/" + song.path().filename().string())) {
      EXPECT_EQ(ReadBytes(player.path() + "/" + song.path().filename().string()),
                ReadBytes(song.path()));
      ++onPlayer;
      continue;
    }
    leastLeftOut =
        std::min(leastLeftOut, RoundedUp(static_cast<std::int64_t>(song.file_size()), unit));
  }
  ASSERT_GT(onPlayer, 5u);
  ASSERT_NE(leastLeftOut, std::numeric_limits<std::int64_t>::max()) << "every song fitted";
  EXPECT_LT(static_cast<std::int64_t>(space.availableBytes),
            leastLeftOut + FreeSpaceReserve(static_cast<std::uint64_t>(unit)) + 2 * unit);
  std::cout << "[   NOTE   ] " << onPlayer << " converted songs, " << space.availableBytes
            << " bytes left in units of " << unit << ", the smallest left out takes "
            << leastLeftOut << "\n";
}

// Runs killed while they convert leave no damaged song in the cache: each song kept there
// under its own name is whole (only hidden temporaries may be cut short), and the next run
// fills the player from what they kept and what it converts.
TEST(RepeatFaultsTest, RunsKilledWhileConvertingLeaveTheCacheWhole) {
  if (!test::ProgramsInstalled({"ffmpeg"}) || test::CliProgram().empty())
    GTEST_SKIP() << "ffmpeg or sorvina-cli is missing";
  TempDir dir;
  constexpr int kSongs = 8;
  for (int i = 0; i < kSongs; ++i) {
    ASSERT_TRUE(test::RunCommand(
        "ffmpeg -loglevel error -f lavfi -i anoisesrc=duration=10:color=pink:seed=" +
        std::to_string(i) + " -ac 2 " +
        test::ShellQuoted(dir.WriteFile("music/s" + std::to_string(i) + ".flac")) + " -y"));
  }
  // Converted songs are kept in a cache folder of the test's own.
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const std::vector<std::string> fill = {
      "-s",  dir / "music", "--types", "flac",   "-c", dir / "player", "--all", "--convert",
      "mp3", "--jobs",      "2",       "--seed", "1"};
  // Killed at moments spread over what converting them all takes.
  for (const int milliseconds : {300, 1100, 1900, 2700}) {
    test::CliProcess killed(fill);
    ASSERT_TRUE(killed.started());
    usleep(milliseconds * 1000);
    killed.Signal(SIGKILL);
    killed.Wait();
  }
  const CliOutcome finished = RunCli(fill);
  ASSERT_EQ(finished.status, 0) << finished.err;
  EXPECT_THAT(finished.err, HasSubstr("; 8 converted ("));
  std::cout << "[   NOTE   ] " << finished.err;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir / "cache/sorvina/converted")) {
    if (entry.path().filename().string().front() == '.') continue;  // a temporary
    EXPECT_NEAR(test::DecodedSeconds(entry.path()), 10.0, 0.1) << entry.path();
  }
  for (int i = 0; i < kSongs; ++i) {
    EXPECT_NEAR(test::DecodedSeconds(dir / "player/s" + std::to_string(i) + ".mp3"), 10.0, 0.1)
        << i;
  }
}

TEST(RepeatFaultsTest, ThreeFillsInARowOfASmallTmpfsShareNoSong) {
  TempDir dir;
  const Library library = MakeLibrary(dir, 90, 20 * 1024, 1024);
  const test::SmallVolume disk(1024 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "no volume can be mounted here";
  ExpectThreeFreshFills(dir, library, disk.path());
}

// A weekly fill of two songs with a playlist on the player, replacing and avoiding.
struct WeeklyFill {
  SelectionSettings settings;
  test::RecordingPorts ports;
  test::CopyRecorder copier;

  WeeklyFill(const TempDir& dir, const std::string& player) {
    settings.sources = {dir / "music"};
    settings.copyToFolder = true;
    settings.destination = player;
    settings.options.replacePrevious = true;
    settings.options.avoidLast = 1;
    settings.options.devicePlaylist = "Sorvina.m3u8";
  }
  SelectionOutcome Run(std::uint32_t seed) {
    return test::RunFor(settings, Megabytes("0.006"), ports, {&copier, seed, false});
  }
  bool AnythingReported() const {
    return !ports.messages.empty() || !ports.warnings.empty() || !copier.errors.empty();
  }
};

TEST(RepeatFaultsTest, APlayerThatGoesAwayPartWayLeavesTheOldRecordOrTheNewOneWhole) {
  TempDir dir;
  const Library library = MakeLibrary(dir, 8, 3000, 10);  // two songs to a fill
  test::FailingVolume volume(SORVINA_FAILING_VOLUME);
  if (!volume.mounted()) GTEST_SKIP() << volume.reason();
  const std::string kept = volume.backing();

  // The first fill is on the device already (written straight into what it keeps); the
  // second goes to it through the volume, which goes away after `changes` changing calls.
  std::string oldRecord;
  const auto secondFill = [&](long long changes) {
    volume.FailAfter(-1);
    for (const fs::directory_entry& entry : fs::directory_iterator(kept))
      fs::remove_all(entry.path());
    WriteOn(kept, "mine.mp3", "the user's own song");
    EXPECT_TRUE(WeeklyFill(dir, kept).Run(1).succeeded);
    oldRecord = ReadBytes(kept + "/.sorvina/fills.txt");
    volume.FailAfter(changes);
    WeeklyFill second(dir, volume.path());
    const bool succeeded = second.Run(2).succeeded;
    const long long made = volume.ChangesMade();
    volume.FailAfter(-1);
    return std::tuple(succeeded, second.AnythingReported(), made);
  };

  const auto [whole, reported, changes] = secondFill(-1);
  ASSERT_TRUE(whole);
  EXPECT_FALSE(reported);
  ASSERT_GT(changes, 10);
  std::cout << "[   NOTE   ] a second fill makes " << changes << " changing calls\n";
  for (long long allowed = 0; allowed < changes; ++allowed) {
    const auto [succeeded, saidSo, made] = secondFill(allowed);
    // Gone at the very last change, the journal's removal, the fill is recorded whole;
    // the next one finds the journal told of a recorded fill and removes it.
    if (allowed + 1 < changes) {
      EXPECT_FALSE(succeeded) << "gone after " << allowed;
      EXPECT_TRUE(saidSo) << "gone after " << allowed;
    }
    // The record is the old one, or the old one with this fill after it: never a mix.
    const std::string record = ReadBytes(kept + "/.sorvina/fills.txt");
    if (record != oldRecord) {
      const ParsedRecord before = ParseFillRecord(oldRecord);
      const ParsedRecord after = ParseFillRecord(record);
      EXPECT_EQ(after.problem, RecordProblem::kNone) << "gone after " << allowed;
      ASSERT_EQ(after.history.fills.size(), 2u) << "gone after " << allowed;
      EXPECT_EQ(after.history.fills[0], before.history.fills[0]);
    }
    // What the player shows is whole: the user's song and songs of either fill.
    EXPECT_EQ(ReadBytes(kept + "/mine.mp3"), "the user's own song");
    for (const std::string& song : SongsOn(kept))
      EXPECT_TRUE(ReadBytes(kept + "/" + song) == library.at(song)) << song << " after " << allowed;
    // Plugged in again, the next fill takes back all the cut-off one wrote, its playlist
    // too: nothing of it is asked about as though it were the user's.
    volume.FailAfter(-1);
    WeeklyFill third(dir, volume.path());
    EXPECT_TRUE(third.Run(3).succeeded) << "after " << allowed;
    EXPECT_THAT(third.copier.conflicts, IsEmpty()) << "after " << allowed;
    const ParsedRecord last = ParseFillRecord(ReadBytes(kept + "/.sorvina/fills.txt"));
    std::set<std::string> expected = {"mine.mp3", "Sorvina.m3u8"};
    for (const RecordedFile& song : last.history.fills.back().files)
      expected.insert(song.relative);
    std::set<std::string> found;
    for (const std::string& name : test::NamesIn(kept))
      if (name != ".sorvina") found.insert(name);
    EXPECT_EQ(found, expected) << "after " << allowed;
  }
  // Plugged in again, the next fill clears what the cut-off one left half-written.
  WeeklyFill next(dir, volume.path());
  EXPECT_TRUE(next.Run(3).succeeded);
  EXPECT_THAT(test::NamesIn(kept + "/.sorvina"), ElementsAre("fills.txt", "lock"));
}

// FAT through FUSE refuses to append to a file: the journal is written by position, so
// weekly fills of such a card replace one another as anywhere else.
TEST(RepeatFaultsTest, WeeklyFillsOfARealFatVolumeReplaceOneAnother) {
  TempDir dir;
  MakeLibrary(dir, 8, 3000, 10);
  test::FatVolume card;
  if (!card.mounted()) GTEST_SKIP() << "no FAT volume can be mounted here (mkfs.fat, fusefat)";
  std::set<std::string> before;
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    WeeklyFill fill(dir, card.path());
    const SelectionOutcome outcome = fill.Run(seed);
    ASSERT_TRUE(outcome.succeeded) << seed << ": " << ::testing::PrintToString(fill.ports.messages)
                                   << ::testing::PrintToString(fill.copier.errors);
    EXPECT_FALSE(fill.AnythingReported()) << seed;
    if (seed > 1) {
      EXPECT_EQ(outcome.summary->replacement->removed + outcome.summary->replacement->kept,
                before.size())
          << seed;
    }
    before = SongsOn(card.path());
  }
  EXPECT_THAT(test::NamesIn(card / ".sorvina"), ElementsAre("fills.txt", "lock"));
}

TEST(RepeatFaultsTest, AReadOnlyPlayerRemovesNothingAndSaysWhy) {
  TempDir dir;
  MakeLibrary(dir, 8, 3000, 10);
  const test::SmallVolume card(1024 * 1024);
  if (!card.mounted()) GTEST_SKIP() << "no volume can be mounted here";
  ASSERT_TRUE(WeeklyFill(dir, card.path()).Run(1).succeeded);
  const test::Tree before = test::Snapshot(card.path());
  ASSERT_TRUE(card.MakeReadOnly());

  WeeklyFill second(dir, card.path());
  EXPECT_FALSE(second.Run(2).succeeded);
  EXPECT_THAT(second.ports.warnings,
              ElementsAre("No record of this fill can be kept in " + card.path() +
                          "/.sorvina (Read-only file system); the songs of the previous fill "
                          "were left in place"));
  EXPECT_THAT(second.copier.errors,
              ElementsAre(HasSubstr("Read-only file system"), HasSubstr("Read-only file system")));
  EXPECT_EQ(test::Snapshot(card.path()), before);
}

TEST(RepeatFaultsTest, ASecondFillOfAPlayerWhileOneRunsFailsCleanlyAndLosesNothing) {
  TempDir dir;
  const Library library = MakeLibrary(dir, 8, 3000, 10);
  const std::string player = dir.MakeFolder("player");
  ASSERT_TRUE(WeeklyFill(dir, player).Run(1).succeeded);
  const std::string firstRecord = ReadBytes(player + "/.sorvina/fills.txt");

  // The first run holds the player while it copies; the second starts then, in a process
  // of its own, as a second window or command would.
  int holding[2];
  int release[2];
  ASSERT_EQ(pipe(holding), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t first = fork();
  if (first == 0) {
    WeeklyFill fill(dir, player);
    fill.copier.beforeTheFirstFile = [&] {
      char go = 0;
      (void)!write(holding[1], "x", 1);
      (void)!read(release[0], &go, 1);
    };
    _exit(fill.Run(2).succeeded && !fill.AnythingReported() ? 0 : 1);
  }
  char ready = 0;
  ASSERT_EQ(read(holding[0], &ready, 1), 1);
  const test::Tree during = test::Snapshot(player);
  const std::string second = test::RunInChild([] { return true; },
                                              [&] {
                                                WeeklyFill fill(dir, player);
                                                const bool done = fill.Run(3).succeeded;
                                                std::string report = done ? "done" : "refused";
                                                for (const std::string& m : fill.ports.messages)
                                                  report += "|" + m;
                                                return report;
                                              });
  EXPECT_EQ(second, std::string("refused|") + kFillUnderWayMessage);
  EXPECT_EQ(test::Snapshot(player), during);
  ASSERT_EQ(write(release[1], "x", 1), 1);
  int status = -1;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const ParsedRecord record = ParseFillRecord(ReadBytes(player + "/.sorvina/fills.txt"));
  EXPECT_EQ(record.problem, RecordProblem::kNone);
  ASSERT_EQ(record.history.fills.size(), 2u);
  EXPECT_EQ(ParseFillRecord(firstRecord).history.fills[0], record.history.fills[0]);
  for (const std::string& song : SongsOn(player))
    EXPECT_TRUE(ReadBytes(player + "/" + song) == library.at(song)) << song;
  EXPECT_EQ(SongsOn(player).size(), 2u);
  for (int fd : {holding[0], holding[1], release[0], release[1]})
    close(fd);
}

}  // namespace
}  // namespace sorvina::engine
