// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/history/history_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/unique_fd.h"

namespace sorvina::engine::history {
namespace {

constexpr int kStoreVersion = 1;
// How many marks are kept per log: one for each player used in turn.
constexpr int kMarksPerLog = 16;
// Listens of one song from two sources count once when their times are this close,
// beyond the song's length (one log may date a listen by its start, another by its end).
constexpr std::int64_t kListenSlack = 60;
constexpr std::int64_t kLongestSong = 3600;

constexpr const char* kSchema = R"sql(
CREATE TABLE listens(source TEXT NOT NULL, path TEXT NOT NULL, at INTEGER,
                     skipped INTEGER NOT NULL);
CREATE UNIQUE INDEX listens_once ON listens(source, path, at, skipped) WHERE at IS NOT NULL;
CREATE INDEX listens_by_song ON listens(path, at);
CREATE TABLE tallies(source TEXT NOT NULL, path TEXT NOT NULL, play_count INTEGER NOT NULL,
                     last_played INTEGER, last_skipped INTEGER,
                     PRIMARY KEY(source, path)) WITHOUT ROWID;
CREATE TABLE log_marks(log TEXT NOT NULL, head_length INTEGER NOT NULL,
                       head_hash TEXT NOT NULL, size_read INTEGER NOT NULL,
                       read_at INTEGER NOT NULL,
                       PRIMARY KEY(log, head_length, head_hash)) WITHOUT ROWID;
CREATE VIEW plays AS
  SELECT path, SUM(plays) AS play_count, MAX(played) AS last_played,
         MAX(skipped_at) AS last_skipped
  FROM (SELECT path, CASE WHEN skipped THEN 0 ELSE 1 END AS plays,
               CASE WHEN skipped THEN NULL ELSE at END AS played,
               CASE WHEN skipped THEN at END AS skipped_at FROM listens
        UNION ALL
        SELECT path, play_count, last_played, last_skipped FROM tallies)
  GROUP BY path;
PRAGMA user_version = 1;
)sql";

// A prepared statement, finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(statement_);
      statement_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  sqlite3_stmt* get() const { return statement_; }
  Statement& Text(int index, std::string_view text) {
    if (ok())
      sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Number(int index, std::optional<std::int64_t> value) {
    if (ok() && value) sqlite3_bind_int64(statement_, index, *value);
    if (ok() && !value) sqlite3_bind_null(statement_, index);
    return *this;
  }
  // The next row: SQLITE_ROW, SQLITE_DONE, or an error.
  int Step() { return ok() ? sqlite3_step(statement_) : SQLITE_ERROR; }
  std::string Error() const { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

std::optional<std::int64_t> Column(sqlite3_stmt* row, int column) {
  if (sqlite3_column_type(row, column) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_int64(row, column);
}

// What an open store file holds.
enum class StoreState {
  kSound,     // a store of ours
  kFresh,     // nothing yet: an empty file to make one in
  kDamaged,   // damage, or none of ours: to be set aside
  kNewer,     // a store of a newer version of Sorvina: left alone
  kUnusable,  // in use beyond the wait, or a failure to read: left alone
};

StoreState StateOf(sqlite3* db, std::string& error) {
  const auto failed = [&](int code) {
    error = sqlite3_errmsg(db);
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT ? StoreState::kDamaged
                                                           : StoreState::kUnusable;
  };
  Statement check(db, "PRAGMA quick_check");
  if (const int step = check.Step(); step != SQLITE_ROW) return failed(sqlite3_errcode(db));
  const auto* verdict = sqlite3_column_text(check.get(), 0);
  if (verdict == nullptr || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0)
    return StoreState::kDamaged;
  Statement version(db, "PRAGMA user_version");
  Statement tables(db, "SELECT count(*) FROM sqlite_master");
  if (version.Step() != SQLITE_ROW || tables.Step() != SQLITE_ROW)
    return failed(sqlite3_errcode(db));
  const std::int64_t userVersion = sqlite3_column_int64(version.get(), 0);
  if (userVersion == 0 && sqlite3_column_int64(tables.get(), 0) == 0) return StoreState::kFresh;
  if (userVersion > kStoreVersion) {
    error = "it was made by a newer version of Sorvina";
    return StoreState::kNewer;
  }
  Statement ours(db,
                 "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                 "('listens', 'tallies', 'log_marks')");
  const bool sound = userVersion == kStoreVersion && ours.Step() == SQLITE_ROW &&
                     sqlite3_column_int64(ours.get(), 0) == 3;
  return sound ? StoreState::kSound : StoreState::kDamaged;
}

// Renames the store at `path`, and its journal, to a free name beside it; that name.
std::optional<std::string> SetAside(const std::string& path, std::string& error) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &utc);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string aside =
        path + ".damaged-" + stamp + (attempt == 0 ? "" : "-" + std::to_string(attempt));
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
      // A journal left beside the damaged store belongs to it, never to the new one.
      (void)::renameat2(AT_FDCWD, (path + "-journal").c_str(), AT_FDCWD,
                        (aside + "-journal").c_str(), RENAME_NOREPLACE);
      return aside;
    }
    if (errno != EEXIST) break;
  }
  error = std::strerror(errno);
  return std::nullopt;
}

// Opens the store file at `path`, made (for the user alone) where missing.
sqlite3* OpenFile(const std::string& path, std::string& error) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  const platform::UniqueFd made(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!made.valid() && errno != EEXIST) {
    error = std::strerror(errno);
    return nullptr;
  }
  sqlite3* db = nullptr;
  const int opened =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (opened != SQLITE_OK) {
    error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    sqlite3_close(db);
    return nullptr;
  }
  // Another run that is writing its history is waited for a while.
  sqlite3_busy_timeout(db, 5000);
  return db;
}

}  // namespace

std::unique_ptr<HistoryStore> HistoryStore::Open(const std::string& path, std::string* setAside,
                                                 std::string& error) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    sqlite3* db = OpenFile(path, error);
    if (db == nullptr) return nullptr;
    std::unique_ptr<HistoryStore> store(new HistoryStore(db));
    switch (StateOf(db, error)) {
      case StoreState::kSound:
        return store;
      case StoreState::kFresh:
        return store->MakeTables(error) ? std::move(store) : nullptr;
      case StoreState::kNewer:
      case StoreState::kUnusable:
        return nullptr;
      case StoreState::kDamaged:
        break;
    }
    store.reset();
    if (attempt > 0) break;
    const std::optional<std::string> aside = SetAside(path, error);
    if (!aside) return nullptr;
    if (setAside != nullptr) *setAside = *aside;
  }
  error = "a new store could not be made";
  return nullptr;
}

std::unique_ptr<HistoryStore> HistoryStore::InMemory() {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::unique_ptr<HistoryStore> store(new HistoryStore(db));
  std::string error;
  store->MakeTables(error);
  return store;
}

HistoryStore::~HistoryStore() {
  // A statement left unfinalized would keep the connection, and its memory, for ever.
  sqlite3_finalize(otherListen_);
  sqlite3_finalize(addListen_);
  sqlite3_close(db_);
}

bool HistoryStore::Execute(const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool HistoryStore::MakeTables(std::string& error) {
  return Execute("BEGIN", error) && Execute(kSchema, error) && Execute("COMMIT", error);
}

bool HistoryStore::Begin(std::string& error) {
  failure_.clear();
  return Execute("BEGIN IMMEDIATE", error);
}

bool HistoryStore::Commit(std::string& error) {
  if (!failure_.empty()) {
    error = failure_;
    std::string ignored;
    Execute("ROLLBACK", ignored);
    return false;
  }
  if (Execute("COMMIT", error)) return true;
  std::string ignored;
  Execute("ROLLBACK", ignored);
  return false;
}

sqlite3_stmt* HistoryStore::Kept(sqlite3_stmt*& kept, const char* sql) {
  if (kept == nullptr && sqlite3_prepare_v2(db_, sql, -1, &kept, nullptr) != SQLITE_OK) {
    if (failure_.empty()) failure_ = sqlite3_errmsg(db_);
    sqlite3_finalize(kept);
    kept = nullptr;
  }
  if (kept != nullptr) {
    sqlite3_reset(kept);
    sqlite3_clear_bindings(kept);
  }
  return kept;
}

bool HistoryStore::AddListen(std::string_view source, std::string_view path,
                             std::optional<std::int64_t> at, bool skipped, std::int64_t seconds) {
  const auto text = [](sqlite3_stmt* statement, int index, std::string_view value) {
    sqlite3_bind_text(statement, index, value.data(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
  };
  if (at) {
    sqlite3_stmt* other = Kept(otherListen_,
                               "SELECT 1 FROM listens WHERE path = ?1 AND at BETWEEN ?2 AND ?3 "
                               "AND skipped = ?4 AND source <> ?5 LIMIT 1");
    if (other == nullptr) return false;
    const std::int64_t window = std::clamp<std::int64_t>(seconds, 0, kLongestSong) + kListenSlack;
    text(other, 1, path);
    sqlite3_bind_int64(other, 2, *at - window);
    sqlite3_bind_int64(other, 3, *at + window);
    sqlite3_bind_int(other, 4, skipped);
    text(other, 5, source);
    const int found = sqlite3_step(other);
    if (found == SQLITE_ROW) return false;
    if (found != SQLITE_DONE && failure_.empty()) failure_ = sqlite3_errmsg(db_);
  }
  sqlite3_stmt* add =
      Kept(addListen_, "INSERT OR IGNORE INTO listens(source, path, at, skipped) VALUES(?,?,?,?)");
  if (add == nullptr) return false;
  text(add, 1, source);
  text(add, 2, path);
  if (at) sqlite3_bind_int64(add, 3, *at);
  sqlite3_bind_int(add, 4, skipped);
  if (sqlite3_step(add) != SQLITE_DONE) {
    if (failure_.empty()) failure_ = sqlite3_errmsg(db_);
    return false;
  }
  return sqlite3_changes(db_) == 1;
}

void HistoryStore::ReplaceTallies(std::string_view source,
                                  const std::unordered_map<std::string, SongPlays>& tallies) {
  Statement clear(db_, "DELETE FROM tallies WHERE source = ?");
  clear.Text(1, source);
  if (clear.Step() != SQLITE_DONE && failure_.empty()) failure_ = clear.Error();
  Statement add(db_, "INSERT INTO tallies VALUES(?,?,?,?,?)");
  for (const auto& [path, plays] : tallies) {
    sqlite3_reset(add.get());
    add.Text(1, source).Text(2, path).Number(3, plays.playCount);
    add.Number(4, plays.lastPlayed).Number(5, plays.lastSkipped);
    if (add.Step() != SQLITE_DONE && failure_.empty()) failure_ = add.Error();
  }
}

std::vector<HistoryStore::LogMark> HistoryStore::MarksOf(std::string_view log) const {
  Statement marks(db_,
                  "SELECT head_length, head_hash, size_read FROM log_marks WHERE log = ? "
                  "ORDER BY read_at DESC, size_read DESC");
  marks.Text(1, log);
  std::vector<LogMark> found;
  while (marks.Step() == SQLITE_ROW) {
    const auto* hash = sqlite3_column_text(marks.get(), 1);
    found.push_back({sqlite3_column_int64(marks.get(), 0),
                     hash != nullptr ? reinterpret_cast<const char*>(hash) : "",
                     sqlite3_column_int64(marks.get(), 2)});
  }
  return found;
}

void HistoryStore::Remember(std::string_view log, const LogMark& mark, std::int64_t now) {
  Statement keep(db_, "INSERT OR REPLACE INTO log_marks VALUES(?,?,?,?,?)");
  keep.Text(1, log).Number(2, mark.headLength).Text(3, mark.headHash);
  keep.Number(4, mark.sizeRead).Number(5, now);
  if (keep.Step() != SQLITE_DONE && failure_.empty()) failure_ = keep.Error();
  Statement trim(db_,
                 "DELETE FROM log_marks WHERE log = ?1 AND (head_length, head_hash) NOT IN "
                 "(SELECT head_length, head_hash FROM log_marks WHERE log = ?1 "
                 "ORDER BY read_at DESC, size_read DESC LIMIT ?2)");
  trim.Text(1, log).Number(2, kMarksPerLog);
  if (trim.Step() != SQLITE_DONE && failure_.empty()) failure_ = trim.Error();
}

std::unordered_map<std::string, SongPlays> HistoryStore::Totals() const {
  std::unordered_map<std::string, SongPlays> totals;
  Statement plays(db_, "SELECT path, play_count, last_played, last_skipped FROM plays");
  while (plays.Step() == SQLITE_ROW) {
    const auto* path = sqlite3_column_text(plays.get(), 0);
    if (path == nullptr) continue;
    SongPlays& song = totals[reinterpret_cast<const char*>(path)];
    song.playCount = std::max<std::int64_t>(0, sqlite3_column_int64(plays.get(), 1));
    song.lastPlayed = Column(plays.get(), 2);
    song.lastSkipped = Column(plays.get(), 3);
  }
  return totals;
}

}  // namespace sorvina::engine::history
