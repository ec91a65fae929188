// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/memory_advice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace sorvina::platform {
namespace {

TEST(LargePageMemoryTest, EveryBlockIsAlignedAndUsableToItsLastByte) {
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  std::pmr::memory_resource* memory = LargePageMemory();
  for (const std::size_t bytes :
       {std::size_t{1}, std::size_t{4096}, kLargeBlockBytes - 1, kLargeBlockBytes,
        std::size_t{3} << 20, (std::size_t{5} << 20) + 7}) {
    for (const std::size_t alignment : {std::size_t{1}, std::size_t{16}, std::size_t{4096}}) {
      void* block = memory->allocate(bytes, alignment);
      const auto address = reinterpret_cast<std::uintptr_t>(block);
      EXPECT_EQ(address % alignment, 0u) << bytes << " bytes, aligned to " << alignment;
      // Large blocks start on a large page, so that the system can back them with them.
      if (bytes >= kLargeBlockBytes) {
        EXPECT_EQ(address % kLargePage, 0u) << bytes;
      }
      std::memset(block, 0x5a, bytes);
      EXPECT_EQ(static_cast<unsigned char*>(block)[bytes - 1], 0x5a);
      memory->deallocate(block, bytes, alignment);
    }
  }
}

}  // namespace
}  // namespace sorvina::platform
