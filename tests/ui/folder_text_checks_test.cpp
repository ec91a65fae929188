// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_text/folder_text_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace sorvina::ui {
namespace {

using platform::DriveType;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A Windows-style file system: paths with their attributes, drives by root, and a record
// of what was asked and made.
class FakeQueries : public FolderQueries {
 public:
  std::map<std::string, PathAttributes> paths;
  std::map<std::string, DriveType> drives;  // a root missing here names no drive
  bool creationFails = false;
  std::vector<std::string> queried;  // texts whose attributes were asked for
  std::vector<std::string> created;

  PathAttributes AttributesOf(const std::string& text) override {
    queried.push_back(text);
    // A folder may be named with a trailing backslash too.
    std::string path = text;
    if (path.ends_with('\\')) path.pop_back();
    const auto it = paths.find(path);
    return it == paths.end() ? PathAttributes::kMissing : it->second;
  }
  DriveType DriveTypeOf(const std::string& place) override {
    const auto it = drives.find(place);
    return it == drives.end() ? DriveType::kNoRootDirectory : it->second;
  }
  bool CreateFolderPath(const std::string& path) override {
    created.push_back(path);
    return !creationFails;
  }
  std::vector<std::string> FolderNamesStartingWith(const std::string&) override { return {}; }
};

class RecordingPrompts : public FolderPrompts {
 public:
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::deque<bool> answers;  // the answers to the next questions; No when none is left

  void ShowMessage(const sorvina::text::UserText& text) override {
    messages.push_back(sorvina::text::English(text));
  }
  bool AskYesNo(const sorvina::text::UserText& text) override {
    questions.push_back(sorvina::text::English(text));
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

std::string Question(const std::string& text) {
  return text + "\nThis folder does not exist.\n\nDo you want to create it?";
}

class WindowsFolderChecksTest : public ::testing::Test {
 protected:
  WindowsFolderChecksTest() {
    queries.drives = {{"C:\\", DriveType::kFixed},
                      {"D:\\", DriveType::kCdRom},
                      {"E:\\", DriveType::kRemovable},
                      {"N:\\", DriveType::kRemote},
                      {"U:\\", DriveType::kUnknown}};
    queries.paths = {{"C:\\Music", PathAttributes::kDirectory},
                     {"C:\\Song.mp3", PathAttributes::kFile}};
  }

  std::optional<std::string> Open(const std::string& text) {
    return CheckFolderForOpen(text, context);
  }
  std::optional<std::string> Enter(const std::string& text) {
    return CheckFolderForEnter(text, context);
  }
  Navigability Navigable(const std::string& text) {
    return IsNavigableFolderText(text, text::PathStyle::kWindows, queries);
  }

  FakeQueries queries;
  RecordingPrompts prompts;
  FolderTextContext context{text::PathStyle::kWindows, queries, prompts};
};

TEST_F(WindowsFolderChecksTest, ExistingFolderWithTrailingBackslash) {
  EXPECT_EQ(Open("C:\\Music\\"), "C:\\Music");
  EXPECT_EQ(Enter("C:\\Music\\"), "C:\\Music");
  EXPECT_EQ(Navigable("C:\\Music\\"), Navigability::kDisplay);
  EXPECT_THAT(queries.queried, ElementsAre("C:\\Music", "C:\\Music", "C:\\Music\\"));
  EXPECT_THAT(prompts.messages, IsEmpty());
}

TEST_F(WindowsFolderChecksTest, FileIsRefusedByOpenButDisplayedByEnter) {
  EXPECT_EQ(Open("C:\\Song.mp3"), std::nullopt);
  EXPECT_THAT(prompts.messages, ElementsAre("C:\\Song.mp3\nThis is a file not a directory."));
  EXPECT_EQ(Enter("C:\\Song.mp3"), "C:\\Song.mp3");
  EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(WindowsFolderChecksTest, MissingPathOnInvalidDriveIsNeverOfferedForCreation) {
  EXPECT_EQ(Open("Q:\\New"), std::nullopt);
  EXPECT_THAT(prompts.messages, ElementsAre("Q:\\New\nThe drive is invalid."));
  EXPECT_EQ(Enter("Q:\\New"), "Q:\\New");
  EXPECT_EQ(prompts.messages.size(), 1u);
  // A drive of unknown type is just as invalid.
  EXPECT_EQ(Open("U:\\New"), std::nullopt);
  EXPECT_THAT(prompts.questions, IsEmpty());
  EXPECT_THAT(queries.created, IsEmpty());
}

TEST_F(WindowsFolderChecksTest, NetworkPaths) {
  EXPECT_EQ(Enter("\\\\server"), "\\\\server");
  EXPECT_EQ(Enter("\\\\server\\"), "\\\\server");
  EXPECT_EQ(Enter("\\\\"), "\\\\");
  EXPECT_THAT(queries.queried, IsEmpty());

  EXPECT_EQ(Open("\\\\server"), std::nullopt);
  EXPECT_EQ(Open("\\\\server\\share\\"), std::nullopt);
  EXPECT_THAT(queries.queried, ElementsAre("\\\\server", "\\\\server\\share"));
  EXPECT_EQ(Open("\\\\"), std::nullopt);
  EXPECT_THAT(prompts.messages, ElementsAre("\\\\server\nThis is not a valid folder.",
                                            "\\\\server\\share\nThis is not a valid folder.",
                                            "\\\\\nThis is not a valid folder."));
  EXPECT_EQ(queries.queried.size(), 2u);  // the two backslashes alone are not queried

  // Below a share a folder can be made.
  EXPECT_EQ(Open("\\\\server\\share\\new"), std::nullopt);
  EXPECT_THAT(prompts.questions, ElementsAre(Question("\\\\server\\share\\new")));
  EXPECT_EQ(prompts.messages.size(), 3u);  // No shows nothing more

  EXPECT_EQ(Navigable("\\\\"), Navigability::kSettled);
}

TEST_F(WindowsFolderChecksTest, FailedCreationIsExplainedByTheDriveType) {
  queries.creationFails = true;
  prompts.answers = {true, true, true, true, true};
  EXPECT_EQ(Open("E:\\New"), std::nullopt);
  EXPECT_EQ(Open("D:\\New"), std::nullopt);
  EXPECT_EQ(Open("New"), std::nullopt);  // the drive is taken from the root N:\ .
  EXPECT_EQ(Open("C:\\New"), std::nullopt);
  EXPECT_EQ(Enter("C:\\New"), std::nullopt);
  EXPECT_THAT(prompts.messages,
              ElementsAre("You cannot create this folder.\nThe medium may be write-protected.",
                          "You cannot create this folder\nas the CD ROM medium is read-only.",
                          "You do not have permission to create\nthis folder on the network.",
                          kOpenCreationFailedMessage, kEnterCreationFailedMessage));
  EXPECT_THAT(queries.created,
              ElementsAre("E:\\New\\", "D:\\New\\", "New\\", "C:\\New\\", "C:\\New\\"));
}

TEST_F(WindowsFolderChecksTest, MissingFolderIsCreatedOnlyAfterYes) {
  prompts.answers = {false, true, false, true};
  EXPECT_EQ(Open("New"), std::nullopt);
  EXPECT_EQ(Open("New\\"), "New");
  EXPECT_EQ(Enter("C:\\Music\\New\\"), std::nullopt);
  EXPECT_EQ(Enter("C:\\Music\\New\\"), "C:\\Music\\New");
  EXPECT_THAT(prompts.questions,
              ElementsAre(Question("New"), Question("New"), Question("C:\\Music\\New"),
                          Question("C:\\Music\\New")));
  EXPECT_THAT(queries.created, ElementsAre("New\\", "C:\\Music\\New\\"));
  EXPECT_THAT(prompts.messages, IsEmpty());
}

TEST_F(WindowsFolderChecksTest, RootsAndDrivesAreDecidedWithoutQuery) {
  EXPECT_EQ(Open(""), "");
  EXPECT_EQ(Enter(""), "");
  EXPECT_EQ(Open("\\"), "\\");
  EXPECT_EQ(Enter("\\"), "\\");
  EXPECT_EQ(Open("C:"), "C:");
  EXPECT_EQ(Open("C:\\"), "C:\\");
  EXPECT_EQ(Enter("C:"), "C:");
  EXPECT_EQ(Enter("Q:\\"), "Q:\\");  // whatever the drive type
  EXPECT_EQ(Open("Q:"), std::nullopt);
  EXPECT_EQ(Open("Q:\\"), std::nullopt);
  EXPECT_THAT(prompts.messages,
              ElementsAre("Q:\nThe drive is invalid.", "Q:\\\nThe drive is invalid."));
  EXPECT_THAT(queries.queried, IsEmpty());
  EXPECT_THAT(prompts.questions, IsEmpty());
}

TEST_F(WindowsFolderChecksTest, NavigabilityWhileTyping) {
  EXPECT_EQ(Navigable("\\"), Navigability::kDisplay);
  EXPECT_EQ(Navigable("C:\\"), Navigability::kDisplay);
  EXPECT_EQ(Navigable("Q:\\"), Navigability::kSettled);
  EXPECT_EQ(Navigable("C:\\Nothing\\"), Navigability::kSettled);
  EXPECT_EQ(Navigable("C:\\Song.mp3\\"), Navigability::kSettled);
  EXPECT_EQ(Navigable("C:\\Mu"), Navigability::kPartial);
  EXPECT_EQ(Navigable("C:\\Music/"), Navigability::kPartial);  // only '\' separates
  EXPECT_EQ(Navigable(""), Navigability::kPartial);
  EXPECT_THAT(prompts.messages, IsEmpty());
  EXPECT_THAT(prompts.questions, IsEmpty());
}

}  // namespace
}  // namespace sorvina::ui
