// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/output/track_read_ahead.h"
#include "engine/report/run_ports.h"

namespace sorvina::engine {

enum class PlaylistResult { kWritten, kCancelled, kCannotOpen, kCannotWrite };

// Entries of a playlist that was written, also after Cancel.
struct PlaylistCounts {
  std::size_t written = 0;
  // Paths that no playlist line can hold (IsPlaylistEntryPath).
  std::size_t leftOut = 0;
};

// An M3U entry is one line per path: a path with a line feed in it (possible on this
// system's file names) would end its line early and turn its tail into an entry of its
// own, so such a file is left out of a playlist.
bool IsPlaylistEntryPath(std::string_view path);

// Writes `chosenPaths`, in order, as an extended M3U playlist at `destination`: "#EXTM3U",
// then per file "#EXTINF:" seconds "," caption, and the path; every line ends in CR LF.
// A progress display titled "Creating Playlist" counts the entries and offers Cancel,
// which stops after a whole entry and keeps what was written. The file is written beside
// the destination and renamed over it when complete, so an existing playlist survives
// any failure. Failures are shown through `ports` ("Can't open play list for writing",
// "Can't write play list") and also returned. `counts`, where given, receives how many
// entries the file holds and how many were left out. `lines`, where given, holds by
// position the text each entry's path line gets in place of its path (a path relative to
// the playlist); the file is still read at its path for its time and caption. The files
// are probed ahead of the entries on `probeThreads` threads (TrackReadAhead); with none,
// each as its entry is written.
[[nodiscard]] PlaylistResult WritePlaylist(
    const std::string& destination, const std::vector<std::string>& chosenPaths, RunPorts& ports,
    PlaylistCounts* counts = nullptr, const std::vector<std::string>* lines = nullptr,
    std::size_t probeThreads = TrackReadAhead::kDefaultThreads);

// The same playlist as text in memory, each entry's path line taken from `lines`, for a
// caller that puts the file in place itself. Its progress is shown through `ports`, which
// may Cancel it; false when it was cancelled.
bool PlaylistText(const std::vector<std::string>& chosenPaths,
                  const std::vector<std::string>& lines, RunPorts& ports, std::string& text);

}  // namespace sorvina::engine
