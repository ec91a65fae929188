// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/draw/draw_shaping.h"
#include "engine/draw/random_generator.h"
#include "engine/draw/weighted_draw.h"
#include "engine/settings/extra_options.h"

namespace sorvina::engine {

// How a run draws its songs, as its options shape the draw: star weights, at most so many
// per artist, an equal chance per artist, album or folder, or whole albums; and the play
// order that keeps an artist's songs apart. The run draws through this and so do the
// tests, so that what they prove of a draw is what the run does. `tags` are the songs'
// draw tags where the options need them (ShapesTheDraw), else none.
class SongDraw {
 public:
  SongDraw(const ExtraOptions& options, const DrawTagTable* tags)
      : options_(options), tags_(tags) {}
  SongDraw(const SongDraw&) = delete;
  SongDraw& operator=(const SongDraw&) = delete;

  // Weighs the pool's songs by their stars where asked; false when that leaves none.
  bool Weigh(CandidatePool& pool) const;

  // `limit` with the artist cap, where asked, ahead of the gate it has (the fill's).
  DrawLimit Shaped(const DrawLimit& limit);

  // Draws from `pool` within `limit` (shaped already): songs one by one, a song of an
  // artist, album or folder drawn first, or (with `wholeAlbums`, and only then) whole
  // albums. Durations are measured through `durationOf` where the limit is in seconds.
  std::vector<PooledCandidate> Draw(CandidatePool& pool, RandomGenerator& random,
                                    const DrawLimit& limit, const DurationOf& durationOf,
                                    DrawReport* report, bool wholeAlbums) const;

  // Puts the chosen songs in play order: artists apart, where asked.
  void OrderForPlay(std::vector<PooledCandidate>& chosen) const;

  // The cap on songs per artist, where it refused songs the draws reached.
  const ArtistCap* CapThatRefused() const { return cap_ && cap_->refused() > 0 ? &*cap_ : nullptr; }

 private:
  const ExtraOptions& options_;
  const DrawTagTable* tags_;
  std::optional<ArtistCap> cap_;
};

}  // namespace sorvina::engine
