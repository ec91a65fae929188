// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as the tag cache file: loading never crashes and gives the entries the bytes
// hold or none at all; what loads, saved and loaded again, is the same. As a damaged file
// almost never ends in the right checksum, each input is also tried with the checksum the
// writer would put after it, so that the reader's checks behind it are fuzzed too.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "engine/scan/tag_cache.h"
#include "fuzz/fuzz_support.h"

namespace {

using sorvina::engine::CachedTags;
using sorvina::engine::DecodeTagCache;
using sorvina::engine::TagCache;
using sorvina::engine::TagCacheEntries;

// The input followed by its FNV-1a checksum, little-endian, as the cache file ends.
std::string Sealed(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  std::string sealed(bytes);
  for (int i = 0; i < 8; ++i, hash >>= 8)
    sealed.push_back(static_cast<char>(hash & 0xFF));
  return sealed;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Check(const std::string& bytes) {
  const std::string file = sorvina::fuzz::ProcessFolder() + "/tags";
  sorvina::fuzz::WriteWholeFile(file, bytes);

  const std::optional<TagCacheEntries> decoded = DecodeTagCache(bytes);
  TagCache cache(file);
  FUZZ_CHECK(cache.size() == (decoded ? decoded->size() : 0));
  if (!decoded) return;
  for (const auto& [path, entry] : *decoded) {
    FUZZ_CHECK(!path.empty() && entry.sizeBytes >= 0);
    FUZZ_CHECK(entry.tags.rating >= 0 && entry.tags.rating <= 5);
    FUZZ_CHECK(entry.tags.track >= 0 && entry.tags.disc >= 0);
    FUZZ_CHECK(cache.Find(path, entry.sizeBytes, entry.modifiedNs) == entry.tags);
  }
  // Everything was looked up, so everything is kept, with what this run stored.
  cache.Store("/fuzz/new.mp3", 1, 1, {});
  FUZZ_CHECK(cache.Save());
  TagCacheEntries expected = *decoded;
  expected.insert_or_assign("/fuzz/new.mp3", CachedTags{1, 1, {}});
  FUZZ_CHECK(DecodeTagCache(ReadWholeFile(file)) == expected);
  FUZZ_CHECK(DecodeTagCache(sorvina::engine::EncodeTagCache(*decoded)) == decoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = sorvina::fuzz::AsText(data, size);
  Check(std::string(bytes));
  Check(Sealed(bytes));
  return 0;
}
