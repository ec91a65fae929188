// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/candidate_pool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sorvina::engine {
namespace {

using ::testing::ElementsAre;
using text::PathStyle;

std::vector<std::string> WalkPaths(const CandidatePool& pool) {
  std::vector<std::string> paths;
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    paths.emplace_back(pool[i].path);
  }
  return paths;
}

TEST(DuplicateFilterTest, WindowsStyleIsBlindToLetterCase) {
  DuplicateFilter filter(PathStyle::kWindows);
  EXPECT_NE(filter.RegisterPath("C:\\Music\\a.mp3"), nullptr);
  EXPECT_EQ(filter.RegisterPath("c:\\MUSIC\\A.MP3"), nullptr);
  EXPECT_EQ(filter.RegisterPath("C:/Music/a.mp3"), nullptr);
}

TEST(DuplicateFilterTest, EqualNamesInDifferentFoldersAreDifferentFiles) {
  DuplicateFilter filter(PathStyle::kWindows);
  const DirectoryNode* music = filter.RegisterPath("C:\\Music\\a.mp3");
  const DirectoryNode* other = filter.RegisterPath("C:\\Other\\a.mp3");
  ASSERT_NE(music, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(music, other);
  EXPECT_EQ(filter.RegisterPath("C:\\Music\\b.mp3"), music);
  // A folder name is no file name, and a file in a deeper folder is another file.
  EXPECT_NE(filter.RegisterPath("C:\\Music"), nullptr);
  EXPECT_NE(filter.RegisterPath("C:\\Music\\Sub\\a.mp3"), nullptr);
}

TEST(DuplicateFilterTest, PosixPathsAreComparedExactlyFromTheRoot) {
  DuplicateFilter filter(PathStyle::kPosix);
  EXPECT_NE(filter.RegisterPath("/music/a.mp3"), nullptr);
  EXPECT_EQ(filter.RegisterPath("/music/a.mp3"), nullptr);
  EXPECT_NE(filter.RegisterPath("/Music/a.mp3"), nullptr);
  EXPECT_NE(filter.RegisterPath("/music/A.mp3"), nullptr);
  // A relative path is another spelling, hence another file.
  EXPECT_NE(filter.RegisterPath("music/a.mp3"), nullptr);
  EXPECT_EQ(filter.RegisterPath("music/a.mp3"), nullptr);
  // Backslashes are name characters on POSIX.
  EXPECT_NE(filter.RegisterPath("/music\\a.mp3"), nullptr);
}

TEST(DuplicateFilterTest, ForgetsEverythingOnRelease) {
  DuplicateFilter filter(PathStyle::kWindows);
  ASSERT_NE(filter.RegisterPath("C:\\Music\\a.mp3"), nullptr);
  filter.ReleaseAll();
  EXPECT_NE(filter.RegisterPath("C:\\Music\\a.mp3"), nullptr);
}

// A path made as a scan makes it: the folder it started from, a separator where that does
// not end in one, then names.
std::string Joined(const std::string& folder, const std::string& relative, PathStyle style) {
  std::string path = folder;
  if (!text::EndsWithSeparator(path, style)) path.push_back(text::Separator(style));
  path.append(relative);
  return path;
}

TEST(DuplicateFilterTest, FolderNodesAndWholePathsNameTheSameFiles) {
  struct Case {
    PathStyle style;
    std::string folder;
    std::string subfolder;  // entered by name from the folder's node; none when empty
    std::string file;
  };
  // Ordinary spellings and the odd ones whose empty components must still line up: doubled
  // and trailing separators, the root itself, and in Windows style names that hold a
  // separator, as a POSIX listing may give them.
  const std::vector<Case> cases = {
      {PathStyle::kPosix, "/music", "", "a.mp3"},
      {PathStyle::kPosix, "/music/", "Rock", "b.mp3"},
      {PathStyle::kPosix, "/music//", "", "c.mp3"},
      {PathStyle::kPosix, "/", "music", "a.mp3"},
      {PathStyle::kPosix, "music", "rock", "d.mp3"},
      {PathStyle::kPosix, "/music", "back\\slash", "e\\.mp3"},
      {PathStyle::kWindows, "C:\\Music", "Sub", "A.MP3"},
      {PathStyle::kWindows, "C:/Music/", "sub\\deeper", "x.mp3"},
      {PathStyle::kWindows, "C:\\Music", "ends\\", "y.mp3"},
      {PathStyle::kWindows, "C:\\Music", "", "z\\"},
      {PathStyle::kWindows, "C:\\Music", "", "\\lead.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " | " + c.subfolder + " | " + c.file);
    // A scan adds a separator after every folder it enters, whatever the name ends in.
    const std::string folderPath =
        c.subfolder.empty() ? c.folder
                            : Joined(c.folder, c.subfolder, c.style) + text::Separator(c.style);
    const std::string path = Joined(folderPath, c.file, c.style);
    const auto node = [&](DuplicateFilter& filter) -> DirectoryNode& {
      DirectoryNode& top = filter.FolderNode(c.folder);
      return c.subfolder.empty() ? top : filter.Subfolder(top, c.subfolder);
    };

    DuplicateFilter scanFirst(c.style);
    const DirectoryNode* scanned = scanFirst.RegisterFile(node(scanFirst), c.file);
    ASSERT_NE(scanned, nullptr);
    EXPECT_EQ(scanFirst.RegisterPath(path), nullptr);
    EXPECT_EQ(scanFirst.RegisterFile(node(scanFirst), c.file), nullptr);
    // Another file of the same folder lands in the same node either way.
    const bool oneName = std::none_of(c.file.begin(), c.file.end(),
                                      [&](char ch) { return text::IsSeparator(ch, c.style); });
    if (oneName) {
      EXPECT_EQ(scanFirst.RegisterPath(Joined(folderPath, "other.mp3", c.style)), scanned);
      // A scan that keeps the names itself gets the same answers, with either first.
      const std::string kept = c.file;
      DuplicateFilter keptFirst(c.style);
      keptFirst.ExpectFiles(node(keptFirst), 2);
      ASSERT_FALSE(keptFirst.HasFile(node(keptFirst), kept));
      keptFirst.RegisterKeptFile(node(keptFirst), kept);
      EXPECT_TRUE(keptFirst.HasFile(node(keptFirst), c.file));
      EXPECT_EQ(keptFirst.RegisterPath(path), nullptr);
      EXPECT_EQ(keptFirst.RegisterFile(node(keptFirst), c.file), nullptr);
      DuplicateFilter pathFirst(c.style);
      ASSERT_NE(pathFirst.RegisterPath(path), nullptr);
      EXPECT_TRUE(pathFirst.HasFile(node(pathFirst), c.file));
    }

    DuplicateFilter listFirst(c.style);
    ASSERT_NE(listFirst.RegisterPath(path), nullptr);
    EXPECT_EQ(listFirst.RegisterFile(node(listFirst), c.file), nullptr);
  }
}

TEST(DuplicateFilterTest, ForgetsAndDestroysTreesOfAnyDepth) {
  // A folder chain deeper than any call stack could tear down one level per call.
  std::string deep;
  for (int level = 0; level < 250'000; ++level)
    deep.append("/d");
  deep.append("/a.mp3");
  auto filter = std::make_unique<DuplicateFilter>(PathStyle::kPosix);
  ASSERT_NE(filter->RegisterPath(deep), nullptr);
  filter->ReleaseAll();
  EXPECT_NE(filter->RegisterPath(deep), nullptr);
  EXPECT_EQ(filter->RegisterPath(deep), nullptr);
  filter.reset();
}

TEST(DuplicateFilterTest, KeepsWhatItKnowsWhenMoved) {
  DuplicateFilter first(PathStyle::kPosix);
  DirectoryNode& music = first.FolderNode("/music");
  ASSERT_NE(first.RegisterFile(music, "a.mp3"), nullptr);
  DuplicateFilter moved(std::move(first));
  EXPECT_EQ(moved.RegisterPath("/music/a.mp3"), nullptr);
  EXPECT_EQ(moved.RegisterFile(music, "b.mp3"), &music);

  DuplicateFilter assigned(PathStyle::kPosix);
  ASSERT_NE(assigned.RegisterPath("/other/c.mp3"), nullptr);
  assigned = std::move(moved);
  EXPECT_EQ(assigned.RegisterPath("/music/b.mp3"), nullptr);
  EXPECT_NE(assigned.RegisterPath("/other/c.mp3"), nullptr);
}

TEST(CandidatePoolTest, IsWalkedFromTheNewestCandidate) {
  CandidatePool pool;
  pool.Add("first", 1, 1.0);
  pool.Add("second", 2, 1.0);
  pool.Add("third", 3, 1.0);
  EXPECT_EQ(pool.count(), 3u);
  EXPECT_THAT(WalkPaths(pool), ElementsAre("third", "second", "first"));
}

TEST(CandidatePoolTest, RemoveUnlinksFromAnyPositionAndKeepsTheWeightSum) {
  CandidatePool pool;
  for (const double weight : {0.5, 2.0, 0.25, 4.0}) {
    pool.Add(std::string("w").append(std::to_string(weight)), 0, weight);
  }
  EXPECT_EQ(pool.totalWeight(), 6.75);
  // Pool order: w4, w0.25, w2, w0.5 (indices 3, 2, 1, 0).
  pool.Remove(2);  // middle
  pool.Remove(3);  // head
  pool.Remove(0);  // tail
  EXPECT_EQ(pool.count(), 1u);
  EXPECT_EQ(pool.totalWeight(), 2.0);
  EXPECT_THAT(WalkPaths(pool), ElementsAre("w2.000000"));
  pool.Remove(1);
  EXPECT_EQ(pool.head(), CandidatePool::kNone);
  EXPECT_EQ(pool.totalWeight(), 0.0);
  // The records stay readable after leaving the pool.
  EXPECT_EQ(pool[2].weight, 0.25);
  EXPECT_EQ(pool[1].path, "w2.000000");
}

TEST(CandidatePoolTest, TotalWeightIsKeptIncrementallyNotRecomputed) {
  // The sum carries the rounding of every addition and subtraction, as the draw expects.
  CandidatePool pool;
  pool.Add("a", 0, 0.1);
  pool.Add("b", 0, 0.2);
  pool.Add("c", 0, 0.3);
  pool.Remove(pool.head());
  EXPECT_EQ(pool.totalWeight(), (0.1 + 0.2 + 0.3) - 0.3);
  EXPECT_NE(pool.totalWeight(), 0.1 + 0.2);
}

TEST(CandidatePoolTest, ReleaseAllEmptiesPoolAndFilter) {
  CandidatePool pool(PathStyle::kPosix);
  ASSERT_NE(pool.filter().RegisterPath("/m/a.mp3"), nullptr);
  pool.Add("/m/a.mp3", 10, 2.0);
  pool.ReleaseAll();
  EXPECT_EQ(pool.count(), 0u);
  EXPECT_EQ(pool.totalWeight(), 0.0);
  EXPECT_EQ(pool.head(), CandidatePool::kNone);
  EXPECT_NE(pool.filter().RegisterPath("/m/a.mp3"), nullptr);
  pool.Add("/m/a.mp3", 10, 2.0);
  EXPECT_THAT(WalkPaths(pool), ElementsAre("/m/a.mp3"));
}

TEST(CandidatePoolTest, PathsStayReadableAsThePoolGrowsMovesAndIsRefilled) {
  // Enough long paths that the pool's path blocks and arrays grow into large pages; every
  // record must still read back its own path after the pool has moved, and after a
  // release the pool fills again as new.
  const auto pathOf = [](std::size_t i) {
    return "/music/" + std::string(60 + i % 50, 'a' + static_cast<char>(i % 26)) + "/" +
           std::to_string(i) + ".mp3";
  };
  constexpr std::size_t kCount = 60'000;
  CandidatePool first(PathStyle::kPosix);
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < kCount; ++i)
      first.Add(pathOf(i), static_cast<std::int64_t>(i), 1.0);
    CandidatePool moved = std::move(first);
    ASSERT_EQ(moved.count(), kCount);
    for (std::size_t i = 0; i < kCount; ++i)
      ASSERT_EQ(moved[i].path, pathOf(i)) << i;
    moved.ReleaseAll();
    first = std::move(moved);
  }
}

TEST(CandidatePoolTest, TakeCandidatesCopiesEveryPathInTheRecordsOrderAndEmptiesThePool) {
  // Paths over many blocks, one larger than any block and one empty, taken in an order
  // that jumps between blocks: each must come back whole, with its record's figures.
  const auto pathOf = [](std::size_t i) {
    if (i == 7) return std::string(3 << 20, 'x');
    if (i == 11) return std::string();
    return "/music/" + std::string(40 + i % 90, 'a' + static_cast<char>(i % 26)) + "/" +
           std::to_string(i) + ".mp3";
  };
  constexpr std::size_t kCount = 50'000;
  CandidatePool pool(PathStyle::kPosix);
  for (std::size_t i = 0; i < kCount; ++i) {
    pool.BeginSource(i % 3);
    pool.Add(pathOf(i), static_cast<std::int64_t>(i), 0.5 + static_cast<double>(i % 4));
  }
  ASSERT_NE(pool.filter().RegisterPath("/music/a.mp3"), nullptr);
  std::vector<PooledCandidate> records;
  for (std::size_t k = 0; k < kCount; k += 2)
    records.push_back(pool[(k * 7919) % kCount]);
  records.push_back(pool[7]);
  records.push_back(pool[11]);
  const std::vector<Candidate> expected = ToCandidates(records);

  const std::vector<Candidate> taken = pool.TakeCandidates(records);
  ASSERT_EQ(taken.size(), expected.size());
  for (std::size_t k = 0; k < taken.size(); ++k) {
    ASSERT_EQ(taken[k].path, expected[k].path) << k;
    ASSERT_EQ(taken[k].sizeBytes, expected[k].sizeBytes) << k;
    ASSERT_EQ(taken[k].weight, expected[k].weight) << k;
    ASSERT_EQ(taken[k].source, expected[k].source) << k;
  }
  EXPECT_EQ(pool.count(), 0u);
  EXPECT_EQ(pool.head(), CandidatePool::kNone);
  // Empty as after ReleaseAll: the filter has forgotten too, and the pool fills anew.
  EXPECT_NE(pool.filter().RegisterPath("/music/a.mp3"), nullptr);
  pool.Add("/music/a.mp3", 1, 1.0);
  EXPECT_THAT(WalkPaths(pool), ElementsAre("/music/a.mp3"));
}

}  // namespace
}  // namespace sorvina::engine
