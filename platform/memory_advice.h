#pragma once

#include <cstddef>

namespace sorvina::platform {

// Asks the system to back the memory at `data`, `bytes` long and not yet touched, with
// large pages where it can: a large table read and written all over then takes a few
// page faults instead of one per 4 KiB, and far fewer misses of the address translation
// cache. Only the whole large pages inside the range are advised; the memory must belong
// to the caller (an allocation of its own). Advice only: nothing changes where the system
// does not take it.
void AdviseLargePages(void* data, std::size_t bytes);

}  // namespace sorvina::platform
