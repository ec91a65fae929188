// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/prefix_sum_tree.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/draw/count_tree.h"

namespace sorvina::engine {
namespace {

// Sizes around the edges of blocks (32 values, 512 bits) and of index levels.
constexpr std::size_t kSizes[] = {1, 31, 32, 33, 511, 512, 513, 2048, 9000};

TEST(PrefixSumTreeTest, FindsTheFirstPrefixReachingEveryTargetAsValuesFall) {
  std::mt19937_64 random(3);
  for (const std::size_t size : kSizes) {
    std::vector<std::uint64_t> values(size);
    for (std::uint64_t& value : values)
      value = random() % 4 == 0 ? 0 : random() >> 44;  // zeros among them
    PrefixSumTree tree(size, [&](std::size_t position) { return values[position]; });
    for (int round = 0; round < 40; ++round) {
      std::vector<std::uint64_t> prefix{0};
      for (const std::uint64_t value : values)
        prefix.push_back(prefix.back() + value);
      ASSERT_EQ(tree.total(), prefix.back());
      // Targets on each side of some borders, and beyond the total.
      for (int probe = 0; probe < 64; ++probe) {
        const std::size_t at = random() % (size + 1);
        for (const std::uint64_t target : {prefix[at], prefix[at] + 1, prefix.back() + 1}) {
          if (target == 0) continue;
          std::size_t expected = 0;
          while (expected < size && prefix[expected + 1] < target)
            ++expected;
          const PrefixSumTree::Reach reach = tree.FirstReaching(target);
          ASSERT_EQ(reach.position, expected) << "size " << size << ", target " << target;
          ASSERT_EQ(reach.sumBefore, prefix[expected]);
        }
      }
      const std::size_t lowered = random() % size;
      const std::uint64_t amount = values[lowered] == 0 ? 0 : random() % (values[lowered] + 1);
      tree.Subtract(lowered, amount);
      values[lowered] -= amount;
      ASSERT_EQ(tree.ValueAt(lowered), values[lowered]);
    }
  }
}

TEST(CountTreeTest, SelectsTheNthPositionLeftAsPositionsGo) {
  std::mt19937_64 random(5);
  for (const std::size_t size : kSizes) {
    std::vector<bool> in(size);
    for (std::size_t position = 0; position < size; ++position)
      in[position] = random() % 3 != 0;
    CountTree tree(size, [&](std::size_t position) { return in[position]; });
    std::vector<std::size_t> left;
    for (std::size_t position = 0; position < size; ++position)
      if (in[position]) left.push_back(position);
    // All at once, ranks at random with the first and last left among them, as one by one.
    std::vector<std::uint32_t> ranks;
    std::vector<std::size_t> inTurn;
    for (std::vector<std::size_t> remaining = left; !remaining.empty();) {
      const std::size_t choice = random() % 4 == 0   ? 0
                                 : random() % 3 == 0 ? remaining.size() - 1
                                                     : random() % remaining.size();
      ranks.push_back(static_cast<std::uint32_t>(choice + 1));
      inTurn.push_back(remaining[choice]);
      remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(choice));
    }
    ASSERT_EQ(tree.SelectInTurn(ranks), inTurn) << "size " << size;
    ranks.resize(ranks.size() / 2);
    inTurn.resize(ranks.size());
    ASSERT_EQ(tree.SelectInTurn(ranks), inTurn) << "size " << size << ", half of them";

    while (!left.empty()) {
      ASSERT_EQ(tree.count(), left.size());
      for (std::size_t rank = 1; rank <= left.size(); rank += 1 + random() % 7)
        ASSERT_EQ(tree.Select(rank), left[rank - 1]) << "size " << size << ", rank " << rank;
      ASSERT_EQ(tree.Select(left.size()), left.back());
      const std::size_t leaving = random() % left.size();
      tree.Remove(left[leaving]);
      left.erase(left.begin() + static_cast<std::ptrdiff_t>(leaving));
    }
    EXPECT_EQ(tree.count(), 0u);
  }
}

}  // namespace
}  // namespace sorvina::engine
