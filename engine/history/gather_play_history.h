// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/history/history_readers.h"
#include "engine/history/play_history.h"

namespace sorvina::engine {

// What GatherPlayHistory works with, where tests and measurements choose otherwise.
struct GatherSettings {
  // Sorvina's own store; empty: history.sqlite in the user's state folder.
  std::string storePath;
  // The time now, in seconds since the epoch; none: the clock's.
  std::optional<std::int64_t> now;
  history::ReadLimits limits;
  // The most of a player's log read in one run: where more was written since the last
  // run, the newest part is read and the older lines are passed over.
  std::uint64_t largestLogRead = 8ULL << 20;
};

// GatherPlayHistory (play_history.h) with `settings`.
std::unique_ptr<PlayHistory> GatherPlayHistory(const HistoryRequest& request, RunPorts& ports,
                                               const GatherSettings& settings);

// Where a player's folder lies on its volume: the volume's root and the folder's path
// below it ("" where it is the root). Nothing where the volume's root cannot be reached.
struct PlayerVolume {
  std::string rootPath;
  std::string folderBelowRoot;
};
std::optional<PlayerVolume> FindPlayerVolume(const std::string& playerPath,
                                             std::uint64_t playerDevice);

}  // namespace sorvina::engine
