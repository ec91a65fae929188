// SPDX-License-Identifier: GPL-3.0-or-later
// Gathering the play history: the player's logs on a real exFAT volume, every kind of
// source of this computer from files written here, hostile sources, Sorvina's own store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "engine/history/gather_play_history.h"
#include "platform/contained_folder.h"
#include "platform/mount_table.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

constexpr std::int64_t kNow = 1'800'000'000;
constexpr std::int64_t kT = 1'700'000'000;

void MakeDatabase(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

using Library = std::function<std::vector<KnownSong>()>;

HistoryRequest Sources(std::vector<std::string> sources, Library library = {}) {
  HistoryRequest request;
  request.sources = std::move(sources);
  request.librarySongs = std::move(library);
  return request;
}

HistoryRequest OnPlayer(const platform::ContainedFolder& player, const std::string& path,
                        std::vector<std::pair<std::string, std::string>> recorded,
                        Library library = {}) {
  HistoryRequest request;
  request.player = &player;
  request.playerPath = path;
  request.recordedFiles = std::move(recorded);
  request.librarySongs = std::move(library);
  return request;
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::app | std::ios::binary) << text;
}

// Gathers into the store `store` and gives each song's plays as "count@last played/last
// skipped" ("-" where a date is missing), "none" for a song never heard.
class Gathered {
 public:
  Gathered(const HistoryRequest& request, test::RecordingPorts& ports, const std::string& store)
      : history_(GatherPlayHistory(request, ports, Settings(store))) {}
  static GatherSettings Settings(const std::string& store) {
    GatherSettings settings;
    settings.storePath = store;
    settings.now = kNow;
    return settings;
  }
  std::string operator[](const std::string& path) const {
    const std::optional<SongPlays> plays = history_->PlaysOf(path);
    if (!plays) return "none";
    const auto date = [](const std::optional<std::int64_t>& at) {
      return at ? std::to_string(*at - kT) : std::string("-");
    };
    return std::to_string(plays->playCount) + "@" + date(plays->lastPlayed) + "/" +
           date(plays->lastSkipped);
  }

 private:
  std::unique_ptr<PlayHistory> history_;
};

bool HasWarning(const test::RecordingPorts& ports, const std::string& part) {
  for (const std::string& warning : ports.warnings) {
    if (warning.find(part) != std::string::npos) return true;
  }
  return false;
}

// The player's logs, read on a real exFAT volume: matched by the record's files and by
// tags, a listen that two logs tell of counted once, nothing counted twice when read
// again, and what a rotated log held kept.
TEST(GatherPlayHistoryTest, PlayerLogsOnExFat) {
  test::ImageVolume volume(test::ImageVolume::Kind::kExFat, 32);
  if (!volume.mounted()) GTEST_SKIP() << volume.reason();
  test::TempDir home;
  std::filesystem::create_directories(volume / ".rockbox");
  std::filesystem::create_directories(volume / "Music/Rock");
  const std::string playback = volume / ".rockbox/playback.log";
  const std::string scrobbler = volume / ".scrobbler.log";
  const std::string at = std::to_string(kT);
  Append(playback, at + ":150000:200000:/Music/Rock/a.mp3\n" + std::to_string(kT + 300) +
                       ":1000:200000:/MUSIC/rock/B.mp3\n" + at + ":150000:200000:/Other/x.mp3\n" +
                       at + ":150000:200000:/Music/../x.mp3\n");
  Append(scrobbler, "#AUDIOSCROBBLER/1.1\n#TZ/UTC\n#CLIENT/x\nA\tL\tT1\t1\t200\tL\t" +
                        std::to_string(kT - 150) + "\t\nB\tL\tTc\t1\t181\tL\t" + at +
                        "\tCID\nNobody\tL\tNothing\t1\t100\tL\t" + at + "\t\n");

  const std::optional<platform::ContainedFolder> player =
      platform::ContainedFolder::Open(volume / "Music");
  ASSERT_TRUE(player);
  int asked = 0;
  const HistoryRequest request = OnPlayer(
      *player, volume / "Music", {{"Rock/a.mp3", "/lib/a.mp3"}, {"Rock/b.mp3", "/lib/b.mp3"}}, [&] {
        ++asked;
        return std::vector<KnownSong>{{"/lib/a.mp3", "a", "t1", "", 200},
                                      {"/lib/c.mp3", "X", "Y", "cid", 180}};
      });
  const std::string store = home / "state/history.sqlite";
  {
    test::RecordingPorts ports;
    const Gathered plays(request, ports, store);
    EXPECT_EQ(plays["/lib/a.mp3"], "1@0/-");
    EXPECT_EQ(plays["/lib/b.mp3"], "0@-/300");
    EXPECT_EQ(plays["/lib/c.mp3"], "1@0/-");
    EXPECT_EQ(ports.warnings,
              (std::vector<std::string>{"2 plays in " + playback + " matched no song",
                                        "1 play in " + scrobbler + " matched no song"}));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(std::filesystem::status(store).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  {
    test::RecordingPorts ports;
    const Gathered plays(request, ports, store);
    EXPECT_EQ(plays["/lib/a.mp3"], "1@0/-");
    EXPECT_EQ(plays["/lib/c.mp3"], "1@0/-");
    EXPECT_EQ(ports.warnings, std::vector<std::string>{});
    EXPECT_EQ(asked, 1) << "nothing new was read, so no tags were needed";
  }
  // A line added, then the log begun anew by the player: the new listens count once each.
  Append(playback, std::to_string(kT + 1000) + ":150000:200000:/Music/Rock/a.mp3\n");
  EXPECT_EQ(Gathered(request, *std::make_unique<test::RecordingPorts>(), store)["/lib/a.mp3"],
            "2@1000/-");
  std::filesystem::remove(playback);
  Append(playback, std::to_string(kT + 2000) + ":150000:200000:/Music/Rock/b.mp3\n");
  test::RecordingPorts ports;
  const Gathered plays(request, ports, store);
  EXPECT_EQ(plays["/lib/a.mp3"], "2@1000/-");
  EXPECT_EQ(plays["/lib/b.mp3"], "1@2000/300");
}

// A pretend volume: a temporary folder that the mount table names as one.
class PretendVolume {
 public:
  PretendVolume() : table_(WriteTable()), mounted_(table_) {}
  std::string operator/(std::string_view relative) const { return dir_ / relative; }

 private:
  std::string WriteTable() const {
    struct stat status {};
    EXPECT_EQ(::stat(dir_.path().c_str(), &status), 0);
    return dir_.WriteFile(
        "../" + std::filesystem::path(dir_.path()).filename().string() + ".mountinfo",
        "1 1 " + std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev)) +
            " / " + dir_.path() + " rw - ext4 /dev/x rw\n");
  }
  test::TempDir dir_;
  std::string table_;
  platform::MountTableOverride mounted_;
};

// A log far larger than is read in one run: the newest part is read, in bounded time.
TEST(GatherPlayHistoryTest, HugeLogReadWithinBounds) {
  PretendVolume volume;
  test::TempDir home;
  const std::string line = std::to_string(kT) + ":1:200000:/old.mp3\n";
  std::string log;
  log.reserve(50 << 20);
  while (log.size() < (50 << 20))
    log += line;
  log += std::to_string(kT + 5) + ":150000:200000:/new.mp3\n";
  std::filesystem::create_directories(volume / ".rockbox");
  std::ofstream(volume / ".rockbox/playback.log", std::ios::binary) << log;
  const auto player = platform::ContainedFolder::Open(volume / "");
  ASSERT_TRUE(player);
  const HistoryRequest request = OnPlayer(*player, volume / "", {{"new.mp3", "/lib/new.mp3"}});
  test::RecordingPorts ports;
  const Gathered plays(request, ports, home / "history.sqlite");
  EXPECT_EQ(plays["/lib/new.mp3"], "1@5/-");
  EXPECT_TRUE(HasWarning(ports, "Only part of the play history"));
}

// Each kind of source of this computer, told apart by its content; read twice, nothing
// counts twice; a source deleted since keeps what it gave.
TEST(GatherPlayHistoryTest, ComputerSourcesMergedOnce) {
  test::TempDir dir;
  const std::string beets = dir / "library.db";
  MakeDatabase(beets,
               "CREATE TABLE items(id INTEGER PRIMARY KEY, path BLOB, title, artist, length, "
               "mb_trackid, play_count INTEGER, last_played REAL);"
               "CREATE TABLE item_attributes(id INTEGER PRIMARY KEY, entity_id, key, value);"
               "INSERT INTO items VALUES(1, CAST('/m/b1.mp3' AS BLOB), 'T', 'A', 200.5, '', 2, "
               "1700000000.5);"
               "INSERT INTO items VALUES(2, CAST('/m/b2.mp3' AS BLOB), 'T', 'A', 1, '', 0, NULL);"
               "INSERT INTO item_attributes VALUES(1, 2, 'play_count', '3');"
               "INSERT INTO item_attributes VALUES(2, 2, 'last_played', '2023-11-14 22:13:30');");
  const std::string mpd = dir / "sticker.sql";
  MakeDatabase(mpd,
               "CREATE TABLE sticker(type, uri, name, value);"
               "INSERT INTO sticker VALUES('song', 'Rock/m1.mp3', 'playCount', '4');"
               "INSERT INTO sticker VALUES('song', 'Rock/m1.mp3', 'lastPlayed', '1700000040');"
               "INSERT INTO sticker VALUES('song', 'Gone/x.mp3', 'playCount', '1');");
  const std::string strawberry = dir / "strawberry.db";
  MakeDatabase(strawberry,
               "CREATE TABLE songs(title, artist, length, url, playcount, lastplayed, skipcount);"
               "INSERT INTO songs VALUES('T', 'A', 1, 'file:///m/s%201.mp3', 5, 1700000050, 2);"
               "INSERT INTO songs VALUES('Never', 'A', 1, 'file:///m/n.mp3', 0, -1, 0);");
  const std::string xml = dir.WriteFile(
      "rhythmdb.xml",
      "<?xml version=\"1.0\"?><rhythmdb version=\"2.0\"><entry type=\"song\"><title>T</title>"
      "<location>file:///m/r.mp3</location><play-count>6</play-count><last-played>1700000060"
      "</last-played></entry></rhythmdb>");
  const std::string listens = dir.WriteFile(
      "listens.json",
      R"([{"listened_at":1700000070,"track_metadata":{"artist_name":"Z","track_name":"Song",
         "additional_info":{"duration_ms":121000}}}])");
  const HistoryRequest request = Sources({beets, mpd, strawberry, xml, listens}, [] {
    return std::vector<KnownSong>{{"/lib/Rock/m1.mp3", "", "", "", 0},
                                  {"/lib/z.mp3", "z", "song", "", 120}};
  });
  const std::map<std::string, std::string> expected = {
      {"/m/b1.mp3", "2@0/-"},   {"/m/b2.mp3", "3@10/-"}, {"/lib/Rock/m1.mp3", "4@40/-"},
      {"/m/s 1.mp3", "5@50/-"}, {"/m/n.mp3", "none"},    {"/m/r.mp3", "6@60/-"},
      {"/lib/z.mp3", "1@70/-"},
  };
  const std::string store = dir / "state/history.sqlite";
  for (int reading = 0; reading < 3; ++reading) {
    SCOPED_TRACE(reading);
    if (reading == 2) std::filesystem::remove(beets);
    test::RecordingPorts ports;
    const Gathered plays(request, ports, store);
    for (const auto& [path, count] : expected)
      EXPECT_EQ(plays[path], count) << path;
    std::vector<std::string> warnings = {"1 play in " + mpd + " matched no song"};
    if (reading == 2)
      warnings.insert(warnings.begin(),
                      "The play history " + beets +
                          " could not be read (No such file or directory); it was passed over");
    EXPECT_EQ(ports.warnings, warnings);
  }
}

// Sources that cannot be read are named and passed over, without a wait or a crash; a
// database another program holds locked is still read.
TEST(GatherPlayHistoryTest, HostileSources) {
  test::TempDir dir;
  const std::string good = dir / "good.db";
  MakeDatabase(good,
               "CREATE TABLE sticker(type, uri, name, value);"
               "INSERT INTO sticker VALUES('song', '/m/a.mp3', 'playCount', '1');");
  std::filesystem::create_symlink(good, dir / "link.db");
  ASSERT_EQ(::mkfifo((dir / "fifo.db").c_str(), 0600), 0);
  const std::string corrupt =
      dir.WriteFile("corrupt.db", std::string("SQLite format 3\0", 16) + std::string(4000, '\xff'));
  const std::string other = dir.WriteFile("notes.txt", "hello");
  MakeDatabase(dir / "empty.db", "CREATE TABLE t(x);");
  struct Case {
    std::string path;
    std::string warning;
  };
  const Case cases[] = {
      {dir / "link.db", "(it is a symbolic link)"},
      {dir / "fifo.db", "(it is not a regular file)"},
      {dir.path(), "(it is not a regular file)"},
      {corrupt, "file is not a database"},
      {other, "it is no play history that Sorvina knows"},
      {dir / "empty.db", "without play counts"},
      {dir / "missing.db", "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    test::RecordingPorts ports;
    const Gathered plays(Sources({c.path}), ports, dir / "history.sqlite");
    ASSERT_EQ(ports.warnings.size(), 1u);
    EXPECT_NE(ports.warnings[0].find(c.warning), std::string::npos) << ports.warnings[0];
  }
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(good.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder,
                         "BEGIN EXCLUSIVE; INSERT INTO sticker VALUES('song', "
                         "'/m/b.mp3', 'playCount', '1');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  test::RecordingPorts ports;
  const Gathered plays(Sources({good}), ports, dir / "history.sqlite");
  EXPECT_EQ(plays["/m/a.mp3"], "1@-/-");
  EXPECT_EQ(ports.warnings, std::vector<std::string>{});
  sqlite3_close(holder);
}

// A damaged store is set aside, kept for the user, and a new one begun.
TEST(GatherPlayHistoryTest, DamagedStoreSetAside) {
  test::TempDir dir;
  const std::string store = dir.WriteFile("history.sqlite", "not a database at all");
  const std::string listens =
      dir.WriteFile("l.json", R"({"listened_at":1700000000,"track_metadata":{"track_name":"T"}})");
  const HistoryRequest request = Sources({listens}, [] {
    return std::vector<KnownSong>{{"/m/t.mp3", "", "T", "", 0}};
  });
  test::RecordingPorts ports;
  EXPECT_EQ(Gathered(request, ports, store)["/m/t.mp3"], "1@0/-");
  ASSERT_EQ(ports.warnings.size(), 1u);
  EXPECT_NE(ports.warnings[0].find("was damaged; it was set aside as " + store + ".damaged-"),
            std::string::npos);
  const std::string aside = ports.warnings[0].substr(ports.warnings[0].find(store));
  EXPECT_EQ(test::ReadBytes(aside.substr(0, aside.find(' '))), "not a database at all");
  test::RecordingPorts again;
  EXPECT_EQ(Gathered(request, again, store)["/m/t.mp3"], "1@0/-");
  EXPECT_EQ(again.warnings, std::vector<std::string>{});
}

// A store that is sound but cannot be used now is left as it is: one of a newer version,
// one another run holds; the plays read still serve this run.
TEST(GatherPlayHistoryTest, StoreInUseOrNewerLeftAlone) {
  test::TempDir dir;
  const std::string listens =
      dir.WriteFile("l.json", R"({"listened_at":1700000000,"track_metadata":{"track_name":"T"}})");
  const HistoryRequest request = Sources({listens}, [] {
    return std::vector<KnownSong>{{"/m/t.mp3", "", "T", "", 0}};
  });
  const std::string newer = dir / "newer.sqlite";
  MakeDatabase(newer, "CREATE TABLE x(y); PRAGMA user_version = 9;");
  const std::string held = dir / "held.sqlite";
  EXPECT_EQ(Gathered(request, *std::make_unique<test::RecordingPorts>(), held)["/m/t.mp3"],
            "1@0/-");
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(held.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  for (const std::string& store : {newer, held}) {
    SCOPED_TRACE(store);
    const std::string before = test::ReadBytes(store);
    test::RecordingPorts ports;
    EXPECT_EQ(Gathered(request, ports, store)["/m/t.mp3"], "1@0/-");
    ASSERT_EQ(ports.warnings.size(), 1u);
    EXPECT_NE(ports.warnings[0].find("could not be used"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(store), before);
    EXPECT_EQ(test::NamesIn(dir.path()).size(), 3u);
  }
  sqlite3_close(holder);
}

// A real library of the tagging program, its plays set by hand as flexible attributes.
TEST(GatherPlayHistoryTest, RealBeetsLibrary) {
  if (!test::ProgramsInstalled({"beet", "ffmpeg"})) GTEST_SKIP() << "beet or ffmpeg is missing";
  test::TempDir dir;
  const std::string song = dir.MakeFolder("in/Artist") + "/song.mp3";
  ASSERT_TRUE(
      test::RunCommand("ffmpeg -v error -f lavfi -i anullsrc=r=44100:cl=mono -t 3 "
                       "-metadata title=Song -metadata artist=Artist " +
                       test::ShellQuoted(song)));
  dir.WriteFile("beets/config.yaml", "directory: " + dir / "music" +
                                         "\nlibrary: " + dir / "beets/library.db" +
                                         "\nimport:\n  write: no\n  copy: no\nplugins: []\n");
  const std::string beet = "BEETSDIR=" + test::ShellQuoted(dir / "beets") +
                           " HOME=" + test::ShellQuoted(dir.path()) + " beet ";
  ASSERT_TRUE(test::RunCommand(beet + "import -A -q " + test::ShellQuoted(dir / "in")));
  ASSERT_TRUE(test::RunCommand(beet + "modify -y play_count=3 last_played=1700000000 title:Song"));
  test::RecordingPorts ports;
  const Gathered plays(Sources({dir / "beets/library.db"}), ports, dir / "history.sqlite");
  EXPECT_EQ(plays[song], "3@0/-");
  EXPECT_EQ(ports.warnings, std::vector<std::string>{});
}

}  // namespace
}  // namespace sorvina::engine
