// SPDX-License-Identifier: GPL-3.0-or-later
// The books lane's state as a player may hold it, written by anyone: the reader keeps
// only whole lines of its two kinds, and what it took reads back the same once written.
#include <cstdint>
#include <string>

#include "engine/fill/book_lane.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvina::engine;
  const BookLaneState parsed = ParseBookLaneState(sorvina::fuzz::AsText(data, size), 1000);
  FUZZ_CHECK(parsed.done.size() + parsed.placed.size() <= 1000);
  for (const std::string& path : parsed.done)
    FUZZ_CHECK(!path.empty() && path.find_first_of(std::string("\n\0", 2)) == std::string::npos);
  for (const auto& [relative, source] : parsed.placed)
    FUZZ_CHECK(!relative.empty() && !source.empty() && relative.find('\t') == std::string::npos);
  const std::string written = FormatBookLaneState(parsed);
  const BookLaneState again = ParseBookLaneState(written);
  FUZZ_CHECK(again == parsed);
  FUZZ_CHECK(FormatBookLaneState(again) == written);
  return 0;
}
