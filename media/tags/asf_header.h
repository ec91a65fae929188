// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sorvina::media {

// The size of an ASF (WMA) file's header object, from its first 30 bytes; 0 where they
// are no ASF header.
std::uint64_t AsfHeaderSize(std::string_view first30);

// Whether the ASF header object `header` (all of it) holds what it claims: every object in
// it lies inside it, and so does every descriptor and record that its tag objects count
// (the content description, the extended content description, the metadata and the
// metadata library objects in the header extension). A reader that trusts those counts
// and sizes, as TagLib does, can spend seconds and hundreds of megabytes on a file of a
// few hundred bytes; such a file is no music anyone can play.
bool AsfHeaderHoldsWhatItClaims(std::string_view header);

// Headers larger than this are not read: even one with a large cover picture stays far
// below it.
inline constexpr std::uint64_t kMaxAsfHeaderBytes = std::uint64_t{64} << 20;

}  // namespace sorvina::media
