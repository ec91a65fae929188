// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/path_style.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::text {
namespace {

using ::testing::ElementsAre;

TEST(PathStyleTest, SplitsWindowsPathsAtBothSlashes) {
  EXPECT_THAT(SplitComponents("C:\\Music/Rock\\a.mp3", PathStyle::kWindows),
              ElementsAre("C:", "Music", "Rock", "a.mp3"));
  EXPECT_THAT(SplitComponents("\\music\\a.mp3", PathStyle::kWindows),
              ElementsAre("\\", "music", "a.mp3"));
}

TEST(PathStyleTest, SplitsPosixPathsOnlyAtSlashes) {
  EXPECT_THAT(SplitComponents("/home/ann/a\\b.mp3", PathStyle::kPosix),
              ElementsAre("/", "home", "ann", "a\\b.mp3"));
  EXPECT_THAT(SplitComponents("rel//x/", PathStyle::kPosix), ElementsAre("rel", "", "x"));
  EXPECT_THAT(SplitComponents("", PathStyle::kPosix), ElementsAre());
}

TEST(PathStyleTest, ComparesNamesPerStyle) {
  EXPECT_TRUE(NamesEqual("C:\\MUSIC\\A.MP3", "c:\\music\\a.mp3", PathStyle::kWindows));
  EXPECT_FALSE(NamesEqual("Music", "music", PathStyle::kPosix));
  EXPECT_FALSE(NamesEqual("Music", "Musi", PathStyle::kWindows));
  // Only ASCII letters fold: other bytes of a multibyte name compare exactly.
  EXPECT_FALSE(NamesEqual("\xC3\x84", "\xC3\xA4", PathStyle::kWindows));
  EXPECT_EQ(FoldName("Rock\xC3\x84", PathStyle::kWindows), "rock\xC3\x84");
}

TEST(PathStyleTest, RecognisesEndingsAndSeparators) {
  EXPECT_TRUE(EndsWithNoCase("Song.MP3", ".mp3"));
  EXPECT_FALSE(EndsWithNoCase("song.mp3.bak", ".mp3"));
  EXPECT_FALSE(EndsWithNoCase("mp3", ".mp3"));
  EXPECT_TRUE(EndsWithSeparator("C:\\Music/", PathStyle::kWindows));
  EXPECT_FALSE(EndsWithSeparator("/music\\", PathStyle::kPosix));
  EXPECT_FALSE(EndsWithSeparator("", PathStyle::kPosix));

  std::string playlistLine = "..\\Music\\a.mp3";
  ToSeparators(playlistLine, PathStyle::kPosix);
  EXPECT_EQ(playlistLine, "../Music/a.mp3");
}

}  // namespace
}  // namespace sorvina::text
