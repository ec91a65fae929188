// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/contained_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_folders.h"
#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::Snapshot;
using test::TempDir;
using test::Tree;

TEST(ContainedFolderTest, OnlyPathsOfPlainNamesStayBelow) {
  for (const char* inside : {"a", "a.mp3", "Rock/Live/a.mp3", ".sorvina/fills.txt", "a..b/..c"})
    EXPECT_TRUE(ContainedFolder::IsContainedPath(inside)) << inside;
  for (const char* outside :
       {"", "/etc/passwd", "../a", "a/../../b", "a/..", "./a", "a//b", "a/", "a/./b", "."})
    EXPECT_FALSE(ContainedFolder::IsContainedPath(outside)) << outside;
  EXPECT_FALSE(ContainedFolder::IsContainedPath(std::string("a\0b", 3)));
}

// A destination with a file of its own, a folder that is a link to a folder outside it,
// a file that is a link to a file outside it, and that outside.
class ContainedFolderLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile("outside/victim.mp3", "not yours");
    dir_.WriteFile("player/Rock/a.mp3", "aaaa");
    dir_.WriteFile("player/Rock/Live/b.mp3", "bb");
    fs::create_symlink(dir_ / "outside", dir_ / "player/Away");
    fs::create_symlink(dir_ / "outside/victim.mp3", dir_ / "player/victim.mp3");
    player_ = ContainedFolder::Open(dir_ / "player");
    ASSERT_TRUE(player_);
  }

  EntryStatus StatusOfPath(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return {EntryStatus::Kind::kFile,
            static_cast<std::int64_t>(status.st_size),
            {status.st_mtim.tv_sec, static_cast<std::int32_t>(status.st_mtim.tv_nsec)}};
  }

  TempDir dir_;
  std::optional<ContainedFolder> player_;
};

TEST_F(ContainedFolderLinksTest, NothingIsReachedThroughALink) {
  const EntryStatus victim = StatusOfPath(dir_ / "outside/victim.mp3");
  EXPECT_FALSE(player_->StatusOf("Away/victim.mp3"));
  EXPECT_EQ(player_->StatusOf("victim.mp3")->kind, EntryStatus::Kind::kLink);
  int error = 0;
  EXPECT_FALSE(player_->Folder("Away", false, &error));
  EXPECT_EQ(error, ELOOP);
  EXPECT_FALSE(player_->Folder("Away/new", true, &error));
  EXPECT_EQ(error, ELOOP);
  EXPECT_NE(player_->RemoveFileIfUnchanged("Away/victim.mp3", victim), 0);
  EXPECT_EQ(player_->RemoveFileIfUnchanged("victim.mp3", victim), ESTALE);  // a link, no file
  std::string bytes;
  EXPECT_EQ(player_->ReadFile("victim.mp3", 1000, bytes), ELOOP);
  EXPECT_EQ(player_->ReadFile("../outside/victim.mp3", 1000, bytes), EINVAL);
  // Replacing a link puts a file in its place and leaves what it led to alone.
  EXPECT_EQ(player_->ReplaceFile("victim.mp3", "new"), 0);
  EXPECT_EQ(ReadBytes(dir_ / "player/victim.mp3"), "new");
  EXPECT_EQ(Snapshot(dir_ / "outside"), (Tree{{"victim.mp3", "not yours"}}));
}

TEST_F(ContainedFolderLinksTest, RemovesOnlyUnchangedFilesAndEmptyFolders) {
  const EntryStatus a = StatusOfPath(dir_ / "player/Rock/a.mp3");
  const EntryStatus b = StatusOfPath(dir_ / "player/Rock/Live/b.mp3");
  EntryStatus older = a;
  older.modified.seconds -= 10;
  EntryStatus shorter = a;
  shorter.sizeBytes = 3;
  EXPECT_EQ(player_->RemoveFileIfUnchanged("Rock/a.mp3", older), ESTALE);
  EXPECT_EQ(player_->RemoveFileIfUnchanged("Rock/a.mp3", shorter), ESTALE);
  EXPECT_EQ(player_->RemoveFileIfUnchanged("Rock/Live", b), ESTALE);  // a folder, no file
  EXPECT_EQ(player_->RemoveFileIfUnchanged("Rock/Live/b.mp3", b), 0);
  EXPECT_EQ(player_->RemoveFileIfUnchanged("Rock/Live/b.mp3", b), ENOENT);
  // "Live" is empty now; "Rock" still holds a.mp3; "Away" is a link, no folder.
  EXPECT_EQ(player_->RemoveFolderIfEmpty("Rock"), ENOTEMPTY);
  EXPECT_EQ(player_->RemoveFolderIfEmpty("Rock/Live"), 0);
  EXPECT_EQ(player_->RemoveFolderIfEmpty("Away"), ENOTDIR);
  EXPECT_EQ(player_->RemoveFileIfUnchanged("Rock/a.mp3", a), 0);
  EXPECT_EQ(player_->RemoveFolderIfEmpty("Rock"), 0);
  EXPECT_FALSE(fs::exists(dir_ / "player/Rock"));
  EXPECT_TRUE(fs::exists(dir_ / "player/Away"));
}

TEST(ContainedFolderTest, ReadsBoundedFilesReplacesWholeAndLocksOnce) {
  TempDir dir;
  std::optional<ContainedFolder> folder = ContainedFolder::Open(dir.MakeFolder("f"));
  ASSERT_TRUE(folder);
  std::optional<ContainedFolder> made = folder->Folder("one/two", true);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->ReplaceFile("x.txt", "12345"), 0);
  EXPECT_EQ(made->ReplaceFile("x.txt", "123456"), 0);
  std::string bytes;
  EXPECT_EQ(made->ReadFile("x.txt", 6, bytes), 0);
  EXPECT_EQ(bytes, "123456");
  EXPECT_EQ(made->ReadFile("x.txt", 5, bytes), EFBIG);
  EXPECT_EQ(made->ReadFile("missing", 5, bytes), ENOENT);
  EXPECT_EQ(made->Rename("x.txt", "y.txt"), 0);
  EXPECT_EQ(Snapshot(dir / "f/one/two"), (Tree{{"y.txt", "123456"}}));  // no temporary left
  // What a write cut off half-way leaves is cleared, name after name; anything else stays.
  for (const char* name :
       {".y.txt.0123456789abcdef.tmp", ".y.txt.0123456789abcdef.part", ".y.txt.tmp",
        ".z.txt.0123456789abcdef.tmp", ".y.txt.0123456789abcdeg.tmp", ".w.0123456789abcdef.tmp"})
    dir.WriteFile(std::string("f/one/two/") + name, "half");
  made->RemoveLeftoverTemporaries("w");
  made->RemoveLeftoverTemporaries("y.txt");
  EXPECT_EQ(test::NamesIn(dir / "f/one/two"),
            (std::vector<std::string>{".y.txt.0123456789abcdef.part", ".y.txt.0123456789abcdeg.tmp",
                                      ".y.txt.tmp", ".z.txt.0123456789abcdef.tmp", "y.txt"}));

  int error = 0;
  std::optional<FileLock> first = folder->Lock("lock", &error);
  ASSERT_TRUE(first);
  EXPECT_FALSE(folder->Lock("lock", &error));
  EXPECT_EQ(error, EWOULDBLOCK);
  first.reset();
  EXPECT_TRUE(folder->Lock("lock"));
}

TEST(UserFoldersTest, FollowTheVariablesWhereAbsoluteElseTheHomeFolder) {
  const auto with = [](const char* config, const char* state, const char* home) {
    setenv("HOME", home, 1);
    for (const auto& [name, value] :
         {std::pair{"XDG_CONFIG_HOME", config}, {"XDG_STATE_HOME", state}}) {
      if (value == nullptr) {
        unsetenv(name);
      } else {
        setenv(name, value, 1);
      }
    }
    return ConfigFolder() + " " + StateFolder();
  };
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  EXPECT_EQ(with("/cfg", "/st/", "/home/a"), "/cfg/sorvina /st/sorvina");
  EXPECT_EQ(with(nullptr, nullptr, "/home/a/"),
            "/home/a/.config/sorvina /home/a/.local/state/sorvina");
  EXPECT_EQ(with("", "relative/state", "/home/a"),
            "/home/a/.config/sorvina /home/a/.local/state/sorvina");
  EXPECT_EQ(with("/", nullptr, "/"), "/sorvina /.local/state/sorvina");
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace sorvina::platform
