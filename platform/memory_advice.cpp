// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/memory_advice.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace sorvina::platform {
namespace {

// The size of a large page on the systems this runs on (x86-64, and 4 KiB-page ARM).
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

std::size_t RoundUpToLargePages(std::size_t bytes) {
  return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

class LargePageResource final : public std::pmr::memory_resource {
 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    if (bytes < kLargeBlockBytes || alignment > kLargePage)
      return ::operator new(bytes, std::align_val_t(alignment));
    // Map a large page more than needed and give back what lies before the first large
    // page boundary and after the block, so that the block starts on one.
    const std::size_t size = RoundUpToLargePages(bytes);
    void* const mapped = mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto begin = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t blockEnd = aligned + size;
    const std::uintptr_t mapEnd = begin + size + kLargePage;
    if (aligned > begin) munmap(mapped, aligned - begin);
    if (mapEnd > blockEnd) munmap(reinterpret_cast<void*>(blockEnd), mapEnd - blockEnd);
    AdviseLargePages(reinterpret_cast<void*>(aligned), size);
    return reinterpret_cast<void*>(aligned);
  }

  void do_deallocate(void* data, std::size_t bytes, std::size_t alignment) override {
    if (bytes < kLargeBlockBytes || alignment > kLargePage) {
      ::operator delete(data, bytes, std::align_val_t(alignment));
      return;
    }
    munmap(data, RoundUpToLargePages(bytes));
  }

  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

}  // namespace

void AdviseLargePages(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t end = (begin + bytes) & ~(kLargePage - 1);
  if (first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

std::pmr::memory_resource* LargePageMemory() {
  // Never destroyed: pools held in static storage may give memory back after it would be.
  static LargePageResource* const resource = new LargePageResource;
  return resource;
}

}  // namespace sorvina::platform
