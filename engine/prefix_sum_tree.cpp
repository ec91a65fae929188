#include "engine/prefix_sum_tree.h"

namespace sorvina::engine {

PrefixSumTree::PrefixSumTree(const std::vector<double>& values) : size_(values.size()) {
  std::vector<Node> level((values.size() + kFanOut - 1) / kFanOut);
  for (std::size_t i = 0; i < values.size(); ++i)
    level[i / kFanOut].sums[i % kFanOut] = values[i];
  levels_.push_back(std::move(level));
  while (levels_.back().size() > 1) {
    const std::vector<Node>& below = levels_.back();
    std::vector<Node> above((below.size() + kFanOut - 1) / kFanOut);
    for (std::size_t i = 0; i < below.size(); ++i) {
      double total = 0.0;
      for (const double sum : below[i].sums)
        total += sum;
      above[i / kFanOut].sums[i % kFanOut] = total;
    }
    levels_.push_back(std::move(above));
  }
}

void PrefixSumTree::Subtract(std::size_t position, double amount) {
  for (std::vector<Node>& level : levels_) {
    level[position / kFanOut].sums[position % kFanOut] -= amount;
    position /= kFanOut;
  }
}

std::size_t PrefixSumTree::FirstReaching(double target) const {
  if (size_ == 0) return 0;
  // From the top down: in each node, pass over the runs whose end stays below the target
  // and go down into the first one that reaches it. `below` is always a prefix sum.
  std::size_t node = 0;
  double below = 0.0;
  for (std::size_t depth = levels_.size(); depth-- > 0;) {
    const double* sums = levels_[depth][node].sums;
    std::size_t child = 0;
    while (child < kFanOut && below + sums[child] < target)
      below += sums[child++];
    if (child == kFanOut) return size_;  // only possible at the top: the total falls short
    node = node * kFanOut + child;
  }
  return node < size_ ? node : size_;
}

}  // namespace sorvina::engine
