#include "engine/count_tree.h"

namespace sorvina::engine {

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
  for (std::size_t place = 8 * byte;; ++place) {
    if ((word >> place & 1) != 0 && --rank == 0) return place;
  }
}

}  // namespace sorvina::engine
