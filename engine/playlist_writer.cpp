#include "engine/playlist_writer.h"

#include <string_view>

#include <climits>

#include "engine/messages.h"
#include "media/track_probe.h"
#include "platform/text_lines.h"

namespace sorvina::engine {

bool IsPlaylistEntryPath(std::string_view path) {
  return path.find('\n') == std::string_view::npos;
}

PlaylistResult WritePlaylist(const std::string& destination,
                             const std::vector<std::string>& chosenPaths, RunPorts& ports,
                             PlaylistCounts* counts, const std::vector<std::string>* lines) {
  PlaylistCounts unused;
  PlaylistCounts& entries = counts != nullptr ? *counts : unused;
  entries = {};
  platform::LineWriter writer;
  if (!writer.Open(destination)) {
    ports.ShowInformation(kCannotOpenPlaylistMessage);
    return PlaylistResult::kCannotOpen;
  }

  const int count = chosenPaths.size() > static_cast<std::size_t>(INT_MAX)
                        ? INT_MAX
                        : static_cast<int>(chosenPaths.size());
  std::unique_ptr<ProgressPort> progress = ports.OpenProgress(kCreatingPlaylistTitle);
  if (progress) progress->SetRange(0, count);

  bool written = writer.WriteLine("#EXTM3U");
  bool cancelled = false;
  media::TrackProbe probe;
  std::string info;
  for (int i = 0; i < count && written; ++i) {
    const std::string& path = chosenPaths[static_cast<std::size_t>(i)];
    const std::string& line = lines != nullptr ? (*lines)[static_cast<std::size_t>(i)] : path;
    if (IsPlaylistEntryPath(line)) {
      const media::TrackSummary track = probe.Probe(path);
      info.assign("#EXTINF:");
      info.append(std::to_string(track.seconds));
      info.push_back(',');
      info.append(track.caption);
      written = writer.WriteLine(info) && writer.WriteLine(line);
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

  // What was written is kept after Cancel too; only a failure leaves the old file.
  written = written && writer.Commit();
  progress.reset();
  if (!written) {
    ports.ShowInformation(kCannotWritePlaylistMessage);
    return PlaylistResult::kCannotWrite;
  }
  return cancelled ? PlaylistResult::kCancelled : PlaylistResult::kWritten;
}

}  // namespace sorvina::engine
