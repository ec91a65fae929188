// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/draw/random_generator.h"
#include "engine/draw/weighted_draw.h"

namespace sorvina::engine {

// The albums of a pool, each its candidates in play order (disc, then track).
using AlbumList = std::vector<std::vector<CandidatePool::Index>>;

// Draws whole albums until the pool or the limit ends, each with a chance in proportion to
// the mean weight of its candidates: an album of 20 songs is no likelier than one of 8.
// An album costs what its songs take together; one that does not fit ends the draw, or,
// with `limit.keepFilling`, is passed over (its songs stay in the pool). Every song of a
// chosen album is taken that `limit.gate` admits. With `limit.keepFilling`, once no album
// fits (or several in a row have not), what is left of the limit is topped up with single
// songs, drawn as DrawCandidates draws them. Returns the chosen candidates in order: the
// albums as drawn, each in its play order, then the single songs; they leave the pool.
std::vector<PooledCandidate> DrawAlbums(CandidatePool& pool, RandomGenerator& random,
                                        DrawLimit limit, const AlbumList& albums,
                                        const DurationOf& durationOf = {},
                                        DrawReport* report = nullptr);

}  // namespace sorvina::engine
