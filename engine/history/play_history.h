// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contained_folder.h"

namespace sorvina::engine {

// What is known of one song's listening: how often it was played, and when it was last
// played and last skipped (seconds since the epoch, UTC).
struct SongPlays {
  std::int64_t playCount = 0;
  std::optional<std::int64_t> lastPlayed;
  std::optional<std::int64_t> lastSkipped;

  // Played or skipped at `since` or later.
  bool HeardSince(std::int64_t since) const {
    return (lastPlayed && *lastPlayed >= since) || (lastSkipped && *lastSkipped >= since);
  }
  friend bool operator==(const SongPlays&, const SongPlays&) = default;
};

// The listening history a fill steers by: the plays read from the player's logs and from
// the players of this computer, merged with what earlier runs kept, by the path of each
// song in the library (as the draw's candidates name them).
class PlayHistory {
 public:
  virtual ~PlayHistory() = default;
  // What is known of the song at `libraryPath`; none where it was never heard of.
  virtual std::optional<SongPlays> PlaysOf(std::string_view libraryPath) const = 0;
};

// A song of the library as a play can be matched to it where no path names it.
struct KnownSong {
  std::string path;  // as the draw's candidates name it
  std::string artist;
  std::string title;
  std::string recordingId;   // MusicBrainz recording id; empty where the tags hold none
  std::int64_t seconds = 0;  // its length; 0 where not known
};

class RunPorts;

// What a run asks of the play history.
struct HistoryRequest {
  // Files of the players of this computer, as the user named them (--history).
  std::vector<std::string> sources;
  // The player's folder, where the run fills one: its volume's logs are read (the folder
  // is below the volume's root, or is it). None for a playlist, or in a dry run before the
  // destination exists.
  const platform::ContainedFolder* player = nullptr;
  // Its path as the user chose it, to find the volume's root.
  std::string playerPath;
  // Each file the recorded fills put on the player (its path below the player's folder)
  // and the library song it came from.
  std::vector<std::pair<std::string, std::string>> recordedFiles;
  // The library's songs with their tags, asked for only where plays are left that no path
  // matched (reading tags costs).
  std::function<std::vector<KnownSong>()> librarySongs;
};

// Reads the history `request` names, merges it into what earlier runs kept and returns
// all of it; a source that cannot be read is passed over with a warning through `ports`.
using HistoryGatherer =
    std::function<std::unique_ptr<PlayHistory>(const HistoryRequest& request, RunPorts& ports)>;

}  // namespace sorvina::engine

namespace sorvina::engine {

// The HistoryGatherer of Sorvina: reads the player's logs at its volume's root and the
// sources the request names, keeps what they told in history.sqlite in the user's state
// folder, and returns everything kept (gather_play_history.h).
std::unique_ptr<PlayHistory> GatherPlayHistory(const HistoryRequest& request, RunPorts& ports);

}  // namespace sorvina::engine
