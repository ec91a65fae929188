// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/output/playlist_writer.h"

#include <functional>
#include <string_view>

#include <climits>

#include "engine/output/track_read_ahead.h"
#include "engine/report/messages.h"
#include "media/track_probe.h"
#include "platform/text_lines.h"

namespace sorvina::engine {

bool IsPlaylistEntryPath(std::string_view path) {
  return path.find('\n') == std::string_view::npos;
}

namespace {

// Writes the playlist's lines through `writeLine`, the progress display open and Cancel
// looked at as WritePlaylist says; false when a line could not be written.
bool WriteEntries(const std::function<bool(std::string_view)>& writeLine,
                  const std::vector<std::string>& chosenPaths, RunPorts& ports,
                  PlaylistCounts& entries, const std::vector<std::string>* lines,
                  std::size_t probeThreads, bool& cancelled) {
  entries = {};
  cancelled = false;
  const int count = chosenPaths.size() > static_cast<std::size_t>(INT_MAX)
                        ? INT_MAX
                        : static_cast<int>(chosenPaths.size());
  std::unique_ptr<ProgressPort> progress = ports.OpenProgress(kCreatingPlaylistTitle);
  if (progress) progress->SetRange(0, count);

  bool written = writeLine("#EXTM3U");
  const auto lineOf = [&](std::size_t i) -> const std::string& {
    return lines != nullptr ? (*lines)[i] : chosenPaths[i];
  };
  // The files are probed ahead of the entries written; the file is still written, and
  // Cancel looked at, one entry after another.
  TrackReadAhead tracks(
      chosenPaths,
      [&](std::size_t i) {
        return i < static_cast<std::size_t>(count) && IsPlaylistEntryPath(lineOf(i));
      },
      probeThreads);
  std::string info;
  for (int i = 0; i < count && written; ++i) {
    const std::string& line = lineOf(static_cast<std::size_t>(i));
    if (IsPlaylistEntryPath(line)) {
      const media::TrackSummary track = tracks.Take(static_cast<std::size_t>(i));
      info.assign("#EXTINF:");
      info.append(std::to_string(track.seconds));
      info.push_back(',');
      info.append(track.caption);
      written = writeLine(info) && writeLine(line);
      if (written) ++entries.written;
    } else {
      ++entries.leftOut;
    }
    // Cancel is looked at only between entries, so the file always ends after a whole one.
    if (progress && progress->PumpAndCheckCancel()) {
      cancelled = true;
      break;
    }
    if (progress) progress->SetPosition(i);
  }
  return written;
}

}  // namespace

PlaylistResult WritePlaylist(const std::string& destination,
                             const std::vector<std::string>& chosenPaths, RunPorts& ports,
                             PlaylistCounts* counts, const std::vector<std::string>* lines,
                             std::size_t probeThreads) {
  PlaylistCounts unused;
  PlaylistCounts& entries = counts != nullptr ? *counts : unused;
  entries = {};
  platform::LineWriter writer;
  if (!writer.Open(destination)) {
    ports.ShowInformation(kCannotOpenPlaylistMessage);
    return PlaylistResult::kCannotOpen;
  }
  bool cancelled = false;
  bool written = WriteEntries([&writer](std::string_view line) { return writer.WriteLine(line); },
                              chosenPaths, ports, entries, lines, probeThreads, cancelled);
  // What was written is kept after Cancel too; only a failure leaves the old file.
  written = written && writer.Commit();
  if (!written) {
    ports.ShowInformation(kCannotWritePlaylistMessage);
    return PlaylistResult::kCannotWrite;
  }
  return cancelled ? PlaylistResult::kCancelled : PlaylistResult::kWritten;
}

bool PlaylistText(const std::vector<std::string>& chosenPaths,
                  const std::vector<std::string>& lines, RunPorts& ports, std::string& text) {
  text.clear();
  PlaylistCounts entries;
  bool cancelled = false;
  WriteEntries(
      [&text](std::string_view line) {
        text.append(line).append("\r\n");
        return true;
      },
      chosenPaths, ports, entries, &lines, TrackReadAhead::kDefaultThreads, cancelled);
  return !cancelled;
}

}  // namespace sorvina::engine
