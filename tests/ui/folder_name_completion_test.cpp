// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_text/folder_name_completion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "ui/folder_text/file_system_folder_queries.h"

namespace sorvina::ui {
namespace {

using text::PathStyle;

// Answers the folder-name search from a fixed table of texts.
class FakeFolderNames : public FolderQueries {
 public:
  std::map<std::string, std::vector<std::string>> names;

  PathAttributes AttributesOf(const std::string&) override { return PathAttributes::kMissing; }
  platform::DriveType DriveTypeOf(const std::string&) override {
    return platform::DriveType::kFixed;
  }
  bool CreateFolderPath(const std::string&) override { return false; }
  std::vector<std::string> FolderNamesStartingWith(const std::string& text) override {
    const auto it = names.find(text);
    return it == names.end() ? std::vector<std::string>{} : it->second;
  }
};

TEST(FolderNameCompletionTest, WindowsStyleFollowsTheTypedCase) {
  FakeFolderNames queries;
  queries.names = {{"ro", {"ROCK"}},        {"RO", {"ROCK"}},     {"Ro", {"ROCK"}},
                   {"C:\\Mu", {"MUSIC"}},   {"C:/Mu", {"MUSIC"}}, {"C:mu", {"Music"}},
                   {"C:\\Music", {"Music"}}};
  auto complete = [&](const char* text) {
    return CompleteFolderName(text, PathStyle::kWindows, queries);
  };
  EXPECT_EQ(complete("ro"), "rock");
  EXPECT_EQ(complete("RO"), "ROCK");
  EXPECT_EQ(complete("Ro"), "Rock");
  EXPECT_EQ(complete("C:\\Mu"), "C:\\Music");
  EXPECT_EQ(complete("C:/Mu"), "C:/Music");
  EXPECT_EQ(complete("C:mu"), "C:music");
  EXPECT_EQ(complete("C:\\Music"), std::nullopt);  // nothing to add
}

TEST(FolderNameCompletionTest, CompletesOnlyASingleMatch) {
  FakeFolderNames queries;
  queries.names = {{"ro", {"Rock", "Roll"}}};
  EXPECT_EQ(CompleteFolderName("ro", PathStyle::kWindows, queries), std::nullopt);
  EXPECT_EQ(CompleteFolderName("ja", PathStyle::kWindows, queries), std::nullopt);
}

TEST(FolderNameCompletionTest, PosixStyleTakesTheFoldersOwnSpelling) {
  test::TempDir dir;
  dir.MakeFolder("ROCK");
  dir.WriteFile("roll.txt");
  dir.MakeFolder("elsewhere/Jazz");
  std::filesystem::create_directory_symlink(dir / "elsewhere/Jazz", dir / "jazz-link");
  dir.WriteFile("single.mp3");
  FileSystemFolderQueries queries(dir.path());
  auto complete = [&](const std::string& text) {
    return CompleteFolderName(text, PathStyle::kPosix, queries);
  };
  EXPECT_EQ(complete("ro"), "ROCK");  // the file roll.txt does not count
  EXPECT_EQ(complete(dir / "Ro"), dir / "ROCK");
  EXPECT_EQ(complete("JA"), "jazz-link");
  EXPECT_EQ(complete("elsewhere/j"), "elsewhere/Jazz");
  EXPECT_EQ(complete("si"), std::nullopt);
  EXPECT_EQ(complete("rock"), std::nullopt);
}

}  // namespace
}  // namespace sorvina::ui
