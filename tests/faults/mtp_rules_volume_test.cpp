// SPDX-License-Identifier: GPL-3.0-or-later
// The volume with the rules of a phone mounted over MTP holds to each of them and does
// the plain things; and fills onto it write their files in place and lose none of the
// user's, also when cut off part-way.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "tests/faults/fill_support.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/amounts.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

#ifndef SORVINA_MTP_RULES_VOLUME
#define SORVINA_MTP_RULES_VOLUME ""
#endif

namespace sorvina::test {
namespace {

namespace fs = std::filesystem;

// The error of a call that failed, 0 where it worked.
int ErrorOf(long result) {
  return result < 0 ? errno : 0;
}

// Creates `path` and writes `bytes` to it in one write, left open: the descriptor.
int Created(const std::string& path, const std::string& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  return fd;
}

off_t SizeOf(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

struct RuleCase {
  const char* name;
  // Does what the case is about on the volume mounted at the path given; the error of the
  // call that matters.
  std::function<int(const std::string&)> call;
  int error;
};

const std::vector<RuleCase>& RuleCases() {
  static const std::vector<RuleCase> cases = {
      {"RenameOfAFile",
       [](const std::string& v) {
         return ErrorOf(rename((v + "/old.mp3").c_str(), (v + "/n.mp3").c_str()));
       },
       EPERM},
      {"RenameOfAFolder",
       [](const std::string& v) {
         return ErrorOf(rename((v + "/Music").c_str(), (v + "/M").c_str()));
       },
       EPERM},
      {"HardLink",
       [](const std::string& v) {
         return ErrorOf(link((v + "/old.mp3").c_str(), (v + "/l.mp3").c_str()));
       },
       EPERM},
      {"SymbolicLink",
       [](const std::string& v) { return ErrorOf(symlink("old.mp3", (v + "/s.mp3").c_str())); },
       EPERM},
      {"WriteBackAtTheStart",
       [](const std::string& v) {
         const int fd = Created(v + "/new.mp3", "abcd");
         const int error = ErrorOf(pwrite(fd, "x", 1, 0));
         close(fd);
         EXPECT_EQ(ReadBytes(v + "/new.mp3"), "abcd");
         return error;
       },
       EPERM},
      {"WritePastTheEnd",
       [](const std::string& v) {
         const int fd = Created(v + "/new.mp3", "abcd");
         const int error = ErrorOf(pwrite(fd, "x", 1, 10));
         close(fd);
         return error;
       },
       EPERM},
      {"ReopenForWriting",
       [](const std::string& v) {
         return ErrorOf(open((v + "/old.mp3").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
       },
       EPERM},
      {"ReopenForReadingAndWriting",
       [](const std::string& v) {
         return ErrorOf(open((v + "/old.mp3").c_str(), O_RDWR | O_CLOEXEC));
       },
       EPERM},
      {"ReopenTruncated",
       [](const std::string& v) {
         return ErrorOf(
             open((v + "/old.mp3").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
       },
       EPERM},
      {"ReopenAJustWrittenFile",
       [](const std::string& v) {
         close(Created(v + "/new.mp3", "abcd"));
         return ErrorOf(open((v + "/new.mp3").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
       },
       EPERM},
      {"TruncateToNothing",
       [](const std::string& v) { return ErrorOf(truncate((v + "/old.mp3").c_str(), 0)); }, EPERM},
      {"TruncateLonger",
       [](const std::string& v) { return ErrorOf(truncate((v + "/empty.mp3").c_str(), 100)); },
       EPERM},
      {"TruncateAnEmptyFileToNothing",
       [](const std::string& v) { return ErrorOf(truncate((v + "/empty.mp3").c_str(), 0)); }, 0},
      {"SizeIsZeroUntilClosed",
       [](const std::string& v) {
         const int fd = Created(v + "/new.mp3", "abcd");
         struct stat status {};
         EXPECT_EQ(fstat(fd, &status), 0);
         EXPECT_EQ(status.st_size, 0);
         EXPECT_EQ(SizeOf(v + "/new.mp3"), 0);
         EXPECT_EQ(write(fd, "ef", 2), 2);  // still at the end
         const int error = ErrorOf(close(fd));
         EXPECT_EQ(SizeOf(v + "/new.mp3"), 6);
         EXPECT_EQ(ReadBytes(v + "/new.mp3"), "abcdef");
         return error;
       },
       0},
      {"AppendingWriterWritesAtTheEnd",
       [](const std::string& v) {
         const std::string path = v + "/new.mp3";
         const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
         EXPECT_EQ(write(fd, "ab", 2), 2);
         EXPECT_EQ(SizeOf(path), 0);
         const int error = ErrorOf(write(fd, "cd", 2));
         close(fd);
         EXPECT_EQ(ReadBytes(path), "abcd");
         return error;
       },
       0},
      {"PlainFilesAndFolders",
       [](const std::string& v) {
         EXPECT_EQ(ErrorOf(mkdir((v + "/New").c_str(), 0755)), 0);
         EXPECT_EQ(ErrorOf(close(Created(v + "/New/song.mp3", "song"))), 0);
         EXPECT_EQ(ReadBytes(v + "/New/song.mp3"), "song");
         EXPECT_EQ(NamesIn(v + "/New"), std::vector<std::string>{"song.mp3"});
         EXPECT_EQ(ErrorOf(unlink((v + "/New/song.mp3").c_str())), 0);
         EXPECT_EQ(ErrorOf(rmdir((v + "/New").c_str())), 0);
         return ErrorOf(unlink((v + "/empty.mp3").c_str()));
       },
       0},
  };
  return cases;
}

TEST(MtpRulesVolumeTest, HoldsToEachRuleAndDoesThePlainThings) {
  for (const RuleCase& rule : RuleCases()) {
    SCOPED_TRACE(rule.name);
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME);
    if (!volume.mounted()) GTEST_SKIP() << volume.reason();
    WriteOn(volume.backing(), "old.mp3", "old song");
    WriteOn(volume.backing(), "empty.mp3", "");
    fs::create_directory(volume.backing() + "/Music");
    EXPECT_EQ(rule.call(volume.path()), rule.error);
    // What was there before is as it was, and nothing refused was made.
    EXPECT_EQ(ReadBytes(volume.backing() + "/old.mp3"), "old song");
    EXPECT_TRUE(fs::is_directory(volume.backing() + "/Music"));
    for (const char* made : {"n.mp3", "M", "l.mp3", "s.mp3"})
      EXPECT_FALSE(fs::exists(fs::symlink_status(volume.backing() + "/" + made))) << made;
  }
}

TEST(MtpRulesVolumeTest, RefusesNamesWithCharactersAPhoneCannotHold) {
  MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME);
  if (!volume.mounted()) GTEST_SKIP() << volume.reason();
  for (const char c : std::string("\"*:<>?\\|\x01\x1f\x7f")) {
    const std::string name = std::string("a") + c + "b";
    EXPECT_EQ(ErrorOf(open((volume / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), EINVAL)
        << int(c);
    EXPECT_EQ(ErrorOf(mkdir((volume / name).c_str(), 0755)), EINVAL) << int(c);
  }
  EXPECT_EQ(NamesIn(volume.backing()), std::vector<std::string>{});
  EXPECT_EQ(ErrorOf(mkdir((volume / "a b (1) [x] #'&.mp3").c_str(), 0755)), 0);
}

TEST(MtpRulesVolumeTest, ListsFoldersSlowlyWhenAsked) {
  const auto listingTime = [](int listingMs) {
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME, {.listingMs = listingMs});
    if (!volume.mounted()) return std::chrono::milliseconds(-1);
    WriteOn(volume.backing(), "Music/a.mp3", "a");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(NamesIn(volume / "Music"), std::vector<std::string>{"a.mp3"});
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  const auto quick = listingTime(0);
  if (quick.count() < 0) GTEST_SKIP() << MtpRulesVolume(SORVINA_MTP_RULES_VOLUME).reason();
  EXPECT_LT(quick.count(), 500);
  EXPECT_GE(listingTime(500).count(), 500);
}

// The changing calls of a small session, one after another, each of its own kind; the
// error of each made, up to the first that failed.
std::vector<int> Session(const MtpRulesVolume& volume) {
  std::vector<int> errors;
  int fd = -1;
  const std::vector<std::function<int()>> calls = {
      [&] { return ErrorOf(mkdir((volume / "New").c_str(), 0755)); },
      [&] {
        fd = open((volume / "new.mp3").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        return ErrorOf(fd);
      },
      [&] { return ErrorOf(write(fd, "song", 4)); },
      [&] { return ErrorOf(close(fd)); },
      [&] { return ErrorOf(unlink((volume / "old.mp3").c_str())); },
      [&] { return ErrorOf(rmdir((volume / "Music").c_str())); },
  };
  for (const auto& call : calls) {
    errors.push_back(call());
    if (errors.back() != 0) break;
  }
  if (errors.size() == 3) close(fd);
  return errors;
}

TEST(MtpRulesVolumeTest, FailsTheChosenChangingCallAndNoOther) {
  for (long long failing = 0; failing <= 6; ++failing) {
    SCOPED_TRACE("failing call " + std::to_string(failing));
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME, {.failingCall = failing});
    if (!volume.mounted()) GTEST_SKIP() << volume.reason();
    WriteOn(volume.backing(), "old.mp3", "old song");
    fs::create_directory(volume.backing() + "/Music");
    std::vector<int> expected(failing == 0 ? 6 : failing, 0);
    if (failing > 0) expected.back() = EIO;
    EXPECT_EQ(Session(volume), expected);
    // Closing the file whose write failed is one more.
    EXPECT_EQ(volume.ChangesMade(), failing == 0 ? 6 : failing + (failing == 3));
    // A file whose write failed is kept empty; one whose closing failed is not kept.
    const bool kept = fs::exists(volume.backing() + "/new.mp3");
    EXPECT_EQ(kept, failing == 0 || failing == 3 || failing > 4);
    EXPECT_EQ(ReadBytes(volume.backing() + "/new.mp3"), failing == 0 || failing > 4 ? "song" : "");
  }
}

// The arguments of a weekly fill of `player` from `dir`'s library.
std::vector<std::string> WeeklyFill(const TempDir& dir, const std::string& player, int seed,
                                    const std::string& megabytes = "1") {
  return {"-s",
          dir / "music",
          "-c",
          player,
          "--mb",
          megabytes,
          "--fill",
          "--replace-previous",
          "--device-playlist",
          "Sorvina.m3u8",
          "--seed",
          std::to_string(seed)};
}

// The user's files put on a volume before it is filled.
Tree UserFilesOn(const MtpRulesVolume& volume) {
  WriteOn(volume.backing(), "notes.txt", "the user's notes");
  WriteOn(volume.backing(), "Music/mine.mp3", "the user's song");
  return Snapshot(volume.backing());
}

// The songs on `player` that are not whole copies of the library's.
std::vector<std::string> NotWholeSongsOn(const std::string& player, const Library& library) {
  std::vector<std::string> broken;
  for (const std::string& song : SongsOn(player))
    if (ReadBytes(player + "/" + song) != library.at(song)) broken.push_back(song);
  return broken;
}

// What a fill that ended well leaves: whole songs, each listed in the playlist and no other
// (none of the fill before is left beside them), one record, no journal, nothing
// half-written, and the user's files `user` as they were.
void ExpectFilled(const MtpRulesVolume& volume, const Library& library, const Tree& user) {
  const std::string& v = volume.backing();
  EXPECT_GT(SongsOn(v).size(), 3u);
  EXPECT_EQ(NotWholeSongsOn(v, library), std::vector<std::string>{});
  std::set<std::string> listed;
  std::istringstream lines(ReadBytes(v + "/Sorvina.m3u8"));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && line.front() != '#') listed.insert(line.substr(0, line.find('\r')));
  EXPECT_EQ(listed, SongsOn(v));
  EXPECT_NE(fs::exists(v + "/.sorvina/fills.txt"), fs::exists(v + "/.sorvina/fills-2.txt"));
  EXPECT_FALSE(fs::exists(v + "/.sorvina/journal.txt"));
  EXPECT_EQ(PartFilesOn(v), std::vector<std::string>{});
  const Tree now = Snapshot(v);
  for (const auto& [path, bytes] : user) {
    const auto kept = now.find(path);
    EXPECT_TRUE(kept != now.end() && kept->second == bytes) << path;
  }
}

// Where nothing may be renamed, fills write each song under its name. Weekly fills, each
// replacing the one before, succeed; and one with a changing call refused by the device,
// as a phone that refuses a request and goes on (while songs are written, while the
// playlist and the record are, as the journal goes), leaves no song that is not whole and
// no user file changed, and the next week's fill, undisturbed, ends as one that went well.
TEST(MtpRulesVolumeTest, WeeklyFillsWriteInPlaceAndOneWithARefusedCallIsFinishedByTheNext) {
  TempDir dir;
  const Library library = MakeLibrary(dir, 40, 20 * 1024, 1024);
  long long firstWeek = 0;
  long long secondWeek = 0;
  {
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME);
    if (!volume.mounted()) GTEST_SKIP() << volume.reason();
    const Tree user = UserFilesOn(volume);
    const CliOutcome first = RunCli(WeeklyFill(dir, volume.path(), 1));
    ASSERT_EQ(first.status, 0) << first.err;
    ExpectFilled(volume, library, user);
    firstWeek = volume.ChangesMade();
    const CliOutcome second = RunCli(WeeklyFill(dir, volume.path(), 2));
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_THAT(second.err, ::testing::HasSubstr(" replaced"));
    ExpectFilled(volume, library, user);
    secondWeek = volume.ChangesMade() - firstWeek;
  }
  // The second week's changing calls, counted from 1: some while its songs are written,
  // and the last ones, which write the playlist and the record and remove the journal.
  std::vector<long long> refused;
  for (long long call = secondWeek / 5; call < secondWeek * 3 / 4; call += 7)
    refused.push_back(call);
  for (long long fromEnd = 16; fromEnd >= 0; --fromEnd)
    refused.push_back(secondWeek - fromEnd);
  for (const long long call : refused) {
    SCOPED_TRACE("refused call " + std::to_string(call) + " of " + std::to_string(secondWeek));
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME, {.failingCall = firstWeek + call});
    ASSERT_TRUE(volume.mounted()) << volume.reason();
    const Tree user = UserFilesOn(volume);
    ASSERT_EQ(RunCli(WeeklyFill(dir, volume.path(), 1)).status, 0);
    const CliOutcome cut = RunCli(WeeklyFill(dir, volume.path(), 2));
    std::cout << "[   NOTE   ] call " << call << " refused: exit status " << cut.status << ", "
              << cut.err.substr(0, cut.err.find('\n')) << "\n";
    EXPECT_GE(volume.ChangesMade(), firstWeek + call);
    EXPECT_EQ(NotWholeSongsOn(volume.backing(), library), std::vector<std::string>{});
    const CliOutcome next = RunCli(WeeklyFill(dir, volume.path(), 3));
    EXPECT_EQ(next.status, 0) << cut.err << next.err;
    ExpectFilled(volume, library, user);
  }
  std::cout << "[   NOTE   ] " << 2 + 3 * refused.size() << " fills, " << refused.size()
            << " refused calls, of " << secondWeek << " in a week's fill\n";
}

// A fill killed while it writes a song in place leaves that song cut short under its own
// name; the next fill removes it, as the journal names it. One stopped there (SIGTERM, as
// a shutdown asks) removes it itself and records what it placed before it ends.
TEST(MtpRulesVolumeTest, ASongCutShortByAKilledFillIsRemovedByTheNext) {
  if (CliProgram().empty()) GTEST_SKIP() << "sorvina-cli was not built";
  for (const int signal : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    TempDir dir;
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME);
    if (!volume.mounted()) GTEST_SKIP() << volume.reason();
    const Library library = MakeLibrary(dir, 4, 12 << 20, 1024);
    const Tree user = UserFilesOn(volume);

    CliProcess fill(WeeklyFill(dir, volume.path(), 1, "100"));
    ASSERT_TRUE(fill.started());
    bool cut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!cut && std::chrono::steady_clock::now() < deadline) {
      for (const std::string& song : SongsOn(volume.backing())) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(volume.backing() + "/" + song, error);
        cut = cut || (!error && size > 0 && size < library.at(song).size());
      }
      if (!cut) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    fill.Signal(signal);
    const int status = fill.Wait();
    if (!cut) GTEST_SKIP() << "the fill was not caught writing a song";
    if (signal == SIGKILL) {
      ASSERT_NE(NotWholeSongsOn(volume.backing(), library), std::vector<std::string>{});
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_THAT(fill.err(), ::testing::HasSubstr("sorvina-cli: cancelled"));
      EXPECT_EQ(NotWholeSongsOn(volume.backing(), library), std::vector<std::string>{});
      EXPECT_EQ(PartFilesOn(volume.backing()), std::vector<std::string>{});
      EXPECT_FALSE(fs::exists(volume.backing() + "/.sorvina/journal.txt"));
    }

    const CliOutcome next = RunCli(WeeklyFill(dir, volume.path(), 2, "100"));
    EXPECT_EQ(next.status, 0) << next.err;
    ExpectFilled(volume, library, user);
  }
}

// A fill of a folder on a phone that the desktop mounted names the phone, its storage and
// the folder in its summary, and gives songs whose names the phone refuses names it takes.
TEST(MtpRulesVolumeTest, AFillOfAPhoneNamesThePhoneAndMakesNamesLegal) {
  TempDir dir;
  TestPlayer phone(TestPlayer::Kind::kPhone, 4);
  if (!phone.mounted()) GTEST_SKIP() << phone.reason();
  fs::create_directory(phone / "Music");
  dir.WriteFile("music/Live: Take 2?.mp3", "a song");
  const CliOutcome run = RunCli({"-s", dir / "music", "-c", phone / "Music", "--all"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, ::testing::HasSubstr(
                           "Copied 1 file (6 bytes) to Google Pixel 7 / Internal shared storage / "
                           "Music\n"));
  EXPECT_EQ(NamesIn(phone / "Music"), std::vector<std::string>{"Live_ Take 2_.mp3"});
}

// Cancel, as the wizard's progress window asks it, while a song is written under its name
// on a phone: the progress names that song, the copy stops, and nothing of the fill's is
// left but its record, no song cut short, no part file, no journal.
TEST(MtpRulesVolumeTest, CancelWhileASongIsWrittenLeavesNothingHalfDone) {
  TempDir dir;
  TestPlayer phone(TestPlayer::Kind::kPhone, 64);
  if (!phone.mounted()) GTEST_SKIP() << phone.reason();
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
    dir.WriteFile(std::string("music/") + name, std::string(9 << 20, name[0]));
  engine::SelectionSettings settings;
  settings.sources = {dir / "music"};
  settings.copyToFolder = true;
  settings.destination = phone.path();
  settings.options.replacePrevious = true;
  // Named in part files first; once the phone refuses to name them, the copies are
  // written again under their names, the first song first: cancelled half-way there.
  struct CancellingCopy : CopyRecorder {
    std::size_t lastSeen = 0;
    std::string cancelledIn;
    bool Progress(const transfer::FileProgress& progress) override {
      const std::uint64_t before = progress.fileIndex * (std::uint64_t{9} << 20);
      if (progress.fileIndex == 0 && lastSeen == 2 && progress.bytesDone > before)
        cancelledIn = progress.path;
      lastSeen = std::max(lastSeen, progress.fileIndex);
      return cancelledIn.empty();
    }
  } copier;
  RecordingPorts ports;
  const engine::SelectionOutcome outcome =
      test::RunFor(settings, All(), ports, {&copier, 1, false});
  ASSERT_THAT(copier.cancelledIn, ::testing::StartsWith(dir / "music/"));
  ASSERT_TRUE(outcome.summary);
  EXPECT_EQ(engine::SummaryLine(*outcome.summary), "Cancelled after 0 of 3 files");
  EXPECT_EQ(NamesIn(phone.path()), std::vector<std::string>{".sorvina"});
  EXPECT_EQ(NamesIn(phone / ".sorvina"), std::vector<std::string>{"lock"});
}

}  // namespace
}  // namespace sorvina::test
