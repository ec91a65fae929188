// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/convert/song_conversions.h"
#include "engine/draw/candidate_pool.h"
#include "engine/draw/weighted_draw.h"
#include "engine/history/play_history.h"
#include "engine/report/run_summary.h"
#include "engine/report/selection_outcome.h"

namespace sorvina::engine {

// Draws again from the pool the first draw drew from, shaped as it was, within `limit`.
using DrawMore =
    std::function<std::vector<PooledCandidate>(const DrawLimit& limit, DrawReport* report)>;
// Puts chosen songs (in draw order) in the order they are to be played.
using PlayOrder = std::function<void(std::vector<PooledCandidate>& chosen)>;

// What a run's draw chose, handed to its output.
struct DrawnSongs {
  CandidatePool& pool;                  // what was not chosen, still there for further draws
  std::vector<PooledCandidate> chosen;  // in draw order
  // The limit the draw kept to, with what the chosen songs took already taken off.
  DrawLimit limit;
  DrawReport report;
  DrawMore drawMore;
  PlayOrder orderForPlay;
};

// Where a run's chosen songs go: copied onto a player or into a folder (PlayerFill), or
// listed in a playlist (PlaylistFill). The run only chooses the songs; it hands them over
// in two steps and does nothing else with its output.
class SongOutput {
 public:
  virtual ~SongOutput() = default;

  // Before the draw, with the candidates collected: takes out of `pool` what the output
  // leaves out (songs the last fills chose, songs the player refuses), and gives `limit`
  // what the draw must keep to there (a gate that may refuse a song, what each song takes
  // of the space). False, after a message, where the run ends here.
  virtual bool BeforeDraw(CandidatePool& pool, DrawLimit& limit) = 0;

  // After the draw: does with the chosen songs what the output is for, and says what
  // became of them in `outcome`.
  virtual void AfterDraw(DrawnSongs drawn, SelectionOutcome& outcome) = 0;

  // The play history the output read before the draw, where it read one.
  virtual const PlayHistory* playHistory() const { return nullptr; }
};

// Why nothing was chosen from a pool that held files; nothing when there is no limit.
std::optional<NothingFits> WhyNothingFits(const CandidatePool& pool, const DrawLimit& limit,
                                          bool freeSpace, const DrawReport& report);

// The summary's part that every output shares: what was chosen, and why nothing was.
RunSummary SummaryOfChoice(const DrawnSongs& drawn, bool freeSpace);

// What a fill will do with each of `chosen`, for a dry run to tell: "copy", "convert to
// MP3", or for an MP3 that goes as it is with a `loudness` target, "bring to -16 LUFS".
std::vector<text::UserText> ActionsFor(const std::vector<Candidate>& chosen,
                                       SongConversions& conversions,
                                       std::optional<double> loudness);

}  // namespace sorvina::engine
