// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Readers of the play histories that players and the music programs of this computer keep,
// each over bytes that anyone may have written: a damaged line or record is counted and
// passed over, every size is bounded, and nothing in the input can make a reader run long.
namespace sorvina::engine::history {

// One song's listening as a source tells it. A source of single listens (a player's log,
// an export of listens) gives one entry per listen: a play with `lastPlayed` its time, or
// a skip with `lastSkipped`. A source of tallies (a music program's database) gives one
// entry per song with how often it was played.
struct HeardEntry {
  // The song's path as the source names it: a path on the player ("/Music/a.mp3"), a path
  // of this computer, or one relative to a music folder; empty where the source names none.
  std::string path;
  std::string artist;
  std::string title;
  std::string recordingId;   // MusicBrainz recording id, lower case; empty where none
  std::int64_t seconds = 0;  // the song's length; 0 where not known
  std::int64_t playCount = 0;
  std::optional<std::int64_t> lastPlayed;
  std::optional<std::int64_t> lastSkipped;
};

// What a reader made of one source.
struct SourceRead {
  std::vector<HeardEntry> entries;
  std::size_t damaged = 0;  // lines or records passed over as damaged
  bool cut = false;         // a bound was reached: not all of the source was read
  // For a log read line by line: the bytes up to the end of its last whole line, where the
  // next reading goes on (a line still being written is read then).
  std::size_t consumed = 0;
};

// How much any one source may give.
struct ReadLimits {
  std::size_t maxEntries = 500'000;
  std::size_t maxLineBytes = 4096;  // also the longest text of one field
};

// The earliest date a play can have (2001-01-01): a player without a clock writes times
// near 1970. A date before it, or more than a day after `now`, is no date: the play still
// counts, but not as heard lately, so that a broken clock cannot hide a song for ever.
inline constexpr std::int64_t kEarliestPlayDate = 978'307'200;
std::optional<std::int64_t> PlausibleDate(std::int64_t seconds, std::int64_t now);

// A date as sources write it: seconds since the epoch (a fraction is dropped), or
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" with a "T" allowed between, a fraction, and "Z" or
// an offset "+HH:MM" (none: UTC). Nothing for anything else.
std::optional<std::int64_t> ParseDate(std::string_view text);

// The share of a song that a listen must have lasted to count as a play rather than a
// skip: half of its length, or four minutes of a longer one. A listen of a song whose
// length the log does not know counts as a play after 30 seconds.
bool CountsAsPlay(std::int64_t elapsedMs, std::int64_t lengthMs);

// A player's playback log: "timestamp:elapsed_ms:length_ms:path" per line.
SourceRead ParsePlaybackLog(std::string_view bytes, std::int64_t now,
                            const ReadLimits& limits = {});

// A player's scrobbler log: header lines starting with "#", then one listen per line,
// tab-separated: artist, album, title, track, length (seconds), "L" (listened) or "S"
// (skipped), timestamp, MusicBrainz recording id. Times are in UTC where the header says
// "#TZ/UTC", else in this computer's local time.
SourceRead ParseScrobblerLog(std::string_view bytes, std::int64_t now,
                             const ReadLimits& limits = {});

// Listens exported by a listening-history service as JSON: an array of listens, an object
// whose "payload" holds "listens", or one listen per line. Each listen has "listened_at"
// and "track_metadata" with "artist_name", "track_name" and "additional_info"
// ("recording_mbid", "duration_ms" or "duration").
SourceRead ParseListens(std::string_view bytes, std::int64_t now, const ReadLimits& limits = {});

// A music library kept as XML, `<entry type="song">` with `<location>` (a file URI),
// `<title>`, `<artist>`, `<duration>`, `<play-count>`, `<last-played>` and `<mb-trackid>`;
// fed in pieces, so that a large file is never held whole. A document that declares
// entities is refused as damaged.
class SongXmlReader {
 public:
  SongXmlReader(std::int64_t now, const ReadLimits& limits = {});
  ~SongXmlReader();
  SongXmlReader(const SongXmlReader&) = delete;
  SongXmlReader& operator=(const SongXmlReader&) = delete;

  // Reads the next piece; `last` for the final one. False once the reading has stopped:
  // damage that ends the document, or a bound reached.
  bool Feed(std::string_view piece, bool last);
  // What was read; the reader is done with after this.
  SourceRead Take();

  struct State;  // what the parser's handlers work on

 private:
  std::unique_ptr<State> state_;
};
SourceRead ParseSongXml(std::string_view bytes, std::int64_t now, const ReadLimits& limits = {});

// The local path a "file://" URI names, its %XX escapes undone; nothing for any other URI,
// or one whose path is not absolute or holds a NUL byte.
std::optional<std::string> PathOfFileUri(std::string_view uri);

// `text` in lower case, ASCII letters only (names compare so across sources).
std::string LowerAscii(std::string_view text);

}  // namespace sorvina::engine::history
