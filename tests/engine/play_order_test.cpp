// SPDX-License-Identifier: GPL-3.0-or-later
// Putting a fill's files at their targets in play order, on a plain folder: where each
// file goes, that nothing else is lost or left behind, and how a rebuild cut off part-way
// is put right. The order on real FAT and exFAT devices is checked by the fault tests.
#include "engine/fill/play_order.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using platform::ContainedFolder;
using test::Snapshot;
using test::TempDir;
using test::Tree;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

// Makes `paths` in `dir`: a folder for a path ending in '/', else a file that holds its
// own path, so that where it went shows.
void Build(const TempDir& dir, const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    path.ends_with('/') ? dir.MakeFolder(path) : dir.WriteFile(path, path);
}

ContainedFolder Open(const TempDir& dir) {
  return std::move(*ContainedFolder::Open(dir.path()));
}

std::uint64_t InodeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_ino;
}

TEST(PlayOrderTest, PutsEachFileAtItsTargetAndKeepsEverythingElse) {
  struct Case {
    const char* what;
    std::vector<std::string> before;
    std::vector<ArrangedFile> files;  // in play order
    std::vector<std::string> placed;
    std::vector<std::string> made = {};
  };
  const Case cases[] = {
      {"kept files move across folders, past the user's",
       {"Rock/a.mp3", "Pop/cover.jpg", "Pop/Live/l.mp3", "Pop/b.mp3", "Pop/c.mp3"},
       {{"Pop/c.mp3", "Pop/c.mp3"}, {"Rock/a.mp3", "Pop/a.mp3"}, {"Pop/b.mp3", "Pop/b.mp3"}},
       {"Pop/c.mp3", "Pop/a.mp3", "Pop/b.mp3"}},
      {"files take new names, each other's too",
       {"Rock/x.mp3", "Rock/y.mp3", "Rock/z.mp3"},
       {{"Rock/y.mp3", "Rock/x.mp3"},
        {"Rock/x.mp3", "Rock/y.mp3"},
        {"Rock/z.mp3", "Rock/03 z.mp3"}},
       {"Rock/x.mp3", "Rock/y.mp3", "Rock/03 z.mp3"}},
      {"a name the user holds is numbered",
       {"Rock/c.mp3", "Rock/c (2).mp3", "Pop/c.mp3", "Pop/d.mp3"},
       {{"Pop/c.mp3", "Rock/c.mp3"}, {"Pop/d.mp3", "Pop/d.mp3"}},
       {"Rock/c (3).mp3", "Pop/d.mp3"}},
      {"missing folders are made",
       {"a.mp3"},
       {{"a.mp3", "New/Deep/a.mp3"}},
       {"New/Deep/a.mp3"},
       {"New", "New/Deep"}},
      {"the destination's own files wait in the record's folder",
       {"notes.txt", "b.mp3", "Rock/z.mp3", "Rock/r.mp3", ".sorvina/fills.txt"},
       {{"b.mp3", "b.mp3"}, {"Rock/z.mp3", "z.mp3"}, {"Rock/r.mp3", "Rock/r.mp3"}},
       {"b.mp3", "z.mp3", "Rock/r.mp3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    Build(dir, c.before);
    Tree expected = Snapshot(dir.path());
    const ArrangeResult result =
        ArrangeInPlayOrder(Open(dir), c.files, {".sorvina"}, nullptr, ".sorvina");
    EXPECT_EQ(result.error, 0) << result.failedPath;
    EXPECT_EQ(result.placed,
              std::vector<std::optional<std::string>>(c.placed.begin(), c.placed.end()));
    EXPECT_EQ(result.madeFolders, c.made);
    // Each file is at its place, and all else as it was: no temporary is left.
    for (const ArrangedFile& file : c.files)
      expected.erase(file.current);
    for (std::size_t i = 0; i < c.files.size(); ++i)
      expected[c.placed[i]] = c.files[i].current;
    for (const std::string& folder : c.made)
      expected[folder] = "<folder>";
    EXPECT_EQ(Snapshot(dir.path()), expected);
  }
}

TEST(PlayOrderTest, LeavesAFolderInOrderAloneAndRebuildsOneThatIsNot) {
  const TempDir dir;
  Build(dir,
        {"Kept/a.mp3", "Kept/b.mp3", "Kept/c.mp3", "Mixed/a.mp3", "Mixed/b.mp3", "Mixed/c.mp3"});
  const ContainedFolder destination = Open(dir);
  // The play order is the listing's in one folder, its reverse in the other.
  std::vector<ArrangedFile> files;
  for (const std::string folder : {"Kept", "Mixed"}) {
    std::vector<std::string> names;
    ASSERT_EQ(destination.Folder(folder, false)->ListNames(names), 0);
    if (folder == "Mixed") std::reverse(names.begin(), names.end());
    for (const std::string& name : names)
      files.push_back({folder + "/" + name, folder + "/" + name});
  }
  const std::uint64_t kept = InodeOf(dir / "Kept");
  const std::uint64_t mixed = InodeOf(dir / "Mixed");
  EXPECT_EQ(ArrangeInPlayOrder(destination, files, {}, nullptr).error, 0);
  EXPECT_EQ(InodeOf(dir / "Kept"), kept);
  EXPECT_NE(InodeOf(dir / "Mixed"), mixed);
}

TEST(PlayOrderTest, FinishArrangingPutsAHalfDoneRebuildRight) {
  const TempDir dir;
  const std::string rock = ".Rock.0123456789abcdef.order";
  const std::string pop = ".Pop.0123456789abcdef.order";
  Build(dir, {rock + "/a.mp3", pop + "/x.mp3", pop + "/Live/", pop + "/Held/", "Pop/x.mp3",
              "Pop/Held/h.mp3", "Music/m.mp3"});
  const ContainedFolder destination = Open(dir);
  // Cut off once the folder went: the temporary takes its name.
  EXPECT_THAT(FinishArranging(destination, "Rock", rock), UnorderedElementsAre(Pair(rock, "Rock")));
  // Cut off with both there: the temporary's entries go back, numbered where a name is
  // taken, but for the empty folder that held a moving folder's name; the temporary goes.
  EXPECT_THAT(
      FinishArranging(destination, "Pop", pop),
      UnorderedElementsAre(Pair(pop + "/x.mp3", "Pop/x (2).mp3"), Pair(pop + "/Live", "Pop/Live")));
  // A folder not named as a temporary is never emptied.
  EXPECT_THAT(FinishArranging(destination, "Pop", "Music"), IsEmpty());
  EXPECT_EQ(Snapshot(dir.path()), (Tree{{"Rock", "<folder>"},
                                        {"Rock/a.mp3", rock + "/a.mp3"},
                                        {"Pop", "<folder>"},
                                        {"Pop/x.mp3", "Pop/x.mp3"},
                                        {"Pop/x (2).mp3", pop + "/x.mp3"},
                                        {"Pop/Live", "<folder>"},
                                        {"Pop/Held", "<folder>"},
                                        {"Pop/Held/h.mp3", "Pop/Held/h.mp3"},
                                        {"Music", "<folder>"},
                                        {"Music/m.mp3", "Music/m.mp3"}}));
}

// A journal that takes `lines` lines ahead of steps, then fails as a full device does.
class StoppingJournal : public ArrangeJournal {
 public:
  explicit StoppingJournal(int lines) : left_(lines) {}
  int Arranging(const std::string&, const std::string&) override { return Step(); }
  int Moving(const std::string&, const std::string&) override { return Step(); }
  int FillingGap(const std::string&) override { return Step(); }
  void Arranged(const std::string&, const std::string&) override {}
  int WillMakeFolders(const std::vector<std::string>&) override { return Step(); }
  void FolderMade(const std::string&) override {}

 private:
  int Step() { return left_-- > 0 ? 0 : ENOSPC; }
  int left_;
};

TEST(PlayOrderTest, StoppedAtAnyStepItPutsTheFolderBackAndLeavesEveryFileOnce) {
  const std::vector<ArrangedFile> files = {{"Rock/y.mp3", "Rock/x.mp3"},
                                           {"Rock/x.mp3", "Rock/y.mp3"},
                                           {"r.mp3", "Pop/r.mp3"},
                                           {"Rock/cover.jpg", "cover.jpg"}};
  for (int lines = 0;; ++lines) {
    SCOPED_TRACE(lines);
    const TempDir dir;
    Build(dir, {"notes.txt", "r.mp3", "Rock/cover.jpg", "Rock/x.mp3", "Rock/y.mp3", "Pop/"});
    StoppingJournal journal(lines);
    const ArrangeResult result = ArrangeInPlayOrder(Open(dir), files, {}, &journal, ".sorvina");
    const Tree after = Snapshot(dir.path());
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string at = result.placed[i].value_or(files[i].current);
      EXPECT_TRUE(at == files[i].current || at == files[i].target) << at;
      EXPECT_EQ(after.count(at) ? after.at(at) : "", files[i].current) << at;
    }
    EXPECT_EQ(after.size(), 7u);  // the files and the two folders, nothing of ours
    if (result.error == 0) break;
    EXPECT_EQ(result.error, ENOSPC);
  }
}

}  // namespace
}  // namespace sorvina::engine
