// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/count_tree.h"

#include <algorithm>
#include <array>
#include <memory>

#include "platform/memory_advice.h"

namespace sorvina::engine {

namespace {

// kSelectInByte[byte][n]: the place of the (n + 1)-th set bit of `byte`, from the lowest;
// a table rather than a loop over the bits, whose end cannot be predicted.
constexpr auto kSelectInByte = [] {
  std::array<std::array<std::uint8_t, 8>, 256> table{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    std::size_t found = 0;
    for (std::uint8_t place = 0; place < 8; ++place) {
      if ((byte >> place & 1) != 0) table[byte][found++] = place;
    }
  }
  return table;
}();

}  // namespace

std::vector<std::uint64_t> CountTree::BlockCounts(const std::vector<std::uint64_t>& words) {
  std::vector<std::uint64_t> counts(words.size() / kWordsPerBlock, 0);
  for (std::size_t word = 0; word < words.size(); ++word)
    counts[word / kWordsPerBlock] += BitCount(words[word]);
  return counts;
}

void CountTree::Remove(std::size_t position) {
  words_[position / 64] &= ~(std::uint64_t{1} << (position % 64));
  index_.Subtract(position / 64 / kWordsPerBlock, 1);
}

std::size_t CountTree::SelectInWord(std::uint64_t word, std::uint64_t rank) {
  // Byte i of `upTo` counts the bits of bytes 0 to i (at most 64, so no byte overflows);
  // with the high bit of each byte set, subtracting the rank leaves that bit where the
  // count reaches the rank: the lowest such byte holds the bit.
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  const std::uint64_t upTo = ByteCounts(word) * kEveryByte;
  const std::uint64_t reached = ((upTo | kHighBits) - rank * kEveryByte) & kHighBits;
  const auto byte = static_cast<std::size_t>(std::countr_zero(reached)) / 8;
  if (byte > 0) rank -= upTo >> (8 * (byte - 1)) & 0xFF;
  return 8 * byte + kSelectInByte[word >> (8 * byte) & 0xFF][rank - 1];
}

std::vector<std::size_t> CountTree::SelectInTurn(std::span<const std::uint32_t> ranks) const {
  std::vector<std::uint64_t> before(words_.size() + 1, 0);
  for (std::size_t word = 0; word < words_.size(); ++word)
    before[word + 1] = before[word] + BitCount(words_[word]);
  // Two arrays of turns to split back and forth, and the positions, in large pages and
  // not filled beforehand: a page fault per 4 KiB, or filling them, would cost about as
  // much as the splitting.
  const std::size_t count = ranks.size();
  const auto turns = std::make_unique_for_overwrite<Turn[]>(count);
  const auto room = std::make_unique_for_overwrite<Turn[]>(count);
  std::vector<std::size_t> positions;
  positions.reserve(count);
  platform::AdviseLargePages(turns.get(), count * sizeof(Turn));
  platform::AdviseLargePages(room.get(), count * sizeof(Turn));
  platform::AdviseLargePages(positions.data(), count * sizeof(std::size_t));
  for (std::size_t turn = 0; turn < count; ++turn)
    turns[turn] = {ranks[turn], static_cast<std::uint32_t>(turn)};
  positions.resize(count);
  SplitTurns(turns.get(), room.get(), 0, count, 0, words_.size(), before, positions);
  return positions;
}

void CountTree::SplitTurns(Turn* from, Turn* to, std::size_t begin, std::size_t end,
                           std::size_t firstWord, std::size_t endWord,
                           const std::vector<std::uint64_t>& before,
                           std::vector<std::size_t>& positions) const {
  if (begin == end) return;
  if (endWord - firstWord == 1) {
    std::uint64_t bits = words_[firstWord];
    for (std::size_t i = begin; i < end; ++i) {
      const std::size_t place = SelectInWord(bits, from[i].rank);
      positions[from[i].turn] = firstWord * 64 + place;
      bits &= ~(std::uint64_t{1} << place);
    }
    return;
  }
  // A turn whose rank is within the count left in the lower half at its turn takes a
  // position there; the others take one in the upper half, at their rank less that count.
  // The lower turns go to the front of `to` and the upper ones to its back, both in turn
  // order (the upper ones reversed, then turned round), without a branch on the side: the
  // sides of random ranks cannot be predicted.
  const std::size_t middleWord = firstWord + (endWord - firstWord) / 2;
  const auto lowerCount = static_cast<std::uint32_t>(before[middleWord] - before[firstWord]);
  std::size_t lower = 0;
  std::size_t upper = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const Turn turn = from[i];
    const std::uint32_t lowerLeft = lowerCount - static_cast<std::uint32_t>(lower);
    // All ones for a turn to the lower half, else 0: masks rather than conditions, which
    // the compiler would make branches of.
    const std::size_t toLower = turn.rank <= lowerLeft ? 1 : 0;
    const std::size_t mask = 0 - toLower;
    const std::size_t slot = ((begin + lower) & mask) | ((end - 1 - upper) & ~mask);
    to[slot] = Turn{turn.rank - (lowerLeft & ~static_cast<std::uint32_t>(mask)), turn.turn};
    lower += toLower;
    upper += 1 - toLower;
  }
  std::reverse(to + begin + lower, to + end);
  SplitTurns(to, from, begin, begin + lower, firstWord, middleWord, before, positions);
  SplitTurns(to, from, begin + lower, end, middleWord, endWord, before, positions);
}

}  // namespace sorvina::engine
