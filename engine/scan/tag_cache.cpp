// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/tag_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <span>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/new_file.h"
#include "platform/read_only_file.h"
#include "platform/unique_fd.h"
#include "platform/user_folders.h"

namespace sorvina::engine {
namespace {

constexpr std::string_view kMagic = "SorvTags";
// Version 2 added the title, genres, year, recording ids and length; a file of another
// version is read as none, and the files are read again.
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderBytes = 8 + 4 + 8;
constexpr std::size_t kChecksumBytes = 8;
// Path, size, time, three strings, track, disc and rating, title, genre count, year, two
// ids, length and bitrate, all strings empty and no genre.
constexpr std::size_t kSmallestEntryBytes =
    4 + 8 + 8 + 3 * 4 + 4 + 4 + 1 + 4 + 4 + 4 + 2 * 4 + 4 + 4;
// The length of an entry whose length was not read.
constexpr std::int32_t kLengthNotRead = -1;
// A cache file larger than this is taken for damage rather than read into memory: it
// would hold millions of songs.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{256} << 20;
constexpr int kMaxStars = 5;
// An index slot holds an entry's number + 1 in its low bits and, above them, bits of its
// path's hash, so that a lookup looks at the entries of other paths only rarely.
constexpr std::uint32_t kEntryBits = (std::uint32_t{1} << 24) - 1;
constexpr std::uint64_t kMaxLoadedEntries = kEntryBits - 1;  // far more than 256 MiB hold
std::uint32_t Fingerprint(std::size_t hash) {
  return static_cast<std::uint32_t>(hash >> 56) << 24;
}

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

template <class Integer>
void PutLittle(std::string& out, Integer value) {
  // Wide enough that shifting a byte out never shifts by the whole width of the type.
  auto bits = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<Integer>>(value));
  for (std::size_t i = 0; i < sizeof(Integer); ++i, bits >>= 8)
    out.push_back(static_cast<char>(bits & 0xFF));
}

void PutText(std::string& out, std::string_view text) {
  PutLittle(out, static_cast<std::uint32_t>(text.size()));
  out.append(text);
}

// Reads what EncodeEntries wrote, each read checked against what is left.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  template <class Integer>
  bool Get(Integer& value) {
    if (bytes_.size() < sizeof(Integer)) return false;
    std::uint64_t bits = 0;
    for (std::size_t i = sizeof(Integer); i-- > 0;) {
      bits <<= 8;
      bits |= static_cast<unsigned char>(bytes_[i]);
    }
    value = static_cast<Integer>(bits);
    bytes_.remove_prefix(sizeof(Integer));
    return true;
  }

  bool GetText(std::string& text) {
    std::uint32_t length = 0;
    if (!Get(length) || length > bytes_.size()) return false;
    text.assign(bytes_.substr(0, length));
    bytes_.remove_prefix(length);
    return true;
  }

  std::size_t left() const { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

// The tags of an entry, read after its path, size and time.
bool GetTags(Reader& reader, media::DrawTags& tags) {
  std::uint8_t rating = 0;
  if (!reader.GetText(tags.artist) || !reader.GetText(tags.albumArtist) ||
      !reader.GetText(tags.album) || !reader.Get(tags.track) || !reader.Get(tags.disc) ||
      !reader.Get(rating))
    return false;
  tags.rating = rating;
  std::uint32_t genres = 0;
  std::int32_t seconds = 0;
  if (!reader.GetText(tags.title) || !reader.Get(genres) || genres > media::kMaxGenres)
    return false;
  tags.genres.resize(genres);
  for (std::string& genre : tags.genres)
    if (!reader.GetText(genre)) return false;
  if (!reader.Get(tags.year) || !reader.GetText(tags.recordingId) || !reader.GetText(tags.isrc) ||
      !reader.Get(seconds) || !reader.Get(tags.bitrate))
    return false;
  if (seconds != kLengthNotRead) tags.seconds = seconds;
  return tags.track >= 0 && tags.disc >= 0 && tags.rating <= kMaxStars && tags.year >= 0 &&
         seconds >= kLengthNotRead && tags.bitrate >= 0;
}

bool GetEntry(Reader& reader, std::string& path, CachedTags& entry) {
  return reader.GetText(path) && !path.empty() && reader.Get(entry.sizeBytes) &&
         entry.sizeBytes >= 0 && reader.Get(entry.modifiedNs) && GetTags(reader, entry.tags);
}

void PutEntry(std::string& out, std::string_view path, const CachedTags& entry) {
  PutText(out, path);
  PutLittle(out, entry.sizeBytes);
  PutLittle(out, entry.modifiedNs);
  PutText(out, entry.tags.artist);
  PutText(out, entry.tags.albumArtist);
  PutText(out, entry.tags.album);
  PutLittle(out, static_cast<std::int32_t>(entry.tags.track));
  PutLittle(out, static_cast<std::int32_t>(entry.tags.disc));
  PutLittle(out, static_cast<std::uint8_t>(std::clamp(entry.tags.rating, 0, kMaxStars)));
  PutText(out, entry.tags.title);
  const std::size_t genres = std::min(entry.tags.genres.size(), media::kMaxGenres);
  PutLittle(out, static_cast<std::uint32_t>(genres));
  for (std::size_t i = 0; i < genres; ++i)
    PutText(out, entry.tags.genres[i]);
  PutLittle(out, static_cast<std::int32_t>(std::max(entry.tags.year, 0)));
  PutText(out, entry.tags.recordingId);
  PutText(out, entry.tags.isrc);
  PutLittle(out, static_cast<std::int32_t>(entry.tags.seconds ? std::max(*entry.tags.seconds, 0)
                                                              : kLengthNotRead));
  PutLittle(out, static_cast<std::int32_t>(std::max(entry.tags.bitrate, 0)));
}

using EntryRefs = std::vector<std::pair<const std::string*, const CachedTags*>>;

std::string EncodeEntries(const EntryRefs& entries) {
  std::string out;
  out.reserve(kHeaderBytes + entries.size() * (kSmallestEntryBytes + 96) + kChecksumBytes);
  out.append(kMagic);
  PutLittle(out, kVersion);
  PutLittle(out, static_cast<std::uint64_t>(entries.size()));
  for (const auto& [path, entry] : entries)
    PutEntry(out, *path, *entry);
  PutLittle(out, Fnv1a(out));
  return out;
}

// Reads the entries of a cache file's `bytes`: `begin(count)` once the header is read,
// then `each(at, path, entry)` for every entry, `at` its place in `bytes`. False when the
// bytes are damaged (anything but such a file exactly as written) or a call returns false.
template <class Begin, class Each>
bool ReadEntries(std::string_view bytes, const Begin& begin, const Each& each) {
  if (bytes.size() < kHeaderBytes + kChecksumBytes || !bytes.starts_with(kMagic)) return false;
  Reader tail(bytes.substr(bytes.size() - kChecksumBytes));
  std::uint64_t checksum = 0;
  bytes.remove_suffix(kChecksumBytes);
  if (!tail.Get(checksum) || checksum != Fnv1a(bytes)) return false;

  Reader reader(bytes.substr(kMagic.size()));
  std::uint32_t version = 0;
  std::uint64_t count = 0;
  if (!reader.Get(version) || version != kVersion || !reader.Get(count) ||
      count > reader.left() / kSmallestEntryBytes || !begin(count))
    return false;
  std::string path;
  CachedTags entry;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::size_t at = bytes.size() - reader.left();
    if (!GetEntry(reader, path, entry) || !each(at, path, std::move(entry))) return false;
  }
  return reader.left() == 0;
}

std::string ReadWholeFile(const std::string& path) {
  const std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(path);
  if (!file || file->size() > kMaxFileBytes) return {};
  std::string bytes(static_cast<std::size_t>(file->size()), '\0');
  bytes.resize(
      file->ReadAt(0, std::span(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size())));
  return bytes;
}

// Writes `bytes` to a temporary file beside `target` and renames it over the target.
// Without a flush to the disk first: a crash may leave a damaged cache, which the next
// run notices and fills again.
bool ReplaceFile(const std::string& target, std::string_view bytes) {
  const std::size_t slash = target.rfind('/');
  if (slash != std::string::npos && slash > 0 &&
      platform::MakeFolders(target.substr(0, slash)) != 0)
    return false;
  std::string temporary;
  platform::UniqueFd fd(platform::CreateHiddenSibling(target, ".tmp", 0600, temporary));
  if (!fd) return false;
  bool ok = false;
  {
    const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    ok = platform::WriteAll(fd.get(), bytes) == 0;
  }
  ok = close(fd.Release()) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

// A file's size and modification time, from one status query; nothing when it cannot be
// asked or the time is beyond what nanoseconds in 64 bits hold.
struct FileKey {
  std::int64_t sizeBytes = 0;
  std::int64_t modifiedNs = 0;
};
std::optional<FileKey> KeyOf(const std::string& path) {
  struct stat status {};
  if (platform::HasNulByte(path) || stat(path.c_str(), &status) != 0) return std::nullopt;
  std::int64_t nanoseconds = 0;
  if (__builtin_mul_overflow(static_cast<std::int64_t>(status.st_mtim.tv_sec), 1'000'000'000,
                             &nanoseconds) ||
      __builtin_add_overflow(nanoseconds, status.st_mtim.tv_nsec, &nanoseconds))
    return std::nullopt;
  return FileKey{static_cast<std::int64_t>(status.st_size), nanoseconds};
}

// Calls `work(i)` for every i below `count`, on up to `threads` threads besides the
// caller's own, one for each `perThread` items at most. A system out of threads does the
// work on fewer.
void ForEachIndex(std::size_t count, std::size_t threads, std::size_t perThread,
                  const std::function<void(std::size_t)>& work) {
  std::atomic<std::size_t> next = 0;
  const auto run = [&] {
    for (std::size_t i = next++; i < count; i = next++)
      work(i);
  };
  const std::size_t helpers = std::min(threads, count / perThread);
  std::vector<std::thread> started;
  try {
    for (std::size_t i = 0; i < helpers; ++i)
      started.emplace_back(run);
  } catch (const std::system_error&) {
  }
  run();
  for (std::thread& thread : started)
    thread.join();
}

// Below this count of files a thread costs more to start than it saves: reading tags
// from the system's cache takes some tens of microseconds.
constexpr std::size_t kReadsPerThread = 8;
// A status from the system's cache takes about a microsecond: a thread pays for itself
// over some hundreds.
constexpr std::size_t kStatusesPerThread = 512;

// The name of the last folder in path[0, end), and where that name starts; empty at the
// root or without a folder.
std::string_view LastName(std::string_view path, std::size_t& end) {
  while (end > 0 && path[end - 1] == '/')
    --end;
  std::size_t start = end;
  while (start > 0 && path[start - 1] != '/')
    --start;
  const std::string_view name = path.substr(start, end - start);
  end = start;
  return name;
}

}  // namespace

std::string EncodeTagCache(const TagCacheEntries& entries) {
  EntryRefs refs;
  refs.reserve(entries.size());
  for (const auto& [path, entry] : entries)
    refs.emplace_back(&path, &entry);
  return EncodeEntries(refs);
}

std::optional<TagCacheEntries> DecodeTagCache(std::string_view bytes) {
  TagCacheEntries entries;
  const bool whole = ReadEntries(
      bytes,
      [&entries](std::uint64_t count) {
        entries.reserve(static_cast<std::size_t>(count));
        return true;
      },
      [&entries](std::size_t, const std::string& path, CachedTags entry) {
        return entries.try_emplace(path, std::move(entry)).second;
      });
  if (!whole) return std::nullopt;
  return entries;
}

TagCache::TagCache(std::string file) : file_(file.empty() ? DefaultFile() : std::move(file)) {
  if (file_.empty()) return;
  bytes_ = ReadWholeFile(file_);
  if (!IndexLoaded()) {
    bytes_.clear();
    loadedAt_.clear();
    slots_.clear();
  }
  bytes_.shrink_to_fit();
  loadedUsed_.assign(loadedAt_.empty() ? 0 : loadedAt_.size() - 1, false);
  loadedReplaced_ = loadedUsed_;
}

std::string TagCache::DefaultFile() {
  const std::string folder = platform::CacheFolder();
  return folder.empty() ? std::string() : folder + "/tags";
}

bool TagCache::IndexLoaded() {
  // Each entry's place is kept, rather than a copy of it.
  if (bytes_.size() > std::numeric_limits<std::uint32_t>::max()) return false;
  const bool whole = ReadEntries(
      bytes_,
      [this](std::uint64_t count) {
        if (count > kMaxLoadedEntries) return false;
        loadedAt_.reserve(static_cast<std::size_t>(count) + 1);
        slots_.assign(std::bit_ceil(static_cast<std::size_t>(count) * 2 + 2), 0);
        return true;
      },
      [this](std::size_t at, const std::string& path, const CachedTags&) {
        if (FindLoaded(path)) return false;  // a path twice: not a file we wrote
        const auto number = static_cast<std::uint32_t>(loadedAt_.size());
        loadedAt_.push_back(static_cast<std::uint32_t>(at));
        const std::size_t hash = std::hash<std::string_view>{}(path);
        std::size_t slot = hash & (slots_.size() - 1);
        while (slots_[slot] != 0)
          slot = (slot + 1) & (slots_.size() - 1);
        slots_[slot] = (number + 1) | Fingerprint(hash);
        return true;
      });
  if (!whole) return false;
  loadedAt_.push_back(static_cast<std::uint32_t>(bytes_.size() - kChecksumBytes));
  return true;
}

std::optional<std::uint32_t> TagCache::FindLoaded(std::string_view path) const {
  if (slots_.empty()) return std::nullopt;
  const std::size_t hash = std::hash<std::string_view>{}(path);
  const std::uint32_t fingerprint = Fingerprint(hash);
  for (std::size_t slot = hash & (slots_.size() - 1); slots_[slot] != 0;
       slot = (slot + 1) & (slots_.size() - 1)) {
    // Other paths are passed over by their fingerprints, without a look at their entries.
    if ((slots_[slot] & ~kEntryBits) != fingerprint) continue;
    const std::uint32_t number = (slots_[slot] & kEntryBits) - 1;
    // Each entry begins with its path, length first.
    Reader reader(std::string_view(bytes_).substr(loadedAt_[number]));
    std::uint32_t length = 0;
    if (reader.Get(length) &&
        std::string_view(bytes_).substr(loadedAt_[number] + 4, length) == path)
      return number;
  }
  return std::nullopt;
}

std::optional<media::DrawTags> TagCache::Find(std::string_view path, std::int64_t sizeBytes,
                                              std::int64_t modifiedNs) {
  if (!stored_.empty()) {
    if (const auto found = stored_.find(std::string(path)); found != stored_.end()) {
      if (found->second.sizeBytes != sizeBytes || found->second.modifiedNs != modifiedNs)
        return std::nullopt;
      return found->second.tags;
    }
  }
  const std::optional<std::uint32_t> number = FindLoaded(path);
  if (!number || loadedReplaced_[*number]) return std::nullopt;
  // The entry was checked when loaded: past its path, the file as it was, then the tags,
  // read only for a file that is still as it was.
  Reader reader(std::string_view(bytes_).substr(loadedAt_[*number] + 4 + path.size()));
  std::int64_t wasSize = 0;
  std::int64_t wasModified = 0;
  media::DrawTags tags;
  if (!reader.Get(wasSize) || !reader.Get(wasModified) || wasSize != sizeBytes ||
      wasModified != modifiedNs || !GetTags(reader, tags))
    return std::nullopt;
  loadedUsed_[*number] = true;
  return tags;
}

void TagCache::Store(const std::string& path, std::int64_t sizeBytes, std::int64_t modifiedNs,
                     media::DrawTags tags) {
  if (const std::optional<std::uint32_t> number = FindLoaded(path)) {
    loadedReplaced_[*number] = true;
    loadedUsed_[*number] = false;
  }
  stored_.insert_or_assign(path, CachedTags{sizeBytes, modifiedNs, std::move(tags)});
}

std::size_t TagCache::size() const {
  std::size_t loaded = 0;
  for (std::size_t i = 0; i < loadedReplaced_.size(); ++i)
    loaded += loadedReplaced_[i] ? 0 : 1;
  return loaded + stored_.size();
}

bool TagCache::Save() {
  if (file_.empty()) return false;
  std::size_t keptLoaded = 0;
  for (std::size_t i = 0; i < loadedUsed_.size(); ++i)
    keptLoaded += loadedUsed_[i] ? 1 : 0;
  if (stored_.empty() && keptLoaded == loadedUsed_.size()) return true;
  // The entries kept from the file as they are there, then those stored in this run.
  std::string out;
  out.reserve(bytes_.size() + stored_.size() * (kSmallestEntryBytes + 96));
  out.append(kMagic);
  PutLittle(out, kVersion);
  PutLittle(out, static_cast<std::uint64_t>(keptLoaded + stored_.size()));
  for (std::size_t i = 0; i < loadedUsed_.size(); ++i) {
    if (loadedUsed_[i])
      out.append(std::string_view(bytes_).substr(loadedAt_[i], loadedAt_[i + 1] - loadedAt_[i]));
  }
  for (const auto& [path, entry] : stored_)
    PutEntry(out, path, entry);
  PutLittle(out, Fnv1a(out));
  if (!ReplaceFile(file_, out)) return false;
  // What is kept is what the file now holds; every entry of it counts as used.
  bytes_ = std::move(out);
  stored_.clear();
  loadedAt_.clear();
  if (!IndexLoaded()) return false;
  loadedUsed_.assign(loadedAt_.size() - 1, true);
  loadedReplaced_.assign(loadedAt_.size() - 1, false);
  return true;
}

void FillFromFolders(media::DrawTags& tags, std::string_view path) {
  if (!tags.album.empty() && !tags.artist.empty()) return;
  std::size_t end = path.size();
  (void)LastName(path, end);  // the file's own name
  const std::string_view album = LastName(path, end);
  const std::string_view artist = LastName(path, end);
  if (tags.album.empty()) tags.album = album;
  if (tags.artist.empty()) tags.artist = artist;
}

std::vector<media::DrawTags> TagsOf(const std::vector<std::string>& paths, TagCache& cache,
                                    std::size_t threads, bool withLength) {
  const std::size_t count = paths.size();
  std::vector<media::DrawTags> tags(count);
  // Each file's status comes from the system's cache, as the scan has just asked for its
  // size; asking takes a system call, so many are asked on several threads at once.
  std::vector<std::optional<FileKey>> keys(count);
  ForEachIndex(count, threads, kStatusesPerThread,
               [&](std::size_t i) { keys[i] = KeyOf(paths[i]); });
  struct Miss {
    std::size_t index;
    std::optional<FileKey> key;
  };
  std::vector<Miss> misses;
  for (std::size_t i = 0; i < count; ++i) {
    const std::optional<FileKey>& key = keys[i];
    std::optional<media::DrawTags> found =
        key ? cache.Find(paths[i], key->sizeBytes, key->modifiedNs) : std::nullopt;
    // Tags kept without the length are read again, length and all, where it is asked for.
    if (found && (!withLength || found->seconds))
      tags[i] = std::move(*found);
    else
      misses.push_back(Miss{i, key});
  }

  ForEachIndex(misses.size(), threads, kReadsPerThread, [&](std::size_t miss) {
    const std::size_t i = misses[miss].index;
    tags[i] = media::ReadDrawTags(paths[i], withLength).value_or(media::DrawTags{});
    // A file that cannot be read has no length to find: kept as unknown, not read again.
    if (withLength && !tags[i].seconds) tags[i].seconds = 0;
  });
  for (const Miss& miss : misses) {
    if (miss.key)
      cache.Store(paths[miss.index], miss.key->sizeBytes, miss.key->modifiedNs, tags[miss.index]);
  }

  for (std::size_t i = 0; i < count; ++i)
    FillFromFolders(tags[i], paths[i]);
  return tags;
}

}  // namespace sorvina::engine
