// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/output/playlist_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/output/track_read_ahead.h"
#include "engine/report/messages.h"
#include "media/track_probe.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using test::NamesIn;
using test::ReadBytes;

using ::testing::ElementsAre;

class PlaylistWriterTest : public ::testing::Test {
 protected:
  // An MP3 file whose Xing header states `frames` MPEG-1 Layer III frames at 44.1 kHz,
  // with ID3v2 texts when a title or an artist is given.
  std::string Mp3(const std::string& name, std::uint32_t frames, std::string_view title = {},
                  std::string_view artist = {}) {
    const test::FrameFormat format{};
    const std::string path =
        dir_.WriteFile(name, test::XingFrame(format, frames) + test::SilentFrames(format, 10));
    if (!title.empty() || !artist.empty()) test::WriteId3v2Texts(path, title, artist);
    return path;
  }

  // Five distinct files, for the loop's progress and Cancel.
  std::vector<std::string> FiveFiles() {
    std::vector<std::string> paths;
    for (int i = 1; i <= 5; ++i)
      paths.push_back(Mp3("music/track" + std::to_string(i) + ".mp3", 1100));
    return paths;
  }

  static std::string Entry(const std::string& path, const std::string& extinf) {
    return "#EXTINF:" + extinf + "\r\n" + path + "\r\n";
  }

  test::TempDir dir_;
  test::RecordingPorts ports_;
};

TEST_F(PlaylistWriterTest, WritesDurationsCaptionsAndPathsWithCarriageReturns) {
  // 1100 frames of 1152 samples at 44.1 kHz are 28.7 s, 4594 frames 120.005 s.
  const std::string tagged = Mp3("music/a.mp3", 1100, "Hello, World", "Red");
  const std::string plain = Mp3("music/Song One.mp3", 4594);
  const std::string playlist = dir_ / "mix.m3u";
  EXPECT_EQ(WritePlaylist(playlist, {tagged, plain}, ports_), PlaylistResult::kWritten);
  // The caption goes out unchanged, comma and all.
  EXPECT_EQ(ReadBytes(playlist),
            "#EXTM3U\r\n" + Entry(tagged, "29,Red - Hello, World") + Entry(plain, "120,Song One"));
  EXPECT_THAT(ports_.events, ElementsAre("progress:open Creating Playlist", "range:0..2", "pos:0",
                                         "pos:1", "progress:close"));
}

TEST_F(PlaylistWriterTest, AnEmptyChoiceGivesTheHeaderAlone) {
  const std::string playlist = dir_.WriteFile("mix.m3u", "an older playlist\r\n");
  EXPECT_EQ(WritePlaylist(playlist, {}, ports_), PlaylistResult::kWritten);
  EXPECT_EQ(ReadBytes(playlist), "#EXTM3U\r\n");
  EXPECT_THAT(ports_.events,
              ElementsAre("progress:open Creating Playlist", "range:0..0", "progress:close"));
}

TEST_F(PlaylistWriterTest, CancelKeepsTheWholeEntriesWrittenSoFar) {
  const std::vector<std::string> paths = FiveFiles();
  const std::string playlist = dir_ / "mix.m3u";
  ports_.cancelAtPump = 3;
  EXPECT_EQ(WritePlaylist(playlist, paths, ports_), PlaylistResult::kCancelled);
  EXPECT_EQ(ReadBytes(playlist), "#EXTM3U\r\n" + Entry(paths[0], "29,track1") +
                                     Entry(paths[1], "29,track2") + Entry(paths[2], "29,track3"));
  EXPECT_THAT(ports_.events, ElementsAre("progress:open Creating Playlist", "range:0..5", "pos:0",
                                         "pos:1", "progress:close"));
  EXPECT_TRUE(ports_.messages.empty());
}

TEST_F(PlaylistWriterTest, LeavesOutPathsThatCannotBeOneLine) {
  const std::string good = Mp3("music/good.mp3", 1100);
  const std::string broken = Mp3("music/two\nlines.mp3", 1100);
  const std::string playlist = dir_ / "mix.m3u";
  EXPECT_EQ(WritePlaylist(playlist, {broken, good}, ports_), PlaylistResult::kWritten);
  EXPECT_EQ(ReadBytes(playlist), "#EXTM3U\r\n" + Entry(good, "29,good"));
  EXPECT_THAT(ports_.events, ElementsAre("progress:open Creating Playlist", "range:0..2", "pos:0",
                                         "pos:1", "progress:close"));
}

TEST_F(PlaylistWriterTest, ReportsADestinationThatCannotBeOpened) {
  const std::vector<std::string> paths = {Mp3("music/a.mp3", 1100)};
  EXPECT_EQ(WritePlaylist(dir_ / "missing/mix.m3u", paths, ports_), PlaylistResult::kCannotOpen);
  EXPECT_EQ(WritePlaylist(dir_.MakeFolder("folder.m3u"), paths, ports_),
            PlaylistResult::kCannotOpen);
  // No progress display for a playlist that never was.
  EXPECT_THAT(ports_.events, ElementsAre(std::string("message:") + kCannotOpenPlaylistMessage,
                                         std::string("message:") + kCannotOpenPlaylistMessage));
}

TEST_F(PlaylistWriterTest, AFailedWriteKeepsTheOldPlaylistAndSaysSo) {
  const std::string old = "#EXTM3U\r\n#EXTINF:1,old\r\n/old.mp3\r\n";
  const std::string playlist = dir_.WriteFile("lists/mix.m3u", old);
  const std::string song = Mp3("music/a rather long file name.mp3", 1100);
  // About 95 bytes an entry against a limit of 4 KiB: 1000 entries fail while the lines
  // are written, 60 only when the last of them are flushed. SIGXFSZ is left as it is:
  // the limit must not end the program.
  for (const std::size_t entries : {1000u, 60u}) {
    const std::string outcome = test::RunWithFileSizeLimit(4096, [&] {
      test::RecordingPorts ports;
      const PlaylistResult result = WritePlaylist(playlist, {entries, song}, ports);
      // The progress display is gone before the message shows.
      const bool reported =
          ports.events.size() >= 2 && ports.events.end()[-2] == "progress:close" &&
          ports.events.back() == std::string("message:") + kCannotWritePlaylistMessage;
      return std::string(result == PlaylistResult::kCannotWrite && reported ? "ok" : "wrong");
    });
    EXPECT_EQ(outcome, "ok") << entries << " entries";
    EXPECT_EQ(ReadBytes(playlist), old);
    EXPECT_THAT(NamesIn(dir_ / "lists"), ElementsAre("mix.m3u"));
  }
}

TEST_F(PlaylistWriterTest, FilesProbedAheadGiveEachEntryItsOwnTimeAndCaptionInOrder) {
  std::vector<std::string> paths;
  for (int i = 0; i < 150; ++i) {
    const std::string name = (i % 37 == 5 ? "two\nlines " : "") + std::to_string(i) + ".mp3";
    paths.push_back(Mp3("music/" + name, static_cast<std::uint32_t>(1100 + 39 * i)));
  }
  const auto wanted = [&paths](std::size_t i) { return IsPlaylistEntryPath(paths[i]); };
  media::TrackProbe probe;
  std::vector<std::string> expected;  // by position; empty where no entry is written
  for (const std::string& path : paths) {
    const media::TrackSummary track = probe.Probe(path);
    expected.push_back(IsPlaylistEntryPath(path)
                           ? std::to_string(track.seconds) + "," + track.caption
                           : std::string());
  }

  // Without threads, with windows of one file, smaller than the list and larger.
  const std::pair<std::size_t, std::size_t> threadsAndWindows[] = {
      {0, 64}, {1, 1}, {3, 2}, {8, 64}, {4, 500}};
  for (const auto& [threads, window] : threadsAndWindows) {
    TrackReadAhead ahead(paths, wanted, threads, window);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      if (!wanted(i)) continue;
      const media::TrackSummary track = ahead.Take(i);
      ASSERT_EQ(std::to_string(track.seconds) + "," + track.caption, expected[i])
          << threads << " threads, window " << window << ", file " << i;
    }
  }
  // A writer that stops early leaves with probes under way.
  { TrackReadAhead(paths, wanted, 4, 8).Take(0); }

  // Cancel still stops after a whole entry, at the same place.
  const std::string playlist = dir_ / "mix.m3u";
  ports_.cancelAtPump = 100;
  EXPECT_EQ(WritePlaylist(playlist, paths, ports_), PlaylistResult::kCancelled);
  std::string entries = "#EXTM3U\r\n";
  std::vector<std::string> events = {"progress:open Creating Playlist", "range:0..150"};
  for (std::size_t i = 0; i < 100; ++i) {
    if (!expected[i].empty()) entries += Entry(paths[i], expected[i]);
    if (i < 99) events.push_back("pos:" + std::to_string(i));
  }
  events.push_back("progress:close");
  EXPECT_EQ(ReadBytes(playlist), entries);
  EXPECT_EQ(ports_.events, events);
}

}  // namespace
}  // namespace sorvina::engine
