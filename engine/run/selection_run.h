// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fill/player_fill.h"
#include "engine/report/run_ports.h"
#include "engine/report/run_summary.h"
#include "engine/report/selection_outcome.h"
#include "engine/settings/selection_settings.h"
#include "text/path_style.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

struct SelectionRunOptions {
  // Asks the copy's questions and shows its progress; none copies without asking
  // (conflicting names are skipped).
  transfer::FileOperationUi* fileOperationOwner = nullptr;
  // The generator's seed; the clock's seconds when absent.
  std::optional<std::uint32_t> seed;
  // Choose only: create no folder, copy and write nothing.
  bool dryRun = false;
  AdoptCopies adoptCopies = AdoptCopies::kAsk;
  // Converting songs for the player: how many encoders run at once (0: one per core),
  // and how much the cache of converted songs (in the user's cache folder) may hold.
  int jobs = 0;
  std::int64_t cacheBytes = std::int64_t{2} * 1024 * 1024 * 1024;
  // Reads the play history; called only by runs whose options ask for one, and at most
  // once. None: no history can be had.
  HistoryGatherer gatherHistory = {};
};

// The folders leading to `destination`, from the top down: every prefix that ends just
// before a separator, except the empty one and, after a drive letter ("C:\"), the drive's
// root. The text after the last separator is not a level.
std::vector<std::string> DestinationLevels(std::string_view destination,
                                           text::PathStyle style = text::NativePathStyle());

// What the last page's Finish does: checks the settings, prepares the destination,
// collects the candidates, draws files weighted by their folders until the amount is
// reached or the pool is empty, and copies them into the destination folder or writes
// them as a playlist. Every failure is shown through `ports` and ends the run; the
// settings are left as they were.
//
// Beyond that, as `settings.options` and the amount ask: the free space as the amount
// fills the copy destination's free space (each file charged what it takes there); `fill`
// keeps drawing past files that do not fit; `keepFolders` copies each file to its path
// relative to its source; `replacePrevious`, `avoidLast` and `devicePlaylist` make fills
// that follow one another fresh (RepeatedFill); `relative` writes a playlist's entries
// relative to its folder. After a copy, also a cancelled one, the destination's file
// system is written out to its device before the run returns.
//
// A copy writes only inside its destination, held open from the start: never through a
// link, never onto a file it did not put there, never onto the disk below a player that
// was unmounted meanwhile (the copy then stops and says so).
SelectionOutcome SelectionRun(const SelectionSettings& settings, RunPorts& ports,
                              const SelectionRunOptions& options = {});

}  // namespace sorvina::engine
