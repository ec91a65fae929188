// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>

#include <climits>

#include "platform/read_only_file.h"
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

TEST(DirectoryListingTest, OpensFoldersRelativeToItselfAndListsAgainFromTheStart) {
  test::TempDir dir;
  dir.WriteFile("top/sub/inner/x.mp3");
  dir.MakeFolder("elsewhere");
  fs::create_symlink(dir / "elsewhere", dir / "top/link");
  auto top = DirectoryListing::Open(dir / "top");
  ASSERT_TRUE(top);
  auto sub = top->OpenFolder("sub");
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->OpenFolder("..")->identity(), top->identity());
  EXPECT_EQ(top->OpenFolder("sub/inner")->identity(),
            DirectoryListing::Open(dir / "top/sub/inner")->identity());
  EXPECT_EQ(top->OpenFolder("link")->identity(),
            DirectoryListing::Open(dir / "elsewhere")->identity());
  EXPECT_FALSE(top->OpenFolder("missing"));
  EXPECT_FALSE(sub->OpenFolder("inner/x.mp3"));
  EXPECT_FALSE(top->OpenFolder(""));
  // Listing twice gives everything twice, also after the folder has been opened from.
  EXPECT_EQ(KindsByName(*top).size(), 2u);
  EXPECT_EQ(KindsByName(*top).size(), 2u);
}

// Makes `levels` nested folders of `name` below `parent` one at a time (the full paths
// pass the system's limit) and a file `leaf` with `bytes` in the deepest; returns its path.
std::string MakeLongPath(const std::string& parent, const std::string& name, int levels,
                         const std::string& leaf, const std::string& bytes) {
  int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::string path = parent;
  for (int i = 0; i < levels && fd >= 0; ++i) {
    mkdirat(fd, name.c_str(), 0755);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
    path += "/" + name;
  }
  const int file = openat(fd, leaf.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  EXPECT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(file);
  close(fd);
  return path + "/" + leaf;
}

TEST(OpenPathTest, ReachesFilesPastThePathLimitAsASingleOpenWould) {
  test::TempDir dir;
  const std::string name(250, 'n');
  const std::string song = MakeLongPath(dir.path(), name, 40, "song.mp3", "twelve bytes");
  ASSERT_GT(song.size(), 2u * PATH_MAX);
  ASSERT_EQ(open(song.c_str(), O_RDONLY), -1);  // what the system alone makes of it

  const auto status = GetFileStatus(song);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->kind, EntryKind::kFile);
  EXPECT_EQ(status->sizeBytes, 12u);
  auto file = ReadOnlyFile::Open(song);
  ASSERT_TRUE(file);
  unsigned char bytes[12] = {};
  EXPECT_EQ(file->ReadAt(0, bytes), 12u);
  EXPECT_EQ(std::string(bytes, bytes + 12), "twelve bytes");
  const std::string folder = song.substr(0, song.rfind('/'));
  ASSERT_TRUE(DirectoryListing::Open(folder + "/"));
  EXPECT_EQ(DirectoryListing::Open(folder)->ReadEntries().size(), 1u);

  // "..", repeated separators and a link, wherever the stretches happen to end, resolve
  // as the system resolves them.
  fs::create_symlink(name + "/" + name, dir / "link");
  std::string roundabout = dir / "link";
  for (int i = 2; i < 40; ++i)
    roundabout += "/" + name + "/..//" + name;
  roundabout += "/song.mp3";
  ASSERT_GT(roundabout.size(), 4u * PATH_MAX);
  const int fd = OpenPath(roundabout, O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct stat viaRoundabout {};
  struct stat direct {};
  fstat(fd, &viaRoundabout);
  close(fd);
  fstat(file->Release(), &direct);
  EXPECT_EQ(viaRoundabout.st_ino, direct.st_ino);

  errno = 0;
  EXPECT_EQ(OpenPath(folder + "/missing.mp3", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(OpenPath(dir / std::string(PATH_MAX, 'x'), O_RDONLY), -1);
  EXPECT_EQ(errno, ENAMETOOLONG);
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

TEST(MakeFoldersTest, MakesEveryMissingLevel) {
  test::TempDir dir;
  EXPECT_EQ(MakeFolders(dir / "a/b//c/"), 0);
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_EQ(MakeFolders(dir / "a/b"), 0);  // nothing to make
  EXPECT_EQ(MakeFolders("/"), 0);

  // Relative paths count from the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const int madeRelative = MakeFolders("rel/x");
  fs::current_path(before);
  EXPECT_EQ(madeRelative, 0);
  EXPECT_TRUE(fs::is_directory(dir / "rel/x"));
}

TEST(MakeFoldersTest, FailsWhereAPartIsNoFolder) {
  test::TempDir dir;
  const std::string file = dir.WriteFile("a/file");
  EXPECT_NE(MakeFolders(file), 0);
  EXPECT_NE(MakeFolders(file + "/b"), 0);
  EXPECT_NE(MakeFolders(dir / "a/new/" + std::string("\0x", 2)), 0);
  EXPECT_FALSE(fs::exists(dir / "a/new"));
  EXPECT_NE(MakeFolders(""), 0);
}

TEST(ProcessTest, KnowsTheCurrentDirectoryAndTheClock) {
  EXPECT_EQ(fs::path(CurrentDirectory()), fs::current_path());
  const auto now = static_cast<std::uint32_t>(std::time(nullptr));
  EXPECT_LE(ClockSeed() - now, 1u);
}

}  // namespace
}  // namespace sorvina::platform
