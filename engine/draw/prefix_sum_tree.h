// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/draw/block_index.h"
#include "platform/memory_advice.h"

namespace sorvina::engine {

// A tree of partial sums over whole numbers: lowering a value and finding the first
// position whose prefix sum reaches a target both take O(log n), and every sum is exact.
//
// The values lie in blocks of 32 (four cache lines side by side, fetched together), as
// running totals within the block, under a BlockIndex. Over a million values the index
// takes a quarter of a megabyte and stays cached, so a search waits for memory once, for
// its block.
class PrefixSumTree {
 public:
  static constexpr std::size_t kBlockSize = 32;

  // The values must add up to less than 2^63; `valueOf(position)` gives each.
  template <typename ValueOf>
  PrefixSumTree(std::size_t size, const ValueOf& valueOf)
      : size_(size), blocks_(Blocks(size, valueOf)), index_(BlockTotals(blocks_)) {}

  std::size_t size() const { return size_; }
  std::uint64_t total() const { return index_.total(); }
  std::uint64_t ValueAt(std::size_t position) const;

  // Lowers the value at `position` by `amount`, which is at most that value.
  void Subtract(std::size_t position, std::uint64_t amount);

  // The first position whose prefix sum, its own value included, is `target` or more, and
  // the prefix sum before it; position size() and the whole sum when even that falls
  // short.
  // `target` must be at least 1: with 0, a leading value of 0 would count as reaching it.
  // `memoryFor(first)`, called with the first position of the block the search is about
  // to read, names memory (a span) that the caller will read for the positions of that
  // block: it is fetched while the search waits for the block.
  struct Reach {
    std::size_t position = 0;
    std::uint64_t sumBefore = 0;
  };
  template <typename MemoryFor>
  Reach FirstReaching(std::uint64_t target, const MemoryFor& memoryFor) const;
  Reach FirstReaching(std::uint64_t target) const {
    return FirstReaching(target, [](std::size_t) { return std::span<const char>(); });
  }

 private:
  struct alignas(64) Block {
    std::uint64_t totals[kBlockSize] = {};  // running totals within the block
  };

  template <typename ValueOf>
  static std::vector<Block> Blocks(std::size_t size, const ValueOf& valueOf);
  static std::vector<std::uint64_t> BlockTotals(const std::vector<Block>& blocks);

  std::size_t size_;
  std::vector<Block> blocks_;
  BlockIndex index_;
};

template <typename ValueOf>
std::vector<PrefixSumTree::Block> PrefixSumTree::Blocks(std::size_t size, const ValueOf& valueOf) {
  const std::size_t count = size == 0 ? 1 : (size + kBlockSize - 1) / kBlockSize;
  // In large pages where the system has them: the blocks are read and written all over.
  std::vector<Block> blocks;
  blocks.reserve(count);
  platform::AdviseLargePages(blocks.data(), count * sizeof(Block));
  blocks.resize(count);
  for (std::size_t first = 0; first < size; first += kBlockSize) {
    std::uint64_t* totals = blocks[first / kBlockSize].totals;
    std::uint64_t total = 0;
    for (std::size_t run = 0; run < kBlockSize; ++run) {
      if (first + run < size) total += valueOf(first + run);
      totals[run] = total;
    }
  }
  return blocks;
}

template <typename MemoryFor>
PrefixSumTree::Reach PrefixSumTree::FirstReaching(std::uint64_t target,
                                                  const MemoryFor& memoryFor) const {
  const BlockIndex::Reach reach = index_.FirstReaching(target);
  if (!reach.found) return {size_, reach.sumBefore};
  const auto memory = std::as_bytes(memoryFor(reach.block * kBlockSize));
  if (!memory.empty()) {
    constexpr std::size_t kLine = 64;
    for (std::size_t offset = 0; offset < memory.size(); offset += kLine)
      __builtin_prefetch(memory.data() + offset);
    __builtin_prefetch(memory.data() + memory.size() - 1);
  }
  const std::uint64_t(&totals)[kBlockSize] = blocks_[reach.block].totals;
  const std::size_t run = BlockIndex::RunsBelow(totals, target - reach.sumBefore);
  return {reach.block * kBlockSize + run, reach.sumBefore + (run == 0 ? 0 : totals[run - 1])};
}

}  // namespace sorvina::engine
