// SPDX-License-Identifier: GPL-3.0-or-later
// What a record or a journal on a player says, however it was made, never costs the user a
// file: a generated table of every kind of line forged to name the user's things (a file,
// the same in another letter case, an empty file, a song of their own, an empty folder),
// each followed by two weekly fills on a real exFAT player and on a small tmpfs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "platform/content_fingerprint.h"
#include "tests/faults/fill_support.h"
#include "tests/support/older_records.h"
#include "tests/support/temp_dir.h"

namespace sorvina::test {
namespace {

namespace fs = std::filesystem;
using engine::FillHistory;
using engine::JournalEntry;
using engine::RecordedFile;
using Kind = TestPlayer::Kind;

// The user's things on the player, as they must stay.
const std::map<std::string, std::string> kUsersFiles = {
    {"Docs/thesis.pdf", "the user's thesis, chapter one"},
    {"Rock/.nomedia", ""},
    {"Rock/mine.mp3", "a song the user put there"},
    {"Mix.m3u8", "#EXTM3U\r\nRock/mine.mp3\r\n"},
};
const char kUsersFolder[] = "Empty";

// What a forger knows of the thing a line names: where, and its size and time as the
// player shows them; the best digest it can make without the key is a plain hash.
struct Named {
  std::string path;
  std::int64_t size = 0;
  platform::FileTime modified;
  engine::FileDigest digest{};
};

struct Forgery {
  std::string what;
  // The journal and the record that name `named`, given a song `source` of the library.
  std::function<std::string(const Named& named, const std::string& source)> journal;
  std::function<std::string(const Named& named, const std::string& source)> record;
};

std::string Journal(const std::vector<JournalEntry>& entries, bool replacing = true) {
  std::string text = engine::FormatJournalStart(1, replacing);
  for (const JournalEntry& entry : entries)
    text += engine::FormatJournalLine(entry);
  return text;
}

// A record of one fill in the present version, or in the one before fingerprints.
std::string Record(engine::RecordedFill fill, bool withoutDigests = false) {
  return withoutDigests ? RecordBeforeFingerprints({{std::move(fill)}})
                        : engine::FormatFillRecord({{std::move(fill)}});
}

std::vector<Forgery> Forgeries() {
  using K = JournalEntry::Kind;
  const auto none = [](const Named&, const std::string&) { return std::string(); };
  const auto song = [](const Named& n, const std::string& source) {
    return RecordedFile{n.path, n.size, n.modified, source, n.digest};
  };
  return {
      {"a journal's place line",
       [](const Named& n, const std::string& source) {
         return Journal({{K::kPlace, n.path, n.size, n.modified, source, {}, n.digest}});
       },
       none},
      {"a journal's place and placed lines",
       [](const Named& n, const std::string& source) {
         return Journal({{K::kPlace, n.path, n.size, n.modified, source, {}, n.digest},
                         {K::kPlaced, n.path, n.size, n.modified, {}, {}, n.digest}});
       },
       none},
      {"a journal of the version before fingerprints",
       [](const Named& n, const std::string& source) {
         std::string text = Journal({{K::kPlace, n.path, n.size, n.modified, source},
                                     {K::kPlaced, n.path, n.size, n.modified, {}}});
         text = "sorvina-journal 1" + text.substr(text.find('\n'));
         for (std::size_t at = 0; (at = text.find("\t-\t", at)) != std::string::npos;)
           text.erase(at, 2);
         return text;
       },
       none},
      {"a placed song moved onto it",
       [](const Named& n, const std::string& source) {
         return Journal({{K::kPlace, "x.mp3", n.size, n.modified, source, {}, n.digest},
                         {K::kPlaced, "x.mp3", n.size, n.modified, {}, {}, n.digest},
                         {K::kMove, "x.mp3", 0, {}, {}, n.path}});
       },
       none},
      {"a move cut off onto it",
       [](const Named& n, const std::string&) {
         return Journal({{K::kMove, "Mix.m3u8", 0, {}, {}, n.path}});
       },
       none},
      {"a gap line",
       [](const Named& n, const std::string&) {
         return Journal({{K::kGap, n.path, 0, {}, {}}});
       },
       none},
      {"a journal's playlist line",
       [](const Named& n, const std::string&) {
         return Journal({{K::kPlaylist, n.path, n.size, {}, {}, {}, n.digest}});
       },
       none},
      {"a journal's folder line",
       [](const Named& n, const std::string&) {
         return Journal({{K::kFolder, n.path, 0, {}, {}}});
       },
       none},
      {"a record's song", none,
       [song](const Named& n, const std::string& source) {
         return Record({1, {song(n, source)}});
       }},
      {"a record's song of the version before fingerprints", none,
       [song](const Named& n, const std::string& source) {
         return Record({1, {song(n, source)}}, true);
       }},
      {"a record's song whose source is gone", none,
       [song](const Named& n, const std::string&) {
         return Record({1, {song(n, "/nowhere/song.mp3")}}, true);
       }},
      {"a record's playlist", none,
       [](const Named& n, const std::string&) {
         return Record({1, {}, {{n.path, n.size, n.modified, {}, n.digest}}});
       }},
      {"a record's folder", none,
       [](const Named& n, const std::string&) {
         return Record({1, {}, {}, {n.path}});
       }},
      {"a record and a journal that replaces it",
       [](const Named& n, const std::string& source) {
         return Journal({{K::kPlace, "y.mp3", 1, {}, source, {}, n.digest}});
       },
       [song](const Named& n, const std::string& source) {
         return Record({1, {song(n, source)}, {}, {"Docs", "Rock", kUsersFolder}});
       }},
  };
}

// What a forger can learn of `path` on `player`.
Named Learn(const std::string& player, const std::string& path) {
  Named named;
  named.path = path;
  struct stat status {};
  if (lstat((player + "/" + path).c_str(), &status) != 0) return named;
  named.size = status.st_size;
  named.modified = {status.st_mtim.tv_sec, static_cast<std::int32_t>(status.st_mtim.tv_nsec)};
  if (S_ISREG(status.st_mode)) named.digest = platform::Sha256(ReadBytes(player + "/" + path));
  return named;
}

class ForgedRecordTest : public ::testing::TestWithParam<Kind> {};

TEST_P(ForgedRecordTest, NoLineOfAnyKindCostsTheUserAnything) {
  TempDir dir;
  TestPlayer player(GetParam(), 16);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  const std::string music = dir.MakeFolder("music");
  const std::string source = dir.WriteFile("music/t1.mp3", "a song of the library");
  dir.WriteFile("music/t2.mp3", "another song of the library");
  // The names a line may give: each of the user's things, one in another letter case
  // (the same file on exFAT, none on tmpfs), and the user's empty folder.
  std::vector<std::string> targets;
  for (const auto& [path, bytes] : kUsersFiles)
    targets.push_back(path);
  targets.push_back("docs/THESIS.PDF");
  targets.push_back(kUsersFolder);

  int cases = 0;
  for (const Forgery& forgery : Forgeries()) {
    for (const std::string& target : targets) {
      SCOPED_TRACE(forgery.what + " naming " + target);
      for (const fs::directory_entry& entry : fs::directory_iterator(player.path()))
        fs::remove_all(entry.path());
      for (const auto& [path, bytes] : kUsersFiles)
        WriteOn(player.path(), path, bytes);
      fs::create_directory(player / kUsersFolder);
      const Named named = Learn(player.path(), target);
      fs::create_directory(player / ".sorvina");
      if (const std::string journal = forgery.journal(named, source); !journal.empty())
        WriteOn(player.path(), ".sorvina/journal.txt", journal);
      if (const std::string record = forgery.record(named, source); !record.empty())
        WriteOn(player.path(), ".sorvina/fills.txt", record);

      for (const char* seed : {"1", "2"}) {
        const CliOutcome run =
            RunCli({"-s", music, "-c", player.path(), "--mb", "0.00003", "--replace-previous",
                    "--device-playlist", "Sorvina.m3u8", "--seed", seed});
        EXPECT_EQ(run.status, 0) << run.err;
      }
      for (const auto& [path, bytes] : kUsersFiles)
        EXPECT_EQ(ReadBytes(player / path), bytes) << path;
      EXPECT_TRUE(fs::is_directory(player / kUsersFolder));
      ++cases;
    }
  }
  std::cout << "[   NOTE   ] " << cases << " forged journals and records, two fills each\n";
}

INSTANTIATE_TEST_SUITE_P(OnEachPlayer, ForgedRecordTest,
                         ::testing::Values(Kind::kExFat, Kind::kTmpfs),
                         [](const auto& info) { return std::string(NameOf(info.param)); });

}  // namespace
}  // namespace sorvina::test
