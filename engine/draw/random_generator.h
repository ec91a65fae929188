// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <random>

namespace sorvina::engine {

// The random numbers of the weighted draw: MT19937 as published, seeded with one 32-bit
// number, so that the same seed and the same pool always give the same selection.
class RandomGenerator {
 public:
  void Seed(std::uint32_t seed) { engine_.seed(seed); }
  std::uint32_t NextUint32() { return static_cast<std::uint32_t>(engine_()); }
  // The next output as a fraction: in [0, 1 - 2^-32], never 1.
  double NextDouble() { return ToFraction(NextUint32()); }

  // An output divided by 2^32, exactly.
  static constexpr double ToFraction(std::uint32_t output) { return output * 0x1p-32; }

 private:
  std::mt19937 engine_;
};

}  // namespace sorvina::engine
