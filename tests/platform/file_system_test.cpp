#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>

#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

namespace fs = std::filesystem;

std::map<std::string, EntryKind> KindsByName(DirectoryListing& listing) {
  std::map<std::string, EntryKind> kinds;
  for (const DirectoryEntry& entry : listing.ReadEntries())
    kinds[entry.name] = entry.kind;
  return kinds;
}

TEST(DirectoryListingTest, GivesEveryEntryWithItsKindLinksFollowed) {
  test::TempDir dir;
  dir.WriteFile("top/song.mp3", "12345");
  dir.MakeFolder("top/sub");
  dir.MakeFolder("top/.hidden");
  fs::create_symlink(dir / "top/sub", dir / "top/link-to-folder");
  fs::create_symlink(dir / "top/song.mp3", dir / "top/link-to-file.mp3");
  fs::create_symlink(dir / "top/gone", dir / "top/dangling.mp3");
  ASSERT_EQ(mkfifo((dir / "top/fifo.mp3").c_str(), 0600), 0);

  auto listing = DirectoryListing::Open(dir / "top");
  ASSERT_TRUE(listing);
  const std::map<std::string, EntryKind> expected{
      {"song.mp3", EntryKind::kFile},         {"sub", EntryKind::kDirectory},
      {".hidden", EntryKind::kDirectory},     {"link-to-folder", EntryKind::kDirectory},
      {"link-to-file.mp3", EntryKind::kFile}, {"dangling.mp3", EntryKind::kOther},
      {"fifo.mp3", EntryKind::kOther}};
  EXPECT_EQ(KindsByName(*listing), expected);
  EXPECT_EQ(listing->SizeOf("song.mp3"), 5u);
  EXPECT_EQ(listing->SizeOf("link-to-file.mp3"), 5u);
  EXPECT_EQ(listing->SizeOf("dangling.mp3"), std::nullopt);
}

TEST(DirectoryListingTest, IdentifiesAFolderWhateverPathReachesIt) {
  test::TempDir dir;
  dir.MakeFolder("a");
  dir.MakeFolder("b");
  fs::create_symlink(dir / "a", dir / "alias");
  auto a = DirectoryListing::Open(dir / "a");
  auto alias = DirectoryListing::Open(dir / "alias/");
  auto b = DirectoryListing::Open(dir / "b");
  ASSERT_TRUE(a && alias && b);
  EXPECT_EQ(a->identity(), alias->identity());
  EXPECT_NE(a->identity(), b->identity());
}

TEST(DirectoryListingTest, OpensNothingThatIsNoFolder) {
  test::TempDir dir;
  EXPECT_FALSE(DirectoryListing::Open(dir / "missing"));
  EXPECT_FALSE(DirectoryListing::Open(dir.WriteFile("file.mp3")));
  EXPECT_FALSE(DirectoryListing::Open(""));
  EXPECT_FALSE(DirectoryListing::Open(dir.path() + std::string("\0/x", 3)));
}

TEST(FileStatusTest, ReportsKindAndSizeBeyondFourGigabytes) {
  test::TempDir dir;
  const std::string big = dir.WriteFile("big.mp3");
  constexpr std::uint64_t kSize = 5ULL << 30;  // sparse: takes no disk space
  ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(kSize)), 0);
  const auto status = GetFileStatus(big);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->kind, EntryKind::kFile);
  EXPECT_EQ(status->sizeBytes, kSize);
  EXPECT_EQ(GetFileStatus(dir.path())->kind, EntryKind::kDirectory);
  EXPECT_FALSE(GetFileStatus(dir / "missing.mp3"));
  // The bytes before a NUL name another file: such a path must not reach the system.
  EXPECT_FALSE(GetFileStatus(big + std::string("\0.mp3", 5)));
}

TEST(MakeFolderPathTest, MakesEveryMissingLevel) {
  test::TempDir dir;
  EXPECT_TRUE(MakeFolderPath(dir / "a/b//c/"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(MakeFolderPath(dir / "a/b"));  // nothing to make
  EXPECT_TRUE(MakeFolderPath("/"));

  // Relative paths count from the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const bool madeRelative = MakeFolderPath("rel/x");
  fs::current_path(before);
  EXPECT_TRUE(madeRelative);
  EXPECT_TRUE(fs::is_directory(dir / "rel/x"));
}

TEST(MakeFolderPathTest, FailsWhereAPartIsNoFolder) {
  test::TempDir dir;
  const std::string file = dir.WriteFile("a/file");
  EXPECT_FALSE(MakeFolderPath(file));
  EXPECT_FALSE(MakeFolderPath(file + "/b"));
  EXPECT_FALSE(MakeFolderPath(dir / "a/new/" + std::string("\0x", 2)));
  EXPECT_FALSE(fs::exists(dir / "a/new"));
  EXPECT_FALSE(MakeFolderPath(""));
}

TEST(ProcessTest, KnowsTheCurrentDirectoryAndTheClock) {
  EXPECT_EQ(fs::path(CurrentDirectory()), fs::current_path());
  const auto now = static_cast<std::uint32_t>(std::time(nullptr));
  EXPECT_LE(ClockSeed() - now, 1u);
}

}  // namespace
}  // namespace sorvina::platform
