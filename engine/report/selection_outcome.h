// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/history/play_history.h"
#include "engine/report/run_summary.h"
#include "text/user_text.h"

namespace sorvina::engine {

// What a selection run did, for the front end that started it.
struct SelectionOutcome {
  // The run got through to its output without a message, and the output succeeded
  // (a cancelled playlist counts as written; a cancelled copy does not).
  bool succeeded = false;
  // The chosen files in draw order (what was copied or listed).
  std::vector<std::string> chosenPaths;
  // Present when the run got to its output without a message of its own.
  std::optional<RunSummary> summary;
  // Replacing the previous fill: the files of it removed (in a dry run, to be removed),
  // as paths in the destination.
  std::vector<std::string> removedPaths;
  // Replacing where the player held no record of a fill: copies of songs found on it
  // that were not taken for that fill (the answer was No).
  std::size_t copiesNotAdopted = 0;
  // A fill for a player with a profile: the player, as DescribeProfile words it.
  std::optional<text::UserText> player;
  // A dry run of a fill that converts songs or evens out their loudness: what will be done
  // with each chosen file, by its place in chosenPaths.
  std::vector<text::UserText> actions;
  // A dry run steered by a play history: what it knows of each chosen file, by its place
  // in chosenPaths.
  std::vector<std::optional<SongPlays>> plays;
};

}  // namespace sorvina::engine
