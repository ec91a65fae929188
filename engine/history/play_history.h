// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace sorvina::engine
