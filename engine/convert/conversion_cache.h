// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "media/loudness.h"
#include "media/transcoder.h"

namespace sorvina::engine {

inline constexpr std::int64_t kDefaultCacheBytes = std::int64_t{2} * 1024 * 1024 * 1024;

// A converted song kept in the cache.
struct CachedSong {
  std::string path;
  std::int64_t sizeBytes = 0;
};

// What converting one song gave: the file in the cache, or why there is none.
struct ConvertedSong {
  std::optional<CachedSong> song;
  bool fromCache = false;  // found there: nothing was encoded
  std::string reason;      // where there is no song
  // Where there is no song because the source ends early.
  std::optional<media::EarlyEnd> earlyEnd = std::nullopt;
};

// Songs converted for a player, kept between runs so that a song chosen again is not
// encoded again. An entry is named after its source's identity (path, size and time of
// last change to the nanosecond) and the conversion's parameters, so that a changed
// source or other parameters never find an old entry. Entries are written under a
// temporary name and renamed when whole, so a run killed part-way leaves no damaged
// entry (only a temporary, which a later run removes). Beyond its size cap, the entries
// used least recently go first. Safe to use from several threads for different songs.
class ConversionCache {
 public:
  // `folder` is made when missing; an empty one means the user's cache folder.
  ConversionCache(std::string folder, std::int64_t capBytes);

  // Where converted songs are kept by default: $XDG_CACHE_HOME/sorvina/converted.
  static std::string DefaultFolder();

  // The entry name of `source` converted with `params`; nothing when the source cannot
  // be looked at.
  std::optional<std::string> EntryName(const std::string& source,
                                       const media::ConversionParams& params) const;

  // The entry `name`, marked as used now; nothing when there is none.
  std::optional<CachedSong> Find(const std::string& name) const;

  // The entry of `source` converted with `params`: found, or converted now. Cancelled
  // (`cancel` set) or failed, nothing is left in the cache.
  ConvertedSong Convert(const std::string& source, const media::ConversionParams& params,
                        const std::atomic<bool>* cancel) const;

  // The entry of `source`, an MP3, made louder or softer by `steps` of 1.5 dB without
  // decoding it (media::ApplyMp3Gain): found, or made now. Nothing, with the reason, for
  // an MP3 whose frames cannot take the change; the song then goes as it is.
  ConvertedSong GainCopy(const std::string& source, int steps) const;

  // Removes the entries used least recently until the cache holds no more than its cap,
  // sparing those named in `inUse`, and temporaries an hour old (left by killed runs).
  void Trim(const std::set<std::string>& inUse) const;

  const std::string& folder() const { return folder_; }

 private:
  std::optional<std::string> NameOf(const std::string& source, const std::string& recipe,
                                    std::string_view extension) const;
  bool Keep(const std::string& temporary, const std::string& name, ConvertedSong& song) const;

  std::string folder_;
  std::int64_t capBytes_;
};

// Each song's loudness, measured once (or read from its tags) and kept in the cache
// folder, by the song's path, size and time of last change. Safe to use from several
// threads.
class LoudnessMemo {
 public:
  explicit LoudnessMemo(std::string file);
  // The loudness of `path`; nothing for a song that cannot be measured (silence).
  std::optional<media::Loudness> Of(const std::string& path);
  // Writes what was measured in this run, whole or not at all.
  void Save();

 private:
  std::string file_;
  std::mutex mutex_;
  std::map<std::string, std::pair<media::Loudness, std::string>>
      known_;  // path: (figure, identity)
  bool changed_ = false;
};

}  // namespace sorvina::engine
