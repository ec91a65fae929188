// SPDX-License-Identifier: GPL-3.0-or-later
// Reading play histories of 100,000 songs, timed against SQLite's own command-line shell
// reading the same rows: a music program's database read by the reader of its kind, a
// player's playback log parsed, and whole gatherings into Sorvina's store (the database's
// tallies, and a scrobbler log's listens matched by tags). Prints the median of 5 runs of
// each and the ratios to the shell, as a table; the shell's time includes starting it.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/history/gather_play_history.h"
#include "engine/history/history_sources.h"
#include "engine/report/run_ports.h"

namespace {

using namespace sorvina::engine;

constexpr int kSongs = 100'000;
constexpr int kRuns = 5;

class QuietPorts : public RunPorts {
 public:
  void ShowInformation(const sorvina::text::UserText&) override {}
  void SetWaitCursor(bool) override {}
  std::unique_ptr<ProgressPort> OpenProgress(const sorvina::text::UserText&) override {
    return nullptr;
  }
};

double MedianSeconds(const std::function<void()>& body, const std::function<void()>& before = {}) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    if (before) before();
    const auto start = std::chrono::steady_clock::now();
    body();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[kRuns / 2];
}

std::string SongPath(int i) {
  return "/music/Artist " + std::to_string(i % 997) + "/" + std::to_string(i) + ".mp3";
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "failed: %s\n", what);
    std::exit(1);
  }
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("sorvina-history-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string db = dir / "strawberry.db";
  {
    sqlite3* handle = nullptr;
    Check(sqlite3_open(db.c_str(), &handle) == SQLITE_OK, "making the database");
    std::string sql =
        "BEGIN; CREATE TABLE songs(title, artist, length, url, playcount, lastplayed, skipcount);";
    sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* add = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO songs VALUES(?, ?, 200000000000, ?, ?, ?, 0)", -1, &add,
                       nullptr);
    for (int i = 0; i < kSongs; ++i) {
      const std::string title = "Title " + std::to_string(i);
      const std::string url = "file://" + SongPath(i);
      sqlite3_bind_text(add, 1, title.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(add, 2, "Artist", -1, SQLITE_STATIC);
      sqlite3_bind_text(add, 3, url.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(add, 4, 1 + i % 7);
      sqlite3_bind_int64(add, 5, 1'700'000'000 + i);
      sqlite3_step(add);
      sqlite3_reset(add);
    }
    sqlite3_finalize(add);
    Check(sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK, "commit");
    sqlite3_close(handle);
  }
  std::string log;
  std::string scrobbles = "#AUDIOSCROBBLER/1.1\n#TZ/UTC\n";
  std::vector<KnownSong> library;
  for (int i = 0; i < kSongs; ++i) {
    const std::string at = std::to_string(1'700'000'000 + i * 10);
    log += at + ":150000:200000:" + SongPath(i) + "\n";
    scrobbles += "Artist\tAlbum\tTitle " + std::to_string(i) + "\t1\t200\tL\t" + at + "\t\n";
    library.push_back({SongPath(i), "Artist", "Title " + std::to_string(i), "", 200});
  }
  const std::string logPath = dir / "playback.log";
  const std::string scrobblerPath = dir / "scrobbler.log";
  std::ofstream(logPath, std::ios::binary) << log;
  std::ofstream(scrobblerPath, std::ios::binary) << scrobbles;

  const std::int64_t now = 1'800'000'000;
  const double shell = MedianSeconds([&] {
    const std::string command = "sqlite3 -readonly 'file:" + db +
                                "?immutable=1' 'SELECT url, artist, title, length, playcount, "
                                "lastplayed FROM songs WHERE playcount > 0' > /dev/null";
    Check(std::system(command.c_str()) == 0, "sqlite3");
  });
  const double database = MedianSeconds([&] {
    std::string error;
    const auto read = history::ReadSourceFile(history::SourceKind::kStrawberry, db, now, {}, error);
    Check(read && read->entries.size() == kSongs, "reading the database");
  });
  const double parsed = MedianSeconds([&] {
    std::ifstream in(logPath, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Check(history::ParsePlaybackLog(bytes, now).entries.size() == kSongs, "parsing the log");
  });
  const std::string store = dir / "history.sqlite";
  const auto fresh = [&] { std::filesystem::remove(store); };
  QuietPorts ports;
  GatherSettings settings;
  settings.storePath = store;
  settings.now = now;
  HistoryRequest fromDatabase;
  fromDatabase.sources = {db};
  const double gatherTallies = MedianSeconds(
      [&] {
        Check(GatherPlayHistory(fromDatabase, ports, settings)->PlaysOf(SongPath(7)).has_value(),
              "tallies");
      },
      fresh);
  HistoryRequest fromScrobbles;
  fromScrobbles.sources = {scrobblerPath};
  fromScrobbles.librarySongs = [&] { return library; };
  const double gatherListens = MedianSeconds(
      [&] {
        Check(GatherPlayHistory(fromScrobbles, ports, settings)->PlaysOf(SongPath(7)).has_value(),
              "listens");
      },
      fresh);
  const double again = MedianSeconds([&] {
    Check(GatherPlayHistory(fromScrobbles, ports, settings)->PlaysOf(SongPath(7))->playCount == 1,
          "again");
  });

  // A table for bench/RESULTS.md.
  std::printf("| Case, 100,000 songs | Seconds | Ratio to the shell |\n|---|---:|---:|\n");
  const auto row = [&](const char* name, double seconds) {
    std::printf("| %s | %.4f | %.2f |\n", name, seconds, seconds / shell);
  };
  row("`sqlite3` shell: the same rows, immutable, to /dev/null", shell);
  row("the database read by its reader", database);
  row("a playback log parsed", parsed);
  row("gathered: the database's play counts into a new store", gatherTallies);
  row("gathered: a scrobbler log's listens, matched by tags, into a new store", gatherListens);
  row("gathered again: the same listens, none added", again);
  std::filesystem::remove_all(dir);
  return 0;
}
