// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as one kind of play history in text, the kind chosen when the target is built
// (SORVINA_FUZZ_READER): a player's playback log or scrobbler log, exported listens, or a
// song list kept as XML. Whatever the bytes, every entry is sound: no negative count, no
// date outside the plausible range, a listen is a play or a skip, a path on the player is
// absolute, and no more entries than the bound. Logs are read on from where an earlier
// reading stopped, so reading them in two parts split at a line's end gives what reading
// them whole gives; a song list is streamed, so feeding it in two pieces does too.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/history/history_readers.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace sorvina::engine::history;

constexpr std::int64_t kNow = 1'800'000'000;
const ReadLimits kLimits{.maxEntries = 64, .maxLineBytes = 256};

enum class Reader { kPlaybackLog, kScrobblerLog, kListens, kSongXml };
constexpr Reader kReader = Reader::SORVINA_FUZZ_READER;

SourceRead Read(std::string_view bytes) {
  switch (kReader) {
    case Reader::kPlaybackLog:
      return ParsePlaybackLog(bytes, kNow, kLimits);
    case Reader::kScrobblerLog:
      return ParseScrobblerLog(bytes, kNow, kLimits);
    case Reader::kListens:
      return ParseListens(bytes, kNow, kLimits);
    case Reader::kSongXml:
      return ParseSongXml(bytes, kNow, kLimits);
  }
  return {};
}

bool Plausible(const std::optional<std::int64_t>& date) {
  return !date || (*date >= kEarliestPlayDate && *date <= kNow + 86'400);
}

bool Same(const HeardEntry& a, const HeardEntry& b) {
  return a.path == b.path && a.artist == b.artist && a.title == b.title &&
         a.recordingId == b.recordingId && a.seconds == b.seconds && a.playCount == b.playCount &&
         a.lastPlayed == b.lastPlayed && a.lastSkipped == b.lastSkipped;
}

bool SameEntries(const std::vector<HeardEntry>& a, const std::vector<HeardEntry>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!Same(a[i], b[i])) return false;
  }
  return true;
}

void CheckEntries(const SourceRead& read, std::string_view bytes) {
  FUZZ_CHECK(read.entries.size() <= kLimits.maxEntries);
  const bool logs = kReader == Reader::kPlaybackLog || kReader == Reader::kScrobblerLog;
  for (const HeardEntry& entry : read.entries) {
    FUZZ_CHECK(entry.playCount >= 0 && entry.seconds >= 0);
    FUZZ_CHECK(Plausible(entry.lastPlayed) && Plausible(entry.lastSkipped));
    FUZZ_CHECK(entry.path.find('\0') == std::string::npos);
    for (const char c : entry.recordingId)
      FUZZ_CHECK(c < 'A' || c > 'Z');
    if (kReader != Reader::kSongXml) {
      FUZZ_CHECK(entry.playCount == 1 ? !entry.lastSkipped
                                      : entry.playCount == 0 && !entry.lastPlayed);
    }
    if (kReader == Reader::kPlaybackLog) FUZZ_CHECK(entry.path.starts_with('/'));
    if (kReader == Reader::kSongXml) FUZZ_CHECK(entry.path.empty() || entry.path[0] == '/');
    if (kReader != Reader::kPlaybackLog) FUZZ_CHECK(!entry.title.empty() || !entry.path.empty());
  }
  if (logs) {
    FUZZ_CHECK(read.consumed <= bytes.size());
    FUZZ_CHECK(read.consumed == 0 || bytes[read.consumed - 1] == '\n');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = sorvina::fuzz::AsText(data, size);
  const SourceRead whole = Read(bytes);
  CheckEntries(whole, bytes);
  FUZZ_CHECK(SameEntries(Read(bytes).entries, whole.entries));
  if (kReader == Reader::kPlaybackLog && !whole.cut) {
    // Read on from the first line's end, as the next run reads a log that grew.
    const std::size_t split = bytes.find('\n', bytes.size() / 2);
    if (split != std::string_view::npos) {
      const SourceRead first = Read(bytes.substr(0, split + 1));
      SourceRead rest = Read(bytes.substr(first.consumed));
      std::vector<HeardEntry> joined = first.entries;
      joined.insert(joined.end(), rest.entries.begin(), rest.entries.end());
      FUZZ_CHECK(first.consumed == split + 1);
      FUZZ_CHECK(rest.cut || SameEntries(joined, whole.entries));
      FUZZ_CHECK(rest.cut || first.consumed + rest.consumed == whole.consumed);
    }
  }
  if (kReader == Reader::kSongXml) {
    SongXmlReader reader(kNow, kLimits);
    const std::size_t half = size / 2;
    if (reader.Feed(bytes.substr(0, half), false)) reader.Feed(bytes.substr(half), true);
    const SourceRead pieces = reader.Take();
    FUZZ_CHECK(SameEntries(pieces.entries, whole.entries) && pieces.damaged == whole.damaged);
  }
  return 0;
}
