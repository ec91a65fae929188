// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/album_draw.h"

#include <algorithm>
#include <cstdint>

#include "engine/draw/weight_tree.h"

namespace sorvina::engine {
namespace {

// Albums passed over in a row, with a limit kept filling, after which the rest of the
// limit goes to single songs: trying every album of a large library, each probed for its
// playing time, would take far longer than what it could add.
constexpr int kMissesBeforeSingles = 8;

// The album's mean weight over its candidates still in the pool; 0 when none is left.
double MeanWeight(const CandidatePool& pool, const std::vector<CandidatePool::Index>& album) {
  double sum = 0.0;
  std::size_t count = 0;
  for (const CandidatePool::Index index : album) {
    if (!pool.contains(index)) continue;
    sum += pool.weight(index);
    ++count;
  }
  return count > 0 ? std::max(sum, 0.0) / static_cast<double>(count) : 0.0;
}

}  // namespace

std::vector<PooledCandidate> DrawAlbums(CandidatePool& pool, RandomGenerator& random,
                                        DrawLimit limit, const AlbumList& albums,
                                        const DurationOf& durationOf, DrawReport* report) {
  using Kind = DrawLimit::Kind;
  DrawReport unused;
  DrawReport& measured = report != nullptr ? *report : unused;
  std::vector<double> means;
  means.reserve(albums.size());
  for (const std::vector<CandidatePool::Index>& album : albums)
    means.push_back(MeanWeight(pool, album));
  WeightTree tree(means);

  std::vector<CandidatePool::Index> chosen;
  int missesInARow = 0;
  std::vector<Candidate> songs;
  std::vector<std::int64_t> costs;
  while (missesInARow < kMissesBeforeSingles || !limit.keepFilling) {
    const double total = tree.Total();
    if (!(total > 0.0)) break;
    const std::size_t drawn = tree.FirstAbove(random.NextDouble() * total);
    if (drawn >= albums.size()) {
      tree = WeightTree(means);  // rounding left a trace of albums gone
      continue;
    }
    tree.Add(drawn, -means[drawn]);
    means[drawn] = 0.0;

    // What the album costs: the sum of what its songs would, each estimated before any
    // is chosen (the first of a new folder pays for it, so this never falls short).
    songs.clear();
    costs.clear();
    std::int64_t albumCost = 0;
    for (const CandidatePool::Index index : albums[drawn]) {
      if (!pool.contains(index)) continue;
      songs.push_back(ToCandidate(pool[index]));
      const std::int64_t cost = DrawCost(limit, songs.back(), songs.back().sizeBytes, durationOf);
      costs.push_back(cost);
      albumCost += cost;
    }
    if (limit.kind != Kind::kNone && albumCost > limit.budget) {
      measured.NoteMiss(albumCost);
      if (!limit.keepFilling) break;
      ++missesInARow;
      continue;
    }
    missesInARow = 0;
    std::size_t song = 0;
    for (const CandidatePool::Index index : albums[drawn]) {
      if (!pool.contains(index)) continue;
      const Candidate& candidate = songs[song];
      std::int64_t cost = costs[song++];
      pool.Remove(index);
      if (limit.gate != nullptr && !limit.gate->Admits(candidate)) continue;
      // Bytes again, now that the songs before are charged; a playing time stays.
      if (limit.kind == Kind::kBytes)
        cost = DrawCost(limit, candidate, candidate.sizeBytes, durationOf);
      // Only where the player's plan moved the song.
      if (limit.kind != Kind::kNone && cost > limit.budget) continue;
      ChargeChosen(limit, candidate, cost, measured);
      chosen.push_back(index);
    }
  }

  std::vector<PooledCandidate> records;
  records.reserve(chosen.size());
  for (const CandidatePool::Index index : chosen)
    records.push_back(pool[index]);
  if (limit.keepFilling && limit.kind != Kind::kNone && pool.count() > 0) {
    std::vector<PooledCandidate> singles =
        DrawCandidates(pool, random, limit, durationOf, DrawMethod::kFastest, &measured);
    records.insert(records.end(), singles.begin(), singles.end());
  }
  return records;
}

}  // namespace sorvina::engine
