// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sorvina::engine {

// The upper part of a tree of partial sums over blocks of values: levels of nodes, each
// holding in one cache line the running totals of eight blocks or nodes below it, up to a
// single node. It finds the block in which a running sum reaches a target, counting in
// each node the totals below what is still missing, without a branch that depends on the
// data; the trees built on it (PrefixSumTree, CountTree) keep the values of each block
// their own way.
class BlockIndex {
 public:
  // The totals of the blocks, which must add up to less than 2^63.
  explicit BlockIndex(const std::vector<std::uint64_t>& blockTotals);

  std::uint64_t total() const { return levels_.back()[0].totals[kFanOut - 1]; }

  // The first block whose running total, its own included, is `target` or more, and the
  // sum of the blocks before it; `found` false (and the whole sum) when even the whole sum
  // falls short.
  // `target` must be at least 1.
  struct Reach {
    bool found = false;
    std::size_t block = 0;
    std::uint64_t sumBefore = 0;
  };
  Reach FirstReaching(std::uint64_t target) const {
    std::size_t index = 0;
    std::uint64_t before = 0;
    for (std::size_t depth = levels_.size(); depth-- > 0;) {
      const std::uint64_t(&totals)[kFanOut] = levels_[depth][index].totals;
      const std::size_t run = RunsBelow(totals, target - before);
      // Only at the top: the whole sum falls short.
      if (run == kFanOut) return {false, 0, before + totals[kFanOut - 1]};
      before += run == 0 ? 0 : totals[run - 1];
      index = index * kFanOut + run;
    }
    return {true, index, before};
  }

  // Lowers the total of `block` by `amount`, which is at most that total.
  void Subtract(std::size_t block, std::uint64_t amount);

  // How many of the running totals `totals[0..kRuns)` lie below `missing`: the run in
  // which a running sum reaches it.
  template <std::size_t kRuns>
  static std::size_t RunsBelow(const std::uint64_t (&totals)[kRuns], std::uint64_t missing) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < kRuns; ++i)
      run += totals[i] < missing ? 1 : 0;
    return run;
  }

  // Lowers every total of `totals` from `run` on by `amount`: a loop over the whole line
  // with a mask rather than from `run`, which the compiler turns into vector operations.
  template <std::size_t kRuns>
  static void SubtractFrom(std::uint64_t (&totals)[kRuns], std::size_t run, std::uint64_t amount) {
    for (std::size_t i = 0; i < kRuns; ++i)
      totals[i] -= i >= run ? amount : 0;
  }

 private:
  static constexpr std::size_t kFanOut = 8;
  // totals[i]: the sum of runs 0 to i. Runs past the end add nothing, so their totals
  // repeat the last real one.
  struct alignas(64) Node {
    std::uint64_t totals[kFanOut] = {};
  };

  // levels_[0] sums eight blocks per node, every further level eight nodes of the one
  // below; the last level is a single node.
  std::vector<std::vector<Node>> levels_;
};

}  // namespace sorvina::engine
