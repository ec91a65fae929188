// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstddef>
#include <vector>

namespace sorvina::engine {

// Running sums over a fixed row of weights that change one at a time (a Fenwick tree):
// finding where a running sum passes a target and changing a weight both take
// O(log n). Draws that pick a group first and then one of its members keep one of these
// for the groups and one for each group's members.
class WeightTree {
 public:
  WeightTree() = default;
  explicit WeightTree(const std::vector<double>& weights) : sums_(weights.size() + 1, 0.0) {
    for (std::size_t i = 0; i < weights.size(); ++i) {
      sums_[i + 1] += weights[i];
      const std::size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
      if (parent < sums_.size()) sums_[parent] += sums_[i + 1];
    }
  }

  std::size_t size() const { return sums_.empty() ? 0 : sums_.size() - 1; }

  // Adds `change` to the weight at `position`.
  void Add(std::size_t position, double change) {
    for (std::size_t i = position + 1; i < sums_.size(); i += i & (~i + 1))
      sums_[i] += change;
  }

  // The sum of every weight, added up as the tree holds it.
  double Total() const {
    double total = 0.0;
    for (std::size_t i = size(); i > 0; i -= i & (~i + 1))
      total += sums_[i];
    return total;
  }

  // The first position whose running sum, its own weight included, is above `target`:
  // a weight of 0 is never found. size() when even the whole sum is not above it.
  std::size_t FirstAbove(double target) const {
    std::size_t position = 0;
    for (std::size_t step = std::bit_floor(size()); step > 0; step >>= 1) {
      if (position + step < sums_.size() && sums_[position + step] <= target) {
        position += step;
        target -= sums_[position];
      }
    }
    return position;
  }

 private:
  std::vector<double> sums_;  // sums_[i]: the weights from i - lowbit(i) to i - 1
};

}  // namespace sorvina::engine
