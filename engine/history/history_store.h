// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/history/play_history.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sorvina::engine::history {

// Sorvina's own record of what was heard, an SQLite file: every listen read from a log
// or an export (so that a log that is rotated or deleted loses nothing), the tallies each
// music program's database gave when last read (read again, they replace what that
// database gave before rather than adding to it), and how far each of the player's logs
// was read (so that no listen is counted twice).
class HistoryStore {
 public:
  // Opens the store at `path`, creating it (readable by the user alone) where missing. A
  // store that is damaged, or none of ours, is renamed aside (its new name in `setAside`)
  // and a new one begun. Nothing, with the reason in `error`, where none can be had.
  static std::unique_ptr<HistoryStore> Open(const std::string& path, std::string* setAside,
                                            std::string& error);
  // A store held in memory only, for a run that cannot keep one.
  static std::unique_ptr<HistoryStore> InMemory();
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Everything between Begin and Commit is kept together or not at all.
  bool Begin(std::string& error);
  bool Commit(std::string& error);

  // Adds a listen of the song at `path` from the source `source` ("playback.log",
  // "listens"). A listen already kept is not added again: the same one from the same
  // source, or one of the same song within `seconds` and a minute of it from another
  // source (two logs of one player tell of the same listens, at slightly different
  // times). A listen without a date is always added. False where it was not added.
  bool AddListen(std::string_view source, std::string_view path, std::optional<std::int64_t> at,
                 bool skipped, std::int64_t seconds);

  // Replaces what `source` gave before with `tallies`, one per song path.
  void ReplaceTallies(std::string_view source,
                      const std::unordered_map<std::string, SongPlays>& tallies);

  // How far a log was read: the size read and the hash of its first `headLength` bytes.
  struct LogMark {
    std::int64_t headLength = 0;
    std::string headHash;
    std::int64_t sizeRead = 0;
  };
  // The marks kept for the logs called `log`, newest first.
  std::vector<LogMark> MarksOf(std::string_view log) const;
  // Keeps `mark` for the log called `log` (a few of the latest per log are kept, so that
  // logs of several players each go on where they were).
  void Remember(std::string_view log, const LogMark& mark, std::int64_t now);

  // The total for each song: plays and skips of every listen and every tally added up,
  // the latest dates.
  std::unordered_map<std::string, SongPlays> Totals() const;

  // The first failure of a statement since Begin, empty where none.
  const std::string& failure() const { return failure_; }

 private:
  explicit HistoryStore(sqlite3* db) : db_(db) {}
  bool Execute(const char* sql, std::string& error);
  bool MakeTables(std::string& error);
  // The statement `sql`, prepared once and kept (one per call site), reset for its next
  // use; null where it cannot be prepared.
  sqlite3_stmt* Kept(sqlite3_stmt*& kept, const char* sql);

  sqlite3* db_;
  std::string failure_;
  sqlite3_stmt* otherListen_ = nullptr;
  sqlite3_stmt* addListen_ = nullptr;
};

}  // namespace sorvina::engine::history
