// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/tag_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using media::DrawTags;

const DrawTags kFull{"Björk", "Various", "Homogenic",    3,   1,  4, "Jóga", {"Pop", "Electronic"},
                     1997,    "a1b2",    "GBAAA9700001", 305, 256};

TEST(TagCacheTest, KeepsWhatIsStoredAcrossRunsWhileTheFileIsUnchanged) {
  const test::TempDir dir;
  const std::string file = dir / "cache/tags";
  {
    TagCache cache(file);
    cache.Store("/m/a.mp3", 1000, 1'700'000'000'123'456'789, kFull);
    cache.Store("/m/ü b.flac", 0, -5, DrawTags{});
    cache.Store("/m/gone.mp3", 1, 1, kFull);
    ASSERT_TRUE(cache.Save());
  }
  TagCache cache(file);
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(cache.Find("/m/a.mp3", 1000, 1'700'000'000'123'456'789), kFull);
  EXPECT_EQ(cache.Find("/m/ü b.flac", 0, -5), DrawTags{});
  // Another size or time is another file.
  EXPECT_EQ(cache.Find("/m/a.mp3", 1001, 1'700'000'000'123'456'789), std::nullopt);
  EXPECT_EQ(cache.Find("/m/a.mp3", 1000, 1'700'000'000'123'456'788), std::nullopt);
  EXPECT_EQ(cache.Find("/m/A.mp3", 1000, 1'700'000'000'123'456'789), std::nullopt);
  // What this run never looked up is dropped on saving.
  ASSERT_TRUE(cache.Save());
  EXPECT_EQ(TagCache(file).size(), 2u);
  EXPECT_EQ(TagCache(file).Find("/m/gone.mp3", 1, 1), std::nullopt);

  // A file changed since is stored anew: one entry, the new one, once saved. A library's
  // worth of entries comes back whole.
  {
    TagCache changed(file);
    ASSERT_EQ(changed.Find("/m/a.mp3", 1000, 1'700'000'000'123'456'789), kFull);
    changed.Store("/m/a.mp3", 1200, 9, DrawTags{"New", "", "", 0, 0, 2});
    for (int i = 0; i < 3000; ++i)
      changed.Store("/lib/" + std::to_string(i) + ".mp3", i, i, DrawTags{"A", "", "B", i, 0, 0});
    ASSERT_TRUE(changed.Save());
  }
  TagCache reloaded(file);
  EXPECT_EQ(reloaded.size(), 3001u);
  EXPECT_EQ(reloaded.Find("/m/a.mp3", 1200, 9), (DrawTags{"New", "", "", 0, 0, 2}));
  EXPECT_EQ(reloaded.Find("/m/a.mp3", 1000, 1'700'000'000'123'456'789), std::nullopt);
  for (int i = 0; i < 3000; i += 7)
    EXPECT_EQ(reloaded.Find("/lib/" + std::to_string(i) + ".mp3", i, i),
              (DrawTags{"A", "", "B", i, 0, 0}));
}

TEST(TagCacheTest, TakesADamagedFileForAnEmptyCache) {
  TagCacheEntries entries;
  entries["/m/a.mp3"] = CachedTags{1000, 77, kFull};
  entries["/m/b.mp3"] = CachedTags{2000, 88, DrawTags{"A", "", "B", 0, 0, 0}};
  const std::string bytes = EncodeTagCache(entries);
  ASSERT_EQ(DecodeTagCache(bytes), entries);

  for (std::size_t length = 0; length < bytes.size(); ++length)
    EXPECT_EQ(DecodeTagCache(bytes.substr(0, length)), std::nullopt) << "cut at " << length;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string changed = bytes;
    changed[at] = static_cast<char>(changed[at] ^ 0x20);
    EXPECT_EQ(DecodeTagCache(changed), std::nullopt) << "changed at " << at;
  }
  EXPECT_EQ(DecodeTagCache(bytes + '\0'), std::nullopt);
  EXPECT_EQ(DecodeTagCache(std::string(4096, '\xff')), std::nullopt);

  // Through the file: damage leaves an empty cache, which saves over it.
  const test::TempDir dir;
  const std::string file = dir.WriteFile("tags", bytes.substr(0, bytes.size() / 2));
  TagCache cache(file);
  EXPECT_EQ(cache.size(), 0u);
  cache.Store("/m/c.mp3", 3, 3, kFull);
  ASSERT_TRUE(cache.Save());
  EXPECT_EQ(TagCache(file).Find("/m/c.mp3", 3, 3), kFull);
}

TEST(TagCacheTest, FillsEmptyArtistAndAlbumFromTheFolders) {
  struct Case {
    const char* path;
    DrawTags tags;
    const char* artist;
    const char* album;
  };
  const Case cases[] = {
      {"/music/Low/Things We Lost/01.mp3", {}, "Low", "Things We Lost"},
      {"/music/Low//Things We Lost//01.mp3", {}, "Low", "Things We Lost"},
      {"/music/Low/Things We Lost/01.mp3", {"Mimi", "", "", 0, 0, 0}, "Mimi", "Things We Lost"},
      {"/music/Low/Things We Lost/01.mp3", {"", "", "Trust", 0, 0, 0}, "Low", "Trust"},
      {"/Singles/01.mp3", {}, "", "Singles"},
      {"01.mp3", {}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    DrawTags tags = c.tags;
    FillFromFolders(tags, c.path);
    EXPECT_EQ(tags.artist, c.artist);
    EXPECT_EQ(tags.album, c.album);
  }
}

class TagsOfTest : public ::testing::Test {
 protected:
  std::string Song(const std::string& relative, const std::string& artist) {
    const std::string path = dir_.WriteFile(relative, test::SilentFrames(test::FrameFormat{}, 4));
    if (!artist.empty()) test::WriteId3v2Texts(path, "Title", artist, 4);
    return path;
  }
  static void SetTime(const std::string& path, long seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 5}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  test::TempDir dir_;
};

TEST_F(TagsOfTest, GivesTheSameTagsColdAndWarmInTheOrderAsked) {
  std::vector<std::string> paths;
  std::vector<DrawTags> expected;
  for (int i = 0; i < 40; ++i) {
    const std::string artist = i % 5 == 0 ? "" : "Artist " + std::to_string(i);
    paths.push_back(
        Song("Folk/Album " + std::to_string(i % 3) + "/" + std::to_string(i) + ".mp3", artist));
    expected.push_back(DrawTags{artist.empty() ? "Folk" : artist, "",
                                "Album " + std::to_string(i % 3), 0, 0, 0,
                                artist.empty() ? "" : "Title"});
  }
  paths.push_back(dir_.WriteFile("Folk/Broken/x.mp3", "no MPEG audio"));
  expected.push_back(DrawTags{"Folk", "", "Broken", 0, 0, 0});
  paths.push_back(dir_ / "Folk/Gone/y.mp3");
  expected.push_back(DrawTags{"Folk", "", "Gone", 0, 0, 0});

  const std::string file = dir_ / "tags";
  {
    TagCache cold(file);
    EXPECT_EQ(TagsOf(paths, cold, 4), expected);
    ASSERT_TRUE(cold.Save());
  }
  TagCache warm(file);
  // Every file that was there is in the cache, its tags as read, not as filled in.
  EXPECT_EQ(warm.size(), paths.size() - 1);
  EXPECT_EQ(TagsOf(paths, warm, 4), expected);
  EXPECT_EQ(TagsOf(paths, warm, 0), expected);
}

TEST_F(TagsOfTest, ReadsAFileAgainOnceItsSizeOrTimeChanged) {
  const std::string song = Song("A/B/song.mp3", "First");
  SetTime(song, 1000);
  const std::string file = dir_ / "tags";
  TagCache cache(file);
  EXPECT_EQ(TagsOf({song}, cache, 2).at(0).artist, "First");

  // Rewritten to the same size and given back its time, it is taken from the cache.
  struct stat before {};
  ASSERT_EQ(stat(song.c_str(), &before), 0);
  Song("A/B/song.mp3", "Other");
  struct stat after {};
  ASSERT_EQ(stat(song.c_str(), &after), 0);
  ASSERT_EQ(after.st_size, before.st_size);
  SetTime(song, 1000);
  EXPECT_EQ(TagsOf({song}, cache, 2).at(0).artist, "First");

  SetTime(song, 1001);
  EXPECT_EQ(TagsOf({song}, cache, 2).at(0).artist, "Other");
  // At the same time, a byte more.
  Song("A/B/song.mp3", "Third");
  std::ofstream(song, std::ios::app | std::ios::binary).put('\0');
  SetTime(song, 1001);
  EXPECT_EQ(TagsOf({song}, cache, 2).at(0).artist, "Third");
}

}  // namespace
}  // namespace sorvina::engine
