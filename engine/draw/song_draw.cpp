// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/song_draw.h"

#include "engine/draw/album_draw.h"

namespace sorvina::engine {

bool SongDraw::Weigh(CandidatePool& pool) const {
  if (!options_.ratingWeights || tags_ == nullptr) return true;
  WeighByRating(pool, *tags_, *options_.ratingWeights);
  return pool.count() > 0;
}

DrawLimit SongDraw::Shaped(const DrawLimit& limit) {
  if (options_.maxPerArtist <= 0 || tags_ == nullptr) return limit;
  DrawLimit shaped = limit;
  // One cap for every draw of the run, counting what each chose; ahead of the fill's gate.
  if (!cap_) cap_.emplace(*tags_, options_.maxPerArtist, limit.gate);
  shaped.gate = &*cap_;
  return shaped;
}

std::vector<PooledCandidate> SongDraw::Draw(CandidatePool& pool, RandomGenerator& random,
                                            const DrawLimit& limit, const DurationOf& durationOf,
                                            DrawReport* report, bool wholeAlbums) const {
  if (wholeAlbums && tags_ != nullptr)
    return DrawAlbums(pool, random, limit, AlbumsOf(pool, *tags_), durationOf, report);
  if (options_.balance != DrawBalance::kNone)
    return DrawGrouped(pool, random, limit, GroupsOf(pool, options_.balance, tags_), durationOf,
                       report);
  return DrawCandidates(pool, random, limit, durationOf, DrawMethod::kFastest, report);
}

void SongDraw::OrderForPlay(std::vector<PooledCandidate>& chosen) const {
  if (options_.spread && tags_ != nullptr) SpreadArtists(chosen, *tags_, options_.albums);
}

}  // namespace sorvina::engine
