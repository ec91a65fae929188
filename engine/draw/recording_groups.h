// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sorvina::engine {

// What tells one recording from another, of one file.
struct RecordingFacts {
  std::string recordingId;  // MusicBrainz; empty: none
  std::string isrc;         // empty: none
  std::string artist;       // as tagged
  std::string title;        // as tagged; empty: never grouped by names
  int seconds = 0;
  // How the copies of one recording are told apart: whether the player plays this one as
  // it is, whether it is lossless, and its bitrate (kbit/s).
  bool playable = true;
  bool lossless = false;
  int bitrate = 0;
};

// A name as recordings are compared by it: letters in lower case (ASCII), "feat." parts
// and "(Remastered ...)" or "- Remastered ..." additions dropped, then everything but
// letters and digits (any byte beyond ASCII counts as a letter).
std::string RecordingName(std::string_view name);

// For each of `files` (in the order they were found), the position of the file that stands
// for its recording: its own where it is that file. Two files are the same recording when
// both have a MusicBrainz recording id and those match; else when both have an ISRC and
// those match; else when their artists and titles are the same as RecordingName compares
// them and their lengths differ by no more than 2 seconds (a chain of such files is one
// recording). Of a recording's files the one that stands for it is one the player plays
// as it is, then a lossless one, then the one of the highest bitrate, then the first.
std::vector<std::size_t> ChooseOnePerRecording(const std::vector<RecordingFacts>& files);

}  // namespace sorvina::engine
