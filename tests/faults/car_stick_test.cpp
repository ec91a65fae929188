// SPDX-License-Identifier: GPL-3.0-or-later
// Weeks of a car stick on a real exFAT volume, filled into its root from a library of
// short constant-bitrate MP3s with large covers, FLACs and Opus files: nothing the car
// cannot play reaches it, whatever is asked, and every summary says what was done.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/faults/fill_support.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// Six artists, each with a 5-second MP3 at a constant 320 kbit/s under a 1000-pixel
// cover, a FLAC and an Opus file.
void MakeLibrary(const std::string& music, const std::string& work) {
  const std::string cover = work + "/cover.jpg";
  ASSERT_TRUE(
      test::RunCommand("ffmpeg -loglevel error -f lavfi -i testsrc=size=1000x1000 "
                       "-frames:v 1 " +
                       test::ShellQuoted(cover) + " -y"));
  for (int artist = 1; artist <= 6; ++artist) {
    const std::string folder = music + "/Artist " + std::to_string(artist);
    const std::string number = std::to_string(artist);
    fs::create_directories(folder);
    const std::string tone =
        "-f lavfi -i sine=frequency=" + std::to_string(300 + artist * 40) + ":duration=5";
    const std::string tags = " -metadata artist=" + test::ShellQuoted("Artist " + number);
    ASSERT_TRUE(test::RunCommand(
        "ffmpeg -loglevel error " + tone + " -i " + test::ShellQuoted(cover) +
        " -map 0:a -map 1:v -c:a libmp3lame -b:a 320k -c:v copy "
        "-id3v2_version 3" +
        tags + " " + test::ShellQuoted(folder + "/" + number + "1 Loud.mp3") + " -y"));
    ASSERT_TRUE(test::RunCommand("ffmpeg -loglevel error " + tone + tags + " " +
                                 test::ShellQuoted(folder + "/" + number + "2 Lossless.flac") +
                                 " -y"));
    ASSERT_TRUE(test::RunCommand("ffmpeg -loglevel error " + tone + tags + " -c:a libopus " +
                                 test::ShellQuoted(folder + "/" + number + "3 Small.opus") +
                                 " -y"));
  }
}

// The songs a device playlist lists, in its order.
std::vector<std::string> Listed(const std::string& playlist) {
  std::vector<std::string> listed;
  std::istringstream lines(test::ReadBytes(playlist));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() != '#') listed.push_back(line);
  }
  return listed;
}

TEST(CarStickTest, WeeksOfACarStickHoldOnlyWhatItPlaysInPlaylistOrder) {
  if (!test::ProgramsInstalled({"ffmpeg", "ffprobe"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeLibrary(dir / "music", dir.path()));
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  test::ExFatVolume stick(16);
  if (!stick.mounted()) GTEST_SKIP() << stick.reason();
  const std::string root = stick.path();
  const auto fill = [&](const std::string& convert, int week) {
    return test::RunCli({"-s",
                         dir / "music",
                         "--types",
                         "mp3,flac,opus",
                         "-c",
                         root,
                         "--mb",
                         "free",
                         "--fill",
                         "--max-per-artist",
                         "2",
                         "--player",
                         "car",
                         "--convert",
                         convert,
                         "--replace-previous",
                         "--device-playlist",
                         "Sorvina.m3u8",
                         "--seed",
                         std::to_string(week)});
  };

  // A format the car does not play is refused before anything is written.
  const test::CliOutcome aac = fill("auto:aac", 0);
  EXPECT_EQ(aac.status, 2);
  EXPECT_THAT(aac.err, HasSubstr("The player car plays only MP3; please convert to one of: mp3"));
  EXPECT_TRUE(fs::is_empty(root)) << aac.err;

  for (int week = 1; week <= 3; ++week) {
    SCOPED_TRACE("week " + std::to_string(week));
    const test::CliOutcome run = fill("auto", week);
    ASSERT_EQ(run.status, 0) << run.err;
    // Short MP3s at the car's own bitrate are copied, not left out or encoded again; the
    // draw stops at two songs for each of the six artists, and says so.
    EXPECT_THAT(run.err, Not(HasSubstr("kbit/s")));
    EXPECT_THAT(run.err, HasSubstr("stopped at 12 songs: at most 2 per artist, 6 artists"));
    const std::vector<std::string> listed = Listed(root + "/Sorvina.m3u8");
    ASSERT_EQ(listed.size(), 12u) << run.err;
    for (const std::string& song : listed) {
      EXPECT_EQ(fs::path(song).extension(), ".mp3") << song;
      const std::string side = test::CoverSizeOf(root + "/" + song);
      EXPECT_TRUE(side.empty() || side == "500x500") << song << ": " << side;
    }
    // In the root, the device lists the songs in the playlist's order with nothing of
    // Sorvina's between them.
    const std::optional<test::EntriesOnDevice> onDevice = stick.ReadEntryOrder();
    ASSERT_TRUE(onDevice) << "fatsort cannot read the stick";
    const std::vector<std::string>& entries = onDevice->at("");
    const auto first = std::find(entries.begin(), entries.end(), listed.front());
    ASSERT_NE(first, entries.end());
    EXPECT_EQ(std::vector<std::string>(first,
                                       first + std::min<std::ptrdiff_t>(entries.end() - first, 12)),
              listed);
  }
}

}  // namespace
}  // namespace sorvina::engine
