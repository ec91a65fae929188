// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Draws steered by what was listened to: songs not played lately drawn more often, songs
// played in the last days left out. Nothing here is used, and no history is read, unless
// one of those options (or replacing only what was heard) is set.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/history/play_history.h"
#include "engine/settings/extra_options.h"

namespace sorvina::engine {

inline constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;

// Whether `options` ask for the play history: the draw steered by it, or (copying) only
// the previous fill's songs that were heard replaced.
bool UsesPlayHistory(const ExtraOptions& options, bool copy);

// How much more often a song is drawn for the time since it was last played; none: never
// played. A day or less 0.25, a week 1, a month (30 days) 2, a year (365 days) or more 3,
// never played 4; between those points the factor rises in a straight line over the
// logarithm of the time.
double UnplayedFactor(std::optional<std::int64_t> secondsSincePlayed);

// Multiplies each candidate's weight by UnplayedFactor of its last play, where
// `options.preferUnplayed`, and takes out the songs played in the last
// `options.avoidPlayedDays` days; `now` in seconds since the epoch. False when that
// leaves none.
bool WeighByPlays(CandidatePool& pool, const PlayHistory& history, const ExtraOptions& options,
                  std::int64_t now);

// The pool's songs with their artist, title, recording id and length (through the tag
// cache), for matching plays that name no path.
std::vector<KnownSong> KnownSongsOf(const CandidatePool& pool);

}  // namespace sorvina::engine
