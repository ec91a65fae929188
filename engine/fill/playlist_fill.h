// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "engine/fill/repeated_fill.h"
#include "engine/fill/song_output.h"
#include "engine/report/run_ports.h"
#include "engine/settings/selection_settings.h"

namespace sorvina::engine {

// A run's chosen songs written as an extended M3U playlist: entries in play order, with
// their times and captions, relative to the playlist's folder where asked; and, where the
// last playlists written there are to be avoided, a record of what it lists, kept in the
// user's state folder.
class PlaylistFill : public SongOutput {
 public:
  PlaylistFill(const SelectionSettings& settings, bool dryRun, RunPorts& ports);

  // Leaves out what the last playlists written to this file listed, where asked.
  bool BeforeDraw(CandidatePool& pool, DrawLimit& limit) override;
  // Writes the playlist (a dry run writes nothing) and the record of what it lists.
  void AfterDraw(DrawnSongs drawn, SelectionOutcome& outcome) override;

 private:
  const SelectionSettings& settings_;
  const bool dryRun_;
  RunPorts& ports_;
  std::optional<RepeatedFill> repeat_;
};

}  // namespace sorvina::engine
