#include "engine/candidate_pool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::engine {
namespace {

using platform::PathStyle;
using ::testing::ElementsAre;

std::vector<std::string> WalkPaths(const CandidatePool& pool) {
  std::vector<std::string> paths;
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    paths.push_back(pool[i].path);
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

TEST(CandidatePoolTest, IsWalkedFromTheNewestCandidate) {
  CandidatePool pool;
  pool.Add({"first", 1, 1.0});
  pool.Add({"second", 2, 1.0});
  pool.Add({"third", 3, 1.0});
  EXPECT_EQ(pool.count(), 3u);
  EXPECT_THAT(WalkPaths(pool), ElementsAre("third", "second", "first"));
}

TEST(CandidatePoolTest, RemoveUnlinksFromAnyPositionAndKeepsTheWeightSum) {
  CandidatePool pool;
  for (const double weight : {0.5, 2.0, 0.25, 4.0}) {
    pool.Add({"w" + std::to_string(weight), 0, weight});
  }
  EXPECT_EQ(pool.totalWeight(), 6.75);
  // Pool order: w4, w0.25, w2, w0.5 (indices 3, 2, 1, 0).
  EXPECT_EQ(pool.Remove(2).weight, 0.25);  // middle
  EXPECT_EQ(pool.Remove(3).weight, 4.0);   // head
  EXPECT_EQ(pool.Remove(0).weight, 0.5);   // tail
  EXPECT_EQ(pool.count(), 1u);
  EXPECT_EQ(pool.totalWeight(), 2.0);
  EXPECT_THAT(WalkPaths(pool), ElementsAre(pool[1].path));
  EXPECT_EQ(pool.Remove(1).path, "w2.000000");
  EXPECT_EQ(pool.head(), CandidatePool::kNone);
  EXPECT_EQ(pool.totalWeight(), 0.0);
}

TEST(CandidatePoolTest, TotalWeightIsKeptIncrementallyNotRecomputed) {
  // The sum carries the rounding of every addition and subtraction, as the draw expects.
  CandidatePool pool;
  pool.Add({"a", 0, 0.1});
  pool.Add({"b", 0, 0.2});
  pool.Add({"c", 0, 0.3});
  pool.Remove(pool.head());
  EXPECT_EQ(pool.totalWeight(), (0.1 + 0.2 + 0.3) - 0.3);
  EXPECT_NE(pool.totalWeight(), 0.1 + 0.2);
}

TEST(CandidatePoolTest, ReleaseAllEmptiesPoolAndFilter) {
  CandidatePool pool(PathStyle::kPosix);
  ASSERT_NE(pool.filter().RegisterPath("/m/a.mp3"), nullptr);
  pool.Add({"/m/a.mp3", 10, 2.0});
  pool.ReleaseAll();
  EXPECT_EQ(pool.count(), 0u);
  EXPECT_EQ(pool.totalWeight(), 0.0);
  EXPECT_EQ(pool.head(), CandidatePool::kNone);
  EXPECT_NE(pool.filter().RegisterPath("/m/a.mp3"), nullptr);
  pool.Add({"/m/a.mp3", 10, 2.0});
  EXPECT_THAT(WalkPaths(pool), ElementsAre("/m/a.mp3"));
}

}  // namespace
}  // namespace sorvina::engine
