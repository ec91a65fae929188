// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_text/file_system_folder_queries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "tests/support/temp_dir.h"

namespace sorvina::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingPrompts : public FolderPrompts {
 public:
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answer = false;

  void ShowMessage(const text::UserText& text) override { messages.push_back(text::English(text)); }
  bool AskYesNo(const text::UserText& text) override {
    questions.push_back(text::English(text));
    return answer;
  }
};

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(path);
}

class PosixFolderChecksTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  FileSystemFolderQueries queries{dir.path()};
  RecordingPrompts prompts;
  FolderTextContext context{text::PathStyle::kPosix, queries, prompts};
};

TEST_F(PosixFolderChecksTest, ExistingFolderAndFile) {
  const std::string music = dir.MakeFolder("Music");
  const std::string song = dir.WriteFile("song.mp3");
  EXPECT_EQ(CheckFolderForOpen(music, context), music);
  EXPECT_EQ(CheckFolderForOpen(music + "/", context), music);
  EXPECT_EQ(CheckFolderForEnter(music + "/", context), music);
  EXPECT_EQ(IsNavigableFolderText(music + "/", text::PathStyle::kPosix, queries),
            Navigability::kDisplay);
  EXPECT_EQ(IsNavigableFolderText(song + "/", text::PathStyle::kPosix, queries),
            Navigability::kSettled);
  // No network forms: the doubled root is the root.
  EXPECT_EQ(CheckFolderForOpen("//", context), "/");
  EXPECT_EQ(CheckFolderForEnter("//", context), "/");

  EXPECT_EQ(CheckFolderForOpen(song, context), std::nullopt);
  EXPECT_EQ(CheckFolderForEnter(song, context), song);
  EXPECT_THAT(prompts.messages, ElementsAre(song + "\nThis is a file not a directory."));
  EXPECT_THAT(prompts.questions, IsEmpty());
}

TEST_F(PosixFolderChecksTest, MissingFoldersAreCreatedAfterYesOnly) {
  const std::string nested = dir / "a/b/c";
  EXPECT_EQ(CheckFolderForOpen(nested + "/", context), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));
  prompts.answer = true;
  EXPECT_EQ(CheckFolderForOpen(nested + "/", context), nested);
  EXPECT_TRUE(IsFolder(nested));
  // Relative texts count from the base folder, not from the current directory.
  EXPECT_EQ(CheckFolderForEnter("x/y", context), "x/y");
  EXPECT_TRUE(IsFolder(dir / "x/y"));
  EXPECT_THAT(prompts.questions,
              ElementsAre(nested + "\nThis folder does not exist.\n\nDo you want to create it?",
                          nested + "\nThis folder does not exist.\n\nDo you want to create it?",
                          "x/y\nThis folder does not exist.\n\nDo you want to create it?"));
  EXPECT_THAT(prompts.messages, IsEmpty());
}

TEST_F(PosixFolderChecksTest, FailedCreationShowsTheGeneralMessage) {
  prompts.answer = true;
  dir.WriteFile("file");
  EXPECT_EQ(CheckFolderForOpen(dir / "file/sub", context), std::nullopt);
  EXPECT_EQ(CheckFolderForEnter("file/sub", context), std::nullopt);
  EXPECT_THAT(prompts.messages,
              ElementsAre(kOpenCreationFailedMessage, kEnterCreationFailedMessage));

  const std::string locked = dir.MakeFolder("locked");
  ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
  const std::string shown = test::RunUnprivileged([&] {
    RecordingPrompts childPrompts;
    childPrompts.answer = true;
    FolderTextContext childContext{text::PathStyle::kPosix, queries, childPrompts};
    const bool refused = !CheckFolderForOpen(locked + "/new", childContext);
    return refused && childPrompts.messages.size() == 1 ? childPrompts.messages[0]
                                                        : std::string("accepted");
  });
  EXPECT_EQ(shown, kOpenCreationFailedMessage);
  EXPECT_FALSE(std::filesystem::exists(locked + "/new"));
}

TEST(FileSystemFolderQueriesTest, ResolvesRelativeAndHomeTexts) {
  test::TempDir dir;
  FileSystemFolderQueries queries(dir.path());
  EXPECT_EQ(queries.Resolve("/abs/x"), "/abs/x");
  EXPECT_EQ(queries.Resolve("Music/../x"), dir / "Music/../x");
  EXPECT_EQ(queries.Resolve("~user"), dir / "~user");
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') {
    EXPECT_EQ(queries.Resolve("~"), home);
    EXPECT_EQ(queries.Resolve("~/Music"), std::string(home) + "/Music");
  }
  // Without a displayed folder a relative text counts from the current directory, never
  // from the root.
  EXPECT_EQ(FileSystemFolderQueries("").Resolve("x"), platform::CurrentDirectory() + "/x");
  EXPECT_EQ(FileSystemFolderQueries("/").Resolve("x"), "/x");
}

TEST(FileSystemFolderQueriesTest, ListsFoldersBeginningWithTheLastPart) {
  test::TempDir dir;
  dir.MakeFolder("top/Rock");
  dir.MakeFolder("top/ROLL");
  dir.MakeFolder("top/jazz");
  dir.WriteFile("top/rondo.mp3");
  FileSystemFolderQueries queries(dir.path());
  std::vector<std::string> names = queries.FolderNamesStartingWith("top/ro");
  std::sort(names.begin(), names.end());
  EXPECT_THAT(names, ElementsAre("ROLL", "Rock"));
  EXPECT_THAT(queries.FolderNamesStartingWith("top/"), ::testing::SizeIs(3));
  EXPECT_THAT(queries.FolderNamesStartingWith("missing/ro"), IsEmpty());
  dir.MakeFolder("~draft");
  EXPECT_THAT(queries.FolderNamesStartingWith("~"), ElementsAre("~draft"));
  EXPECT_EQ(queries.AttributesOf("top/rondo.mp3"), PathAttributes::kFile);
  EXPECT_EQ(queries.AttributesOf("top"), PathAttributes::kDirectory);
  EXPECT_EQ(queries.AttributesOf("nothing"), PathAttributes::kMissing);
}

}  // namespace
}  // namespace sorvina::ui
