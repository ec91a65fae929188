#pragma once

#include <cstddef>
#include <vector>

namespace sorvina::engine {

// A tree of partial sums over non-negative values: lowering a value and finding the first
// position whose prefix sum reaches a target both take O(log n).
//
// Each node holds the sums of eight consecutive runs of values in one cache line, so a
// search or an update over a million values touches seven lines, most of them cached.
//
// Every sum it forms is the sum of consecutive values, so with values whose running sums
// are all exact in double precision its answers equal those of a linear walk that adds the
// values one by one.
class PrefixSumTree {
 public:
  explicit PrefixSumTree(const std::vector<double>& values);

  std::size_t size() const { return size_; }

  // Lowers the value at `position` by `amount`.
  void Subtract(std::size_t position, double amount);

  // The first position whose prefix sum (its own value included) is `target` or more,
  // or size() when even the whole sum falls short.
  std::size_t FirstReaching(double target) const;

 private:
  static constexpr std::size_t kFanOut = 8;
  struct alignas(64) Node {
    double sums[kFanOut] = {};
  };

  std::size_t size_;
  // levels_[0] holds the values themselves, eight to a node; every node of a higher level
  // holds the totals of eight nodes below it. The last level is a single node.
  std::vector<std::vector<Node>> levels_;
};

}  // namespace sorvina::engine
