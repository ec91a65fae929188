// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/collection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/settings/folder_weights.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using text::PathStyle;

// The candidates in collection order (the pool itself is walked newest first).
std::vector<Candidate> Collect(const std::vector<std::string>& sources,
                               const std::vector<std::string>& weightTexts = {}) {
  SelectionSettings settings;
  settings.sources = sources;
  for (const std::string& text : weightTexts)
    settings.folderWeights.push_back(ParseFolderWeightEntry(text).value());
  CandidatePool pool;
  CollectCandidates(settings, pool);
  std::vector<Candidate> collected;
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    collected.push_back(ToCandidate(pool[i]));
  }
  std::reverse(collected.begin(), collected.end());
  return collected;
}

std::vector<std::string> Paths(const std::vector<Candidate>& candidates) {
  std::vector<std::string> paths;
  for (const Candidate& candidate : candidates)
    paths.push_back(candidate.path);
  return paths;
}

double WeightOf(const std::vector<Candidate>& candidates, const std::string& path) {
  for (const Candidate& candidate : candidates) {
    if (candidate.path == path) return candidate.weight;
  }
  ADD_FAILURE() << path << " was not collected";
  return -1;
}

TEST(ResolvePlaylistLineTest, ResolvesWindowsLinesAgainstThePlaylist) {
  const PathStyle w = PathStyle::kWindows;
  const auto relative = ResolvePlaylistLine("C:\\Lists\\x.m3u", "music/a.mp3", w);
  ASSERT_TRUE(relative);
  EXPECT_EQ(relative->path, "C:\\Lists\\music\\a.mp3");
  EXPECT_EQ(relative->entryText, "music\\a.mp3");
  EXPECT_EQ(ResolvePlaylistLine("C:\\Lists\\x.m3u", "\\music\\a.mp3", w)->path, "C:\\music\\a.mp3");
  EXPECT_EQ(ResolvePlaylistLine("C:\\Lists\\x.m3u", "D:\\a.mp3", w)->path, "D:\\a.mp3");
  EXPECT_EQ(ResolvePlaylistLine("C:\\Lists\\x.m3u", ".mp3", w)->path, "C:\\Lists\\.mp3");

  EXPECT_FALSE(ResolvePlaylistLine("C:\\Lists\\x.m3u", "music\\a.mp3  ", w));
  EXPECT_FALSE(ResolvePlaylistLine("C:\\Lists\\x.m3u", "", w));
  EXPECT_FALSE(ResolvePlaylistLine("C:\\Lists\\x.m3u", "other.m3u", w));
  EXPECT_FALSE(ResolvePlaylistLine("x.m3u", "a.mp3", w));
}

TEST(ResolvePlaylistLineTest, ResolvesPosixLinesAndWindowsMadeOnes) {
  const PathStyle p = PathStyle::kPosix;
  EXPECT_EQ(ResolvePlaylistLine("/lists/x.m3u", "../Music/a.mp3", p)->path,
            "/lists/../Music/a.mp3");
  const auto windowsMade = ResolvePlaylistLine("/lists/x.m3u", "..\\Music\\A.MP3", p);
  EXPECT_EQ(windowsMade->path, "/lists/../Music/A.MP3");
  EXPECT_EQ(windowsMade->entryText, "../Music/A.MP3");
  EXPECT_EQ(ResolvePlaylistLine("/lists/x.m3u", "/abs/b.mp3", p)->path, "/abs/b.mp3");
  // No drive letters on POSIX: such a line is an ordinary relative name that will not exist.
  EXPECT_EQ(ResolvePlaylistLine("/lists/x.m3u", "D:\\a.mp3", p)->path, "/lists/D:/a.mp3");
  EXPECT_EQ(ResolvePlaylistLine("x.m3u", "a.mp3", p)->path, "a.mp3");
}

TEST(ScanFolderTest, CollectsMp3FilesByNameAndSkipsHiddenFolders) {
  test::TempDir dir;
  const std::string root = dir.MakeFolder("music");
  dir.WriteFile("music/Song.MP3", "abc");
  dir.WriteFile("music/.dot.mp3", "abcd");
  dir.WriteFile("music/.mp3");
  dir.WriteFile("music/song.mp3.bak");
  dir.WriteFile("music/song.mp2");
  dir.WriteFile("music/.hidden/a.mp3");
  dir.WriteFile("music/.hidden/deeper/b.mp3");
  dir.WriteFile("music/album.mp3/inner.mp3", "12");  // a folder named like a file
  ASSERT_EQ(mkfifo((root + "/pipe.mp3").c_str(), 0600), 0);
  fs::create_symlink(root + "/gone.mp3", root + "/dangling.mp3");

  const auto collected = Collect({root});
  EXPECT_THAT(Paths(collected), UnorderedElementsAre(root + "/Song.MP3", root + "/.dot.mp3",
                                                     root + "/album.mp3/inner.mp3"));
  for (const Candidate& candidate : collected) {
    EXPECT_EQ(candidate.sizeBytes, static_cast<std::int64_t>(fs::file_size(candidate.path)));
    EXPECT_EQ(candidate.weight, 1.0);
  }
}

TEST(ScanFolderTest, CollectsTheChosenTypesByTheirEndingsAndPlaylistEntriesAlike) {
  test::TempDir dir;
  const std::string root = dir.MakeFolder("music");
  for (const char* name :
       {"a.mp3", "b.FLAC", "c.ogg", "d.oga", "e.opus", "f.m4a", "g.M4B", "h.wma", "i.wav", "j.Aiff",
        "k.aif", "l.aifc", ".flac", "m.flac.bak", "notes.txt", "n.mp4"}) {
    dir.WriteFile(std::string("music/") + name, "x");
  }
  const std::string list = dir.WriteFile("list.m3u", "music/a.mp3\nmusic/b.FLAC\nmusic/.flac\n");
  const auto names = [&](std::vector<std::string> types) {
    SelectionSettings settings;
    settings.sources = {root, list};
    settings.options.fileTypes = std::move(types);
    CandidatePool pool;
    CollectCandidates(settings, pool);
    std::vector<std::string> collected;
    for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
      collected.emplace_back(pool[i].path.substr(pool[i].path.rfind('/') + 1));
    std::sort(collected.begin(), collected.end());
    return collected;
  };
  EXPECT_THAT(names({"mp3"}), ElementsAre("a.mp3"));
  // A name no longer than its ending is collected from a playlist only, as for ".mp3".
  EXPECT_THAT(names({"flac", "aiff", "speex"}),
              ElementsAre(".flac", "b.FLAC", "j.Aiff", "k.aif", "l.aifc"));
  EXPECT_THAT(names({"speex"}), ElementsAre("a.mp3"));  // none known: MP3 alone
  EXPECT_THAT(names({"mp3", "flac", "ogg", "opus", "m4a", "wma", "wav", "aiff"}),
              ElementsAre(".flac", "a.mp3", "b.FLAC", "c.ogg", "d.oga", "e.opus", "f.m4a", "g.M4B",
                          "h.wma", "i.wav", "j.Aiff", "k.aif", "l.aifc"));
}

// The order a depth-first scan must produce: each folder's entries in listing order, a
// subfolder's files where the subfolder stands in its parent's listing.
void ExpectedScanOrder(const fs::path& folder, std::vector<std::string>& order) {
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_directory()) {
      ExpectedScanOrder(entry.path(), order);
    } else if (entry.path().extension() == ".mp3") {
      order.push_back(entry.path().string());
    }
  }
}

TEST(ScanFolderTest, GoesDepthFirstInListingOrder) {
  test::TempDir dir;
  for (const char* name : {"a", "b", "c", "d"}) {
    dir.WriteFile(std::string("lib/") + name + ".mp3");
    dir.WriteFile(std::string("lib/") + name + "/x.mp3");
    dir.WriteFile(std::string("lib/") + name + "/" + name + "/y.mp3");
    dir.WriteFile(std::string("lib/") + name + "/z.mp3");
  }
  std::vector<std::string> expected;
  ExpectedScanOrder(dir / "lib", expected);
  ASSERT_EQ(expected.size(), 16u);
  EXPECT_EQ(Paths(Collect({dir / "lib"})), expected);
  // A trailing separator on the source changes nothing but the spelling.
  EXPECT_EQ(Paths(Collect({dir / "lib/"})), expected);
}

TEST(ScanFolderTest, KeepsOrderAndWeightsInTreesDeeperThanTheFoldersHeldOpen) {
  // Two links into chains 40 folders deep: coming back from the first, the scan must find
  // its way to the folder that holds the second although it let that folder go.
  test::TempDir dir;
  dir.WriteFile("music/deep/d.mp3");
  dir.WriteFile("music/top.mp3");
  for (const char* chain : {"one", "two"}) {
    std::string path = std::string("chains/") + chain + "-chain";
    for (int level = 1; level <= 40; ++level) {
      path += "/c";
      if (level % 4 == 0) dir.WriteFile(path + "/f.mp3");
    }
    fs::create_symlink(dir / path.substr(0, path.find("/c")), dir / "music/deep/" + chain);
  }
  const std::string music = dir / "music";
  std::string weighted = music + "/deep/two";
  for (int level = 1; level <= 35; ++level)
    weighted += "/c";

  std::vector<std::string> expected;
  ExpectedScanOrder(music, expected);
  ASSERT_EQ(expected.size(), 22u);
  const auto collected = Collect({music}, {"2.00 " + weighted + "/"});
  EXPECT_EQ(Paths(collected), expected);
  const std::string above = weighted.substr(0, weighted.size() - 6);  // three levels up
  EXPECT_EQ(WeightOf(collected, above + "/f.mp3"), 1.0);
  EXPECT_EQ(WeightOf(collected, weighted + "/c/f.mp3"), 2.0);
  EXPECT_EQ(WeightOf(collected, weighted + "/c/c/c/c/c/f.mp3"), 2.0);
}

TEST(ScanFolderTest, AppliesFolderWeightsDownwardsOnly) {
  test::TempDir dir;
  dir.WriteFile("music/top.mp3");
  dir.WriteFile("music/rock/r.mp3");
  dir.WriteFile("music/jazz/j.mp3");
  dir.WriteFile("music/jazz/live/l.mp3");
  const std::string music = dir / "music";

  // Weight 0 keeps a folder's files out, but a deeper folder may weigh in again.
  const auto zero = Collect({music}, {"0.00 " + music, "2.00 " + music + "/jazz/"});
  EXPECT_THAT(Paths(zero), UnorderedElementsAre(music + "/jazz/j.mp3", music + "/jazz/live/l.mp3"));
  EXPECT_EQ(WeightOf(zero, music + "/jazz/live/l.mp3"), 2.0);

  // A weight above the source does not reach it.
  const auto below = Collect({music + "/rock"}, {"3.00 " + music});
  EXPECT_EQ(WeightOf(below, music + "/rock/r.mp3"), 1.0);

  // Negative weights keep files out like 0.
  EXPECT_THAT(Collect({music}, {"-1.00 " + music}), IsEmpty());
}

TEST(CollectCandidatesTest, TheFirstSourceToReachAFileKeepsItsSizeAndWeight) {
  test::TempDir dir;
  const std::string song = dir.WriteFile("music/rock/a.mp3", "12345");
  const std::string music = dir / "music";
  const std::string list = dir.WriteFile("lists/x.m3u", song + "\n" + song + "\n");

  const auto collected = Collect({music + "/rock", music, list}, {"3.00 " + music});
  ASSERT_THAT(Paths(collected), ElementsAre(song));
  EXPECT_EQ(collected[0].weight, 1.0);
  EXPECT_EQ(collected[0].sizeBytes, 5);

  const auto fromList = Collect({list, music}, {"3.00 " + music});
  ASSERT_THAT(Paths(fromList), ElementsAre(song));
  EXPECT_EQ(fromList[0].weight, 3.0);  // the playlist entry's lookup walks up
}

TEST(CollectCandidatesTest, AFileIsOneCandidateWhicheverWayItIsReachedFirst) {
  test::TempDir dir;
  const std::string song = dir.WriteFile("music/rock/live/a.mp3", "12345");
  const std::string other = dir.WriteFile("music/rock/b.mp3");
  const std::string list = dir.WriteFile("x.m3u", song + "\n");
  const std::string music = dir / "music";

  // Listed, then scanned from above it and from within, a source spelled with a separator
  // at its end.
  EXPECT_THAT(Paths(Collect({list, music + "/", music + "/rock"})), ElementsAre(song, other));
  // Scanned from within, then from above, then listed.
  EXPECT_THAT(Paths(Collect({music + "/rock/live/", music, list})),
              UnorderedElementsAre(song, other));
}

TEST(ReadPlaylistTest, ReadsCrLfLfAndWindowsMadePlaylists) {
  test::TempDir dir;
  const std::string a = dir.WriteFile("music/a.mp3", "a");
  const std::string b = dir.WriteFile("music/b.mp3", "bb");
  const std::string c = dir.WriteFile("music/sub/c.mp3", "ccc");
  dir.MakeFolder("music/folder.mp3");
  const std::string crlf = dir.WriteFile(
      "lists/crlf.m3u", "#EXTM3U\r\n#EXTINF:12,Artist - Title\r\n" + a + "\r\n\r\n" + b + "\r\n");
  const std::string lf = dir.WriteFile("lists/lf.m3u", "../music/b.mp3\n../music/missing.mp3\n");
  const std::string windowsMade =
      dir.WriteFile("lists/win.m3u8",
                    "\xEF\xBB\xBF..\\music\\sub\\c.mp3\r\n..\\music\\folder.mp3\r\nD:\\x.mp3\r\n");

  EXPECT_THAT(Paths(Collect({crlf})), ElementsAre(a, b));
  EXPECT_THAT(Paths(Collect({lf})), ElementsAre(dir / "lists/../music/b.mp3"));
  const auto fromWindows = Collect({windowsMade});
  ASSERT_THAT(Paths(fromWindows), ElementsAre(dir / "lists/../music/sub/c.mp3"));
  EXPECT_EQ(fromWindows[0].sizeBytes, 3);
}

TEST(ReadPlaylistTest, CollectsEntriesWhateverTheirWeight) {
  test::TempDir dir;
  const std::string song = dir.WriteFile("music/b.mp3");
  const std::string list = dir.WriteFile("x.m3u", song + "\n");
  const auto collected = Collect({list}, {"0.00 " + dir / "music"});
  ASSERT_THAT(Paths(collected), ElementsAre(song));
  EXPECT_EQ(collected[0].weight, 0.0);
}

TEST(ReadPlaylistTest, SurvivesJunkAndMissingPlaylists) {
  test::TempDir dir;
  const std::string song = dir.WriteFile("a.mp3");
  std::string junk;
  for (int i = 0; i < 100'000; ++i)
    junk.push_back(static_cast<char>((i * 7919) % 256));
  const std::string junkList = dir.WriteFile("junk.m3u", junk + "\n" + song + "\n");
  const std::string nulLine = dir.WriteFile("nul.m3u", song + std::string("\0.mp3\n", 6));
  EXPECT_THAT(Paths(Collect({junkList, nulLine, dir / "missing.m3u", dir.path() + "/"})),
              ElementsAre(song));
}

TEST(ScanFolderTest, EndsLinkCyclesAndStillFollowsOtherLinks) {
  test::TempDir dir;
  dir.WriteFile("music/a.mp3");
  dir.WriteFile("other/b.mp3");
  fs::create_symlink(dir / "music", dir / "music/loop");
  fs::create_symlink(dir / "other", dir / "music/linked");
  EXPECT_THAT(Paths(Collect({dir / "music"})),
              UnorderedElementsAre(dir / "music/a.mp3", dir / "music/linked/b.mp3"));
}

TEST(ScanFolderTest, TakesLinksForWhatTheyLeadTo) {
  test::TempDir dir;
  dir.WriteFile("target/song.mp3", "12345");
  dir.WriteFile("target/inner/i.mp3", "1");
  const std::string own = dir.WriteFile("music/own.mp3");
  const std::string music = dir / "music";
  fs::create_symlink(dir / "target/song.mp3", music + "/file.mp3");
  fs::create_symlink(dir / "target/song.mp3", music + "/.hidden.mp3");
  fs::create_symlink(dir / "target/song.mp3", music + "/not-named-mp3");
  fs::create_symlink(dir / "target/inner", music + "/folder.mp3");
  fs::create_symlink(dir / "target/inner", music + "/.hidden-folder");

  const auto collected = Collect({music});
  EXPECT_THAT(Paths(collected),
              UnorderedElementsAre(own, music + "/file.mp3", music + "/.hidden.mp3",
                                   music + "/folder.mp3/i.mp3"));
  for (const Candidate& candidate : collected) {
    if (candidate.path == music + "/file.mp3") {
      EXPECT_EQ(candidate.sizeBytes, 5);
    }
  }
  // A folder whose files are kept out still leads through its links to folders.
  const auto zero = Collect({music}, {"0.00 " + music, "2.00 " + music + "/folder.mp3/"});
  ASSERT_THAT(Paths(zero), ElementsAre(music + "/folder.mp3/i.mp3"));
  EXPECT_EQ(zero[0].weight, 2.0);
}

TEST(ScanFolderTest, SkipsAnUnreadableFolderAndScansItsSiblings) {
  test::TempDir dir;
  dir.WriteFile("music/a/1.mp3");
  dir.WriteFile("music/locked/2.mp3");
  dir.WriteFile("music/z/3.mp3");
  ASSERT_EQ(chmod((dir / "music/locked").c_str(), 0), 0);
  const std::string music = dir / "music";
  const std::string collected = test::RunUnprivileged([&] {
    std::string names;
    for (const Candidate& candidate : Collect({music}))
      names += candidate.path + "\n";
    return names;
  });
  EXPECT_NE(collected.find(music + "/a/1.mp3\n"), std::string::npos) << collected;
  EXPECT_NE(collected.find(music + "/z/3.mp3\n"), std::string::npos) << collected;
  EXPECT_EQ(collected.find("2.mp3"), std::string::npos) << collected;
}

TEST(ScanFolderTest, KeepsTheSizeOfFilesOverFourGigabytes) {
  test::TempDir dir;
  const std::string big = dir.WriteFile("music/big.mp3");
  constexpr std::int64_t kSize = (4LL << 30) + 17;
  ASSERT_EQ(truncate(big.c_str(), kSize), 0);
  const auto collected = Collect({dir / "music"});
  ASSERT_EQ(collected.size(), 1u);
  EXPECT_EQ(collected[0].sizeBytes, kSize);
}

TEST(ScanFolderTest, KeepsNamesThatAreNotUtf8AsTheirBytes) {
  test::TempDir dir;
  const std::string latin1 = dir.WriteFile("music/caf\xE9 \xFF.mp3", "x");
  const std::string list = dir.WriteFile("x.m3u", latin1 + "\n");
  EXPECT_THAT(Paths(Collect({dir / "music"})), ElementsAre(latin1));
  EXPECT_THAT(Paths(Collect({list})), ElementsAre(latin1));
}

TEST(ScanFolderTest, SkipsMissingSources) {
  test::TempDir dir;
  EXPECT_THAT(Collect({dir / "missing", dir.WriteFile("file.mp3"), ""}), IsEmpty());
}

}  // namespace
}  // namespace sorvina::engine
