// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/folder_weights.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::engine {
namespace {

using text::PathStyle;

FolderWeight Parsed(const std::string& entryText, PathStyle style) {
  return ParseFolderWeightEntry(entryText, style).value_or(FolderWeight{"<none>", -1.0});
}

std::vector<FolderWeight> ParsedAll(std::initializer_list<const char*> texts, PathStyle style) {
  std::vector<FolderWeight> weights;
  for (const char* text : texts)
    weights.push_back(Parsed(text, style));
  return weights;
}

TEST(ParseFolderWeightEntryTest, SplitsWeightAndFolderWithOneTrailingSeparator) {
  struct Case {
    const char* text;
    PathStyle style;
    double weight;
    const char* folder;
  };
  const Case cases[] = {
      {"2.50 C:\\Music\\Rock\\", PathStyle::kWindows, 2.5, "C:\\Music\\Rock\\"},
      {"1.00 C:\\Music", PathStyle::kWindows, 1.0, "C:\\Music\\"},
      {"1.00 C:\\Music/", PathStyle::kWindows, 1.0, "C:\\Music\\"},
      {"1.00 C:\\Music\\/", PathStyle::kWindows, 1.0, "C:\\Music\\"},
      {"0.00 C:\\", PathStyle::kWindows, 0.0, "C:\\"},
      {"2.00 /music/rock/", PathStyle::kPosix, 2.0, "/music/rock/"},
      {"0.50 /music", PathStyle::kPosix, 0.5, "/music/"},
      {"0.50 /music/\\", PathStyle::kPosix, 0.5, "/music/"},
      {"1.50 /my music/", PathStyle::kPosix, 1.5, "/my music/"},  // the first blank splits
      {"abc /music/", PathStyle::kPosix, 0.0, "/music/"},
  };
  for (const Case& c : cases) {
    const FolderWeight entry = Parsed(c.text, c.style);
    EXPECT_EQ(entry.weight, c.weight) << c.text;
    EXPECT_EQ(entry.folder, c.folder) << c.text;
  }
}

TEST(ParseFolderWeightEntryTest, AnEntryWithoutABlankNamesNoFolder) {
  EXPECT_FALSE(ParseFolderWeightEntry("C:\\Music", PathStyle::kWindows));
}

TEST(FolderWeightEntryTextTest, WeightsRoundToTwoDecimalsAndReadBack) {
  EXPECT_EQ(FormatFolderWeightEntry(2.5, "C:\\Music\\Rock\\"), "2.50 C:\\Music\\Rock\\");
  EXPECT_EQ(FormatWeight(0), "0.00");
  EXPECT_EQ(FormatWeight(0.333), "0.33");
  EXPECT_EQ(FormatWeight(2.499), "2.50");
  EXPECT_EQ(FormatWeight(1e95).size(), 99u);  // the longest weight an entry holds
  EXPECT_EQ(Parsed(FormatFolderWeightEntry(2.499, "/m/"), PathStyle::kPosix).weight, 2.5);
}

TEST(FolderWeightEntryTextTest, ChangingTheWeightKeepsEverythingFromTheFirstBlank) {
  EXPECT_EQ(ChangeEntryWeight("2.50 C:\\My Music\\Rock\\", 3), "3.00 C:\\My Music\\Rock\\");
  EXPECT_EQ(ChangeEntryWeight("garbled", 0.5), "0.50");
}

TEST(FolderWeightLookupTest, ScanMatchesOnlyTheExactFolderWithLetterCase) {
  const auto weights = ParsedAll({"3.00 C:\\Music", "2.00 C:\\Music\\Jazz"}, PathStyle::kWindows);
  EXPECT_EQ(FindScanWeight("C:\\Music\\", 1.0, weights), 3.0);
  EXPECT_EQ(FindScanWeight("C:\\Music\\Jazz\\", 3.0, weights), 2.0);
  // The weight is passed down, not looked up above: a source below a weighted folder
  // starts from 1.0, and another spelling of the folder does not match.
  EXPECT_EQ(FindScanWeight("C:\\Music\\Rock\\", 1.0, weights), 1.0);
  EXPECT_EQ(FindScanWeight("C:\\Music\\Rock\\", 3.0, weights), 3.0);
  EXPECT_EQ(FindScanWeight("c:\\music\\", 1.0, weights), 1.0);
}

TEST(FolderWeightLookupTest, PlaylistEntryWalksUpItsOwnTextIgnoringLetterCase) {
  const PathStyle w = PathStyle::kWindows;
  const auto weights = ParsedAll({"3.00 C:\\Music", "0.00 C:\\Zero", "5.00 C:\\Music\\Jazz",
                                  "7.00 C:\\MUSIC\\JAZZ", "3.00 C:\\Lists"},
                                 w);
  EXPECT_EQ(FindPlaylistEntryWeight("C:\\Music\\Rock\\c.mp3", weights, w), 3.0);
  EXPECT_EQ(FindPlaylistEntryWeight("c:\\music\\d.mp3", weights, w), 3.0);
  EXPECT_EQ(FindPlaylistEntryWeight("C:\\Zero\\b.mp3", weights, w), 0.0);
  // The deepest weighted folder wins; among equal folders, the first entry in the list.
  EXPECT_EQ(FindPlaylistEntryWeight("C:\\Music\\Jazz\\Live\\e.mp3", weights, w), 5.0);
  // A line relative to the playlist is compared as written, so the playlist's folder
  // C:\Lists does not weigh "music\a.mp3".
  EXPECT_EQ(FindPlaylistEntryWeight("music\\a.mp3", weights, w), 1.0);
  EXPECT_EQ(FindPlaylistEntryWeight("a.mp3", weights, w), 1.0);
  EXPECT_EQ(FindPlaylistEntryWeight("\\Music\\a.mp3", weights, w), 1.0);
}

TEST(FolderWeightLookupTest, PosixPlaylistEntriesCompareExactlyUpToTheRoot) {
  const PathStyle p = PathStyle::kPosix;
  const auto weights = ParsedAll({"4.00 /", "2.00 /music", "6.00 /Music/Rock"}, p);
  EXPECT_EQ(FindPlaylistEntryWeight("/music/rock/a.mp3", weights, p), 2.0);
  EXPECT_EQ(FindPlaylistEntryWeight("/Music/Rock/a.mp3", weights, p), 6.0);
  EXPECT_EQ(FindPlaylistEntryWeight("/other/a.mp3", weights, p), 4.0);
}

}  // namespace
}  // namespace sorvina::engine
