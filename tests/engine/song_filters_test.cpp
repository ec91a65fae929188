// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/song_filters.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/draw/recording_groups.h"
#include "engine/scan/path_pattern.h"

namespace sorvina::engine {
namespace {

TEST(PathPatternTest, MatchesWithinNamesAndAcrossFoldersIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* path;
    bool matches;
  };
  const Case cases[] = {
      {"Christmas/**", "Christmas/a.mp3", true},
      {"Christmas/**", "christmas/2019/b.MP3", true},
      {"Christmas/**", "Pop/Christmas/a.mp3", false},
      {"**/Christmas/**", "Pop/Christmas/a.mp3", true},
      {"**/Live/*", "Live/a.mp3", true},
      {"*/Live/*", "Band/LIVE/a.mp3", true},
      {"*/Live/*", "Band/Live/Disc 1/a.mp3", false},
      {"*/Live/*", "Live/a.mp3", false},
      {"Band*/a.mp3", "Band/x/a.mp3", false},
      // Without a '/', each name in the path is matched on its own.
      {"*.m4b", "Books/Long/Part 1.M4B", true},
      {"*.m4b", "Books/part1.m4b.mp3", false},
      {"Christmas", "Pop/Christmas/a.mp3", true},
      {"Christmas", "Pop/Christmas Songs/a.mp3", false},
      {"a?c.mp3", "abc.mp3", true},
      {"a?c.mp3",
       "a\xC3\xA4"
       "c.mp3",
       true},
      {"a?c.mp3", "ac.mp3", false},
      {"Pop/a?c.mp3", "Pop/a/c.mp3", false},
      {"**", "any/where/at.all", true},
      {"***.mp3", "deep/down/x.mp3", true},
  };
  for (const Case& c : cases) {
    const std::optional<PathPattern> pattern = PathPattern::Parse(c.pattern);
    ASSERT_TRUE(pattern.has_value()) << c.pattern;
    EXPECT_EQ(pattern->Matches(c.path), c.matches) << c.pattern << " against " << c.path;
  }
  std::string why;
  EXPECT_FALSE(PathPattern::Parse("", &why));
  EXPECT_FALSE(PathPattern::Parse(std::string(PathPattern::kMaxPatternBytes + 1, 'a'), &why));
  EXPECT_NE(why.find("no longer than"), std::string::npos);
}

RecordingFacts Song(std::string artist, std::string title, int seconds, int bitrate = 192,
                    bool lossless = false) {
  return {"", "", std::move(artist), std::move(title), seconds, true, lossless, bitrate};
}
RecordingFacts WithIds(RecordingFacts facts, std::string recordingId, std::string isrc) {
  facts.recordingId = std::move(recordingId);
  facts.isrc = std::move(isrc);
  return facts;
}
RecordingFacts NotPlayable(RecordingFacts facts) {
  facts.playable = false;
  return facts;
}

TEST(RecordingGroupsTest, GroupsCopiesOfARecordingAndKeepsTheBestOne) {
  const RecordingFacts flac = Song("Band", "Song", 201, 900, true);
  const RecordingFacts mp3 = Song("Band", "Song", 200, 320);
  struct Case {
    const char* what;
    std::vector<RecordingFacts> files;
    std::vector<std::size_t> chosen;
  };
  const Case cases[] = {
      {"FLAC and MP3 of one album: the lossless one", {mp3, flac}, {1, 1}},
      {"a player that plays no FLAC: the MP3", {mp3, NotPlayable(flac)}, {0, 0}},
      {"album and compilation by MusicBrainz id, the higher bitrate",
       {WithIds(Song("Band", "Song", 200, 192), "mb-1", ""),
        WithIds(Song("Various", "Song - 2011 Remaster", 207, 256), "mb-1", "")},
       {1, 1}},
      {"by ISRC, whatever the names",
       {WithIds(mp3, "", "GB1"), WithIds(Song("X", "Y", 90), "", "GB1")},
       {0, 0}},
      {"by names without case, punctuation, feat. parts and remaster notes",
       {Song("Band feat. Guest", "Song (feat. Guest)", 200), Song("BAND", "song!", 202, 256),
        Song("Band", "Song [Remastered 2009]", 201)},
       {1, 1, 1}},
      {"the same title 10 s longer is another song", {mp3, Song("Band", "Song", 210)}, {0, 1}},
      {"different MusicBrainz ids stay apart whatever the names",
       {WithIds(mp3, "mb-1", ""), WithIds(mp3, "mb-2", "")},
       {0, 1}},
      {"no title: never grouped by names", {Song("Band", "", 200), Song("Band", "", 200)}, {0, 1}},
      {"equal copies: the first found", {mp3, mp3, mp3}, {0, 0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseOnePerRecording(c.files), c.chosen) << c.what;
}

// The pool keeps one copy, with the highest weight of its group, and counts each filter.
TEST(SongFiltersTest, KeepsOneCopyWithTheGroupsWeightAfterTheTagFilters) {
  CandidatePool pool;
  pool.Add("/m/Rock/a.flac", 100, 1.0);
  pool.Add("/m/Rock/a.mp3", 10, 3.0);
  pool.Add("/m/Jazz/b.mp3", 10, 1.0);
  pool.Add("/m/Live/c.mp3", 10, 1.0);
  std::map<std::string, media::DrawTags> tags;
  tags["/m/Rock/a.flac"].genres = {"rock"};
  tags["/m/Rock/a.mp3"].genres = {"Pop", "Rock"};
  tags["/m/Jazz/b.mp3"].genres = {"Jazz"};
  for (auto& [path, one] : tags) {
    one.artist = "Band";
    one.title = "Song";
    one.seconds = 200;
  }
  ExtraOptions options;
  options.excludePatterns = {"live/*"};
  options.genres = {"ROCK"};
  options.skipDuplicates = true;
  const std::vector<std::string> sources = {"/m"};
  SongFilterSources input{sources, [&](const std::vector<std::string>& paths, bool withLength) {
                            EXPECT_TRUE(withLength);
                            std::vector<media::DrawTags> read;
                            for (const std::string& path : paths)
                              read.push_back(tags[path]);
                            return read;
                          }};
  FilteredSongs expected;
  expected.byPattern = 1;
  expected.byGenre = 1;
  expected.duplicates = 1;
  EXPECT_EQ(FilterSongs(pool, options, input), expected);
  ASSERT_EQ(pool.count(), 1u);
  EXPECT_EQ(pool[pool.head()].path, "/m/Rock/a.flac");
  EXPECT_EQ(pool.totalWeight(), 3.0);
}

}  // namespace
}  // namespace sorvina::engine
