// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory_resource>

namespace sorvina::platform {

// Asks the system to back the memory at `data`, `bytes` long and not yet touched, with
// large pages where it can: a large table read and written all over then takes a few
// page faults instead of one per 4 KiB, and far fewer misses of the address translation
// cache. Only the whole large pages inside the range are advised; the memory must belong
// to the caller (an allocation of its own). Advice only: nothing changes where the system
// does not take it.
void AdviseLargePages(void* data, std::size_t bytes);

// Memory for tables and texts that grow large and are let go at once. A block of at
// least kLargeBlockBytes is mapped on its own, aligned to and rounded up to whole large
// pages and advised to be backed by them, so that filling it takes a page fault per
// 2 MiB rather than per 4 KiB; a smaller block comes from the heap, where a large page
// would be mostly waste. Safe to use from any thread.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{1} << 20;
std::pmr::memory_resource* LargePageMemory();

}  // namespace sorvina::platform
