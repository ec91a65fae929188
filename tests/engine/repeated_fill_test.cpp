// SPDX-License-Identifier: GPL-3.0-or-later
// Fills that follow one another: a record on the destination, the previous fill replaced,
// the last fills avoided, a playlist on the device, playlists relative to their folder;
// and records that cannot be trusted.
#include "engine/fill/repeated_fill.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/fill/fill_record.h"
#include "engine/output/playlist_paths.h"
#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "engine/scan/collection.h"
#include "platform/mount_table.h"
#include "tests/support/amounts.h"
#include "tests/support/older_records.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using test::All;
using test::LinesOf;
using test::Megabytes;
using test::ReadBytes;
using test::Snapshot;
using test::Tree;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using text::PathStyle;

TEST(RelativeEntryTest, LeadsFromThePlaylistsFolderOrSaysThereIsNoWay) {
  struct Case {
    const char* folder;
    const char* path;
    const char* entry;  // null: none
    PathStyle style = PathStyle::kPosix;
  };
  const Case cases[] = {
      {"/home/a/lists/", "/home/a/lists/x.mp3", "x.mp3"},
      {"/home/a/lists", "/home/a/Music/Rock/x.mp3", "../Music/Rock/x.mp3"},
      {"/home/a/lists/deep/", "/home/a/x.mp3", "../../x.mp3"},
      {"/", "/music/x.mp3", "music/x.mp3"},
      {"/home/a/lists", "/media/usb/x.mp3", nullptr},  // only the root in common
      {"/home/a/lists", "/home/a/../b/x.mp3", nullptr},
      {"/home/a/lists", "relative/x.mp3", nullptr},
      {"", "Rock/x.mp3", "Rock/x.mp3"},  // inside a destination
      {"Lists", "Rock/x.mp3", "../Rock/x.mp3"},
      {"Rock", "Rock/x.mp3", "x.mp3"},
      {R"(C:\Lists)", R"(c:\lists\Rock\x.mp3)", R"(Rock\x.mp3)", PathStyle::kWindows},
      {R"(C:\a\Lists)", R"(C:\a\Music\x.mp3)", R"(..\Music\x.mp3)", PathStyle::kWindows},
      {R"(C:\Lists)", R"(C:\Music\x.mp3)", nullptr, PathStyle::kWindows},
      {R"(C:\)", R"(C:\Music\x.mp3)", R"(Music\x.mp3)", PathStyle::kWindows},
      {R"(C:\Lists)", R"(D:\Lists\x.mp3)", nullptr, PathStyle::kWindows},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> entry = RelativeEntry(c.folder, c.path, c.style);
    if (c.entry == nullptr) {
      EXPECT_FALSE(entry) << c.folder << " " << c.path << ": " << entry.value_or("");
    } else {
      EXPECT_EQ(entry.value_or("<none>"), c.entry) << c.folder << " " << c.path;
    }
  }
}

// A library of 30 files of 1 KiB in three folders, and a player with a file of the user's.
class RepeatedFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 30; ++i) {
      const std::string relative =
          std::string(1, static_cast<char>('A' + i % 3)) + "/s" + std::to_string(i) + ".mp3";
      dir_.WriteFile("music/" + relative, std::string(1024, static_cast<char>('a' + i % 26)));
    }
    player_ = dir_.MakeFolder("player");
    dir_.WriteFile("player/mine.mp3", "the user's own");
    settings_.sources = {dir_ / "music"};
    settings_.copyToFolder = true;
    settings_.destination = player_;
  }

  SelectionOutcome Fill(engine::Amount limit, std::uint32_t seed, bool dryRun = false) {
    ports_ = {};
    SelectionRunOptions options;
    options.seed = seed;
    options.dryRun = dryRun;
    return test::RunFor(settings_, limit, ports_, options);
  }

  // What the last fill's record says the player holds, songs and playlists, as paths
  // below it.
  std::set<std::string> Recorded() {
    std::set<std::string> paths;
    const ParsedRecord record = ParseFillRecord(ReadBytes(player_ + "/.sorvina/fills.txt"));
    EXPECT_EQ(record.problem, RecordProblem::kNone);
    if (record.history.fills.empty()) return paths;
    for (const auto* files :
         {&record.history.fills.back().files, &record.history.fills.back().playlists})
      for (const RecordedFile& file : *files)
        paths.insert(file.relative);
    return paths;
  }

  test::TempDir dir_;
  std::string player_;
  SelectionSettings settings_;
  test::RecordingPorts ports_;
};

// Every entry of the playlist at `playlist` names a file that opens, relative to its folder.
std::vector<std::string> EntriesThatOpen(const std::string& playlist) {
  std::vector<std::string> entries;
  const std::vector<std::string> lines = LinesOf(ReadBytes(playlist));
  EXPECT_FALSE(lines.empty());
  for (std::size_t i = 2; i < lines.size(); i += 2) {
    std::string entry = lines[i];
    if (!entry.empty() && entry.back() == '\r') entry.pop_back();
    if (entry.empty()) continue;
    EXPECT_TRUE(fs::is_regular_file(fs::path(playlist).parent_path() / entry)) << entry;
    entries.push_back(entry);
  }
  return entries;
}

TEST_F(RepeatedFillTest, ThreeFillsInARowShareNoSongAndLeaveTheUsersFilesAlone) {
  settings_.options.keepFolders = true;
  settings_.options.replacePrevious = true;
  settings_.options.avoidLast = 2;
  settings_.options.devicePlaylist = "Lists/Sorvina.m3u8";
  const Amount tenFiles = Megabytes("0.0098");  // 10,276 bytes: ten files of 1 KiB

  std::vector<std::set<std::string>> sets;
  std::vector<std::string> lines;
  std::string changed;
  std::string added;
  for (int fill = 1; fill <= 3; ++fill) {
    const SelectionOutcome outcome = Fill(tenFiles, 10 + fill);
    ASSERT_TRUE(outcome.succeeded) << fill;
    EXPECT_THAT(ports_.messages, IsEmpty());
    ASSERT_EQ(outcome.chosenPaths.size(), 10u);
    sets.emplace_back(outcome.chosenPaths.begin(), outcome.chosenPaths.end());
    lines.push_back(SummaryLine(*outcome.summary));

    // The player holds this fill's files, each where its folder says, and the user's.
    std::set<std::string> expected = {"Lists/Sorvina.m3u8"};
    for (const std::string& path : outcome.chosenPaths)
      expected.insert(path.substr(settings_.sources[0].size() + 1));
    EXPECT_EQ(Recorded(), expected) << fill;
    std::vector<std::string> inDrawOrder;
    for (const std::string& path : outcome.chosenPaths)
      inDrawOrder.push_back("../" + path.substr(settings_.sources[0].size() + 1));
    EXPECT_EQ(EntriesThatOpen(player_ + "/Lists/Sorvina.m3u8"), inDrawOrder);

    if (fill == 1) {
      // The user changes one of the copies and adds a file beside another.
      changed = inDrawOrder[0].substr(3);
      added = fs::path(inDrawOrder[1].substr(3)).parent_path() / "added.mp3";
      dir_.WriteFile("player/" + changed, "changed by the user");
      dir_.WriteFile("player/" + added, "added");
    }
  }
  for (int a = 0; a < 3; ++a)
    for (int b = a + 1; b < 3; ++b)
      for (const std::string& path : sets[a])
        EXPECT_FALSE(sets[b].contains(path)) << path << " in fills " << a + 1 << " and " << b + 1;

  const std::string sizes = "(0.00977 MB) to " + player_;
  EXPECT_THAT(lines, ElementsAre("Copied 10 files " + sizes + ", no earlier fill to replace",
                                 "Copied 10 files " + sizes + ", 9 replaced, 1 left in place",
                                 "Copied 10 files " + sizes + ", 10 replaced"));
  EXPECT_EQ(ReadBytes(player_ + "/mine.mp3"), "the user's own");
  // Besides the last fill and the record, only the user's files are left.
  const std::set<std::string> last = Recorded();
  std::set<std::string> left;
  for (const auto& [path, bytes] : Snapshot(player_))
    if (bytes != "<folder>" && !last.contains(path) && !path.starts_with(".sorvina/"))
      left.insert(path);
  EXPECT_EQ(left, (std::set<std::string>{"mine.mp3", changed, added}));
  EXPECT_EQ(ReadBytes(player_ + "/" + changed), "changed by the user");
  EXPECT_THAT(test::NamesIn(player_ + "/.sorvina"), ElementsAre("fills.txt", "lock"));
  EXPECT_EQ(ParseFillRecord(ReadBytes(player_ + "/.sorvina/fills.txt")).history.fills.size(), 3u);
}

TEST_F(RepeatedFillTest, ThePlayersPlaylistListsEveryCopiedFileWhateverIsCancelled) {
  settings_.options.devicePlaylist = "Sorvina.m3u8";
  ports_ = {};
  ports_.cancelAtPump = 1;  // Cancel pressed as soon as the playlist's progress shows
  SelectionRunOptions options;
  options.seed = 3;
  const SelectionOutcome outcome = test::RunFor(settings_, Megabytes("0.0098"), ports_, options);
  ASSERT_EQ(outcome.chosenPaths.size(), 10u);
  EXPECT_EQ(EntriesThatOpen(player_ + "/Sorvina.m3u8").size(), 10u);
}

TEST_F(RepeatedFillTest, FilesChosenAgainStayWhereTheyAreAndADryRunChangesNothing) {
  settings_.options.replacePrevious = true;
  settings_.options.keepFolders = true;
  ASSERT_TRUE(Fill(Megabytes("0.0098"), 1).succeeded);
  struct stat before {};
  const std::string kept = *Recorded().begin();
  ASSERT_EQ(stat((player_ + "/" + kept).c_str(), &before), 0);
  const Tree afterFirst = Snapshot(player_);

  // Everything chosen this time: the ten on the player stay, the other twenty come.
  const SelectionOutcome dry = Fill(All(), 2, true);
  EXPECT_THAT(dry.removedPaths, IsEmpty());
  EXPECT_EQ(SummaryLine(*dry.summary),
            "Would copy 20 files (0.0195 MB) to " + player_ + ", 0 to replace, 10 to keep");
  EXPECT_EQ(Snapshot(player_), afterFirst);

  const SelectionOutcome all = Fill(All(), 2);
  EXPECT_EQ(SummaryLine(*all.summary),
            "Copied 20 files (0.0195 MB) to " + player_ + ", 0 replaced, 10 kept");
  struct stat after {};
  ASSERT_EQ(stat((player_ + "/" + kept).c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(Recorded().size(), 30u);

  // A dry run of a fresh set lists the thirty as what it would remove, and removes none.
  settings_.options.avoidLast = 1;
  dir_.WriteFile("music/new/n.mp3", "new");
  const Tree full = Snapshot(player_);
  const SelectionOutcome fresh = Fill(All(), 3, true);
  EXPECT_EQ(fresh.chosenPaths, std::vector<std::string>{dir_ / "music/new/n.mp3"});
  EXPECT_EQ(fresh.removedPaths.size(), 30u);
  EXPECT_THAT(fresh.removedPaths[0], ::testing::StartsWith(player_ + "/"));
  EXPECT_EQ(Snapshot(player_), full);
  // Done for real, the thirty go, and with them the folders they alone filled.
  EXPECT_EQ(Fill(All(), 3).removedPaths.size(), 30u);
  EXPECT_THAT(test::NamesIn(player_), ElementsAre(".sorvina", "mine.mp3", "new"));
}

TEST_F(RepeatedFillTest, AvoidingEveryFileChoosesNothingAndSaysSo) {
  settings_.options.avoidLast = 1;
  ASSERT_TRUE(Fill(All(), 1).succeeded);
  const Tree before = Snapshot(player_);
  const SelectionOutcome again = Fill(All(), 2);
  EXPECT_FALSE(again.succeeded);
  EXPECT_THAT(ports_.messages,
              ElementsAre("Every file found was chosen by the last fill of this destination; "
                          "nothing was chosen"));
  EXPECT_EQ(Snapshot(player_), before);
}

TEST_F(RepeatedFillTest, ClassicRunsKeepNoRecordAndDrawAsAFirstRecordedFill) {
  const SelectionOutcome classic = Fill(Megabytes("0.01"), 5);
  EXPECT_FALSE(fs::exists(player_ + "/.sorvina"));
  // Any option beyond the classic ones keeps a record, so that the next fill can replace.
  settings_.options.devicePlaylist = "Sorvina.m3u8";
  Fill(Megabytes("0.01"), 6);
  EXPECT_TRUE(fs::exists(player_ + "/.sorvina/fills.txt"));

  // A first fill with a record chooses, seed for seed, what the classic run chose.
  const std::string other = dir_.MakeFolder("other");
  settings_.destination = other;
  settings_.options = {};
  settings_.options.avoidLast = 3;
  settings_.options.replacePrevious = true;
  const SelectionOutcome recorded = Fill(Megabytes("0.01"), 5);
  EXPECT_EQ(recorded.chosenPaths, classic.chosenPaths);
  EXPECT_TRUE(fs::exists(other + "/.sorvina/fills.txt"));
}

TEST_F(RepeatedFillTest, RecordsThatCannotBeTrustedAreIgnoredAndNothingOutsideIsTouched) {
  settings_.options.replacePrevious = true;
  settings_.options.avoidLast = 1;
  const std::string victim = dir_.WriteFile("outside/victim.mp3", std::string(1024, 'v'));
  struct stat status {};
  ASSERT_EQ(stat(victim.c_str(), &status), 0);
  // A record that would remove the victim if its paths were followed: it matches in size,
  // time and source; only its path gives it away.
  const auto record = [&](const std::string& relative) {
    char nanoseconds[16];
    std::snprintf(nanoseconds, sizeof nanoseconds, "%09ld", status.st_mtim.tv_nsec);
    const std::string text = "sorvina-fills 1\nfill\t1\t1\nfile\t1024\t" +
                             std::to_string(status.st_mtim.tv_sec) + "." + nanoseconds + "\t" +
                             relative + "\t" + victim + "\n";
    return text + "end\t" + TextHash(text) + "\n";
  };
  const std::string ignored = "The record of earlier fills in " + player_ + "/.sorvina/";
  struct Case {
    const char* what;
    std::function<void()> plant;
    std::string warning;
  };
  const std::vector<Case> cases = {
      {"a path up and out",
       [&] { dir_.WriteFile("player/.sorvina/fills.txt", record("../outside/victim.mp3")); },
       ignored + "fills.txt was ignored: it names files outside the destination"},
      {"an absolute path", [&] { dir_.WriteFile("player/.sorvina/fills.txt", record(victim)); },
       ignored + "fills.txt was ignored: it names files outside the destination"},
      {"a folder link to outside",
       [&] {
         fs::create_symlink(dir_ / "outside", player_ + "/away");
         dir_.WriteFile("player/.sorvina/fills.txt", record("away/victim.mp3"));
       },
       ""},
      {"the record a link to outside",
       [&] {
         dir_.MakeFolder("player/.sorvina");
         fs::create_symlink(victim, player_ + "/.sorvina/fills.txt");
       },
       ignored + "fills.txt was ignored: a link is in the way"},
      {"the record's folder a link to outside",
       [&] { fs::create_symlink(dir_ / "outside", player_ + "/.sorvina"); },
       "No record of this fill can be kept in " + player_ +
           "/.sorvina (a link is in the way); the songs of the previous fill were left in place"},
      {"random bytes",
       [&] { dir_.WriteFile("player/.sorvina/fills.txt", std::string("\x89PNG\r\n\x1a\n", 8)); },
       ignored + "fills.txt was ignored: it is no record of fills that this version can read"},
  };
  for (const Case& c : cases) {
    fs::remove_all(player_);
    dir_.MakeFolder("player");
    c.plant();
    const Tree outside = Snapshot(dir_ / "outside");
    const SelectionOutcome outcome = Fill(Megabytes("0.005"), 3);
    EXPECT_TRUE(outcome.succeeded) << c.what;
    EXPECT_EQ(outcome.chosenPaths.size(), 5u) << c.what;
    EXPECT_THAT(ports_.messages, IsEmpty()) << c.what;
    EXPECT_EQ(ports_.warnings,
              c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning})
        << c.what;
    EXPECT_EQ(Snapshot(dir_ / "outside"), outside) << c.what;
  }
}

// A player filled by the version before fingerprints: its record names songs by size
// and time alone. The next fill takes for its own what proves itself a copy of its source,
// byte for byte, and the playlist that lists only those songs; a copy whose source has
// changed since cannot be told from the user's file and stays.
TEST_F(RepeatedFillTest, AFillRecordedBeforeFingerprintsIsReplacedWhereItsFilesProveIt) {
  settings_.options.keepFolders = true;
  settings_.options.replacePrevious = true;
  settings_.options.devicePlaylist = "Lists/P.m3u8";
  ASSERT_TRUE(Fill(Megabytes("0.01"), 1).succeeded) << ports_.messages.front();
  ParsedRecord first = ParseFillRecord(ReadBytes(player_ + "/.sorvina/fills.txt"));
  ASSERT_EQ(first.problem, RecordProblem::kNone);
  dir_.WriteFile("player/.sorvina/fills.txt", test::RecordBeforeFingerprints(first.history));
  const std::vector<RecordedFile>& songs = first.history.fills.back().files;
  ASSERT_GE(songs.size(), 3u);
  // Retagged since: its copy is no longer the source's.
  dir_.WriteFile(songs.front().source.substr(dir_.path().size() + 1), "retagged");

  const SelectionOutcome second = Fill(Megabytes("0.01"), 2);
  ASSERT_TRUE(second.succeeded);
  EXPECT_EQ(second.summary->replacement->left, 1u);
  EXPECT_EQ(second.summary->replacement->removed + second.summary->replacement->kept,
            songs.size() - 1);
  EXPECT_TRUE(fs::exists(player_ + "/" + songs.front().relative));
  for (std::size_t i = 1; i < songs.size(); ++i) {
    if (!Recorded().contains(songs[i].relative)) {
      EXPECT_FALSE(fs::exists(player_ + "/" + songs[i].relative)) << songs[i].relative;
    }
  }
  // The playlist of that fill was replaced in place, with no question and no second one.
  EXPECT_TRUE(Recorded().contains("Lists/P.m3u8"));
  EXPECT_FALSE(fs::exists(player_ + "/Lists/P (2).m3u8"));
  EXPECT_EQ(EntriesThatOpen(player_ + "/Lists/P.m3u8").size(), Recorded().size() - 1);
}

// A folder pretending to be a phone's storage that the desktop mounted (its share of the
// virtual file system tells it only by its path): names there are made legal for Android,
// and the play order is left to the device playlist, with a word, where it was asked for.
TEST_F(RepeatedFillTest, APhoneGetsLegalNamesAndNoRebuiltOrder) {
  const std::string gvfs = dir_.MakeFolder("gvfs");
  const std::string phone = dir_.MakeFolder("gvfs/mtp:host=Google_Pixel_7_1A2B3C/Phone");
  dir_.WriteFile("odd/Live: Take 2?.mp3", std::string(1024, 'x'));
  settings_.sources = {dir_ / "odd"};
  settings_.destination = phone;
  settings_.options.order = true;
  {
    const platform::MountTableOverride table(dir_.WriteFile(
        "mountinfo", "60 30 0:48 / " + gvfs + " rw shared:94 - fuse.gvfsd-fuse gvfsd-fuse rw\n"));
    EXPECT_TRUE(Fill(All(), 1).succeeded);
  }
  EXPECT_TRUE(fs::is_regular_file(phone + "/Live_ Take 2_.mp3"));
  EXPECT_THAT(ports_.warnings,
              ElementsAre("The phone keeps no order of files; the device playlist holds the "
                          "play order"));

  // A folder on no phone takes the name as it is, and is put in order.
  settings_.destination = player_;
  EXPECT_TRUE(Fill(All(), 1).succeeded);
  EXPECT_TRUE(fs::is_regular_file(player_ + "/Live: Take 2?.mp3"));
  EXPECT_THAT(ports_.warnings, IsEmpty());
}

TEST(PlaylistHistoryTest, PlaylistsRememberTheirEntriesInTheStateFolderAndCanBeRelative) {
  test::TempDir dir;
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  for (const char* name : {"music/Rock/a.mp3", "music/Rock/b.mp3", "music/c.mp3"})
    dir.WriteFile(name, name);
  SelectionSettings settings;
  settings.sources = {dir / "music"};
  settings.destination = dir / "lists/evening.m3u";
  settings.options.relative = true;
  test::RecordingPorts ports;
  SelectionRunOptions options;
  options.seed = 4;
  ASSERT_TRUE(test::RunFor(settings, All(), ports, options).succeeded);
  EXPECT_FALSE(fs::exists(dir / "state"));  // nothing to remember without avoiding

  settings.options.avoidLast = 1;
  const SelectionOutcome written = test::RunFor(settings, All(), ports, options);
  ASSERT_TRUE(written.succeeded);
  const std::vector<std::string> lines = LinesOf(ReadBytes(settings.destination));
  EXPECT_EQ(lines[2].substr(0, 9), "../music/");
  // Read back as a source, the relative entries name the same files.
  SelectionSettings reading;
  reading.sources = {settings.destination};
  CandidatePool pool;
  CollectCandidates(reading, pool);
  std::set<std::string> resolved;
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    resolved.insert(fs::weakly_canonical(pool[i].path).string());
  std::set<std::string> chosen;
  for (const std::string& path : written.chosenPaths)
    chosen.insert(fs::weakly_canonical(path).string());
  EXPECT_EQ(resolved, chosen);

  EXPECT_THAT(test::NamesIn(dir / "state/sorvina/playlists"),
              ElementsAre(TextHash(settings.destination) + ".lock",
                          TextHash(settings.destination) + ".txt"));
  ports = {};
  EXPECT_FALSE(test::RunFor(settings, All(), ports, options).succeeded);
  EXPECT_THAT(ports.messages, ElementsAre(HasSubstr("the last playlist written to this file")));
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace sorvina::engine
