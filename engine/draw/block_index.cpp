// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/block_index.h"

#include <utility>

namespace sorvina::engine {

BlockIndex::BlockIndex(const std::vector<std::uint64_t>& blockTotals) {
  // Each level sums the one below (the blocks first), until one node holds everything.
  std::vector<std::uint64_t> sums = blockTotals;
  do {
    std::vector<Node> level((sums.size() + kFanOut - 1) / kFanOut);
    std::vector<std::uint64_t> above(level.size());
    for (std::size_t node = 0; node < level.size(); ++node) {
      std::uint64_t total = 0;
      for (std::size_t run = 0; run < kFanOut; ++run) {
        const std::size_t below = node * kFanOut + run;
        if (below < sums.size()) total += sums[below];
        level[node].totals[run] = total;
      }
      above[node] = total;
    }
    levels_.push_back(std::move(level));
    sums = std::move(above);
  } while (sums.size() > 1);
}

void BlockIndex::Subtract(std::size_t block, std::uint64_t amount) {
  for (std::vector<Node>& level : levels_) {
    SubtractFrom(level[block / kFanOut].totals, block % kFanOut, amount);
    block /= kFanOut;
  }
}

}  // namespace sorvina::engine
