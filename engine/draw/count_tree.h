// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/draw/block_index.h"

namespace sorvina::engine {

// A set of positions held as bits, with counts: taking a position out and finding the
// n-th position still in both take O(log n). A bit per position, so a million positions
// take 125 KB and stay cached: a search need not wait for memory.
class CountTree {
 public:
  // Positions 0 to size - 1; `contains(position)` tells which are in the set.
  template <typename Contains>
  CountTree(std::size_t size, const Contains& contains)
      : words_(Words(size, contains)), index_(BlockCounts(words_)) {}

  std::uint64_t count() const { return index_.total(); }

  // Takes `position`, which is in the set, out of it.
  void Remove(std::size_t position);

  // The `rank`-th position in the set, counted from 1 in ascending order; `rank` lies
  // between 1 and count().
  std::size_t Select(std::uint64_t rank) const {
    const BlockIndex::Reach reach = index_.FirstReaching(rank);
    std::uint64_t missing = rank - reach.sumBefore;
    std::size_t word = reach.block * kWordsPerBlock;
    for (;; ++word) {
      const std::uint64_t bits = BitCount(words_[word]);
      if (bits >= missing) break;
      missing -= bits;
    }
    return word * 64 + SelectInWord(words_[word], missing);
  }

  // The positions that Select(ranks[0]), then Select(ranks[1]) once that one is removed,
  // and so on, give: each rank lies between 1 and the count left at its turn. Found all at
  // once, which is several times faster than one by one for many ranks: rather than a
  // search of the tree per rank, whose every step waits for the one before, the ranks are
  // split between the halves of the positions level by level, each level one pass over
  // them in turn. The set itself is not changed. At most 2^32 - 1 ranks.
  std::vector<std::size_t> SelectInTurn(std::span<const std::uint32_t> ranks) const;

 private:
  static constexpr std::size_t kWordsPerBlock = 8;  // one cache line
  static constexpr std::uint64_t kEveryByte = 0x0101010101010101;

  // The set bits of each byte of `word`, in that byte.
  static constexpr std::uint64_t ByteCounts(std::uint64_t word) {
    word -= (word >> 1) & 0x5555555555555555;
    word = (word & 0x3333333333333333) + ((word >> 2) & 0x3333333333333333);
    return (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0F;
  }
  // The set bits of `word`; std::popcount is a library call on processors that may lack
  // the instruction.
  static constexpr std::uint64_t BitCount(std::uint64_t word) {
    return ByteCounts(word) * kEveryByte >> 56;
  }

  // The place of the `rank`-th set bit of `word` (counted from 1, from the lowest bit).
  static std::size_t SelectInWord(std::uint64_t word, std::uint64_t rank);

  template <typename Contains>
  static std::vector<std::uint64_t> Words(std::size_t size, const Contains& contains) {
    std::vector<std::uint64_t> words(size == 0 ? kWordsPerBlock : (size + 511) / 512 * 8, 0);
    for (std::size_t position = 0; position < size; ++position) {
      if (contains(position)) words[position / 64] |= std::uint64_t{1} << (position % 64);
    }
    return words;
  }
  static std::vector<std::uint64_t> BlockCounts(const std::vector<std::uint64_t>& words);

  // A rank of SelectInTurn, and the turn it was asked at.
  struct Turn {
    std::uint32_t rank;
    std::uint32_t turn;
  };
  // Finds the positions of the turns `from[begin..end)`, in turn order, whose ranks count
  // among the words `firstWord` to `endWord` - 1 only; `to` is room to split them into.
  // `before[word]`: the positions in the set before that word.
  void SplitTurns(Turn* from, Turn* to, std::size_t begin, std::size_t end, std::size_t firstWord,
                  std::size_t endWord, const std::vector<std::uint64_t>& before,
                  std::vector<std::size_t>& positions) const;

  std::vector<std::uint64_t> words_;  // a whole number of blocks
  BlockIndex index_;                  // over the blocks' counts
};

}  // namespace sorvina::engine
