// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/prefix_sum_tree.h"

namespace sorvina::engine {

std::vector<std::uint64_t> PrefixSumTree::BlockTotals(const std::vector<Block>& blocks) {
  std::vector<std::uint64_t> totals(blocks.size());
  for (std::size_t i = 0; i < blocks.size(); ++i)
    totals[i] = blocks[i].totals[kBlockSize - 1];
  return totals;
}

std::uint64_t PrefixSumTree::ValueAt(std::size_t position) const {
  const std::uint64_t* totals = blocks_[position / kBlockSize].totals;
  const std::size_t run = position % kBlockSize;
  return run == 0 ? totals[0] : totals[run] - totals[run - 1];
}

void PrefixSumTree::Subtract(std::size_t position, std::uint64_t amount) {
  BlockIndex::SubtractFrom(blocks_[position / kBlockSize].totals, position % kBlockSize, amount);
  index_.Subtract(position / kBlockSize, amount);
}

}  // namespace sorvina::engine
