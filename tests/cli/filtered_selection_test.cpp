// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/scan/tag_cache.h"
#include "tests/cli/cli_run.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::cli {
namespace {

// An ID3v2.4 tag of UTF-8 text frames; a value may hold several, separated by '\0'.
std::string Id3v24(const std::vector<std::pair<std::string, std::string>>& frames) {
  std::string body;
  for (const auto& [id, text] : frames)
    body += id + test::SynchsafeBytes(static_cast<std::uint32_t>(text.size() + 1)) +
            std::string(2, '\0') + '\x03' + text;
  return std::string("ID3\x04\0\0", 6) +
         test::SynchsafeBytes(static_cast<std::uint32_t>(body.size())) + body;
}

// MPEG frames of silence that last `seconds`: at 48 kHz, 125 frames make 3 seconds.
std::string Frames(int seconds) {
  test::FrameFormat format;
  format.sampleRateHz = 48000;
  return test::SilentFrames(format, seconds * 125 / 3);
}

struct Song {
  const char* path;  // below the source
  std::string genres;
  const char* year;
  int seconds;
};

// A library whose songs carry several genres, numeric ID3 genres, dates and lengths.
std::vector<Song> Library() {
  using namespace std::string_literals;
  return {{"Rock/a.mp3", "Rock\0Pop"s, "1995-04-01", 3},
          {"Rock/b.mp3", "(17)", "2005", 6},
          {"Jazz/c.mp3", "Jazz", "1999", 3},
          {"Christmas/d.mp3", "Pop", "2001", 3},
          {"Band/Live/e.MP3", "rock", "1990", 9},
          {"Books/f.mp3", "", "", 3}};
}

std::vector<std::string> ChosenNames(const std::string& out) {
  std::vector<std::string> names;
  for (const std::string& path : test::LinesOf(out))
    names.push_back(std::filesystem::path(path).filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FilteredSelectionTest, EachFilterLeavesOutWhatItNamesAndSaysHowMany) {
  test::TempDir dir;
  for (const Song& song : Library()) {
    std::vector<std::pair<std::string, std::string>> frames = {{"TIT2", song.path}};
    if (!song.genres.empty()) frames.emplace_back("TCON", song.genres);
    if (*song.year != '\0') frames.emplace_back("TDRC", song.year);
    dir.WriteFile(std::string("music/") + song.path, Id3v24(frames) + Frames(song.seconds));
  }
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const std::vector<std::string> run = {"-s", dir / "music", "-p", dir / "l.m3u", "--all", "-n"};
  struct Case {
    std::vector<std::string> filters;
    std::vector<std::string> chosen;
    std::string summary;
  };
  const Case cases[] = {
      {{"--exclude", "christmas/**", "--exclude", "*/live/*"},
       {"a.mp3", "b.mp3", "c.mp3", "f.mp3"},
       "; 2 songs left out by pattern"},
      {{"--added-within", "2"},
       {"b.mp3", "c.mp3", "d.mp3", "e.MP3", "f.mp3"},
       "; 1 song left out by date changed"},
      {{"--genre", "ROCK"}, {"a.mp3", "b.mp3", "e.MP3"}, "; 3 songs left out by genre"},
      {{"--not-genre", "pop, blues"},
       {"b.mp3", "c.mp3", "e.MP3", "f.mp3"},
       "; 2 songs left out by genre"},
      {{"--year", "1990-1999"}, {"a.mp3", "c.mp3", "e.MP3"}, "; 3 songs left out by year"},
      {{"--length", "0:05-0:10"}, {"b.mp3", "e.MP3"}, "; 4 songs left out by length"},
      {{"--exclude", "Christmas", "--genre", "rock", "--length", "0:04-"},
       {"b.mp3", "e.MP3"},
       "; 1 song left out by pattern, 2 by genre, 1 by length"},
  };
  // A song changed long ago, for the date filter.
  const std::string old = dir / "music/Rock/a.mp3";
  const utimbuf longAgo{1'000'000'000, 1'000'000'000};
  ASSERT_EQ(utime(old.c_str(), &longAgo), 0);
  for (const Case& c : cases) {
    std::vector<std::string> arguments = run;
    arguments.insert(arguments.end(), c.filters.begin(), c.filters.end());
    const Outcome outcome = RunCli(arguments);
    ASSERT_EQ(outcome.status, 0) << c.filters[0] << ": " << outcome.err;
    EXPECT_EQ(ChosenNames(outcome.out), c.chosen) << c.filters[0];
    EXPECT_NE(outcome.err.find("l.m3u" + c.summary + "\n"), std::string::npos)
        << c.filters[0] << ": " << outcome.err;
    // Filters by path and date read no tags.
    if (c.filters[0] == "--added-within") {
      EXPECT_FALSE(std::filesystem::exists(engine::TagCache::DefaultFile()));
    }
  }
  // What no song passes is said, and the run fails.
  std::vector<std::string> none = run;
  none.insert(none.end(), {"--genre", "Metal"});
  const Outcome nothing = RunCli(none);
  EXPECT_EQ(nothing.status, 1);
  EXPECT_NE(nothing.err.find("No song passes the filters; 6 songs left out by genre"),
            std::string::npos)
      << nothing.err;

  // A settings file keeps the filters, and the run reads them back.
  const std::string saved = dir / "filters.txt";
  std::vector<std::string> save = run;
  save.insert(save.end(), {"--exclude", "Christmas", "--genre", "rock", "--length", "0:04-",
                           "--save-settings", saved});
  ASSERT_EQ(RunCli(save).status, 0);
  EXPECT_NE(test::ReadBytes(saved).find("exclude=Christmas\r\ngenre=rock\r\nlength=0:04-\r\n"),
            std::string::npos)
      << test::ReadBytes(saved);
  const Outcome again = RunCli({"--settings", saved, "-n"});
  EXPECT_EQ(ChosenNames(again.out), (std::vector<std::string>{"b.mp3", "e.MP3"})) << again.err;
}

// FLAC and MP3 of one song, and an album song and its compilation copy: one file of each
// is chosen, the lossless one for a playlist, the MP3 for a player that plays no FLAC.
TEST(FilteredSelectionTest, OneCopyOfEachRecordingAsThePlayerPlaysIt) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  dir.WriteFile("music/Album/song.mp3", Id3v24({{"TIT2", "Song"}, {"TPE1", "Band"}}) + Frames(3));
  dir.MakeFolder("music/Lossless");
  ASSERT_TRUE(
      test::RunCommand("ffmpeg -v error -f lavfi -i sine=d=4 -metadata title='Song "
                       "(Remastered 2011)' -metadata artist=BAND " +
                       test::ShellQuoted(dir / "music/Lossless/song.flac")));
  dir.WriteFile("music/Album/other.mp3", Id3v24({{"TIT2", "Song"}, {"TPE1", "Band"}}) + Frames(13));
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const std::vector<std::string> run = {"-s",       dir / "music",      "--all", "-n", "--types",
                                        "mp3,flac", "--skip-duplicates"};
  struct Case {
    std::vector<std::string> destination;
    std::vector<std::string> chosen;
  };
  const Case cases[] = {
      {{"-p", dir / "l.m3u"}, {"other.mp3", "song.flac"}},
      {{"-c", dir / "player", "--player", "car"}, {"other.mp3", "song.mp3"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = run;
    arguments.insert(arguments.end(), c.destination.begin(), c.destination.end());
    const Outcome outcome = RunCli(arguments);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(ChosenNames(outcome.out), c.chosen) << c.destination[0];
    EXPECT_NE(outcome.err.find("; 1 duplicate set aside"), std::string::npos) << outcome.err;
  }
}

}  // namespace
}  // namespace sorvina::cli
