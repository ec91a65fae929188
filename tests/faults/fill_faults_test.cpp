// SPDX-License-Identifier: GPL-3.0-or-later
// What a hostile tester did to weekly fills, one case each, on a real exFAT player and
// on a small tmpfs: the user's playlist and folders met by a fill, a fill stopped,
// killed or unplugged part-way, a name taken at the last moment, names that one fill
// gives twice, links in the player, a planted record, a player filled by hand. Each
// checks that no file of the user's is lost or replaced and that what the run says is
// what happened.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "engine/report/messages.h"
#include "engine/run/selection_run.h"
#include "platform/contained_folder.h"
#include "tests/faults/fill_support.h"
#include "tests/support/amounts.h"
#include "tests/support/recording_ports.h"
#include "transfer/file_operation.h"

namespace sorvina::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using Kind = TestPlayer::Kind;

// One fault: a library, a player, and what the run must and must not do there.
struct Fill {
  TempDir dir;
  TestPlayer player;
  std::string music = dir / "music";
  explicit Fill(Kind kind) : player(kind, 32) {}

  std::string Song(const std::string& relative, const std::string& bytes) const {
    return dir.WriteFile("music/" + relative, bytes);
  }
  // The last fill in the player's record.
  engine::RecordedFill LastRecorded() const {
    const engine::ParsedRecord record =
        engine::ParseFillRecord(ReadBytes(player / ".sorvina/fills.txt"));
    EXPECT_EQ(record.problem, engine::RecordProblem::kNone);
    return record.history.fills.empty() ? engine::RecordedFill{} : record.history.fills.back();
  }
  // Waits until the player holds `count` songs; false after ten seconds.
  bool AwaitSongs(std::size_t count) const {
    for (int wait = 0; wait < 10000; ++wait) {
      if (SongsOn(player.path()).size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }
};

// The descriptors of this process open on the file at `path`.
std::vector<std::string> OpenFilesAt(const std::string& path) {
  std::vector<std::string> open;
  for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(fd.path(), error) == path) open.push_back(fd.path());
  }
  return open;
}

// Songs big enough that a fill of them takes a while on any player.
void SlowLibrary(Fill& f) {
  for (int i = 0; i < 40; ++i)
    f.Song("t" + std::to_string(i) + ".mp3",
           std::string(256 * 1024, static_cast<char>('a' + i % 26)));
}

void UsersPlaylistOfThatNameStays(Fill& f) {
  f.Song("t1.mp3", "one");
  f.Song("t2.mp3", "two");
  WriteOn(f.player.path(), "Best.m3u8", "#EXTM3U\r\nmine.mp3\r\n");
  const CliOutcome skipped =
      RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--device-playlist", "Best.m3u8"});
  EXPECT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_THAT(skipped.err, HasSubstr("not copied, the destination has a file of that name: " +
                                     f.player / "Best.m3u8"));
  EXPECT_EQ(ReadBytes(f.player / "Best.m3u8"), "#EXTM3U\r\nmine.mp3\r\n");
  EXPECT_THAT(f.LastRecorded().playlists, IsEmpty());

  // Kept both: the user's stays, the fill's comes beside it and is the fill's own.
  const CliOutcome beside =
      RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--device-playlist", "Best.m3u8",
              "--on-conflict", "keep-both", "--replace-previous"});
  EXPECT_EQ(beside.status, 0) << beside.err;
  EXPECT_EQ(ReadBytes(f.player / "Best.m3u8"), "#EXTM3U\r\nmine.mp3\r\n");
  EXPECT_THAT(ReadBytes(f.player / "Best (2).m3u8"), HasSubstr("t2.mp3"));
}

void PlaylistListsTheSetAlreadyThere(Fill& f) {
  f.Song("t1.mp3", "one");
  f.Song("t2.mp3", "two");
  f.Song("t3.mp3", "three");
  WriteOn(f.player.path(), "t1.mp3", "one");           // a copy made by hand
  WriteOn(f.player.path(), "t2.mp3", "another song");  // another file of that name
  const CliOutcome run =
      RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--device-playlist", "P.m3u8"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string playlist = ReadBytes(f.player / "P.m3u8");
  EXPECT_THAT(playlist, HasSubstr("\r\nt1.mp3\r\n"));
  EXPECT_THAT(playlist, HasSubstr("\r\nt3.mp3\r\n"));
  EXPECT_THAT(playlist, ::testing::Not(HasSubstr("t2.mp3")));
  // Listed, but not the fill's own: the next fill will not remove it.
  std::vector<std::string> recorded;
  for (const engine::RecordedFile& file : f.LastRecorded().files)
    recorded.push_back(file.relative);
  EXPECT_THAT(recorded, ElementsAre("t3.mp3"));
}

void StoppedFillIsRecorded(Fill& f) {
  SlowLibrary(f);
  if (CliProgram().empty()) GTEST_SKIP() << "sorvina-cli was not built";
  CliProcess fill({"-s", f.music, "-c", f.player.path(), "--all", "--fill", "--seed", "1"});
  ASSERT_TRUE(f.AwaitSongs(2));
  fill.Signal(SIGTERM);
  EXPECT_EQ(fill.Wait(), 1);
  EXPECT_THAT(fill.err(), HasSubstr("sorvina-cli: cancelled"));
  std::set<std::string> recorded;
  for (const engine::RecordedFile& file : f.LastRecorded().files)
    recorded.insert(file.relative);
  EXPECT_EQ(recorded, SongsOn(f.player.path()));
  EXPECT_THAT(NamesIn(f.player / ".sorvina"), ElementsAre("fills.txt", "lock"));
  EXPECT_THAT(PartFilesOn(f.player.path()), IsEmpty());
}

void KilledFillIsFinishedByTheNext(Fill& f) {
  SlowLibrary(f);
  if (CliProgram().empty()) GTEST_SKIP() << "sorvina-cli was not built";
  WriteOn(f.player.path(), "mine.mp3", "the user's");
  CliProcess killed(
      {"-s", f.music, "-c", f.player.path(), "--mb", "9", "--replace-previous", "--seed", "1"});
  ASSERT_TRUE(f.AwaitSongs(2));
  killed.Signal(SIGKILL);
  killed.Wait();
  const CliOutcome next = RunCli(
      {"-s", f.music, "-c", f.player.path(), "--mb", "2", "--replace-previous", "--seed", "2"});
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_THAT(next.err, HasSubstr("was cut off part-way"));
  std::set<std::string> recorded;
  for (const engine::RecordedFile& file : f.LastRecorded().files)
    recorded.insert(file.relative);
  EXPECT_EQ(recorded, SongsOn(f.player.path())) << killed.err() << next.err;
  EXPECT_THAT(SongsOn(f.player.path()), SizeIs(8));
  EXPECT_EQ(ReadBytes(f.player / "mine.mp3"), "the user's");
  EXPECT_THAT(PartFilesOn(f.player.path()), IsEmpty());
}

void NameTakenAtTheLastMomentStays(Fill& f) {
  const std::string song = f.Song("t1.mp3", "the song");
  std::optional<platform::ContainedFolder> root = platform::ContainedFolder::Open(f.player.path());
  ASSERT_TRUE(root);
  bool reached = false;
  std::vector<std::string> open;
  transfer::FileOperationTuning tuning;
  tuning.beforeFinalRename = [&] {
    reached = true;
    // What holds the name is not open: a file replaced while open is kept by FUSE under a
    // ".fuse_hidden" name until closed, for good where the player is pulled out meanwhile.
    open = OpenFilesAt(f.player / "t1.mp3");
    // A file of the user's, written under that name while the copy took it.
    WriteOn(f.player.path(), "t1.mp3", "the user's");
  };
  transfer::FileOperationRequest request{{song}, {"."}};
  request.root = &*root;
  request.rootPath = f.player.path();
  const transfer::FileOperationResult result = transfer::PerformFileOperationWith(request, tuning);
  // Where the system places names without replacing, the moment never comes.
  EXPECT_EQ(reached, f.player.kind() == Kind::kExFat);
  EXPECT_EQ(ReadBytes(f.player / "t1.mp3"), reached ? "the user's" : "the song");
  EXPECT_EQ(result.filesSkipped, reached ? 1u : 0u);
  EXPECT_THAT(PartFilesOn(f.player.path()), IsEmpty());
  EXPECT_THAT(open, IsEmpty());
}

void UnmountedPlayerGetsNothingOnTheDiskBelow(Fill& f) {
  if (f.player.kind() == Kind::kTmpfs) GTEST_SKIP() << "as on exFAT; once is enough";
  SlowLibrary(f);
  engine::SelectionSettings settings;
  settings.sources = {f.music};
  settings.copyToFolder = true;
  settings.destination = f.player.path();
  settings.options.devicePlaylist = "P.m3u8";
  RecordingPorts ports;
  CopyRecorder copier;
  int files = 0;
  copier.onProgress = [&](const transfer::FileProgress& progress) {
    // The user unmounts the player lazily while the third file is being copied.
    if (progress.fileIndex == 2 && files++ == 0) umount2(f.player.path().c_str(), MNT_DETACH);
  };
  const engine::SelectionOutcome outcome =
      test::RunFor(settings, Megabytes("8"), ports, {&copier, 1, false});
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_THAT(ports.messages,
              Contains("The destination " + f.player.path() +
                       " went away during the copy; nothing more was copied to it"));
  // The folder the player was mounted on is on the system's disk: nothing went there.
  EXPECT_THAT(NamesIn(f.player.path()), IsEmpty());
}

void OneFillNeverGivesANameTwice(Fill& f) {
  f.Song("A/song.mp3", "from A");
  f.Song("B/song.mp3", "from B");
  f.Song("C/Song.mp3", "from C");
  const CliOutcome run = RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--seed", "3",
                                 "--on-conflict", "replace", "--device-playlist", "P.m3u8"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Copied 3 files"));
  std::set<std::string> contents;
  std::set<std::string> sources;
  for (const engine::RecordedFile& file : f.LastRecorded().files) {
    contents.insert(ReadBytes(f.player / file.relative));
    sources.insert(file.source);
  }
  EXPECT_EQ(contents, (std::set<std::string>{"from A", "from B", "from C"}));
  EXPECT_THAT(sources, SizeIs(3));
  EXPECT_THAT(LinesOf(ReadBytes(f.player / "P.m3u8")), SizeIs(7));  // #EXTM3U, 3 × 2 lines
}

void KeptFoldersNeverLeadThroughALink(Fill& f) {
  if (f.player.kind() == Kind::kExFat) GTEST_SKIP() << "exFAT keeps no links";
  f.Song("Jazz/x.mp3", "x");
  f.Song("Rock/y.mp3", "y");
  const std::string outside = f.dir.MakeFolder("outside");
  fs::create_symlink(outside, f.player / "Jazz");
  const CliOutcome run = RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--keep-folders"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("cannot copy " + f.player / "Jazz/x.mp3" +
                                 ": A link is in the way; nothing is copied through it"));
  EXPECT_THAT(NamesIn(outside), IsEmpty());
  EXPECT_EQ(ReadBytes(f.player / "Rock/y.mp3"), "y");
}

void PlantedRecordRemovesNothing(Fill& f) {
  if (f.player.kind() == Kind::kExFat) GTEST_SKIP() << "exFAT keeps no owners";
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  f.Song("t1.mp3", "one");
  WriteOn(f.player.path(), "mine.mp3", "the user's");
  struct stat mine {};
  ASSERT_EQ(stat((f.player / "mine.mp3").c_str(), &mine), 0);
  engine::FillHistory planted;
  planted.fills.push_back({1,
                           {{"mine.mp3",
                             mine.st_size,
                             {mine.st_mtim.tv_sec, static_cast<int>(mine.st_mtim.tv_nsec)},
                             f.music + "/t1.mp3"}}});
  WriteOn(f.player.path(), ".sorvina/fills.txt", engine::FormatFillRecord(planted));
  ASSERT_EQ(chown((f.player / ".sorvina/fills.txt").c_str(), 4321, 4321), 0);
  const CliOutcome run =
      RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--replace-previous"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("was ignored: it belongs to another user"));
  EXPECT_EQ(ReadBytes(f.player / "mine.mp3"), "the user's");
}

void FoldersTheUserMadeStay(Fill& f) {
  f.Song("Jazz/x.mp3", "x");
  const std::string other = f.dir.WriteFile("other/y.mp3", "y");
  fs::create_directory(f.player / "Jazz");  // the user's, empty
  fs::create_directory(f.player / "Rock");  // the user's too
  f.Song("Rock/Live/z.mp3", "z");
  EXPECT_EQ(RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--keep-folders"}).status, 0);
  ASSERT_EQ(ReadBytes(f.player / "Rock/Live/z.mp3"), "z");
  const CliOutcome replaced =
      RunCli({"-s", f.dir / "other", "-c", f.player.path(), "--all", "--replace-previous"});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_THAT(replaced.err, HasSubstr("2 replaced"));
  // Jazz and Rock were there before; Rock/Live was made by the fill and goes with it.
  EXPECT_TRUE(fs::is_directory(f.player / "Jazz"));
  EXPECT_TRUE(fs::is_directory(f.player / "Rock"));
  EXPECT_FALSE(fs::exists(f.player / "Rock/Live"));
}

void RecordsSetAsideAreAllKept(Fill& f) {
  f.Song("t1.mp3", "one");
  for (const char* garbage : {"first garbage", "second garbage"}) {
    WriteOn(f.player.path(), ".sorvina/fills.txt", garbage);
    EXPECT_EQ(RunCli({"-s", f.music, "-c", f.player.path(), "--all", "--replace-previous",
                      "--on-conflict", "replace"})
                  .status,
              0);
  }
  EXPECT_EQ(ReadBytes(f.player / ".sorvina/fills.txt.ignored"), "first garbage");
  EXPECT_EQ(ReadBytes(f.player / ".sorvina/fills.txt (2).ignored"), "second garbage");
}

void NothingThatFitsFails(Fill& f) {
  f.Song("t1.mp3", std::string(4096, 'x'));
  const CliOutcome run = RunCli({"-s", f.music, "-c", f.player.path(), "--mb", "0.001"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, ::testing::StartsWith("Nothing chosen: the smallest file ("));
}

// A player filled by hand with copies of songs, full, and then filled with Sorvina.
void PlayerFilledByHandCanBeReplaced(Fill& f) {
  const Library library = MakeLibrary(f.dir, 60, 300 * 1024, 10 * 1024);
  for (const auto& [name, bytes] : library) {
    WriteOn(f.player.path(), name, bytes);
    if (fs::space(f.player.path()).available < 600 * 1024) break;
  }
  const std::set<std::string> byHand = SongsOn(f.player.path());
  const std::vector<std::string> weekly = {"-s",     f.music, "-c",     f.player.path(),
                                           "--mb",   "free",  "--fill", "--replace-previous",
                                           "--seed", "4"};
  CliOutcome run = RunCli(weekly);
  EXPECT_EQ(run.status, 1);  // nothing fits
  EXPECT_THAT(run.err, HasSubstr("This player has no record of an earlier fill; " +
                                 std::to_string(byHand.size()) + " files ("));
  EXPECT_THAT(run.err, HasSubstr("--adopt-copies"));
  EXPECT_EQ(SongsOn(f.player.path()), byHand);

  std::vector<std::string> adopting = weekly;
  adopting.push_back("--adopt-copies");
  run = RunCli(adopting);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr(" replaced"));
  std::set<std::string> recorded;
  for (const engine::RecordedFile& file : f.LastRecorded().files) {
    recorded.insert(file.relative);
    EXPECT_TRUE(ReadBytes(f.player / file.relative) == library.at(file.relative));
  }
  EXPECT_EQ(recorded, SongsOn(f.player.path()));
  EXPECT_NE(recorded, byHand);
}

// Hand copies that a first fill did not adopt, beside the record that fill wrote: the
// command line's own hint, --adopt-copies, takes them for the previous fill all the same.
void HandCopiesBesideARecordAreAdoptedWhenAsked(Fill& f) {
  for (int i = 1; i <= 4; ++i) {
    const std::string name = "t" + std::to_string(i) + ".mp3";
    f.Song(name, std::string(1000 + i, 'a' + i));
    if (i <= 2) WriteOn(f.player.path(), name, std::string(1000 + i, 'a' + i));
  }
  const std::vector<std::string> weekly = {"-s",
                                           f.music,
                                           "-c",
                                           f.player.path(),
                                           "--mb",
                                           "0.002",
                                           "--replace-previous",
                                           "--device-playlist",
                                           "P.m3u8",
                                           "--seed",
                                           "1"};
  const CliOutcome first = RunCli(weekly);
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(first.err, HasSubstr("--adopt-copies takes them"));
  std::vector<std::string> adopting = weekly;
  adopting.push_back("--adopt-copies");
  const CliOutcome second = RunCli(adopting);
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_THAT(second.err, HasSubstr("no fill recorded them"));
  std::set<std::string> recorded;
  for (const engine::RecordedFile& file : f.LastRecorded().files)
    recorded.insert(file.relative);
  // Only the songs this fill recorded are on the player: the hand copies went with the
  // fill before, unless chosen again.
  EXPECT_EQ(SongsOn(f.player.path()), recorded);
}

// A fill cut off before its record, on a player so full that the record cannot take the
// fill recovered from its journal: the next fill makes room by replacing that fill first,
// records it, and goes on as any fill; the journal does not keep it from beginning.
void FullPlayerRecordsTheFillItRecovers(Fill& f) {
  MakeLibrary(f.dir, 24, 40 * 1024, 1024);
  const std::vector<std::string> weekly = {
      "-s", f.music, "-c", f.player.path(), "--mb", "0.4", "--replace-previous", "--seed", "1"};
  ASSERT_EQ(RunCli(weekly).status, 0);
  // As a fill cut off after its last copy leaves the player: its journal, no record of it.
  const engine::RecordedFill cutOff = f.LastRecorded();
  std::string journal = engine::FormatJournalStart(cutOff.time, true);
  for (const engine::RecordedFile& song : cutOff.files) {
    journal += engine::FormatJournalLine({engine::JournalEntry::Kind::kPlace,
                                          song.relative,
                                          song.sizeBytes,
                                          song.modified,
                                          song.source,
                                          {},
                                          song.digest});
    journal += engine::FormatJournalLine({engine::JournalEntry::Kind::kPlaced,
                                          song.relative,
                                          song.sizeBytes,
                                          song.modified,
                                          {},
                                          {},
                                          song.digest});
  }
  WriteOn(f.player.path(), ".sorvina/journal.txt", journal);
  WriteOn(f.player.path(), ".sorvina/fills.txt", engine::FormatFillRecord({}));
  // The user's file takes all the room there is but less than a record's cluster.
  const auto available = static_cast<std::int64_t>(fs::space(f.player.path()).available);
  WriteOn(f.player.path(), "filler.bin", std::string(available - 1024, 'u'));
  ASSERT_LT(fs::space(f.player.path()).available, 32u * 1024);

  std::vector<std::string> next = weekly;
  next.back() = "2";
  const CliOutcome run = RunCli(next);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("was cut off part-way"));
  EXPECT_THAT(run.err, HasSubstr(" replaced"));
  EXPECT_FALSE(fs::exists(f.player / ".sorvina/journal.txt"));
  std::set<std::string> recorded;
  for (const engine::RecordedFile& song : f.LastRecorded().files)
    recorded.insert(song.relative);
  std::set<std::string> songs = SongsOn(f.player.path());
  EXPECT_EQ(songs, recorded);
  EXPECT_EQ(fs::file_size(f.player / "filler.bin"), static_cast<std::uintmax_t>(available - 1024));
}

struct FaultCase {
  const char* name;
  void (*run)(Fill&);
};
void PrintTo(const FaultCase& fault, std::ostream* out) {
  *out << fault.name;
}

const FaultCase kFaults[] = {
    {"UsersPlaylistOfThatNameStays", UsersPlaylistOfThatNameStays},
    {"PlaylistListsTheSetAlreadyThere", PlaylistListsTheSetAlreadyThere},
    {"StoppedFillIsRecorded", StoppedFillIsRecorded},
    {"KilledFillIsFinishedByTheNext", KilledFillIsFinishedByTheNext},
    {"NameTakenAtTheLastMomentStays", NameTakenAtTheLastMomentStays},
    {"UnmountedPlayerGetsNothingOnTheDiskBelow", UnmountedPlayerGetsNothingOnTheDiskBelow},
    {"OneFillNeverGivesANameTwice", OneFillNeverGivesANameTwice},
    {"KeptFoldersNeverLeadThroughALink", KeptFoldersNeverLeadThroughALink},
    {"PlantedRecordRemovesNothing", PlantedRecordRemovesNothing},
    {"FoldersTheUserMadeStay", FoldersTheUserMadeStay},
    {"RecordsSetAsideAreAllKept", RecordsSetAsideAreAllKept},
    {"NothingThatFitsFails", NothingThatFitsFails},
    {"PlayerFilledByHandCanBeReplaced", PlayerFilledByHandCanBeReplaced},
    {"HandCopiesBesideARecordAreAdoptedWhenAsked", HandCopiesBesideARecordAreAdoptedWhenAsked},
    {"FullPlayerRecordsTheFillItRecovers", FullPlayerRecordsTheFillItRecovers},
};

class FillFaultsTest : public ::testing::TestWithParam<std::tuple<FaultCase, Kind>> {};

TEST_P(FillFaultsTest, LosesNothingAndSaysWhatHappened) {
  const auto& [fault, kind] = GetParam();
  Fill fill(kind);
  if (!fill.player.mounted()) GTEST_SKIP() << fill.player.reason();
  fault.run(fill);
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FillFaultsTest,
                         ::testing::Combine(::testing::ValuesIn(kFaults),
                                            ::testing::Values(Kind::kExFat, Kind::kTmpfs)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "On" +
                                  NameOf(std::get<1>(info.param));
                         });

// The record of the last fill on `player`: of the two names a record is kept under where
// nothing is renamed (a phone), the one that is there.
engine::ParsedRecord RecordOn(const TestPlayer& player, std::string* name) {
  *name =
      fs::exists(player / ".sorvina/fills-2.txt") ? ".sorvina/fills-2.txt" : ".sorvina/fills.txt";
  return engine::ParseFillRecord(ReadBytes(player / *name));
}

// How a weekly fill is cut off part-way: by a signal some time into it, or by the phone
// refusing changing calls (counted from 1 in the fill), as a phone that refuses a request
// and goes on does; two refused calls two apart fail a song's write and then the removal
// of what was written of it.
struct Cut {
  int signal = 0;
  double when = 0;  // of a whole fill's time
  std::vector<long long> refused = {};
};

// Weekly fills cut off at moments spread over a fill (killed, stopped by SIGTERM or SIGINT
// as the command line is stopped, or on a phone by refused calls), each followed by a
// normal fill that replaces the previous one. The library holds names a phone cannot
// take. After a fill that stopped, and after each next fill, the player holds the user's
// files as they were, the last fill's songs, whole, its record and playlist, and nothing
// else: no file cut short, no part file, no journal.
class KilledFillsTest : public ::testing::TestWithParam<Kind> {};

TEST_P(KilledFillsTest, EachKilledFillIsFinishedAndReplacedByTheNext) {
  if (CliProgram().empty()) GTEST_SKIP() << "sorvina-cli was not built";
  TempDir dir;
  MakeLibrary(dir, 120, 200 * 1024, 4 * 1024);
  for (const char* odd : {"Live: Take 2?.mp3", "t?.mp3", "Who: Are You.mp3"})
    dir.WriteFile(std::string("music/Odd/") + odd, std::string(150 * 1024, odd[1]));
  TestPlayer player(GetParam(), 16);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  WriteOn(player.path(), "mine.mp3", "the user's own song");
  WriteOn(player.path(), "Podcasts/episode.mp3", "an episode");
  const Tree user = Snapshot(player.path());
  const auto weekly = [&](int seed) {
    return std::vector<std::string>{"-s",
                                    dir / "music",
                                    "-c",
                                    player.path(),
                                    "--mb",
                                    "free",
                                    "--fill",
                                    "--replace-previous",
                                    "--avoid-last",
                                    "1",
                                    "--device-playlist",
                                    "Sorvina.m3u8",
                                    "--seed",
                                    std::to_string(seed)};
  };
  // The cuts are spread over what a fill that replaces another takes.
  CliProcess first(weekly(1));
  ASSERT_EQ(first.Wait(), 0) << first.err();
  const auto start = std::chrono::steady_clock::now();
  const long long changesBefore = player.phone() ? player.phone()->ChangesMade() : 0;
  CliProcess whole(weekly(2));
  ASSERT_EQ(whole.Wait(), 0) << whole.err();
  const auto fill = std::chrono::steady_clock::now() - start;
  const long long calls = player.phone() ? player.phone()->ChangesMade() - changesBefore : 0;

  constexpr int kKills = 30;
  std::vector<Cut> cuts;
  for (int i = 0; i < kKills; ++i)
    cuts.push_back({std::array{SIGKILL, SIGTERM, SIGINT}[i % 3], (i + 0.5) / kKills});
  if (player.phone()) {
    for (long long call = calls / 10; call < calls; call += calls / 8)
      cuts.push_back({0, 0, {call}});
    // Six in a row, where songs are written under their names: one is a song's write.
    for (long long call = calls * 2 / 3; call < calls * 2 / 3 + 6; ++call)
      cuts.push_back({0, 0, {call, call + 2}});
  }

  // What the player holds that the user and the last fill do not account for, as paths and
  // sizes; `broken` takes the last fill's songs that are not whole and the user's files
  // that changed.
  const auto strays = [&](std::vector<std::string>& broken) {
    std::string name;
    const engine::ParsedRecord record = RecordOn(player, &name);
    EXPECT_EQ(record.problem, engine::RecordProblem::kNone);
    std::set<std::string> expected = {".sorvina", name, ".sorvina/lock", "Sorvina.m3u8"};
    for (const auto& [path, bytes] : user)
      expected.insert(path);
    for (const engine::RecordedFile& song : record.history.fills.back().files) {
      expected.insert(song.relative);
      if (ReadBytes(player / song.relative) != ReadBytes(song.source))
        broken.push_back(song.relative);
      // Where names are made legal (FAT's rules, a phone's), nothing the library holds is
      // refused.
      const bool legal = song.relative.find_first_of(":?") == std::string::npos;
      EXPECT_TRUE(legal || player.kind() == Kind::kTmpfs) << song.relative;
    }
    std::vector<std::string> found;
    for (const auto& [path, bytes] : Snapshot(player.path())) {
      if (user.contains(path) && user.at(path) != bytes) broken.push_back(path);
      if (!expected.contains(path)) found.push_back(path + " " + std::to_string(bytes.size()));
    }
    return found;
  };
  int stopped = 0;    // stopped by SIGTERM or SIGINT part-way, and said so
  int finished = 0;   // cut off part-way, and finished by the next fill
  int leftParts = 0;  // part files and songs cut short a fill left for the next one
  int changedUserFiles = 0;
  for (std::size_t i = 0; i < cuts.size(); ++i) {
    const Cut& cut = cuts[i];
    const std::string what = "after cut " + std::to_string(i) + " (signal " +
                             std::to_string(cut.signal) + ", " +
                             std::to_string(cut.refused.size()) + " calls refused)";
    if (player.phone()) player.phone()->RefuseCalls(cut.refused);
    CliProcess cutOff(weekly(100 + static_cast<int>(i)));
    if (cut.signal != 0) {
      std::this_thread::sleep_for(fill * cut.when);
      cutOff.Signal(cut.signal);
    }
    const int status = cutOff.Wait();
    if (player.phone()) player.phone()->RefuseCalls({});
    leftParts += static_cast<int>(PartFilesOn(player.path()).size());
    if (status == 1 && cutOff.err().find("cancelled") != std::string::npos) {
      ++stopped;
      // A fill that stopped cleans up after itself and records what it placed.
      std::vector<std::string> broken;
      EXPECT_THAT(strays(broken), IsEmpty()) << what << ": " << cutOff.err();
      EXPECT_THAT(broken, IsEmpty()) << what;
    }

    std::string before;  // what the player held, to tell why the next fill failed
    for (const auto& [path, bytes] : Snapshot(player.path()))
      before += path + " " + std::to_string(bytes.size()) + "\n";
    const CliOutcome next = RunCli(weekly(200 + static_cast<int>(i)));
    ASSERT_EQ(next.status, 0) << next.err << what << ", status " << status << ": " << cutOff.err()
                              << before;
    if (next.err.find("was cut off part-way") != std::string::npos) ++finished;
    std::vector<std::string> broken;
    EXPECT_THAT(strays(broken), IsEmpty())
        << what << ", status " << status << ": " << cutOff.err() << next.err << before;
    EXPECT_THAT(broken, IsEmpty()) << what;
    for (const auto& [path, bytes] : user)
      changedUserFiles += !fs::is_directory(player / path) && ReadBytes(player / path) != bytes;
  }
  EXPECT_EQ(changedUserFiles, 0);
  std::cout << "[   NOTE   ] " << NameOf(GetParam()) << ": a fill takes "
            << std::chrono::duration_cast<std::chrono::milliseconds>(fill).count() << " ms"
            << (player.phone() ? " and " + std::to_string(calls) + " changing calls" : "")
            << "; of " << cuts.size() << " fills cut off, " << stopped
            << " stopped by a signal and recorded, " << finished
            << " cut off part-way and finished by the next fill (" << leftParts
            << " part files left and cleared), the rest cut off before placing a song or after "
               "recording; user files changed: "
            << changedUserFiles << "\n";
}

INSTANTIATE_TEST_SUITE_P(OnEachPlayer, KilledFillsTest,
                         ::testing::Values(Kind::kExFat, Kind::kTmpfs, Kind::kPhone),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

}  // namespace
}  // namespace sorvina::test
