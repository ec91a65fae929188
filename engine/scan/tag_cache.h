// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "media/tags/draw_tags.h"

namespace sorvina::engine {

// The draw tags of a file as they were read, and the file as it was then.
struct CachedTags {
  std::int64_t sizeBytes = 0;
  std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
  media::DrawTags tags;
  friend bool operator==(const CachedTags&, const CachedTags&) = default;
};

using TagCacheEntries = std::unordered_map<std::string, CachedTags>;

// The cache file's bytes for `entries`: a header (magic, version, count), then per entry
// the path, size, time and tags (strings length-prefixed, integers little-endian), and a
// checksum of all that at the end.
std::string EncodeTagCache(const TagCacheEntries& entries);

// The entries `bytes` hold; nothing when they are not such a file exactly as written (of
// another version, cut short, changed or followed by anything). Never allocates more than
// the bytes could hold.
std::optional<TagCacheEntries> DecodeTagCache(std::string_view bytes);

// The draw tags of earlier runs, by path, each valid while the file keeps its size and
// modification time. Loaded from its file when made; a file that is missing or damaged
// in any way gives an empty cache, which fills again as files are read. Saving keeps the
// entries this run looked up or stored and drops the others, so that files gone from
// the library do not stay for ever. One thread at a time.
class TagCache {
 public:
  // The cache kept in `file`; in DefaultFile() when empty. With neither (no cache folder
  // known), the cache lives for the run only.
  explicit TagCache(std::string file = {});

  // $XDG_CACHE_HOME/sorvina/tags; empty when no cache folder is known.
  static std::string DefaultFile();

  // The tags stored for `path` when the file then had this size and time.
  std::optional<media::DrawTags> Find(std::string_view path, std::int64_t sizeBytes,
                                      std::int64_t modifiedNs);
  void Store(const std::string& path, std::int64_t sizeBytes, std::int64_t modifiedNs,
             media::DrawTags tags);

  // Writes the kept entries to the file, replacing it in one step (a temporary file
  // renamed over it); the folder is made where missing. True when written, or when the
  // file already holds exactly them.
  bool Save();

  const std::string& file() const { return file_; }
  // How many entries it holds.
  std::size_t size() const;

 private:
  // Indexes the entries of `bytes_` (the file's bytes as read); false when damaged.
  bool IndexLoaded();
  // The loaded entry of `path`, as its number; none when there is none.
  std::optional<std::uint32_t> FindLoaded(std::string_view path) const;

  std::string file_;
  // The entries loaded from the file stay in its bytes, which hold them more compactly
  // than any structure made of them would: a library's worth is read at every run.
  std::string bytes_;
  std::vector<std::uint32_t> loadedAt_;  // where each loaded entry begins, then where they end
  std::vector<std::uint32_t> slots_;     // open addressing by path: see kEntryBits; 0: empty
  std::vector<bool> loadedUsed_;         // looked up in this run (and not stored anew)
  std::vector<bool> loadedReplaced_;     // stored anew in this run
  // Entries stored in this run.
  std::unordered_map<std::string, CachedTags> stored_;
};

// The draw tags of each of `paths`, in their order: from `cache` where it holds the file
// as it is now (each file's status is asked once), else read, on up to `threads` threads
// besides the caller's, and stored in `cache`. A file that cannot be read counts as one
// without tags. Artist and album, where empty, come from the folders: the album is the
// name of the file's folder, the artist that of the folder above. `withLength` asks for
// the playing time and bitrate too: kept tags without them are read again.
std::vector<media::DrawTags> TagsOf(const std::vector<std::string>& paths, TagCache& cache,
                                    std::size_t threads = 8, bool withLength = false);

// The same fallback alone, for the file at `path`.
void FillFromFolders(media::DrawTags& tags, std::string_view path);

}  // namespace sorvina::engine
