// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/convert/conversion_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "media/mp3_gain.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;

constexpr char kTemporaryEnding[] = ".tmp";
constexpr auto kAbandonedAfter = std::chrono::hours(1);

// FNV-1a over `text`, from `basis`: two of them with different bases name an entry.
std::uint64_t Fnv1a(std::string_view text, std::uint64_t basis) {
  std::uint64_t hash = basis;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// A song's path, size and time of last change to the nanosecond: what tells whether it
// is still the song a cached figure or file was made from.
std::optional<std::string> SongIdentity(const std::string& path) {
  struct stat status {};
  if (platform::HasNulByte(path) || stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    return std::nullopt;
  return path + '\0' + std::to_string(status.st_size) + '\0' +
         std::to_string(status.st_mtim.tv_sec) + '.' + std::to_string(status.st_mtim.tv_nsec);
}

std::string TemporaryFor(const std::string& folder, const std::string& name) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  return folder + "/." + name + '.' + Hex(random()) + kTemporaryEnding;
}

bool IsTemporary(const std::string& name) {
  return name.size() > 1 && name.front() == '.' && name.ends_with(kTemporaryEnding);
}

}  // namespace

ConversionCache::ConversionCache(std::string folder, std::int64_t capBytes)
    : folder_(folder.empty() ? DefaultFolder() : std::move(folder)), capBytes_(capBytes) {
  (void)platform::MakeFolders(folder_);  // a folder that cannot be made fails each convert
}

std::string ConversionCache::DefaultFolder() {
  const std::string cache = platform::CacheFolder();
  return cache.empty() ? std::string() : cache + "/converted";
}

std::optional<std::string> ConversionCache::EntryName(const std::string& source,
                                                      const media::ConversionParams& params) const {
  return NameOf(source, params.Key(), media::TargetExtension(params.codec));
}

std::optional<std::string> ConversionCache::NameOf(const std::string& source,
                                                   const std::string& recipe,
                                                   std::string_view extension) const {
  const std::optional<std::string> identity = SongIdentity(source);
  if (!identity) return std::nullopt;
  const std::string key = *identity + '\0' + recipe;
  return Hex(Fnv1a(key, 0xcbf29ce484222325ULL)) + Hex(Fnv1a(key, 0x84222325cbf29ce4ULL)) +
         std::string(extension);
}

std::optional<CachedSong> ConversionCache::Find(const std::string& name) const {
  const std::string path = folder_ + '/' + name;
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  // Its time of last change says when it was last used, for Trim.
  (void)utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
  return CachedSong{path, static_cast<std::int64_t>(status.st_size)};
}

ConvertedSong ConversionCache::Convert(const std::string& source,
                                       const media::ConversionParams& params,
                                       const std::atomic<bool>* cancel) const {
  ConvertedSong converted;
  const std::optional<std::string> name = EntryName(source, params);
  if (!name) {
    converted.reason = "the song cannot be read";
    return converted;
  }
  if ((converted.song = Find(*name))) {
    converted.fromCache = true;
    return converted;
  }
  const std::string temporary = TemporaryFor(folder_, *name);
  const media::TranscodeResult result = media::Transcode(source, temporary, params, cancel);
  if (!result.ok) {
    converted.reason = result.reason;
    converted.earlyEnd = result.earlyEnd;
    (void)unlink(temporary.c_str());
    return converted;
  }
  Keep(temporary, *name, converted);
  return converted;
}

bool ConversionCache::Keep(const std::string& temporary, const std::string& name,
                           ConvertedSong& song) const {
  const std::string path = folder_ + '/' + name;
  struct stat status {};
  if (stat(temporary.c_str(), &status) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
    song.reason = "the converted song cannot be kept in " + folder_;
    (void)unlink(temporary.c_str());
    return false;
  }
  song.song = CachedSong{path, static_cast<std::int64_t>(status.st_size)};
  return true;
}

ConvertedSong ConversionCache::GainCopy(const std::string& source, int steps) const {
  ConvertedSong copy;
  const std::optional<std::string> name =
      NameOf(source, "mp3 gain " + std::to_string(steps), ".mp3");
  if (!name) {
    copy.reason = "the song cannot be read";
    return copy;
  }
  if ((copy.song = Find(*name))) {
    copy.fromCache = true;
    return copy;
  }
  std::string bytes;
  {
    std::ifstream in(source, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (!in.good() && !in.eof()) {
      copy.reason = "the song cannot be read";
      return copy;
    }
  }
  if (!media::ApplyMp3Gain(bytes, steps, &copy.reason)) return copy;
  const std::string temporary = TemporaryFor(folder_, *name);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      copy.reason = "the song cannot be kept in " + folder_;
      (void)unlink(temporary.c_str());
      return copy;
    }
  }
  Keep(temporary, *name, copy);
  return copy;
}

LoudnessMemo::LoudnessMemo(std::string file) : file_(std::move(file)) {
  std::ifstream in(file_);
  // Lines: path TAB size.time TAB LUFS TAB dBTP; anything else is passed over.
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(line.substr(from, tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    if (fields.size() != 4) continue;
    char* end = nullptr;
    const double lufs = std::strtod(fields[2].c_str(), &end);
    if (end == fields[2].c_str() || *end != '\0') continue;
    const double peak = std::strtod(fields[3].c_str(), &end);
    known_[fields[0]] = {{lufs, peak}, fields[1]};
  }
}

std::optional<media::Loudness> LoudnessMemo::Of(const std::string& path) {
  const std::optional<std::string> identity = SongIdentity(path);
  if (!identity) return std::nullopt;
  // The identity without the path, which the line holds apart; tabs and line feeds in a
  // path would break a line, so such songs are measured every time.
  std::string stamp = identity->substr(path.size() + 1);
  std::replace(stamp.begin(), stamp.end(), '\0', '/');
  const bool storable = path.find_first_of("\t\n") == std::string::npos;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto known = known_.find(path);
    if (known != known_.end() && known->second.second == stamp) return known->second.first;
  }
  std::optional<media::Loudness> loudness = media::LoudnessFromTags(path);
  if (!loudness) loudness = media::MeasureLoudness(path);
  if (loudness && storable) {
    const std::lock_guard<std::mutex> lock(mutex_);
    known_[path] = {*loudness, stamp};
    changed_ = true;
  }
  return loudness;
}

void LoudnessMemo::Save() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!changed_) return;
  std::string text;
  for (const auto& [path, entry] : known_) {
    char figures[64];
    std::snprintf(figures, sizeof figures, "%.2f\t%.2f", entry.first.integratedLufs,
                  entry.first.truePeakDb);
    text += path + '\t' + entry.second + '\t' + figures + '\n';
  }
  const std::string temporary = file_ + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out || rename(temporary.c_str(), file_.c_str()) != 0) (void)unlink(temporary.c_str());
}

void ConversionCache::Trim(const std::set<std::string>& inUse) const {
  struct Entry {
    fs::file_time_type used;
    std::int64_t bytes;
    fs::path path;
  };
  std::vector<Entry> entries;
  std::int64_t total = 0;
  std::error_code error;
  const auto now = fs::file_time_type::clock::now();
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error)) {
    std::error_code entryError;
    if (!entry.is_regular_file(entryError)) continue;
    const std::string name = entry.path().filename().string();
    const fs::file_time_type used = entry.last_write_time(entryError);
    if (entryError) continue;
    if (IsTemporary(name)) {
      // A temporary that old belongs to no conversion under way any more.
      if (now - used > kAbandonedAfter) fs::remove(entry.path(), entryError);
      continue;
    }
    const auto bytes = static_cast<std::int64_t>(entry.file_size(entryError));
    total += bytes;
    if (!inUse.contains(name)) entries.push_back({used, bytes, entry.path()});
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.used < b.used; });
  for (const Entry& entry : entries) {
    if (total <= capBytes_) break;
    std::error_code removeError;
    if (fs::remove(entry.path, removeError)) total -= entry.bytes;
  }
}

}  // namespace sorvina::engine
