#include "platform/memory_advice.h"

#include <sys/mman.h>

#include <cstdint>

namespace sorvina::platform {
namespace {

// The size of a large page on the systems this runs on (x86-64, and 4 KiB-page ARM).
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

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

}  // namespace sorvina::platform
