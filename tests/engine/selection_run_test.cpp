// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/selection_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/report/messages.h"
#include "tests/support/amounts.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using test::All;
using test::Hours;
using test::Megabytes;
using test::NamesIn;
using test::ReadBytes;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using text::PathStyle;

class SelectionRunTest : public ::testing::Test {
 protected:
  // Three files of 1, 2 and 3 KiB in the source folder.
  void SetUp() override {
    for (int i = 1; i <= 3; ++i) {
      dir_.WriteFile("music/song" + std::to_string(i) + ".mp3", std::string(i * 1024, 'x'));
    }
    settings_.sources = {dir_ / "music"};
  }

  SelectionOutcome Run(engine::Amount limit, std::uint32_t seed = 1, bool dryRun = false) {
    SelectionRunOptions options;
    options.seed = seed;
    options.dryRun = dryRun;
    return test::RunFor(settings_, limit, ports_, options);
  }

  test::TempDir dir_;
  SelectionSettings settings_;
  test::RecordingPorts ports_;
};

TEST(DestinationLevelsTest, PrefixesBeforeEachSeparatorFromTheTopDown) {
  EXPECT_THAT(DestinationLevels(R"(C:\Music\Sub\mix.m3u)", PathStyle::kWindows),
              ElementsAre(R"(C:\Music)", R"(C:\Music\Sub)"));
  EXPECT_THAT(DestinationLevels(R"(C:\mix.m3u)", PathStyle::kWindows), IsEmpty());
  EXPECT_THAT(DestinationLevels(R"(C:\New\Sub)", PathStyle::kWindows), ElementsAre(R"(C:\New)"));
  EXPECT_THAT(DestinationLevels(R"(Lists\mix.m3u)", PathStyle::kWindows), ElementsAre("Lists"));
  EXPECT_THAT(DestinationLevels("/home/me/lists/mix.m3u", PathStyle::kPosix),
              ElementsAre("/home", "/home/me", "/home/me/lists"));
  EXPECT_THAT(DestinationLevels("/mix.m3u", PathStyle::kPosix), IsEmpty());
  EXPECT_THAT(DestinationLevels(R"(a\b/c)", PathStyle::kPosix), ElementsAre(R"(a\b)"));
}

TEST_F(SelectionRunTest, EachRefusalShowsItsMessageAndStops) {
  struct Case {
    const char* what;
    std::vector<std::string> sources;
    bool copy;
    std::string destination;
    Amount limit;
    const char* message;
  };
  const std::string music = dir_ / "music";
  const std::string file = dir_.WriteFile("plain-file", "x");
  const std::string lists = dir_ / "lists/mix.m3u";
  const std::vector<Case> cases = {
      {"no sources", {}, true, dir_ / "out", All(), kNoSourcesMessage},
      {"copy onto a file", {music}, true, file, All(), kInvalidDestinationFolderMessage},
      {"copy below a file", {music}, true, file + "/sub", All(), kInvalidDestinationFolderMessage},
      {"copy to nowhere", {music}, true, "", All(), kInvalidDestinationFolderMessage},
      {"playlist not .m3u", {music}, false, dir_ / "lists/mix.txt", All(), kNoPlaylistFileMessage},
      {"empty MB", {music}, false, lists, Megabytes(""), kNoMegabytesMessage},
      {"MB not a number", {music}, false, lists, Megabytes("abc"), kNoMegabytesMessage},
      {"negative MB", {music}, false, lists, Megabytes("-5"), kNoMegabytesMessage},
      {"tiny MB", {music}, false, lists, Megabytes("0.0000001"), kNoMegabytesMessage},
      {"nan hours", {music}, false, lists, Hours("nan"), kNoHoursMessage},
      {"zero hours", {music}, false, lists, Hours("0"), kNoHoursMessage},
      {"free space of a playlist",
       {music},
       false,
       lists,
       Megabytes(" Free "),
       kFreeSpaceNeedsCopyMessage},
      // /proc reports no size at all: there is no free space to fill.
      {"free space unknown",
       {music},
       true,
       "/proc/self",
       Megabytes("free"),
       kFreeSpaceUnknownMessage},
      {"no MP3s", {dir_.MakeFolder("empty")}, false, lists, All(), kNoMp3sFoundMessage},
  };
  for (const Case& c : cases) {
    ports_ = {};
    settings_.sources = c.sources;
    settings_.copyToFolder = c.copy;
    settings_.destination = c.destination;
    const SelectionOutcome outcome = Run(c.limit);
    EXPECT_FALSE(outcome.succeeded) << c.what;
    EXPECT_THAT(ports_.messages, ElementsAre(c.message)) << c.what;
    EXPECT_FALSE(fs::exists(lists)) << c.what;
  }
  // The playlist's folder was made on the way to the ".txt" refusal, as for any level.
  EXPECT_TRUE(fs::is_directory(dir_ / "lists"));
  // The wait cursor shows only while collecting, and is gone before "No MP3s found".
  EXPECT_THAT(ports_.events,
              ElementsAre("wait:on", "wait:off", std::string("message:") + kNoMp3sFoundMessage));
}

// Options that cannot go together, or a conversion the player would not play, stop the
// run before anything is copied; the wizard shows the same messages.
TEST_F(SelectionRunTest, ShapesAndTargetsThatCannotBeKeptStopTheRun) {
  const std::string carOnly = "The player car plays only MP3; please convert to one of: mp3";
  const std::string flacOnly =
      dir_.WriteFile("flac.mpi", "[Device]\nProduct=Flac\n[Media]\nOutputFormats=audio/flac\n");
  const std::string mp4 = dir_.WriteFile(
      "mp4.mpi", "[Device]\nProduct=Pod\n[Media]\nOutputFormats=audio/mp4;audio/mpeg\n");
  struct Case {
    std::string player;
    const char* convert;
    bool albums;
    int maxPerArtist;
    std::string message;
  };
  const Case cases[] = {
      {"car", "auto:aac", false, 0, carOnly},
      {"car", "opus", false, 0, carOnly},
      {"", "", true, 3, kAlbumsWithArtistCapMessage},
      {flacOnly, "auto", false, 0,
       "The player Flac plays none of the formats songs are converted to (MP3, AAC, Opus); "
       "please do not convert"},
      {mp4, "auto:opus", false, 0,
       "The player Pod plays only MP3, AAC; please convert to one of: mp3, aac"},
  };
  for (const Case& c : cases) {
    ports_ = {};
    settings_.copyToFolder = true;
    settings_.destination = dir_ / "player";
    settings_.options.player = c.player;
    settings_.options.convert = c.convert;
    settings_.options.albums = c.albums;
    settings_.options.maxPerArtist = c.maxPerArtist;
    const SelectionOutcome outcome = Run(All());
    EXPECT_FALSE(outcome.succeeded) << c.message;
    EXPECT_THAT(ports_.messages, ElementsAre(c.message));
    EXPECT_THAT(NamesIn(dir_ / "player"), IsEmpty()) << c.message;
  }
}

TEST_F(SelectionRunTest, CopiesIntoMissingFoldersMadeLevelByLevel) {
  settings_.copyToFolder = true;
  settings_.destination = dir_ / "player/New/Sub";
  const SelectionOutcome outcome = Run(All());
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_THAT(ports_.messages, IsEmpty());
  EXPECT_EQ(outcome.chosenPaths.size(), 3u);
  EXPECT_THAT(NamesIn(settings_.destination), ElementsAre("song1.mp3", "song2.mp3", "song3.mp3"));
  EXPECT_EQ(ReadBytes(dir_ / "player/New/Sub/song3.mp3"), std::string(3 * 1024, 'x'));
}

TEST_F(SelectionRunTest, FirstFileOverTheBudgetChoosesNothingAndSaysNothing) {
  // 0.0005 MB is 524 bytes: smaller than every file.
  settings_.copyToFolder = true;
  settings_.destination = dir_.MakeFolder("player");
  EXPECT_TRUE(Run(Megabytes("0.0005")).succeeded);
  EXPECT_THAT(ports_.messages, IsEmpty());
  EXPECT_THAT(NamesIn(settings_.destination), IsEmpty());

  settings_.copyToFolder = false;
  settings_.destination = dir_ / "mix.m3u";
  EXPECT_TRUE(Run(Megabytes("0.0005")).succeeded);
  EXPECT_EQ(ReadBytes(settings_.destination), "#EXTM3U\r\n");
}

TEST_F(SelectionRunTest, SameSeedSameSelectionAndDryRunChangesNothing) {
  settings_.copyToFolder = true;
  settings_.destination = dir_ / "player/sub";
  for (int i = 4; i <= 20; ++i)
    dir_.WriteFile("music/more/" + std::to_string(i) + ".mp3", "x");
  const SelectionOutcome first = Run(Megabytes("0.004"), 42, true);
  const SelectionOutcome again = Run(Megabytes("0.004"), 42, true);
  EXPECT_TRUE(first.succeeded);
  EXPECT_FALSE(first.chosenPaths.empty());
  EXPECT_EQ(first.chosenPaths, again.chosenPaths);
  EXPECT_NE(Run(All(), 43, true).chosenPaths, Run(All(), 44, true).chosenPaths);
  EXPECT_FALSE(fs::exists(dir_ / "player"));
  EXPECT_THAT(ports_.messages, IsEmpty());
}

TEST_F(SelectionRunTest, HoursModeCountsPlayingTimeOfEachDrawnFile) {
  // Three 20-second files and a budget of 0.01 hours (36 seconds): one fits, the next
  // drawn does not.
  const test::FrameFormat format;
  const std::string twentySeconds = test::XingFrame(format, 766) + test::SilentFrames(format, 2);
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
    dir_.WriteFile(std::string("timed/") + name, twentySeconds);
  settings_.sources = {dir_ / "timed"};
  settings_.destination = dir_ / "mix.m3u";
  const SelectionOutcome outcome = Run(Hours("0.01"));
  EXPECT_TRUE(outcome.succeeded);
  ASSERT_EQ(outcome.chosenPaths.size(), 1u);
  EXPECT_THAT(ReadBytes(settings_.destination), ::testing::HasSubstr("#EXTINF:20,"));

  // A draw by time leaves sizes unread while scanning; the chosen file's is read after.
  settings_.copyToFolder = true;
  settings_.destination = dir_ / "player";
  const SelectionOutcome dryRun = Run(Hours("0.01"), 1, true);
  ASSERT_TRUE(dryRun.summary);
  EXPECT_EQ(dryRun.summary->doneBytes, static_cast<std::int64_t>(twentySeconds.size()));
}

TEST_F(SelectionRunTest, HoursModeTimesEveryChosenType) {
  // Three 20-second files, an MP3 and two WAVs: 0.015 hours (54 seconds) take two of
  // them, 0.02 hours all three.
  const test::FrameFormat format;
  dir_.WriteFile("timed/a.mp3", test::XingFrame(format, 766) + test::SilentFrames(format, 2));
  for (const char* name : {"b.wav", "c.WAV"})
    dir_.WriteFile(std::string("timed/") + name, test::SoundWav(8000, 1, 20));
  dir_.WriteFile("timed/d.flac", "not chosen");
  settings_.sources = {dir_ / "timed"};
  settings_.destination = dir_ / "mix.m3u";
  settings_.options.fileTypes = {"mp3", "wav"};
  EXPECT_EQ(Run(Hours("0.015")).chosenPaths.size(), 2u);
  const SelectionOutcome outcome = Run(Hours("0.02"));
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_THAT(outcome.chosenPaths, UnorderedElementsAre(dir_ / "timed/a.mp3", dir_ / "timed/b.wav",
                                                        dir_ / "timed/c.WAV"));
  const std::string playlist = ReadBytes(settings_.destination);
  for (const char* entry : {"#EXTINF:20,a\r\n", "#EXTINF:20,b\r\n", "#EXTINF:20,c\r\n"})
    EXPECT_THAT(playlist, ::testing::HasSubstr(entry));
}

TEST_F(SelectionRunTest, OtherTypesBesideTheMp3sLeaveAClassicRunAsItWas) {
  settings_.destination = dir_ / "mix.m3u";
  for (int i = 4; i <= 12; ++i)
    dir_.WriteFile("music/more/" + std::to_string(i) + ".mp3", std::string(100 * i, 'x'));
  const SelectionOutcome before = Run(Megabytes("0.006"), 42);
  const std::string playlistBefore = ReadBytes(settings_.destination);
  for (const char* name : {"music/a.flac", "music/more/b.ogg", "music/more/c.wav", "music/d.m4a"})
    dir_.WriteFile(name, std::string(500, 'y'));
  const SelectionOutcome after = Run(Megabytes("0.006"), 42);
  EXPECT_TRUE(after.succeeded);
  EXPECT_EQ(after.chosenPaths, before.chosenPaths);
  EXPECT_EQ(ReadBytes(settings_.destination), playlistBefore);

  settings_.options.fileTypes = {"mp3", "flac", "ogg", "wav", "m4a"};
  EXPECT_EQ(Run(All(), 42, true).chosenPaths.size(), 16u);
}

// Records the order of the copy's calls: "progress", "conflict TARGET", "device".
class CallRecorder : public transfer::FileOperationUi {
 public:
  std::vector<std::string> calls;
  transfer::ConflictAnswer AskConflict(const std::string&, const std::string& target) override {
    calls.push_back("conflict " + target);
    return {transfer::ConflictAction::kKeepBoth, false};
  }
  transfer::ErrorAction ReportError(const std::string& path, const text::UserText&) override {
    calls.push_back("error " + path);
    return transfer::ErrorAction::kContinue;
  }
  bool Progress(const transfer::FileProgress&) override {
    if (calls.empty() || calls.back() != "progress") calls.push_back("progress");
    return !cancel;
  }
  bool cancel = false;
  void WritingToDevice() override { calls.push_back("device"); }
};

TEST_F(SelectionRunTest, KeptFoldersFollowEachSourceAndSameNamesAreNumbered) {
  // Nested folder sources, a playlist naming a file beside it and one elsewhere, and two
  // sources that both hold "x/same.mp3".
  dir_.WriteFile("music/Rock/Live/a.mp3", "a");
  dir_.WriteFile("other/x/same.mp3", "other");
  dir_.WriteFile("third/x/same.mp3", "third");
  dir_.WriteFile("lists/near/b.mp3", "b");
  const std::string list =
      dir_.WriteFile("lists/party.m3u", "near/b.mp3\n" + (dir_ / "music/song1.mp3") + "\n");
  settings_.sources = {list, dir_ / "music", dir_ / "music/Rock", dir_ / "other/", dir_ / "third"};
  settings_.copyToFolder = true;
  settings_.destination = dir_ / "player";
  settings_.options.keepFolders = true;
  CallRecorder copier;
  SelectionRunOptions options;
  options.fileOperationOwner = &copier;
  const SelectionOutcome outcome = test::RunFor(settings_, All(), ports_, options);
  EXPECT_TRUE(outcome.succeeded);
  // The one of the two drawn later is kept beside the other, without a question.
  const auto position = [&outcome](const std::string& path) {
    return std::find(outcome.chosenPaths.begin(), outcome.chosenPaths.end(), path) -
           outcome.chosenPaths.begin();
  };
  const bool thirdLater = position(dir_ / "third/x/same.mp3") > position(dir_ / "other/x/same.mp3");
  test::Tree expected{{"Rock", "<folder>"},
                      {"Rock/Live", "<folder>"},
                      {"Rock/Live/a.mp3", "a"},
                      {"near", "<folder>"},
                      {"near/b.mp3", "b"},
                      {"song1.mp3", std::string(1024, 'x')},
                      {"song2.mp3", std::string(2 * 1024, 'x')},
                      {"song3.mp3", std::string(3 * 1024, 'x')},
                      {"x", "<folder>"},
                      {"x/same (2).mp3", thirdLater ? "third" : "other"},
                      {"x/same.mp3", thirdLater ? "other" : "third"}};
  test::Tree copied = test::Snapshot(dir_ / "player");
  std::erase_if(copied, [](const auto& entry) { return entry.first.starts_with(".sorvina"); });
  EXPECT_TRUE(copied == expected);
  // Nothing asked; the device written to after the copy; the line says it all.
  EXPECT_THAT(copier.calls, ElementsAre("progress", "device"));
  ASSERT_TRUE(outcome.summary.has_value());
  EXPECT_EQ(outcome.summary->doneFiles, 7u);
  EXPECT_EQ(outcome.summary->doneBytes, 1 + 5 + 5 + 1 + 6 * 1024);
  EXPECT_TRUE(ports_.messages.empty());
}

TEST_F(SelectionRunTest, ACancelledCopyIsWrittenToTheDeviceAndSaidSo) {
  settings_.copyToFolder = true;
  settings_.destination = dir_ / "player";
  CallRecorder copier;
  copier.cancel = true;
  SelectionRunOptions options;
  options.fileOperationOwner = &copier;
  const SelectionOutcome outcome = test::RunFor(settings_, All(), ports_, options);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_THAT(copier.calls, ElementsAre("progress", "device"));
  ASSERT_TRUE(outcome.summary.has_value());
  EXPECT_TRUE(outcome.summary->cancelled);
  EXPECT_EQ(outcome.summary->doneFiles, 0u);
  EXPECT_EQ(outcome.summary->chosenFiles, 3u);
  EXPECT_THAT(NamesIn(dir_ / "player"), IsEmpty());
}

TEST_F(SelectionRunTest, TheSummarySaysWhyNothingWasChosen) {
  settings_.destination = dir_ / "l.m3u";
  struct Case {
    Amount limit;
    bool fill;
    bool smallest;
    std::int64_t fileAmount;
  };
  // With 1,500 bytes, the classic draw may meet the 2 KiB or 3 KiB file first; filling
  // goes on to the 1 KiB one. With 500 bytes nothing ever fits.
  for (const Case& c :
       {Case{Megabytes("0.0005"), false, true, 1024}, Case{Megabytes("0.0005"), true, true, 1024},
        Case{Megabytes("0.00143"), true, false, -1}}) {
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
      settings_.options.fill = c.fill;
      const SelectionOutcome outcome = Run(c.limit, seed);
      ASSERT_TRUE(outcome.summary.has_value());
      if (c.fileAmount < 0) {
        EXPECT_EQ(outcome.chosenPaths.size(), 1u);
        EXPECT_FALSE(outcome.summary->nothingFits.has_value());
        continue;
      }
      ASSERT_TRUE(outcome.summary->nothingFits.has_value());
      EXPECT_EQ(outcome.summary->nothingFits->smallestFile, c.smallest);
      EXPECT_EQ(outcome.summary->nothingFits->fileAmount, c.fileAmount);
      EXPECT_EQ(outcome.summary->nothingFits->limit, 524);
    }
  }
}

}  // namespace
}  // namespace sorvina::engine
