// SPDX-License-Identifier: GPL-3.0-or-later
// Fills of a phone reached over MTP, on an in-memory phone that keeps MTP's rules: weekly
// fills, faults at any step followed by a normal fill, a full phone and Cancel.
#include "engine/fill/mtp_fill.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <set>
#include <string>

#include "engine/fill/fill_record.h"
#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "tests/support/amounts.h"
#include "tests/support/fake_mtp_device.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(MtpDestinationTest, ReadsThePhoneAndFolderOfADestinationText) {
  struct Case {
    const char* text;
    const char* serial;  // null: no phone destination
    const char* folder;
  };
  const Case cases[] = {
      {"mtp:", "", "Music"},
      {"mtp:1A2B3C", "1A2B3C", "Music"},
      {"mtp:1A2B3C/Podcasts//New/", "1A2B3C", "Podcasts/New"},
      {"mtp:/Music", "", "Music"},
      {"mtp:1A2B3C/../Music", nullptr, nullptr},  // no way out of the storage
      {"/home/alex/mtp:host=Pixel", nullptr, nullptr},
      {"Music", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<MtpPlace> place = ParseMtpDestination(c.text);
    ASSERT_EQ(place.has_value(), c.serial != nullptr) << c.text;
    if (!place) continue;
    EXPECT_EQ(place->serial, c.serial) << c.text;
    EXPECT_EQ(place->folder, c.folder) << c.text;
  }
}

// A library of 40 files of 1 KiB in four folders, a phone with files of the user's, and
// a state folder of the test's own (the journal and the key).
class MtpFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
    for (int i = 0; i < 40; ++i) {
      const std::string relative =
          std::string(1, static_cast<char>('A' + i % 4)) + "/s" + std::to_string(i) + ".mp3";
      dir_.WriteFile("music/" + relative, std::string(1024, static_cast<char>('a' + i % 26)));
    }
    settings_.sources = {dir_ / "music"};
    settings_.copyToFolder = true;
    settings_.destination = "mtp:1A2B3C/Music";
    settings_.options.keepFolders = true;
    settings_.options.replacePrevious = true;
    settings_.options.avoidLast = 1;
    settings_.options.devicePlaylist = "Sorvina.m3u8";
    phone_.AddFile("Music/mine.mp3", "the user's own");
    phone_.AddFile("Music/A/s0.mp3", "a song the user copied by hand");
    phone_.AddFile("DCIM/photo.jpg", "a photo");
    userFiles_ = phone_.Files();
  }
  void TearDown() override { unsetenv("XDG_STATE_HOME"); }

  SelectionOutcome Fill(std::uint32_t seed, const char* amount = "0.0098") {
    ports_ = {};
    SelectionRunOptions options;
    options.seed = seed;
    return test::RunFor(settings_, test::Megabytes(amount), ports_, options);
  }

  // The newest record on the phone.
  FillHistory Record() const {
    FillHistory newest;
    for (const auto& [path, bytes] : phone_.Files()) {
      if (!path.starts_with("Music/.sorvina/")) continue;
      const ParsedRecord record = ParseFillRecord(bytes);
      EXPECT_EQ(record.problem, RecordProblem::kNone) << path;
      if (newest.fills.empty() || (!record.history.fills.empty() &&
                                   record.history.fills.back().time >= newest.fills.back().time))
        newest = record.history;
    }
    return newest;
  }

  // What is wrong with the phone after a fill that ended well: files that are neither the
  // user's, nor the last recorded fill's as recorded, nor the record; recorded files that
  // are missing or not what their source holds; user files changed or gone.
  struct Audit {
    std::size_t leftovers = 0;
    std::size_t missing = 0;
    std::size_t userChanged = 0;
  };
  Audit Check() const {
    Audit audit;
    std::map<std::string, std::string> files = phone_.Files();
    for (const auto& [path, bytes] : userFiles_) {
      const auto found = files.find(path);
      if (found == files.end() || found->second != bytes) ++audit.userChanged;
      files.erase(path);
    }
    const FillHistory history = Record();
    if (history.fills.empty()) return {files.size(), 0, audit.userChanged};
    for (const RecordedFile& file : history.fills.back().files) {
      const auto found = files.find("Music/" + file.relative);
      if (found == files.end() || found->second != test::ReadBytes(file.source))
        ++audit.missing;
      else
        files.erase(found);
    }
    for (const RecordedFile& playlist : history.fills.back().playlists)
      if (files.erase("Music/" + playlist.relative) == 0) ++audit.missing;
    std::erase_if(files,
                  [](const auto& file) { return file.first.starts_with("Music/.sorvina/"); });
    audit.leftovers = files.size();
    for (const auto& [path, bytes] : files)
      ADD_FAILURE() << "left on the phone: " << path;
    return audit;
  }

  test::TempDir dir_;
  SelectionSettings settings_;
  test::FakePhone phone_{"Pixel 7", "1A2B3C", 64 << 20};
  test::FakeMtpBus bus_{{&phone_}};
  std::map<std::string, std::string> userFiles_;
  test::RecordingPorts ports_;
};

TEST_F(MtpFillTest, WeeklyFillsReplaceAvoidAndListTheirSongsAndLeaveTheUsersFilesAlone) {
  std::set<std::string> before;
  for (int week = 1; week <= 4; ++week) {
    // The last week adds songs beside the others: its playlist still takes the old one's
    // place.
    settings_.options.replacePrevious = week != 4;
    const SelectionOutcome outcome = Fill(week);
    ASSERT_TRUE(outcome.succeeded) << week << testing::PrintToString(ports_.messages);
    EXPECT_THAT(ports_.messages, IsEmpty());
    ASSERT_EQ(outcome.chosenPaths.size(), 10u);
    const std::set<std::string> chosen(outcome.chosenPaths.begin(), outcome.chosenPaths.end());
    // The song whose name the user's file holds is skipped, so never recorded.
    for (const std::string& path : chosen)
      EXPECT_TRUE(!before.contains(path) || path.ends_with("A/s0.mp3")) << path;
    before = chosen;
    EXPECT_EQ(outcome.summary->doneFiles + outcome.summary->skippedFiles, 10u);
    EXPECT_THAT(SummaryLine(*outcome.summary), HasSubstr("to Pixel 7 / Internal storage / Music"));
    EXPECT_EQ(Record().fills.size(), static_cast<std::size_t>(week));
    // The playlist names each song of the week where it lies.
    const std::string playlist = phone_.Files().at("Music/Sorvina.m3u8");
    const FillHistory record = Record();
    for (const RecordedFile& file : record.fills.back().files)
      EXPECT_THAT(playlist, HasSubstr(file.relative));
    if (week == 4) continue;  // the songs of week 3 stay beside it
    const Audit audit = Check();
    EXPECT_EQ(audit.leftovers + audit.missing + audit.userChanged, 0u) << week;
  }
  // The user's files, the songs of the last two weeks, one playlist and one record.
  const FillHistory record = Record();
  EXPECT_EQ(phone_.Files().size(),
            userFiles_.size() + record.fills[2].files.size() + record.fills[3].files.size() + 2);
  // The user's "A/s0.mp3" held the name of a song: it stayed, the song went beside it.
  EXPECT_EQ(phone_.Files().at("Music/A/s0.mp3"), "a song the user copied by hand");
}

// Every step of a fill cut off in turn by the phone going away or not answering, each
// followed by a normal fill: nothing is left behind, nothing of the user's is touched, and
// the record holds what is on the phone.
TEST_F(MtpFillTest, AFillCutOffAnywhereIsFinishedByTheNext) {
  const int kErrors[] = {ENODEV, ETIMEDOUT};
  std::size_t fills = 0;
  std::size_t faults = 0;
  Audit total;
  ASSERT_TRUE(Fill(1).succeeded);
  const std::map<std::string, std::string> start = phone_.Files();
  for (const int error : kErrors) {
    for (std::size_t call = 1; call <= 38; call += 2) {
      phone_.FailAtCall(phone_.calls() + call, error);
      const SelectionOutcome cut = Fill(static_cast<std::uint32_t>(100 + call));
      phone_.FailAtCall(0, 0);
      faults += cut.succeeded ? 0 : 1;
      const SelectionOutcome next = Fill(static_cast<std::uint32_t>(200 + call));
      fills += 2;
      ASSERT_TRUE(next.succeeded) << call << ": " << testing::PrintToString(ports_.messages);
      const Audit audit = Check();
      total.leftovers += audit.leftovers;
      total.missing += audit.missing;
      total.userChanged += audit.userChanged;
      EXPECT_EQ(audit.leftovers + audit.missing + audit.userChanged, 0u)
          << "cut at call " << call << " by " << error;
    }
  }
  EXPECT_GE(faults, 30u);  // a few calls tidy up and may fail without harm
  std::cout << fills << " fills, " << faults << " cut off, " << total.leftovers << " leftovers, "
            << total.missing << " missing, " << total.userChanged << " user files changed\n";
}

TEST_F(MtpFillTest, APhoneThatTakesNothingMoreSaysSoAndKeepsNoPartOfAFile) {
  struct Case {
    const char* name;
    std::uint64_t capacity;
    std::size_t maxObjects;
    bool busy;
    const char* destination;
    const char* message;
  };
  const Case cases[] = {
      {"full", 6000, 1000, false, "mtp:F/Music", "The phone's storage is full"},
      {"capped", 64 << 20, 12, false, "mtp:F/Music", "holds as many files as it can"},
      {"held", 64 << 20, 1000, true, "mtp:F/Music", "is held by another program"},
      {"absent", 64 << 20, 1000, false, "mtp:NOSUCH", "No phone with the serial number NOSUCH"},
  };
  for (const Case& c : cases) {
    test::FakePhone phone("Player", "F", c.capacity, c.maxObjects);
    phone.AddFile("Music/mine.mp3", "the user's own");
    phone.busy = c.busy;
    test::FakeMtpBus bus({&phone});
    settings_.destination = c.destination;
    const SelectionOutcome outcome = Fill(7);
    EXPECT_FALSE(outcome.succeeded) << c.name;
    ASSERT_FALSE(ports_.messages.empty()) << c.name;
    EXPECT_THAT(ports_.messages.front(), HasSubstr(c.message)) << c.name;
    for (const auto& [path, bytes] : phone.Files()) {
      if (path == "Music/mine.mp3" || path == "Music/Sorvina.m3u8" ||
          path.starts_with("Music/.sorvina/"))
        continue;
      EXPECT_EQ(bytes.size(), 1024u) << c.name << ": " << path << " is not whole";
    }
    EXPECT_EQ(phone.Files().at("Music/mine.mp3"), "the user's own");
  }
}

TEST_F(MtpFillTest, CancelStopsAfterTheFileBeingSentAndRecordsWhatWasSent) {
  ports_ = {};
  ports_.cancelAtPump = 4;
  SelectionRunOptions options;
  options.seed = 5;
  const SelectionOutcome outcome =
      test::RunFor(settings_, test::Megabytes("0.0098"), ports_, options);
  ASSERT_TRUE(outcome.summary);
  EXPECT_TRUE(outcome.summary->cancelled);
  EXPECT_EQ(outcome.summary->doneFiles, 3u);
  EXPECT_EQ(Record().fills.back().files.size(), 3u);
  const Audit audit = Check();
  EXPECT_EQ(audit.leftovers + audit.missing + audit.userChanged, 0u);
}

TEST_F(MtpFillTest, AutoPlayerTakesOnlyWhatThePhoneSaysItPlays) {
  for (int i = 0; i < 3; ++i)
    dir_.WriteFile("typed/s" + std::to_string(i) + ".mp3", test::SilentFrames({}, 20 + i));
  dir_.WriteFile("typed/x.flac", "fLaC, which this phone does not take");
  settings_.sources = {dir_ / "typed"};
  settings_.options.fileTypes = {"mp3", "flac"};
  settings_.options.player = "auto";
  const SelectionOutcome outcome = Fill(3, "1");
  ASSERT_TRUE(outcome.succeeded) << testing::PrintToString(ports_.messages);
  EXPECT_EQ(outcome.summary->doneFiles, 3u);
  ASSERT_EQ(outcome.summary->leftOut.size(), 1u);
  EXPECT_EQ(outcome.summary->leftOut[0].type, "FLAC");
}

// A phone writes no log of plays: the computer's players tell what was heard, songs played
// lately stay off the phone, and replacing only what was heard replaces the whole fill.
TEST_F(MtpFillTest, ThePlayHistoryComesFromTheComputerAndTheWholeFillIsReplaced) {
  struct Yesterday : PlayHistory {
    std::string path;
    std::optional<SongPlays> PlaysOf(std::string_view song) const override {
      if (song != path) return std::nullopt;
      return SongPlays{1, static_cast<std::int64_t>(std::time(nullptr)) - 86400, std::nullopt};
    }
  };
  const std::string played = dir_ / "music/B/s1.mp3";
  const HistoryRequest* asked = nullptr;
  HistoryRequest request;
  SelectionRunOptions options;
  options.seed = 5;
  options.gatherHistory = [&](const HistoryRequest& r, RunPorts&) -> std::unique_ptr<PlayHistory> {
    request = r;
    asked = &request;
    auto history = std::make_unique<Yesterday>();
    history->path = played;
    return history;
  };
  settings_.options.avoidPlayedDays = 3;
  settings_.options.replaceHeard = true;
  ports_ = {};
  const SelectionOutcome outcome = test::RunFor(settings_, test::Megabytes("1"), ports_, options);
  ASSERT_TRUE(outcome.succeeded) << testing::PrintToString(ports_.messages);
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(request.player, nullptr);
  // All but the song played yesterday and the one whose name a file of the user holds.
  EXPECT_EQ(outcome.summary->doneFiles, 38u);
  EXPECT_EQ(phone_.Files().count("Music/B/s1.mp3"), 0u);
  EXPECT_THAT(ports_.warnings, testing::Contains(testing::HasSubstr("keeps no log")));
}

}  // namespace
}  // namespace sorvina::engine
