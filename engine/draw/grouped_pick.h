// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/draw/random_generator.h"
#include "engine/draw/weight_tree.h"

namespace sorvina::engine {

// What group each candidate of a pool belongs to (an artist, an album, a folder).
struct DrawGroups {
  // By pool index; groups are numbered from 0 to count - 1.
  std::vector<std::uint32_t> groupOf;
  std::uint32_t count = 0;
};

// Picks candidates of a pool in two steps: a group, with a chance in proportion to the
// mean weight of its candidates still in the pool, then one of those in proportion to its
// weight. Both steps are trees of running sums, so a pick takes O(log n).
class GroupedPick {
 public:
  // `pool` must outlive this, and be told of nothing that Forget is not told of too.
  GroupedPick(const CandidatePool& pool, const DrawGroups& groups);

  // The candidate picked with two numbers of `random`; kNone when no candidate of a
  // weight above 0 is left.
  CandidatePool::Index Pick(RandomGenerator& random);

  // To be called as the candidate at `index` leaves the pool.
  void Forget(CandidatePool::Index index);

 private:
  struct Group {
    std::size_t first = 0;  // where its members begin in members_
    std::size_t left = 0;   // how many are still in the pool
    double sum = 0.0;       // their weights
    double mean = 0.0;      // the group's weight in groupTree_
  };
  // The group weights added up anew, for when those kept have drifted through rounding.
  void RebuildGroupTree();

  const CandidatePool& pool_;
  std::vector<std::uint32_t> groupOf_;
  std::vector<Group> groups_;
  std::vector<CandidatePool::Index> members_;  // group by group, each in pool order
  std::vector<std::uint32_t> slotOf_;          // by pool index: the place in its group
  std::vector<WeightTree> memberTrees_;        // by group: its members' weights
  WeightTree groupTree_;
};

}  // namespace sorvina::engine
