// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/file_operation.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#include "transfer/fat_names.h"

namespace sorvina::transfer {
namespace {

using test::ReadBytes;

namespace fs = std::filesystem;
using test::TempDir;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;
using Paths = std::vector<std::string>;
using test::Snapshot;
using test::Tree;

constexpr std::size_t kTestChunk = 64 * 1024;
constexpr ConflictAnswer kSkip{ConflictAction::kSkip, false};
constexpr ConflictAnswer kReplace{ConflictAction::kReplace, false};
constexpr ConflictAnswer kKeepBoth{ConflictAction::kKeepBoth, false};

// Answers conflicts in turn (Skip when none are left) and records every call.
class Recorder : public FileOperationUi {
 public:
  std::deque<ConflictAnswer> answers;
  ErrorAction onError = ErrorAction::kContinue;
  std::function<bool(const FileProgress&)> onProgress;
  std::vector<std::pair<std::string, std::string>> conflicts;
  std::vector<std::pair<std::string, std::string>> errors;
  std::vector<FileProgress> progress;

  ConflictAnswer AskConflict(const std::string& source, const std::string& target) override {
    conflicts.emplace_back(source, target);
    const ConflictAnswer answer = answers.empty() ? kSkip : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  ErrorAction ReportError(const std::string& path, const sorvina::text::UserText& reason) override {
    errors.emplace_back(path, sorvina::text::English(reason));
    return onError;
  }
  bool Progress(const FileProgress& update) override {
    progress.push_back(update);
    return !onProgress || onProgress(update);
  }
};

constexpr auto kOnePerSource = DestinationLayout::kOnePerSource;
constexpr auto kFolder = DestinationLayout::kOneFolderForAll;

FileOperationResult PerformWith(FileOperationTuning tuning, const Paths& from, const Paths& to,
                                FileOperationUi* owner, DestinationLayout layout = kFolder) {
  tuning.chunkBytes = kTestChunk;
  return PerformFileOperationWith({from, to, layout, owner}, tuning);
}

FileOperationResult Perform(const Paths& from, const Paths& to, FileOperationUi* owner,
                            DestinationLayout layout = kFolder, bool fatNames = false) {
  FileOperationTuning tuning;
  tuning.fatNamesEverywhere = fatNames;
  return PerformWith(tuning, from, to, owner, layout);
}

std::string Bytes(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(seed + i * 7 + i / 1000);
  return bytes;
}

struct stat StatusOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status;
}

bool Exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

TEST(FileOperationTest, CopiesIntoANewFolderInTheOrderGivenKeepingTimesAndMode) {
  TempDir dir;
  const std::string z = dir.WriteFile("src/one/z.mp3", "zzz");
  const std::string a = dir.WriteFile("src/two/a.mp3", Bytes(200'000, 'a'));
  const std::string m = dir.WriteFile("src/m.mp3", "");
  ASSERT_EQ(chmod(a.c_str(), 0640), 0);
  const struct timespec times[2] = {{1'000'000'000, 5}, {978'307'200, 123'456'789}};
  ASSERT_EQ(utimensat(AT_FDCWD, a.c_str(), times, 0), 0);
  const std::string out = dir / "out/deep/er";

  Recorder ui;
  std::vector<Paths> presentAtStart;  // the targets that exist as each file begins
  ui.onProgress = [&](const FileProgress& update) {
    if (presentAtStart.size() > update.fileIndex) return true;
    presentAtStart.emplace_back();
    for (const char* name : {"z.mp3", "a.mp3", "m.mp3"}) {
      if (Exists(out + "/" + name)) presentAtStart.back().push_back(name);
    }
    return true;
  };
  const FileOperationResult outcome = Perform({z, a, m}, {out}, &ui);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kSucceeded);
  EXPECT_FALSE(outcome.anyFilesLeftOut);
  EXPECT_THAT(presentAtStart,
              ElementsAre(IsEmpty(), ElementsAre("z.mp3"), ElementsAre("z.mp3", "a.mp3")));
  EXPECT_EQ(Snapshot(out), (Tree{{"z.mp3", "zzz"}, {"a.mp3", Bytes(200'000, 'a')}, {"m.mp3", ""}}));

  const struct stat copied = StatusOf(out + "/a.mp3");
  EXPECT_EQ(copied.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(copied.st_mtim.tv_nsec, times[1].tv_nsec);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(copied.st_mode & 0777, 0640u & ~mask);

  // Before each file and after each chunk, counted over the whole operation.
  EXPECT_EQ(ui.progress.front().bytesDone, 0u);
  EXPECT_EQ(ui.progress.back().bytesDone, 200'003u);
  EXPECT_GT(ui.progress.size(), 3 + 200'000 / kTestChunk);
  for (std::size_t i = 1; i < ui.progress.size(); ++i) {
    EXPECT_EQ(ui.progress[i].bytesTotal, 200'003u);
    EXPECT_GE(ui.progress[i].bytesDone, ui.progress[i - 1].bytesDone);
  }
}

TEST(FileOperationTest, NeverOverwritesWithoutReplace) {
  TempDir dir;
  const std::string source = dir.WriteFile("src/a.mp3", "new");
  const std::string target = dir.WriteFile("out/a.mp3", "old");

  Recorder skipping;
  FileOperationResult outcome = Perform({source}, {dir / "out"}, &skipping);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kSucceeded);
  EXPECT_TRUE(outcome.anyFilesLeftOut);
  EXPECT_THAT(skipping.conflicts, ElementsAre(Pair(source, target)));
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a.mp3", "old"}}));

  outcome = Perform({source}, {dir / "out"}, nullptr);  // nobody to ask: skipped
  EXPECT_EQ(outcome.outcome, OperationOutcome::kSucceeded);
  EXPECT_TRUE(outcome.anyFilesLeftOut);
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a.mp3", "old"}}));

  Recorder replacing;
  replacing.answers = {kReplace};
  outcome = Perform({source}, {dir / "out"}, &replacing);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kSucceeded);
  EXPECT_FALSE(outcome.anyFilesLeftOut);
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a.mp3", "new"}}));
}

TEST(FileOperationTest, AsksAboutATargetMadeWhileCopying) {
  TempDir dir;
  const std::string source = dir.WriteFile("src/a.mp3", Bytes(200'000, 'a'));
  const std::string target = dir / "out/a.mp3";
  Recorder ui;
  ui.onProgress = [&](const FileProgress& update) {
    if (update.bytesDone > 0 && !Exists(target)) dir.WriteFile("out/a.mp3", "made meanwhile");
    return true;
  };
  EXPECT_EQ(Perform({source}, {dir / "out"}, &ui).outcome, OperationOutcome::kSucceeded);
  EXPECT_THAT(ui.conflicts, ElementsAre(Pair(source, target)));
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a.mp3", "made meanwhile"}}));
}

TEST(FileOperationTest, KeepBothTakesTheFirstFreeName) {
  TempDir dir;
  const std::string a = dir.WriteFile("src/a.mp3", "new a");
  const std::string notes = dir.WriteFile("src/notes", "new notes");
  const std::string b1 = dir.WriteFile("src/x/b.mp3", "first b");
  const std::string b2 = dir.WriteFile("src/y/b.mp3", "second b");
  dir.WriteFile("out/a.mp3", "old a");
  dir.WriteFile("out/a (2).mp3", "old a 2");
  dir.WriteFile("out/notes", "old notes");

  Recorder ui;
  ui.answers = {kKeepBoth, kSkip};
  const FileOperationResult result = Perform({a, notes, b1, b2}, {dir / "out"}, &ui);
  EXPECT_EQ(result.outcome, OperationOutcome::kSucceeded);
  // Each file's final name comes back by position; the skipped one has none.
  EXPECT_THAT(result.placedTargets,
              ElementsAre(dir / "out/a (3).mp3", "", dir / "out/b.mp3", dir / "out/b (2).mp3"));
  // The second b.mp3 never takes the name of the first one, copied moments before: it is
  // numbered as Keep both would, without a question.
  EXPECT_THAT(ui.conflicts,
              ElementsAre(Pair(a, dir / "out/a.mp3"), Pair(notes, dir / "out/notes")));
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a.mp3", "old a"},
                                         {"a (2).mp3", "old a 2"},
                                         {"a (3).mp3", "new a"},
                                         {"notes", "old notes"},
                                         {"b.mp3", "first b"},
                                         {"b (2).mp3", "second b"}}));
}

TEST(FileOperationTest, RemembersAnAnswerForAllRemainingAndStopsOnCancel) {
  TempDir dir;
  Paths sources;
  for (const std::string name : {"1.mp3", "2.mp3", "3.mp3"}) {
    sources.push_back(dir.WriteFile("src/" + name, "new"));
    dir.WriteFile("out/" + name, "old");
  }
  Recorder skipAll;
  skipAll.answers = {{ConflictAction::kSkip, true}, kReplace};
  EXPECT_EQ(Perform(sources, {dir / "out"}, &skipAll).outcome, OperationOutcome::kSucceeded);
  EXPECT_THAT(skipAll.conflicts, SizeIs(1));

  Recorder cancelling;
  cancelling.answers = {kReplace, {ConflictAction::kCancel, false}, kReplace};
  const FileOperationResult outcome = Perform(sources, {dir / "out"}, &cancelling);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kCancelled);
  EXPECT_TRUE(outcome.anyFilesLeftOut);
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"1.mp3", "new"}, {"2.mp3", "old"}, {"3.mp3", "old"}}));

  Recorder replaceAll;
  replaceAll.answers = {{ConflictAction::kReplace, true}};
  EXPECT_EQ(Perform(sources, {dir / "out"}, &replaceAll).outcome, OperationOutcome::kSucceeded);
  EXPECT_THAT(replaceAll.conflicts, SizeIs(1));
  EXPECT_EQ(ReadBytes(dir / "out/3.mp3"), "new");
}

TEST(FileOperationTest, FullDeviceLeavesTheTargetFolderAsItWas) {
  TempDir dir;
  const std::string source = dir.WriteFile("src/big.mp3", Bytes(1 << 20, 'b'));
  const std::string target = dir.WriteFile("out/big.mp3", "the user's own");
  dir.WriteFile("out/other.mp3", "other");
  const Tree before = Snapshot(dir / "out");

  // A file-size limit stands in for a full device. The child leaves SIGXFSZ as it is:
  // the operation itself must keep the signal from ending the process.
  const std::string report = test::RunWithFileSizeLimit(256 * 1024, [&] {
    Recorder ui;
    ui.answers = {kReplace};
    const OperationOutcome outcome = Perform({source}, {dir / "out"}, &ui).outcome;
    std::string text = outcome == OperationOutcome::kFailed ? "failed" : "not failed";
    for (const auto& [path, reason] : ui.errors)
      text += "|" + path + "|" + reason;
    return text;
  });
  EXPECT_EQ(report, "failed|" + target + "|File too large");
  EXPECT_EQ(Snapshot(dir / "out"), before);
}

TEST(FileOperationTest, CancelHalfWayLeavesTheTargetFolderAsItWas) {
  TempDir dir;
  const std::string big = dir.WriteFile("src/big.mp3", Bytes(1 << 20, 'c'));
  const std::string after = dir.WriteFile("src/after.mp3", "after");
  dir.WriteFile("out/big.mp3", "the user's own");
  const Tree before = Snapshot(dir / "out");

  Recorder ui;
  ui.answers = {kReplace};
  ui.onProgress = [](const FileProgress& update) { return update.bytesDone < (1 << 19); };
  const FileOperationResult outcome = Perform({big, after}, {dir / "out"}, &ui);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kCancelled);
  EXPECT_TRUE(outcome.anyFilesLeftOut);
  EXPECT_EQ(ui.progress.back().bytesDone, std::uint64_t{1} << 19);
  EXPECT_EQ(Snapshot(dir / "out"), before);
}

TEST(FileOperationTest, AProcessEndedHalfWayThroughACopyLeavesNothingBehind) {
  TempDir dir;
  const int probe = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) GTEST_SKIP() << "no files without a name here: hidden part files stay behind";
  close(probe);
  const std::string big = dir.WriteFile("src/big.mp3", Bytes(1 << 20, 'k'));
  const std::string own = dir.WriteFile("out/big.mp3", "the user's own");

  // Ended as by a crash or a kill: no destructor, no clean-up of any kind.
  const std::string ended = test::RunInChild([] { return true; },
                                             [&]() -> std::string {
                                               Recorder ui;
                                               ui.answers = {kReplace};
                                               ui.onProgress = [](const FileProgress& update) {
                                                 if (update.bytesDone >= (1 << 19)) _exit(0);
                                                 return true;
                                               };
                                               Perform({big}, {dir / "out"}, &ui);
                                               return "not ended";
                                             });
  EXPECT_EQ(ended, "");
  EXPECT_THAT(test::NamesIn(dir / "out"), ElementsAre("big.mp3"));
  EXPECT_EQ(ReadBytes(own), "the user's own");
}

TEST(FileOperationTest, CopiesThroughHiddenPartFilesAsSafely) {
  // The way taken on FAT volumes, which have no files without a name.
  FileOperationTuning hidden;
  hidden.unnamedPartFiles = false;
  TempDir dir;
  const std::string big = dir.WriteFile("src/big.mp3", Bytes(1 << 20, 'h'));
  const std::string small = dir.WriteFile("src/small.mp3", "new");
  dir.WriteFile("out/big.mp3", "the user's own");
  const Tree before = Snapshot(dir / "out");

  Recorder cancelling;
  cancelling.answers = {kReplace};
  std::vector<std::string> namesHalfWay;
  cancelling.onProgress = [&](const FileProgress& update) {
    if (update.bytesDone < (1 << 19)) return true;
    namesHalfWay = test::NamesIn(dir / "out");
    return false;
  };
  EXPECT_EQ(PerformWith(hidden, {big}, {dir / "out"}, &cancelling).outcome,
            OperationOutcome::kCancelled);
  ASSERT_THAT(namesHalfWay, SizeIs(2));
  EXPECT_THAT(namesHalfWay[0], ::testing::MatchesRegex("\\.big\\.mp3\\.[0-9a-f]{16}\\.part"));
  EXPECT_EQ(Snapshot(dir / "out"), before);

  // Replaced on the answer given before the copy, and on one given after a target was
  // made while copying.
  Recorder replacing;
  replacing.answers = {kReplace, kReplace};
  replacing.onProgress = [&](const FileProgress& update) {
    if (update.bytesDone > (1 << 20) && !Exists(dir / "out/small.mp3")) {
      dir.WriteFile("out/small.mp3", "made meanwhile");
    }
    return true;
  };
  EXPECT_EQ(PerformWith(hidden, {big, small}, {dir / "out"}, &replacing).outcome,
            OperationOutcome::kSucceeded);
  EXPECT_THAT(replacing.conflicts, SizeIs(2));
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"big.mp3", Bytes(1 << 20, 'h')}, {"small.mp3", "new"}}));
}

// A journal that takes every line but refuses the folders of the `refused`-th call.
class FolderJournal : public PlacementJournal {
 public:
  FolderJournal(const std::string& root, int refused) : root_(root), refused_(refused) {}
  std::vector<Paths> told;
  std::vector<std::string> there;  // told of, but already there
  Paths made;

  const platform::FingerprintKey& key() const override { return key_; }
  int WillPlace(const std::string&, const std::string&, const platform::EntryStatus&,
                const platform::ContentFingerprint&) override {
    return 0;
  }
  int MakeDurable() override { return 0; }
  void Placed(const std::string&, const platform::EntryStatus&,
              const platform::ContentFingerprint&) override {}
  int WillMakeFolders(const Paths& folders) override {
    for (const std::string& folder : folders)
      if (Exists(root_ + "/" + folder)) there.push_back(folder);
    told.push_back(folders);
    return told.size() == static_cast<std::size_t>(refused_) ? ENOSPC : 0;
  }
  void FolderMade(const std::string& relative) override { made.push_back(relative); }

 private:
  std::string root_;
  int refused_;
  platform::FingerprintKey key_{std::string(32, 'k')};
};

TEST(FileOperationTest, TellsTheJournalOfEachFolderBeforeMakingIt) {
  for (const int refused : {0, 1, 2}) {
    SCOPED_TRACE(refused);
    TempDir dir;
    const std::string out = dir.MakeFolder("out");
    dir.MakeFolder("out/Pop");  // the user's
    const Paths sources = {dir.WriteFile("src/a.mp3", "a"), dir.WriteFile("src/b.mp3", "b"),
                           dir.WriteFile("src/c.mp3", "c"), dir.WriteFile("src/d.mp3", "d")};
    const std::optional<platform::ContainedFolder> root = platform::ContainedFolder::Open(out);
    ASSERT_TRUE(root);
    FolderJournal journal(out, refused);
    FileOperationRequest request{
        sources, {"Rock/Live/a.mp3", "Rock/Live/b.mp3", "Pop/c.mp3", "Jazz/d.mp3"}, kOnePerSource};
    request.root = &*root;
    request.rootPath = out;
    request.journal = &journal;
    const FileOperationResult result = PerformFileOperation(request);

    const std::vector<Paths> told = {{"Rock", "Rock/Live"}, {"Jazz"}};
    EXPECT_EQ(journal.told,
              std::vector<Paths>(told.begin(), told.begin() + (refused == 0 ? 2 : refused)));
    EXPECT_THAT(journal.there, IsEmpty());
    // Nothing is made, and nothing placed, from the folders refused on.
    const std::vector<Paths> made = {{}, {"Rock", "Rock/Live"}, {"Rock", "Rock/Live", "Jazz"}};
    EXPECT_EQ(result.journalError, refused == 0 ? 0 : ENOSPC);
    EXPECT_EQ(journal.made, made[refused == 0 ? 2 : refused - 1]);
    EXPECT_EQ(Exists(out + "/Rock"), refused != 1);
    EXPECT_EQ(Exists(out + "/Jazz"), refused == 0);
    EXPECT_EQ(Exists(out + "/Jazz/d.mp3"), refused == 0);
  }
}

TEST(FileOperationTest, RefusesAFileOntoItself) {
  TempDir dir;
  const std::string file = dir.WriteFile("music/a.mp3", "precious");
  const std::string hardLink = dir / "music/link.mp3";
  ASSERT_EQ(link(file.c_str(), hardLink.c_str()), 0);
  const Tree before = Snapshot(dir.path());

  Recorder ui;
  ui.answers = {kReplace, kReplace, kReplace};
  EXPECT_EQ(Perform({file}, {dir / "music"}, &ui).outcome, OperationOutcome::kFailed);
  EXPECT_EQ(Perform({file}, {hardLink}, &ui, kOnePerSource).outcome, OperationOutcome::kFailed);
  EXPECT_THAT(ui.conflicts, IsEmpty());
  const auto refusal = Pair(file, "Source and target are the same file");
  EXPECT_THAT(ui.errors, ElementsAre(refusal, refusal));
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(FileOperationTest, ReportsWhatCannotBeCopiedAndGoesOnOrStopsAsAnswered) {
  TempDir dir;
  const std::string a = dir.WriteFile("src/a.mp3", "a");
  const std::string gone = dir / "src/gone.mp3";
  const std::string folder = dir.MakeFolder("src/album");
  const std::string fifo = dir / "src/pipe.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);  // opening it must not wait for a writer
  const std::string c = dir.WriteFile("src/c.mp3", "c");

  Recorder goingOn;
  FileOperationResult outcome = Perform({a, gone, folder, fifo, c}, {dir / "out"}, &goingOn);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kFailed);
  EXPECT_FALSE(outcome.anyFilesLeftOut);
  EXPECT_THAT(goingOn.errors, ElementsAre(Pair(gone, "No such file or directory"),
                                          Pair(folder, "Is a folder; only files are copied"),
                                          Pair(fifo, "Not a regular file; only files are copied")));
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a.mp3", "a"}, {"c.mp3", "c"}}));

  Recorder stopping;
  stopping.onError = ErrorAction::kStop;
  outcome = Perform({a, gone, c}, {dir / "stopped"}, &stopping);
  EXPECT_EQ(outcome.outcome, OperationOutcome::kFailed);
  EXPECT_TRUE(outcome.anyFilesLeftOut);
  EXPECT_EQ(Snapshot(dir / "stopped"), (Tree{{"a.mp3", "a"}}));
}

TEST(FileOperationTest, CopiesToOneTargetPerSourceAndTakesLongNames) {
  TempDir dir;
  std::string longName;
  while (longName.size() < 240)
    longName += "\xC3\xA9";  // the part file's shortened name must not split a character
  longName += ".mp3";
  const std::string a = dir.WriteFile("src/a.mp3", "a");
  const std::string b = dir.WriteFile("src/" + longName, "b");

  Recorder ui;
  EXPECT_EQ(
      Perform({a, b}, {dir / "x/renamed.mp3", dir / "y/z/" + longName}, &ui, kOnePerSource).outcome,
      OperationOutcome::kSucceeded);
  EXPECT_THAT(ui.errors, IsEmpty());
  EXPECT_EQ(ReadBytes(dir / "x/renamed.mp3"), "a");
  EXPECT_EQ(ReadBytes(dir / "y/z/" + longName), "b");
}

TEST(FileOperationTest, NumbersNamesOfTheLongestLengthWithinIt) {
  TempDir dir;
  std::string longName;
  while (longName.size() < 250)
    longName += "\xC3\xA9";
  longName += "x.mp3";   // 255 bytes: the longest name a Linux file system takes
  std::string numbered;  // " (2).mp3" ends it, after as many whole characters as fit
  while (numbered.size() + 2 + 8 <= 255)
    numbered += "\xC3\xA9";
  numbered += " (2).mp3";
  const std::string first = dir.WriteFile("src/x/" + longName, "first");
  const std::string second = dir.WriteFile("src/y/" + longName, "second");
  dir.WriteFile("taken/" + longName, "the user's");

  // Two sources of one name in one copy, and Keep both where the user holds the name.
  Recorder ui;
  ui.answers = {kKeepBoth};
  const FileOperationResult together = Perform({first, second}, {dir / "together"}, &ui);
  const FileOperationResult kept = Perform({first}, {dir / "taken"}, &ui);
  EXPECT_EQ(together.outcome, OperationOutcome::kSucceeded);
  EXPECT_EQ(kept.outcome, OperationOutcome::kSucceeded);
  EXPECT_THAT(ui.errors, IsEmpty());
  EXPECT_EQ(Snapshot(dir / "together"), (Tree{{longName, "first"}, {numbered, "second"}}));
  EXPECT_EQ(Snapshot(dir / "taken"), (Tree{{longName, "the user's"}, {numbered, "first"}}));
  EXPECT_THAT(kept.placedTargets, ElementsAre(dir / "taken/" + numbered));
}

TEST(FileOperationTest, RefusesMalformedRequestsWithoutTouchingAnything) {
  TempDir dir;
  const std::string a = dir.WriteFile("a.mp3", "a");
  const std::string b = dir.WriteFile("b.mp3", "b");
  const Tree before = Snapshot(dir.path());
  const std::string x = dir / "x";

  // The system would read this path as `a`, and copy that file.
  const std::string nulInside = a + '\0' + ".bak";
  struct Malformed {
    Paths from;
    Paths to;
    DestinationLayout layout = kFolder;
  };
  const std::vector<Malformed> requests = {
      {{}, {x}},
      {{a}, {}},
      {{a, b}, {x, x}},  // not one folder
      {{a, b}, {x}, kOnePerSource},
      {{b, ""}, {x}},
      {{nulInside}, {x}},
      {{a}, {""}},
      {{a}, {x + '\0' + "y"}, kOnePerSource},
  };
  Recorder ui;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const Malformed& request = requests[i];
    EXPECT_EQ(Perform(request.from, request.to, &ui, request.layout).outcome,
              OperationOutcome::kInvalid)
        << "request " << i;
  }
  EXPECT_EQ(Snapshot(dir.path()), before);
  EXPECT_THAT(ui.progress, IsEmpty());
  EXPECT_THAT(ui.errors, IsEmpty());
}

TEST(FatSafeNameTest, ReplacesWhatFatRefusesAndKeepsTheRest) {
  for (const char* legal : {"Song (Live) [2001] - Ünïcödé.mp3", ".hidden", "a..b", "x.y.z",
                            "\xF0\x9F\x8E\xB5 notes.mp3", "COM0.mp3", "LPT10.mp3", "console.mp3",
                            "xcon.mp3", "CONx", "Lpt.mp3"}) {
    EXPECT_EQ(FatSafeName(legal), legal);
  }
  EXPECT_EQ(FatSafeName(R"(a:b?c*d"e<f>g|h\i.mp3)"), "a_b_c_d_e_f_g_h_i.mp3");
  EXPECT_EQ(FatSafeName("\x01tab\there\x7F.mp3"), "_tab_here_.mp3");
  // Trailing dots and blanks go, also those that a replacement left at the end.
  EXPECT_EQ(FatSafeName("name. . "), "name");
  EXPECT_EQ(FatSafeName("x.mp3 "), "x.mp3");
  EXPECT_EQ(FatSafeName(" lead"), " lead");
  EXPECT_EQ(FatSafeName("what?."), "what_");
  // Device names before the first dot, in any case; also once the trailing dot is gone.
  EXPECT_EQ(FatSafeName("con.mp3"), "con_.mp3");
  EXPECT_EQ(FatSafeName("NUL"), "NUL_");
  EXPECT_EQ(FatSafeName("Com1.tar.gz"), "Com1_.tar.gz");
  EXPECT_EQ(FatSafeName("lpt9"), "lpt9_");
  EXPECT_EQ(FatSafeName("aux."), "aux_");
  EXPECT_EQ(FatSafeName("PRN.mp3"), "PRN_.mp3");
  // Nothing left: one "_".
  EXPECT_EQ(FatSafeName("..."), "_");
  EXPECT_EQ(FatSafeName(" "), "_");
  EXPECT_EQ(FatSafeName(""), "_");
  // Bytes that are no UTF-8 text: Latin-1, a lone continuation, an overlong form, a
  // surrogate, a sequence cut off by the end.
  EXPECT_EQ(FatSafeName("caf\xE9.mp3"), "caf_.mp3");
  EXPECT_EQ(FatSafeName("\x80x"), "_x");
  EXPECT_EQ(FatSafeName("\xC0\xAF"), "__");
  EXPECT_EQ(FatSafeName("\xED\xA0\x80.mp3"), "___.mp3");
  EXPECT_EQ(FatSafeName("end\xE2\x82"), "end__");
}

TEST(FileOperationTest, NamesTargetsForFatAndSettlesConflictsOnTheNamesMade) {
  TempDir dir;
  const std::string colon = dir.WriteFile("src/x/a:b.mp3", "colon");
  const std::string question = dir.WriteFile("src/y/a?b.mp3", "question");
  const std::string star = dir.WriteFile("src/z/a*b.mp3", "star");
  const std::string con = dir.WriteFile("src/con.mp3", "new con");
  const std::string dots = dir.WriteFile("src/dots. .", "dots");
  dir.WriteFile("out/con_.mp3", "the user's con");

  // a?b.mp3 and a*b.mp3 would take the name a:b.mp3 took moments before: they are
  // numbered. Only the user's file is asked about.
  Recorder ui;
  ui.answers = {{ConflictAction::kReplace, true}};
  EXPECT_EQ(Perform({colon, question, star, con, dots}, {dir / "out"}, &ui, kFolder, true).outcome,
            OperationOutcome::kSucceeded);
  EXPECT_THAT(ui.conflicts, ElementsAre(Pair(con, dir / "out/con_.mp3")));
  EXPECT_THAT(ui.errors, IsEmpty());
  EXPECT_EQ(Snapshot(dir / "out"), (Tree{{"a_b.mp3", "colon"},
                                         {"a_b (2).mp3", "question"},
                                         {"a_b (3).mp3", "star"},
                                         {"con_.mp3", "new con"},
                                         {"dots", "dots"}}));

  // One target per source: only the last name is made, the folders are the user's.
  Recorder perSource;
  EXPECT_EQ(Perform({colon}, {dir / "per:source/t?.mp3"}, &perSource, kOnePerSource, true).outcome,
            OperationOutcome::kSucceeded);
  EXPECT_EQ(ReadBytes(dir / "per:source/t_.mp3"), "colon");
  // Where the folder is no FAT volume and nothing forces it, the name stays as it was.
  EXPECT_EQ(Perform({colon}, {dir / "plain"}, &perSource).outcome, OperationOutcome::kSucceeded);
  EXPECT_EQ(ReadBytes(dir / "plain/a:b.mp3"), "colon");
}

// A journal that records what it is told, and fails from a chosen call on.
class FailingJournal : public PlacementJournal {
 public:
  platform::FingerprintKey keyBytes{std::string(32, 'k')};
  int failWillPlaceAt = -1;  // the call, counted from 0, that fails first
  int failDurableAt = -1;
  std::vector<std::string> told;  // "place NAME", "durable", "placed NAME"

  const platform::FingerprintKey& key() const override { return keyBytes; }
  int WillPlace(const std::string& relative, const std::string&, const platform::EntryStatus&,
                const platform::ContentFingerprint&) override {
    if (failWillPlaceAt >= 0 && places_++ >= failWillPlaceAt) return EIO;
    told.push_back("place " + relative);
    return 0;
  }
  int MakeDurable() override {
    if (failDurableAt >= 0 && durables_++ >= failDurableAt) return ENOSPC;
    told.push_back("durable");
    return 0;
  }
  void Placed(const std::string& relative, const platform::EntryStatus&,
              const platform::ContentFingerprint&) override {
    told.push_back("placed " + relative);
  }
  int WillMakeFolders(const std::vector<std::string>&) override { return 0; }
  void FolderMade(const std::string&) override {}

 private:
  int places_ = 0;
  int durables_ = 0;
};

// A copy whose journal cannot be written stops at once: no file is named whose line did
// not reach the device first, nothing half-made is left, and the error is given back; a
// copy's name is given only after the lines of its batch were made durable.
TEST(FileOperationTest, AJournalThatCannotBeWrittenStopsTheCopy) {
  const struct Case {
    const char* what;
    int failWillPlaceAt;
    int failDurableAt;
    std::size_t named;
    int error;
  } cases[] = {
      {"nothing fails", -1, -1, 40, 0},
      {"the third line", 2, -1, 0, EIO},
      {"the second batch's line", 20, -1, 16, EIO},
      {"the first sync", -1, 0, 0, ENOSPC},
      {"the second sync", -1, 1, 16, ENOSPC},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Paths sources;
    for (int i = 0; i < 40; ++i)
      sources.push_back(dir.WriteFile("src/s" + std::to_string(i) + ".mp3", Bytes(100, 'a' + i)));
    const std::optional<platform::ContainedFolder> root =
        platform::ContainedFolder::Open(dir.MakeFolder("out"));
    FailingJournal journal;
    journal.failWillPlaceAt = c.failWillPlaceAt;
    journal.failDurableAt = c.failDurableAt;
    FileOperationRequest request{sources, {"."}};
    request.root = &*root;
    request.journal = &journal;
    const FileOperationResult result = PerformFileOperation(request);
    EXPECT_EQ(result.journalError, c.error);
    EXPECT_EQ(result.outcome,
              c.error == 0 ? OperationOutcome::kSucceeded : OperationOutcome::kFailed);
    EXPECT_EQ(result.filesDone, c.named);
    EXPECT_EQ(Snapshot(dir / "out").size(), c.named);  // no part file, no name not told of
    // Every name given was told of, and made durable, before it was given.
    bool durable = false;
    std::set<std::string> toldDurably;
    std::set<std::string> pending;
    for (const std::string& line : journal.told) {
      if (line.starts_with("place ")) pending.insert(line.substr(6));
      if (line == "durable") {
        toldDurably.insert(pending.begin(), pending.end());
        pending.clear();
        durable = true;
      }
      if (line.starts_with("placed ")) {
        EXPECT_TRUE(toldDurably.contains(line.substr(7))) << line;
      }
    }
    EXPECT_EQ(durable, c.named > 0);
  }
}

}  // namespace
}  // namespace sorvina::transfer
