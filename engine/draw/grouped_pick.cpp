// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/grouped_pick.h"

#include <algorithm>

namespace sorvina::engine {

GroupedPick::GroupedPick(const CandidatePool& pool, const DrawGroups& groups)
    : pool_(pool), groupOf_(groups.groupOf), groups_(groups.count) {
  // Members are laid out group by group: count them, then place each in pool order.
  std::vector<std::size_t> counts(groups.count, 0);
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    ++counts[groupOf_[i]];
  std::size_t first = 0;
  for (std::uint32_t g = 0; g < groups.count; ++g) {
    groups_[g].first = first;
    first += counts[g];
  }
  members_.resize(first);
  slotOf_.assign(groupOf_.size(), 0);
  std::vector<std::vector<double>> weights(groups.count);
  for (std::uint32_t g = 0; g < groups.count; ++g)
    weights[g].reserve(counts[g]);
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    Group& group = groups_[groupOf_[i]];
    slotOf_[i] = static_cast<std::uint32_t>(group.left);
    members_[group.first + group.left++] = i;
    group.sum += pool.weight(i);
    weights[groupOf_[i]].push_back(pool.weight(i));
  }
  memberTrees_.reserve(groups.count);
  for (std::uint32_t g = 0; g < groups.count; ++g) {
    memberTrees_.emplace_back(weights[g]);
    Group& group = groups_[g];
    group.mean = group.left > 0 ? std::max(group.sum, 0.0) / static_cast<double>(group.left) : 0.0;
  }
  RebuildGroupTree();
}

void GroupedPick::RebuildGroupTree() {
  std::vector<double> means;
  means.reserve(groups_.size());
  for (const Group& group : groups_)
    means.push_back(group.mean);
  groupTree_ = WeightTree(means);
}

CandidatePool::Index GroupedPick::Pick(RandomGenerator& random) {
  // A pick can miss only where rounding has left a trace of a weight gone: once the sums
  // are made anew, a miss means nothing of a weight above 0 is left.
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (attempt == 2) RebuildGroupTree();
    const double total = groupTree_.Total();
    if (!(total > 0.0)) return CandidatePool::kNone;
    const std::size_t g = groupTree_.FirstAbove(random.NextDouble() * total);
    if (g >= groups_.size() || groups_[g].left == 0) continue;
    const WeightTree& members = memberTrees_[g];
    const double sum = members.Total();
    if (!(sum > 0.0)) continue;
    const std::size_t slot = members.FirstAbove(random.NextDouble() * sum);
    if (slot >= members.size()) continue;
    const CandidatePool::Index drawn = members_[groups_[g].first + slot];
    if (pool_.contains(drawn)) return drawn;
  }
  return CandidatePool::kNone;
}

void GroupedPick::Forget(CandidatePool::Index index) {
  const std::uint32_t g = groupOf_[index];
  Group& group = groups_[g];
  const double weight = pool_.weight(index);
  memberTrees_[g].Add(slotOf_[index], -weight);
  group.sum -= weight;
  --group.left;
  const double mean =
      group.left > 0 ? std::max(group.sum, 0.0) / static_cast<double>(group.left) : 0.0;
  groupTree_.Add(g, mean - group.mean);
  group.mean = mean;
}

}  // namespace sorvina::engine
