// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/history/history_sources.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "platform/unique_fd.h"

namespace sorvina::engine::history {
namespace {

// The file at `path` opened for reading, where it is a regular file reached without a
// link: a FIFO is never waited on, a device never read.
platform::UniqueFd OpenRegular(const std::string& path, struct stat& status, std::string& error) {
  platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    error = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
    return {};
  }
  if (::fstat(fd.get(), &status) != 0) {
    error = std::strerror(errno);
    return {};
  }
  if (!S_ISREG(status.st_mode)) {
    error = "it is not a regular file";
    return {};
  }
  return fd;
}

// Up to `limit` bytes from `offset` of `fd`; false on a read error.
bool ReadAt(int fd, std::uint64_t offset, std::size_t limit, std::string& bytes) {
  bytes.resize(limit);
  std::size_t done = 0;
  while (done < limit) {
    const ssize_t got =
        ::pread(fd, bytes.data() + done, limit - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return true;
}

// ---- Databases ----

// A database opened read-only and immutable: SQLite takes no lock and reads no journal,
// so a program that is writing it meanwhile is never held up, and a damaged journal
// beside it changes nothing here.
class Database {
 public:
  static std::optional<Database> Open(const std::string& path, std::string& error);
  Database(Database&& other) noexcept
      : db_(std::exchange(other.db_, nullptr)), checks_(std::move(other.checks_)) {}
  Database& operator=(Database&&) = delete;
  ~Database() { sqlite3_close(db_); }

  // Runs `sql` and calls `row` for each row. False with SQLite's words in `error`.
  bool Each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
            std::string& error) const;
  bool HasTable(const std::string& table) const;
  std::set<std::string> ColumnsOf(const std::string& table) const;

 private:
  explicit Database(sqlite3* db) : db_(db), checks_(std::make_unique<int>(0)) {}
  sqlite3* db_;
  // How often the query in progress was checked on (see kMostChecks).
  std::unique_ptr<int> checks_;
};

// Work a query may do before it is given up, in SQLite's steps: far beyond reading the
// bounded rows of a sound database, so that only a hostile one is stopped.
constexpr int kStepsPerCheck = 10'000;
constexpr int kMostChecks = 100'000;

std::string UriEscaped(const std::string& path) {
  std::string escaped;
  for (const unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr) {
      escaped += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    }
  }
  return escaped;
}

std::optional<Database> Database::Open(const std::string& path, std::string& error) {
  struct stat before {};
  const platform::UniqueFd fd = OpenRegular(path, before, error);
  if (!fd.valid()) return std::nullopt;
  sqlite3* db = nullptr;
  const std::string uri = "file:" + UriEscaped(path) + "?mode=ro&immutable=1";
  const int opened = sqlite3_open_v2(
      uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW, nullptr);
  Database database(db);
  if (opened != SQLITE_OK) {
    error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    return std::nullopt;
  }
  // What SQLite opened is the file checked above, not one put in its place meanwhile.
  struct stat after {};
  if (::lstat(path.c_str(), &after) != 0 || after.st_dev != before.st_dev ||
      after.st_ino != before.st_ino) {
    error = "it was replaced while being opened";
    return std::nullopt;
  }
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
  static constexpr auto kGiveUp = [](void* checks) {
    return ++*static_cast<int*>(checks) > kMostChecks ? 1 : 0;
  };
  sqlite3_progress_handler(db, kStepsPerCheck, kGiveUp, database.checks_.get());
  return database;
}

bool Database::Each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
                    std::string& error) const {
  *checks_ = 0;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
    return false;
  }
  int stepped = SQLITE_ROW;
  while ((stepped = sqlite3_step(statement)) == SQLITE_ROW)
    row(statement);
  if (stepped != SQLITE_DONE) error = sqlite3_errmsg(db_);
  sqlite3_finalize(statement);
  return stepped == SQLITE_DONE;
}

bool Database::HasTable(const std::string& table) const {
  bool found = false;
  std::string ignored;
  Each(
      "SELECT 1 FROM sqlite_master WHERE type='table' AND name='" + table + "'",
      [&](sqlite3_stmt*) { found = true; }, ignored);
  return found;
}

std::set<std::string> Database::ColumnsOf(const std::string& table) const {
  std::set<std::string> columns;
  std::string ignored;
  Each(
      "PRAGMA table_info(" + table + ")",
      [&](sqlite3_stmt* row) {
        if (const auto* name = sqlite3_column_text(row, 1))
          columns.insert(reinterpret_cast<const char*>(name));
      },
      ignored);
  return columns;
}

// The column's bytes, text or blob alike, at most `limit` of them.
std::string Bytes(sqlite3_stmt* row, int column, std::size_t limit) {
  const void* data = sqlite3_column_blob(row, column);
  const auto size = static_cast<std::size_t>(sqlite3_column_bytes(row, column));
  if (data == nullptr || size > limit) return {};
  return {static_cast<const char*>(data), size};
}

std::optional<std::int64_t> Number(sqlite3_stmt* row, int column) {
  switch (sqlite3_column_type(row, column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
      const double value = sqlite3_column_double(row, column);
      if (!(value >= 0 && value < 9e15)) return std::nullopt;
      return static_cast<std::int64_t>(value);
    }
    case SQLITE_TEXT:
      return ParseDate(Bytes(row, column, 64));
    default:
      return std::nullopt;
  }
}

// `column` where the table has it, else NULL, so that one query fits every version.
std::string ColumnOrNull(const std::set<std::string>& columns, const std::string& column,
                         const std::string& table = "") {
  return columns.contains(column) ? table + column : "NULL";
}

// Keeps what a tally row gives: a count above 0, a plausible date.
void TakeTally(HeardEntry& entry, std::optional<std::int64_t> count,
               std::optional<std::int64_t> lastPlayed, std::int64_t now) {
  if (count) entry.playCount = *count;
  if (lastPlayed && *lastPlayed > 0) entry.lastPlayed = PlausibleDate(*lastPlayed, now);
}

std::string Limit(const ReadLimits& limits) {
  return " LIMIT " + std::to_string(limits.maxEntries + 1);
}

// Keeps the songs that were heard, up to the bound.
void KeepHeard(std::vector<HeardEntry> entries, const ReadLimits& limits, SourceRead& read) {
  for (HeardEntry& entry : entries) {
    if (entry.playCount <= 0 && !entry.lastPlayed) continue;
    if (read.entries.size() >= limits.maxEntries) {
      read.cut = true;
      break;
    }
    read.entries.push_back(std::move(entry));
  }
}

bool ReadBeets(const Database& db, std::int64_t now, const ReadLimits& limits, SourceRead& read,
               std::string& error) {
  const std::set<std::string> columns = db.ColumnsOf("items");
  const std::string songColumns = "i.id, i.path, " + ColumnOrNull(columns, "artist", "i.") + ", " +
                                  ColumnOrNull(columns, "title", "i.") + ", " +
                                  ColumnOrNull(columns, "length", "i.") + ", " +
                                  ColumnOrNull(columns, "mb_trackid", "i.");
  std::map<std::int64_t, HeardEntry> songs;
  const auto song = [&](sqlite3_stmt* row) -> HeardEntry& {
    HeardEntry& entry = songs[sqlite3_column_int64(row, 0)];
    entry.path = Bytes(row, 1, limits.maxLineBytes);
    entry.artist = Bytes(row, 2, limits.maxLineBytes);
    entry.title = Bytes(row, 3, limits.maxLineBytes);
    entry.seconds = Number(row, 4).value_or(0);
    entry.recordingId = LowerAscii(Bytes(row, 5, limits.maxLineBytes));
    return entry;
  };
  std::size_t rows = 0;
  // Play counts kept as the table's own columns, where a version has them...
  if (columns.contains("play_count")) {
    const std::string sql = "SELECT " + songColumns + ", i.play_count, " +
                            ColumnOrNull(columns, "last_played", "i.") +
                            " FROM items i WHERE i.play_count > 0" + Limit(limits);
    const bool ok = db.Each(
        sql,
        [&](sqlite3_stmt* row) {
          ++rows;
          TakeTally(song(row), Number(row, 6), Number(row, 7), now);
        },
        error);
    if (!ok) return false;
  }
  // ...and as attributes of each song, as a change by hand or a plugin keeps them.
  if (db.HasTable("item_attributes")) {
    const std::string sql = "SELECT " + songColumns +
                            ", a.key, a.value FROM item_attributes a JOIN items i ON i.id = "
                            "a.entity_id WHERE a.key IN ('play_count', 'last_played')" +
                            Limit(limits);
    const bool ok = db.Each(
        sql,
        [&](sqlite3_stmt* row) {
          ++rows;
          HeardEntry& entry = song(row);
          const bool count = Bytes(row, 6, 64) == "play_count";
          TakeTally(entry, count ? Number(row, 7) : std::nullopt,
                    count ? std::nullopt : Number(row, 7), now);
        },
        error);
    if (!ok) return false;
  }
  std::vector<HeardEntry> entries;
  for (auto& [id, entry] : songs)
    entries.push_back(std::move(entry));
  KeepHeard(std::move(entries), limits, read);
  read.cut = read.cut || rows > limits.maxEntries;
  return true;
}

bool ReadMpdStickers(const Database& db, std::int64_t now, const ReadLimits& limits,
                     SourceRead& read, std::string& error) {
  std::map<std::string, HeardEntry> songs;
  std::size_t rows = 0;
  const bool ok = db.Each(
      "SELECT uri, name, value FROM sticker WHERE type = 'song' AND name IN ('playCount', "
      "'lastPlayed')" +
          Limit(limits),
      [&](sqlite3_stmt* row) {
        ++rows;
        const std::string uri = Bytes(row, 0, limits.maxLineBytes);
        if (uri.empty() || uri.find('\0') != std::string::npos) {
          ++read.damaged;
          return;
        }
        HeardEntry& entry = songs[uri];
        entry.path = uri;
        const bool count = Bytes(row, 1, 64) == "playCount";
        TakeTally(entry, count ? Number(row, 2) : std::nullopt,
                  count ? std::nullopt : Number(row, 2), now);
      },
      error);
  if (!ok) return false;
  std::vector<HeardEntry> entries;
  for (auto& [uri, entry] : songs)
    entries.push_back(std::move(entry));
  KeepHeard(std::move(entries), limits, read);
  read.cut = read.cut || rows > limits.maxEntries;
  return true;
}

bool ReadStrawberry(const Database& db, std::int64_t now, const ReadLimits& limits,
                    SourceRead& read, std::string& error) {
  const std::set<std::string> columns = db.ColumnsOf("songs");
  const std::string sql = "SELECT url, " + ColumnOrNull(columns, "artist") + ", " +
                          ColumnOrNull(columns, "title") + ", " + ColumnOrNull(columns, "length") +
                          ", " + ColumnOrNull(columns, "musicbrainz_recording_id") +
                          ", playcount, " + ColumnOrNull(columns, "lastplayed") +
                          " FROM songs WHERE playcount > 0" + Limit(limits);
  std::vector<HeardEntry> entries;
  std::size_t rows = 0;
  const bool ok = db.Each(
      sql,
      [&](sqlite3_stmt* row) {
        ++rows;
        HeardEntry entry;
        // A song that is no file (a stream) is matched by its tags alone.
        entry.path = PathOfFileUri(Bytes(row, 0, limits.maxLineBytes)).value_or("");
        entry.artist = Bytes(row, 1, limits.maxLineBytes);
        entry.title = Bytes(row, 2, limits.maxLineBytes);
        // Lengths are kept in nanoseconds.
        entry.seconds = Number(row, 3).value_or(0) / 1'000'000'000;
        entry.recordingId = LowerAscii(Bytes(row, 4, limits.maxLineBytes));
        TakeTally(entry, Number(row, 5), Number(row, 6), now);
        entries.push_back(std::move(entry));
      },
      error);
  if (!ok) return false;
  KeepHeard(std::move(entries), limits, read);
  read.cut = read.cut || rows > limits.maxEntries;
  return true;
}

std::optional<SourceKind> KindOfDatabase(const std::string& path, std::string& error) {
  const std::optional<Database> db = Database::Open(path, error);
  if (!db) return std::nullopt;
  // A damaged file says so here, where its tables are first looked at.
  if (!db->Each(
          "SELECT count(*) FROM sqlite_master", [](sqlite3_stmt*) {}, error))
    return std::nullopt;
  if (db->HasTable("items")) return SourceKind::kBeetsLibrary;
  if (db->HasTable("sticker")) return SourceKind::kMpdStickers;
  if (db->HasTable("songs") && db->ColumnsOf("songs").contains("playcount"))
    return SourceKind::kStrawberry;
  error = "it is a database without play counts that Sorvina knows";
  return std::nullopt;
}

}  // namespace

bool GivesListens(SourceKind kind) {
  return kind == SourceKind::kListens || kind == SourceKind::kScrobblerLog;
}

const char* KindName(SourceKind kind) {
  switch (kind) {
    case SourceKind::kBeetsLibrary:
      return "beets";
    case SourceKind::kMpdStickers:
      return "mpd";
    case SourceKind::kStrawberry:
      return "strawberry";
    case SourceKind::kSongXml:
      return "rhythmdb";
    case SourceKind::kListens:
      return "listens";
    case SourceKind::kScrobblerLog:
      return "scrobbler.log";
  }
  return "";
}

std::optional<SourceKind> KindOfFile(const std::string& path, std::string& error) {
  struct stat status {};
  std::string head;
  {
    const platform::UniqueFd fd = OpenRegular(path, status, error);
    if (!fd.valid()) return std::nullopt;
    if (!ReadAt(fd.get(), 0, 512, head)) {
      error = std::strerror(errno);
      return std::nullopt;
    }
  }
  if (head.starts_with(std::string_view("SQLite format 3\0", 16)))
    return KindOfDatabase(path, error);
  std::string_view text = head;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (text.starts_with("#AUDIOSCROBBLER")) return SourceKind::kScrobblerLog;
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos && text[first] == '<') return SourceKind::kSongXml;
  if (first != std::string_view::npos && (text[first] == '{' || text[first] == '['))
    return SourceKind::kListens;
  error = "it is no play history that Sorvina knows";
  return std::nullopt;
}

std::optional<SourceRead> ReadSourceFile(SourceKind kind, const std::string& path, std::int64_t now,
                                         const ReadLimits& limits, std::string& error) {
  SourceRead read;
  if (kind == SourceKind::kBeetsLibrary || kind == SourceKind::kMpdStickers ||
      kind == SourceKind::kStrawberry) {
    const std::optional<Database> db = Database::Open(path, error);
    if (!db) return std::nullopt;
    const bool ok = kind == SourceKind::kBeetsLibrary ? ReadBeets(*db, now, limits, read, error)
                    : kind == SourceKind::kMpdStickers
                        ? ReadMpdStickers(*db, now, limits, read, error)
                        : ReadStrawberry(*db, now, limits, read, error);
    if (!ok) return std::nullopt;
    return read;
  }
  struct stat status {};
  const platform::UniqueFd fd = OpenRegular(path, status, error);
  if (!fd.valid()) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (kind == SourceKind::kSongXml) {
    SongXmlReader reader(now, limits);
    std::string piece;
    std::uint64_t offset = 0;
    bool going = true;
    while (going) {
      if (!ReadAt(fd.get(), offset, 1 << 20, piece)) {
        error = std::strerror(errno);
        return std::nullopt;
      }
      offset += piece.size();
      const bool last = piece.empty() || offset >= kLargestXmlSource;
      going = reader.Feed(piece, last) && !last;
    }
    read = reader.Take();
    read.cut = read.cut || size > kLargestXmlSource;
    return read;
  }
  std::string bytes;
  if (!ReadAt(fd.get(), 0, static_cast<std::size_t>(std::min(size, kLargestTextSource)), bytes)) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  read = kind == SourceKind::kListens ? ParseListens(bytes, now, limits)
                                      : ParseScrobblerLog(bytes, now, limits);
  read.cut = read.cut || size > kLargestTextSource;
  return read;
}

}  // namespace sorvina::engine::history
