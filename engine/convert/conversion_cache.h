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
#include <vector>

#include "media/codecs.h"
#include "platform/content_fingerprint.h"
#include "platform/unique_fd.h"
#include "text/failure.h"

namespace sorvina::engine {

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
  // A copy whose covers could not be fitted to the player (CoverCopy): the reason is the
  // covers' fault, not the loudness's.
  bool coverFailed = false;
  // Why a song copied rather than converted keeps covers larger than the player shows.
  std::string coverReason = {};
};

// Songs converted for a player, kept between runs so that a song chosen again is not
// encoded again. An entry is named after its source's identity (path, size and time of
// last change to the nanosecond) and the conversion's parameters, so that a changed
// source or other parameters never find an old entry. Entries are written under a
// temporary name, synced, and renamed when whole, so a run killed part-way leaves no
// entry of its own (only a temporary, which a later run removes). Beside each entry a
// small check file keeps its fingerprint under the user's key, and an entry is used only
// while it matches: a cut, emptied or overwritten entry is removed and its song converted
// again. Beyond its size cap, the entries used least recently go first. Safe to use from
// several threads for different songs.
//
// The folder is opened once, links in its path followed (a cache folder linked to
// another disk is used where it leads), and everything in it is reached by name through
// that descriptor, never through a link: only files named as this class names its
// entries, check files and temporaries are ever removed, whatever else the folder holds.
class ConversionCache {
 public:
  // `folder` is made when missing: now, or where `openNow` is false, once a song is first
  // looked for or kept (a run that may need no entry makes no folder). An empty one is no
  // folder: nothing is made or kept anywhere, and every song fails to convert.
  ConversionCache(std::string folder, std::int64_t capBytes, bool openNow = true);
  // Removes the songs converted for this run alone (see Convert).
  ~ConversionCache();
  ConversionCache(const ConversionCache&) = delete;
  ConversionCache& operator=(const ConversionCache&) = delete;

  // Where converted songs are kept by default: $XDG_CACHE_HOME/sorvina/converted, or
  // ~/.cache/sorvina/converted. A failure that says what is missing where neither that
  // variable nor a home folder is known: no folder of the user's is fit to take them.
  static text::Result<std::string> DefaultFolder();

  // The entry name of `source` converted with `params`; nothing when the source cannot
  // be looked at.
  std::optional<std::string> EntryName(const std::string& source,
                                       const media::ConversionParams& params) const;

  // The entry `name`, checked against its fingerprint and marked as used now; nothing
  // when there is none, or none that can be trusted (which is then removed).
  std::optional<CachedSong> Find(const std::string& name) const;

  // The entry of `source` converted with `params`: found, or converted now. Cancelled
  // (`cancel` set) or failed, nothing is left in the cache. Where the user's fingerprint
  // key can be neither read nor made, no entry can be checked: none is used or kept, and
  // each song is converted into a temporary file of the cache folder that serves this
  // run alone and goes with this object.
  ConvertedSong Convert(const std::string& source, const media::ConversionParams& params,
                        const std::atomic<bool>* cancel) const;

  // The entry of `source`, an MP3, made louder or softer by `steps` of 1.5 dB without
  // decoding it (media::ApplyMp3Gain): found, or made now (for this run alone, as in
  // Convert, without a key). Nothing, with the reason, for an MP3 whose frames cannot
  // take the change; the song then goes as it is.
  ConvertedSong GainCopy(const std::string& source, int steps) const;

  // The entry of `source`, an MP3, with the pictures of its tag fitted to a player that
  // shows at most `maxSide` pixels a side (0: none), and made louder or softer by `steps`
  // as in GainCopy, in one file (media::CopyWithFittedCovers): found, or made now (for
  // this run alone without a key). Its name is its own, so it is found again however often
  // the song is chosen. Nothing, with the reason, where it cannot be made; `coverFailed`
  // says whether the covers were at fault.
  ConvertedSong CoverCopy(const std::string& source, int steps, int maxSide,
                          const std::atomic<bool>* cancel) const;

  // Removes the entries used least recently until the cache holds no more than its cap,
  // sparing those named in `inUse`, and temporaries and stray check files an hour old
  // (left by killed runs).
  void Trim(const std::set<std::string>& inUse) const;

  const std::string& folder() const { return folder_; }

 private:
  // What an entry was when it was last found whole: while it stays so (same file, not
  // changed since), it need not be read again.
  struct CheckedEntry {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t sizeBytes = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;
    friend bool operator==(const CheckedEntry&, const CheckedEntry&) = default;
  };

  // The folder's descriptor, opened (and the folder made) at first use; -1 where it
  // cannot be.
  int Fd() const;
  std::optional<std::string> NameOf(const std::string& source, const std::string& recipe,
                                    std::string_view extension) const;
  bool Matches(int fd, const std::string& name, std::int64_t sizeBytes) const;
  bool FoundOrUnnamed(const std::optional<std::string>& name, ConvertedSong& song) const;
  bool Keep(platform::UniqueFd temporary, const std::string& temporaryName, const std::string& name,
            ConvertedSong& song) const;
  void Remember(const std::string& name, int fd) const;
  void Forget(const std::string& name) const;

  std::string folder_;
  std::int64_t capBytes_;
  mutable platform::UniqueFd folderFd_;  // the folder as opened once; invalid where it cannot be
  mutable std::once_flag opening_;
  mutable std::atomic<bool> opened_ = false;
  std::optional<platform::FingerprintKey> key_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, CheckedEntry> checked_;
  mutable std::vector<std::string> lent_;  // temporaries that serve this run alone
};

}  // namespace sorvina::engine
