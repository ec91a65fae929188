// SPDX-License-Identifier: GPL-3.0-or-later
// What the next run leaves of a fill cut off as a pulled-out player keeps it: some of the
// steps the journal does not tell of reached the device, others did not.
#include "engine/fill/fill_journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "engine/fill/fill_recovery.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using K = JournalEntry::Kind;
using test::Tree;

const FileOwnership& Ownership() {
  static const FileOwnership ownership(platform::FingerprintKey(std::string(32, 'k')));
  return ownership;
}

const std::int64_t kBegun = static_cast<std::int64_t>(std::time(nullptr)) - 10;

// The lines a fill writes ahead of placing the song `relative` holding `bytes`.
std::vector<JournalEntry> Placing(const std::string& relative, const std::string& bytes) {
  const auto fingerprint = platform::FingerprintOfBytes(bytes, Ownership().key());
  return {{K::kPlace,
           relative,
           fingerprint.sizeBytes,
           {},
           "/music/" + relative,
           {},
           fingerprint.digest}};
}

// The line a fill writes ahead of writing the song `relative` holding `bytes` in place.
std::vector<JournalEntry> Writing(const std::string& relative, const std::string& bytes) {
  std::vector<JournalEntry> lines = Placing(relative, bytes);
  lines.front().kind = K::kWrite;
  return lines;
}

struct Case {
  const char* what;
  Tree before;  // what the player kept; "<folder>" for a folder
  std::vector<JournalEntry> lines;
  bool sealed;
  RecordedFill previous;
  Tree after;
  std::vector<std::string> recorded;
  std::vector<std::string> older = {};  // files of `before` made before the fill began
};

std::vector<Case> Cases() {
  std::vector<JournalEntry> rebuilding = Placing("Album/t1.mp3", "song one");
  rebuilding.push_back({K::kArrange, "Album/.x.0123456789abcdef.order", 0, {}, {}, "Album"});
  std::vector<JournalEntry> roundTrip = Placing("t1.mp3", "song one");
  roundTrip.push_back({K::kArrange, ".sorvina/.fill.0123456789abcdef.order", 0, {}, {}, ""});
  std::vector<JournalEntry> madeFolders = Placing("Live/t2.mp3", "song two");
  madeFolders.insert(madeFolders.begin(), {K::kFolder, "Live", 0, {}, {}});
  const auto song = platform::FingerprintOfBytes("song three", Ownership().key());
  const RecordedFill lastWeek{
      1, {{"Rock/t3.mp3", song.sizeBytes, {}, "/m", song.digest}}, {}, {"Rock", "Jazz"}};
  std::vector<JournalEntry> inPlace = Writing("t1.mp3", "song one");
  for (const JournalEntry& line : Writing("t2.mp3", "song two"))
    inPlace.push_back(line);
  const auto list = platform::FingerprintOfBytes("t2.mp3\n", Ownership().key());
  inPlace.push_back({K::kPlaylist, "P.m3u8", list.sizeBytes, {}, {}, {}, list.digest});
  const Tree cutShort = {{"t1.mp3", "song"}, {"t2.mp3", "song two"}, {"P.m3u8", "t2"}};
  return {
      {"songs and a playlist written in place, cut short",
       cutShort,
       inPlace,
       true,
       {},
       {{"t2.mp3", "song two"}},
       {"t2.mp3"}},
      {"the same, told by a journal anyone could have written",
       cutShort,
       inPlace,
       false,
       {},
       cutShort,
       {"t2.mp3"}},
      {"the user's files, older than the fill, at the names it was to write",
       cutShort,
       inPlace,
       true,
       {},
       cutShort,
       {"t2.mp3"},
       {"t1.mp3", "P.m3u8"}},
      {"a song's stand-in in the folder its move was rebuilding",
       {{"Album/t1.mp3", "song one"},
        {"Album/.x.0123456789abcdef.order", "<folder>"},
        {"Album/.x.0123456789abcdef.order/t1.mp3", ""}},
       rebuilding,
       false,
       {},
       {{"Album", "<folder>"}, {"Album/t1.mp3", "song one"}},
       {"Album/t1.mp3"}},
      {"a song's stand-in at the top while it waited in the record's folder",
       {{"t1.mp3", ""},
        {".sorvina/.fill.0123456789abcdef.order", "<folder>"},
        {".sorvina/.fill.0123456789abcdef.order/t1.mp3", "song one"}},
       roundTrip,
       false,
       {},
       {{"t1.mp3", "song one"}},
       {"t1.mp3"}},
      {"folders it made, and one that held a song it removed, left empty",
       {{"Live", "<folder>"}, {"Rock", "<folder>"}, {"Jazz", "<folder>"}, {"Jazz/mine", "x"}},
       madeFolders,
       true,
       lastWeek,
       {{"Jazz", "<folder>"}, {"Jazz/mine", "x"}},
       {}},
      {"the same, told by a journal anyone could have written",
       {{"Live", "<folder>"}, {"Rock", "<folder>"}},
       madeFolders,
       false,
       lastWeek,
       {{"Live", "<folder>"}, {"Rock", "<folder>"}},
       {}},
  };
}

TEST(FillJournalTest, RecoveryLeavesNothingOfTheStepsTheDeviceKeptWithoutTheirLines) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const std::string player = dir.MakeFolder("player");
    for (const auto& [path, bytes] : c.before) {
      if (bytes == "<folder>") {
        dir.MakeFolder("player/" + path);
      } else {
        dir.WriteFile("player/" + path, bytes);
      }
    }
    for (const std::string& path : c.older) {
      const struct timespec before[2] = {{kBegun - 3600, 0}, {kBegun - 3600, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, (player + "/" + path).c_str(), before, 0), 0);
    }
    FillJournal journal{kBegun, true, c.lines};
    if (c.sealed) journal.seal = JournalSeal(kBegun, true, Ownership().key());
    const std::optional<platform::ContainedFolder> destination =
        platform::ContainedFolder::Open(player);
    const std::optional<RecordedFill> recovered = RecoverInterruptedFill(
        journal, *destination, c.previous.files.empty() ? nullptr : &c.previous, true, ".sorvina",
        Ownership());
    Tree after = test::Snapshot(player);
    std::erase_if(after, [](const auto& entry) { return entry.first == ".sorvina"; });
    EXPECT_EQ(after, c.after);
    std::vector<std::string> recorded;
    if (recovered)
      for (const RecordedFile& file : recovered->files)
        recorded.push_back(file.relative);
    EXPECT_EQ(recorded, c.recorded);
  }
}

}  // namespace
}  // namespace sorvina::engine
