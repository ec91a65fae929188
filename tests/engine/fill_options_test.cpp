// SPDX-License-Identifier: GPL-3.0-or-later
// What filling a player adds to the run: where kept folders lead, what a file costs on the
// destination, and the summary line that says what happened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/fill/copy_targets.h"
#include "engine/fill/destination_space.h"
#include "engine/report/summary_line.h"

namespace sorvina::engine {
namespace {

using text::PathStyle;

TEST(KeptFoldersTest, PathsBelowTheSourceAndNeverOutOfTheDestination) {
  struct Case {
    const char* source;
    const char* path;
    const char* relative;
  };
  const Case cases[] = {
      {"/music", "/music/Rock/Album/a.mp3", "Rock/Album/a.mp3"},
      {"/music/", "/music/Rock/a.mp3", "Rock/a.mp3"},
      {"/music/Rock", "/music/Rock/a.mp3", "a.mp3"},
      {"/music/Ro", "/music/Rock/a.mp3", "a.mp3"},  // a name that begins alike is no folder
      {"/lists/party.m3u", "/lists/old/b.mp3", "old/b.mp3"},
      {"/lists/party.M3U8", "/lists/b.mp3", "b.mp3"},
      {"/lists/party.m3u", "/music/Jazz/c.mp3", "c.mp3"},      // not below the list
      {"/lists/party.m3u", "/lists/../music/c.mp3", "c.mp3"},  // ".." would lead out
      {"/lists/party.m3u", "/lists/./here/c.mp3", "c.mp3"},    // so might "."
      {"/lists/party.m3u", "/lists//twice/c.mp3", "c.mp3"},    // an empty name
      {"party.m3u", "sub/c.mp3", "sub/c.mp3"},                 // a list named alone
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RelativeToSource(c.source, c.path, PathStyle::kPosix), c.relative)
        << c.source << " " << c.path;
  }
  EXPECT_EQ(RelativeToSource("C:\\Music", "C:\\Music\\Rock\\a.mp3", PathStyle::kWindows),
            "Rock\\a.mp3");
}

TEST(KeptFoldersTest, NamesAreCutAtCharactersAndMadeLegalForFatOneByOne) {
  // 300 bytes of two-byte characters: cut to 254 (no half character), the extension kept.
  std::string longStem;
  for (int i = 0; i < 150; ++i)
    longStem += "\xc3\xa9";  // é
  const std::string cut = CutName(longStem + ".mp3", true);
  EXPECT_EQ(cut, longStem.substr(0, 250) + ".mp3");
  EXPECT_LE(cut.size(), kLongestName);
  EXPECT_EQ(CutName(longStem, false), longStem.substr(0, 254));
  EXPECT_EQ(CutName(std::string(300, 'x') + "." + std::string(260, 'y'), true),
            std::string(255, 'x'));  // an extension that leaves no room is no extension
  EXPECT_EQ(CutName("short.mp3", true), "short.mp3");

  EXPECT_EQ(LegalRelativePath("Live: 2?/con/a*b.mp3", true, PathStyle::kPosix),
            "Live_ 2_/con_/a_b.mp3");
  EXPECT_EQ(LegalRelativePath("Live: 2?/con/a*b.mp3", false, PathStyle::kPosix),
            "Live: 2?/con/a*b.mp3");
  EXPECT_EQ(LegalRelativePath("dots.../" + longStem + "/x.mp3", true, PathStyle::kPosix),
            "dots/" + longStem.substr(0, 254) + "/x.mp3");
}

TEST(DestinationSpaceTest, ChargesClustersEntriesAndEachNewFolderOnce) {
  DestinationSpace space(32768, [](const Candidate& c) { return c.path; });
  const std::int64_t entries = DirectoryEntryBytes(5);  // "a.mp3"
  EXPECT_EQ(space.CostOf({"a.mp3", 1, 1.0}), 32768 + entries);
  EXPECT_EQ(space.CostOf({"a.mp3", 32768, 1.0}), 32768 + entries);
  EXPECT_EQ(space.CostOf({"a.mp3", 0, 1.0}), entries);
  const Candidate nested{"Rock/Live/a.mp3", 40000, 1.0};
  const std::int64_t folders = 2 * 32768 + DirectoryEntryBytes(4) + DirectoryEntryBytes(4);
  EXPECT_EQ(space.CostOf(nested), 65536 + folders + entries);
  space.Chosen(nested);
  EXPECT_EQ(space.CostOf({"Rock/Live/b.mp3", 40000, 1.0}), 65536 + entries);
  EXPECT_EQ(space.CostOf({"Rock/b.mp3", 40000, 1.0}), 65536 + entries);
  EXPECT_EQ(space.CostOf({"Jazz/b.mp3", 40000, 1.0}),
            65536 + 32768 + DirectoryEntryBytes(4) + entries);
  EXPECT_LE(space.MinimumFor(40000), space.CostOf({"b.mp3", 40000, 1.0}));

  // Lines in listings written after the copies are charged as the clusters they fill.
  DestinationSpace listed(32768, [](const Candidate& c) { return c.path; });
  listed.ChargeListings([](const Candidate&, const std::string&) { return 10000; }, 30000);
  const Candidate song{"a.mp3", 1, 1.0};
  EXPECT_EQ(listed.CostOf(song), 32768 + entries + 32768);  // 30,000 + 10,000 passes a cluster
  listed.Chosen(song);
  EXPECT_EQ(listed.CostOf(song), 32768 + entries);  // 50,000 stays within the second
  EXPECT_LE(listed.MinimumFor(1), listed.CostOf(song));

  // The budget keeps four clusters back, at least 64 KiB, and never goes below zero.
  EXPECT_EQ(FreeSpaceBudget({1 << 30, 10 << 20, 32768}), (10 << 20) - 4 * 32768);
  EXPECT_EQ(FreeSpaceBudget({1 << 30, 10 << 20, 4096}), (10 << 20) - 65536);
  EXPECT_EQ(FreeSpaceBudget({1 << 30, 1000, 4096}), 0);
}

TEST(SummaryLineTest, SaysWhatTheRunDid) {
  const RunSummary copied{.copy = true,
                          .destination = "/media/player/MUSIC",
                          .chosenFiles = 217,
                          .doneFiles = 214,
                          .doneBytes = 2072321720,  // 1.93 GB
                          .skippedFiles = 3};
  const RunSummary played{.destination = "/home/alex/evening.m3u",
                          .chosenFiles = 57,
                          .doneFiles = 57,
                          .doneBytes = 400 << 20,
                          .doneSeconds = 3 * 3600 + 2 * 60 + 9};
  const RunSummary one{.copy = true,
                       .dryRun = true,
                       .destination = "/p",
                       .chosenFiles = 1,
                       .doneFiles = 1,
                       .doneBytes = 512,
                       .doneSeconds = 42,
                       .failedFiles = 2};
  const auto nothing = [](NothingFits why) { return SummaryLine({.nothingFits = why}); };

  EXPECT_EQ(SummaryLine(copied), "Copied 214 files (1.93 GB) to /media/player/MUSIC, 3 skipped");
  EXPECT_EQ(SummaryLine(played),
            "Wrote a playlist of 57 files (3 h 02 min) to /home/alex/evening.m3u");
  EXPECT_EQ(SummaryLine({.chosenFiles = 40, .doneFiles = 12, .cancelled = true}),
            "Cancelled after 12 of 40 files");
  EXPECT_EQ(SummaryLine(one), "Would copy 1 file (512 bytes, 42 s) to /p, 2 failed");
  EXPECT_EQ(nothing({false, true, 3250586, 1 << 20, false}),
            "Nothing chosen: the smallest file (3.1 MB) is larger than 1 MB");
  EXPECT_EQ(nothing({true, false, 250, 180, false}),
            "Nothing chosen: the first file drawn (4 min 10 s) is longer than 3 min");
  EXPECT_EQ(nothing({false, true, 3250586, 400 << 10, true}),
            "Nothing chosen: the smallest file needs 3.1 MB, more than the free space (0.391 MB)");

  // Replacing the previous fill: what became of its files, also in a dry run.
  RunSummary replaced = copied;
  replaced.replacement = Replacement{true, 38, 5, 2};
  EXPECT_EQ(SummaryLine(replaced),
            "Copied 214 files (1.93 GB) to /media/player/MUSIC, 38 replaced, "
            "5 kept, 2 left in place, 3 skipped");
  replaced.dryRun = true;
  replaced.replacement = Replacement{true, 38, 5, 0};
  EXPECT_EQ(SummaryLine(replaced),
            "Would copy 214 files (1.93 GB) to /media/player/MUSIC, 38 to "
            "replace, 5 to keep, 3 skipped");
  replaced.dryRun = false;
  replaced.replacement = Replacement{};
  EXPECT_EQ(SummaryLine(replaced),
            "Copied 214 files (1.93 GB) to /media/player/MUSIC, no earlier fill to replace, 3 "
            "skipped");
  EXPECT_EQ(SummaryLine({.chosenFiles = 40,
                         .doneFiles = 12,
                         .cancelled = true,
                         .replacement = Replacement{true, 0, 5, 0}}),
            "Cancelled after 12 of 35 files");
}

}  // namespace
}  // namespace sorvina::engine
