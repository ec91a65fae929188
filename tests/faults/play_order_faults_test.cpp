// SPDX-License-Identifier: GPL-3.0-or-later
// A fill's files in play order on real players: a second week's fill, whose new songs
// took the entries the first week's left free, lists them in play order on the device (as
// fatsort reads it, unmounted) on exFAT and FAT; and a player that goes away part-way
// through loses no file, and the next run records each song where it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_recovery.h"
#include "engine/fill/play_order.h"
#include "tests/faults/fill_support.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/temp_dir.h"

#ifndef SORVINA_FAILING_VOLUME
#define SORVINA_FAILING_VOLUME ""
#endif

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using platform::ContainedFolder;
using test::ReadBytes;

// Writes files that hold their own paths, so that where each went shows.
void WriteAll(const std::string& root, const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    test::WriteOn(root, path, path);
}

// Files that stay where they are, in play order.
std::vector<ArrangedFile> InPlace(const std::vector<std::string>& paths) {
  std::vector<ArrangedFile> files;
  for (const std::string& path : paths)
    files.push_back({path, path});
  return files;
}

// The entries of `listed` that are in `wanted`, in the order listed.
std::vector<std::string> Only(const std::vector<std::string>& listed,
                              const std::vector<std::string>& wanted) {
  std::vector<std::string> kept;
  std::copy_if(listed.begin(), listed.end(), std::back_inserter(kept), [&](const std::string& e) {
    return std::find(wanted.begin(), wanted.end(), e) != wanted.end();
  });
  return kept;
}

ArrangeResult Arrange(const std::string& root, const std::vector<ArrangedFile>& files) {
  const std::optional<ContainedFolder> destination = ContainedFolder::Open(root);
  return ArrangeInPlayOrder(*destination, files, {".sorvina"}, nullptr, ".sorvina");
}

// Two weeks of fills of `volume`, after the user's entries and the record's folder. The
// second week's songs, with names of other lengths, take the entries the first week's
// left free; in the end the device lists the fill in play order: in a folder ahead of all
// else where the volume can move folders, else (and in the root) among the user's
// entries. Where the volume's listing shows the device's order (`listsEntryOrder`), the
// user also frees entries ahead of the fill.
void CheckOrderOnDevice(test::ImageVolume& volume, bool foldersMove, bool listsEntryOrder) {
  const std::string root = volume.path();
  const std::string longD = "Rock/d, of a middling length.mp3";
  const std::string longG = "Rock/g, whose name takes several entries of the folder.mp3";
  const std::string longR = "r2, a song of the root named at length.mp3";
  WriteAll(root, {"notes.txt", "Podcasts/p.mp3", "Rock/cover.jpg", "Rock/Live/l.mp3"});
  fs::create_directory(root + "/.sorvina");
  WriteAll(root, {"Rock/a.mp3", "Rock/b, the second song of the first week.mp3", "Rock/c.mp3",
                  longD, "Rock/e.mp3", "r1.mp3", longR, "r3.mp3"});
  ASSERT_EQ(Arrange(root, InPlace({"Rock/e.mp3", "Rock/c.mp3", longD, "Rock/a.mp3",
                                   "Rock/b, the second song of the first week.mp3", "r3.mp3",
                                   "r1.mp3", longR}))
                .error,
            0);

  for (const std::string path :
       {"Rock/a.mp3", "Rock/b, the second song of the first week.mp3", "Rock/c.mp3", "r1.mp3"})
    fs::remove(root + "/" + path);
  if (listsEntryOrder) fs::remove(root + "/notes.txt");
  WriteAll(root, {"Rock/f.mp3", longG, "Rock/h.mp3", "r4.mp3", "r5, also of a long name.mp3"});
  std::vector<ArrangedFile> second = InPlace({"Rock/h.mp3", longD, longG});
  second.push_back({"r3.mp3", "Rock/r3.mp3"});  // kept, but in another folder now
  for (const ArrangedFile& file :
       InPlace({"Rock/e.mp3", "Rock/f.mp3", "r5, also of a long name.mp3", longR, "r4.mp3"}))
    second.push_back(file);
  const std::vector<std::string> rock = {"h.mp3",  longD.substr(5), longG.substr(5),
                                         "r3.mp3", "e.mp3",         "f.mp3"};
  const std::vector<std::string> top = {"r5, also of a long name.mp3", longR, "r4.mp3"};

  const std::optional<test::EntriesOnDevice> copied = volume.ReadEntryOrder();
  ASSERT_TRUE(copied) << "fatsort cannot read the volume";
  ASSERT_NE(Only(copied->at("Rock"), rock), rock);  // the copies took freed entries
  const std::vector<std::string> others = Only(copied->at("Rock"), {"cover.jpg", "Live"});

  const ArrangeResult result = Arrange(root, second);
  ASSERT_EQ(result.error, 0) << result.failedPath;
  const std::optional<test::EntriesOnDevice> arranged = volume.ReadEntryOrder();
  ASSERT_TRUE(arranged);
  std::vector<std::string> rockFirst = rock;
  rockFirst.insert(rockFirst.end(), others.begin(), others.end());
  if (foldersMove) {
    EXPECT_EQ(arranged->at("Rock"), rockFirst);
  }
  EXPECT_EQ(Only(arranged->at("Rock"), rock), rock);
  EXPECT_EQ(Only(arranged->at("Rock"), others), others);
  EXPECT_EQ(Only(arranged->at(""), top), top);
  EXPECT_EQ(Only(arranged->at(""), {"Podcasts", ".sorvina", "Rock"}).size(), 3u);
  EXPECT_EQ(arranged->at("Rock/Live"), std::vector<std::string>{"l.mp3"});
  EXPECT_EQ(ReadBytes(root + "/Rock/r3.mp3"), "r3.mp3");
}

TEST(PlayOrderFaultsTest, AnExFatPlayerListsTheFillInPlayOrderOnTheDevice) {
  test::ExFatVolume player(8);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  CheckOrderOnDevice(player, true, false);
}

// fusefat moves no folder: a folder's files come back in order among the rest.
TEST(PlayOrderFaultsTest, AFatPlayerListsTheFillInPlayOrderOnTheDevice) {
  test::FatVolume player;
  if (!player.mounted()) GTEST_SKIP() << "mkfs.fat or fusefat is missing, or FUSE may not be used";
  CheckOrderOnDevice(player, false, true);
}

// Weekly fills of an exFAT player, each replacing the last, which keeps some songs and
// takes others, of names of every length: after each, every folder of the device lists
// the fill's songs in the order of the playlist the fill wrote, also where the songs lie
// among the user's own files and where the last fill numbered them anew; and nothing of
// Sorvina's own (the playlist, the record's folder) lies between two of them. Filled into
// the player's root, into a folder of it, and with the songs' folders kept below either.
TEST(PlayOrderFaultsTest, WeeklyFillsListTheirSongsOnTheDeviceInTheirPlaylistsOrder) {
  test::TempDir dir;
  for (int i = 0; i < 40; ++i) {
    const std::string name =
        std::string(1 + (i * 7) % 23, static_cast<char>('a' + i % 26)) + std::to_string(i) + ".mp3";
    test::WriteOn(dir / "music", (i % 2 != 0 ? "Rock/" : "Jazz/") + name,
                  std::string(20000 + i * 100, 'x'));
  }
  const struct {
    bool keepFolders;
    std::string into;  // the destination below the player's root
  } kRows[] = {{true, ""}, {false, ""}, {true, "Music"}, {false, "Music"}};
  for (const auto& [keepFolders, into] : kRows) {
    test::ExFatVolume player(8);
    if (!player.mounted()) GTEST_SKIP() << player.reason();
    const std::string destination = into.empty() ? player.path() : player.path() + "/" + into;
    test::WriteOn(destination, "mine.mp3", "the user's own song");
    for (int week = 1; week <= 3; ++week) {
      std::vector<std::string> arguments = {"-s",
                                            dir / "music",
                                            "-c",
                                            destination,
                                            "--mb",
                                            "0.4",
                                            "--replace-previous",
                                            "--device-playlist",
                                            "Sorvina.m3u8",
                                            "--seed",
                                            std::to_string(week)};
      if (keepFolders) arguments.push_back("--keep-folders");
      if (week == 3) arguments.push_back("--number");
      const test::CliOutcome run = test::RunCli(arguments);
      ASSERT_EQ(run.status, 0) << run.err;
      std::vector<std::string> listed;
      std::istringstream lines(ReadBytes(destination + "/Sorvina.m3u8"));
      for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() != '#') listed.push_back(line);
      }
      ASSERT_GT(listed.size(), 5u) << run.err;
      const std::optional<test::EntriesOnDevice> onDevice = player.ReadEntryOrder();
      ASSERT_TRUE(onDevice) << "fatsort cannot read the player";
      for (const std::string folder : {"", "Jazz", "Rock"}) {
        const std::string prefix = folder.empty() ? "" : folder + "/";
        std::vector<std::string> expected;
        for (const std::string& entry : listed)
          if (entry.starts_with(prefix) && entry.find('/', prefix.size()) == std::string::npos)
            expected.push_back(entry.substr(prefix.size()));
        if (expected.empty()) continue;
        const std::string onPlayer = into.empty()     ? folder
                                     : folder.empty() ? into
                                                      : into + "/" + folder;
        const auto entries = onDevice->find(onPlayer);
        ASSERT_NE(entries, onDevice->end()) << onPlayer;
        EXPECT_EQ(Only(entries->second, expected), expected)
            << "week " << week << ", folder '" << onPlayer << "'";
        // From the first song to the last, nothing but the songs and the user's own.
        const auto first = std::find(entries->second.begin(), entries->second.end(), expected[0]);
        const auto last = std::find(first, entries->second.end(), expected.back());
        std::vector<std::string> between;
        std::copy_if(first, last == entries->second.end() ? last : last + 1,
                     std::back_inserter(between),
                     [](const std::string& e) { return e != "mine.mp3"; });
        EXPECT_EQ(between, expected) << "week " << week << ", folder '" << onPlayer << "'";
      }
    }
  }
}

TEST(PlayOrderFaultsTest, APlayerThatGoesAwayPartWayLosesNoFileAndTheNextRunFindsEach) {
  test::FailingVolume volume(SORVINA_FAILING_VOLUME);
  if (!volume.mounted()) GTEST_SKIP() << volume.reason();
  const std::string kept = volume.backing();
  const std::vector<std::string> users = {"notes.txt", "Rock/cover.jpg", "Rock/Live/l.mp3"};
  // This week's copies come first; the rest is last week's, kept.
  const std::vector<ArrangedFile> files = {{"Rock/b.mp3", "Rock/b.mp3"},
                                           {"n.mp3", "n.mp3"},
                                           {"Rock/old.mp3", "Rock/01 old.mp3"},
                                           {"Pop/p.mp3", "Rock/p.mp3"},
                                           {"Rock/k.mp3", "k.mp3"}};

  // Arranges through the volume, which goes away after `changes` changing calls, then
  // recovers as the next run does; returns the calls made.
  const auto arrangeAndRecover = [&](long long changes) {
    volume.FailAfter(-1);
    for (const fs::directory_entry& entry : fs::directory_iterator(kept))
      fs::remove_all(entry.path());
    WriteAll(kept, users);
    for (const ArrangedFile& file : files)
      test::WriteOn(kept, file.current, file.current);
    fs::create_directory(kept + "/.sorvina");
    std::optional<ContainedFolder> destination = ContainedFolder::Open(volume.path());
    const std::optional<ContainedFolder> record = destination->Folder(".sorvina", false);
    const FileOwnership ownership(platform::FingerprintKey(std::string(32, 'k')));
    JournalWriter journal(*record, "journal.txt", ownership.key());
    EXPECT_EQ(journal.Begin(1700000000, true), 0);
    RecordedFill previous;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const OwnedFile owned = *ownership.Fingerprint(*destination, files[i].current);
      const platform::ContentFingerprint fingerprint{owned.status.sizeBytes, owned.digest};
      if (i >= 2) {
        previous.files.push_back(
            {files[i].current, owned.status.sizeBytes, owned.status.modified, "/m", owned.digest});
      } else {
        EXPECT_EQ(journal.WillPlace(files[i].current, "/m/" + files[i].current, owned.status,
                                    fingerprint),
                  0);
        journal.Placed(files[i].current, owned.status, fingerprint);
      }
    }
    volume.FailAfter(changes);
    const ArrangeResult result = ArrangeInPlayOrder(*destination, files, {".sorvina"}, &journal);
    const long long made = volume.ChangesMade();
    volume.FailAfter(-1);

    destination = ContainedFolder::Open(volume.path());
    const ParsedJournal parsed = ParseFillJournal(ReadBytes(kept + "/.sorvina/journal.txt"));
    const std::optional<RecordedFill> recovered = RecoverInterruptedFill(
        parsed.journal, *destination, &previous, true, ".sorvina", ownership);
    if (!recovered) {
      ADD_FAILURE() << "nothing recovered after " << changes;
      return made;
    }
    // Each file is there once, under its old name or its new one, and recorded there;
    // the user's are as they were, and nothing of the arranging is left.
    std::set<std::string> seen;
    for (const auto& [path, bytes] : test::Snapshot(kept)) {
      if (path.starts_with(".sorvina") || bytes == "<folder>") continue;
      const auto file = std::find_if(files.begin(), files.end(),
                                     [&](const ArrangedFile& f) { return f.current == bytes; });
      if (file == files.end()) {
        EXPECT_TRUE(path == bytes && std::count(users.begin(), users.end(), path)) << path;
        continue;
      }
      EXPECT_TRUE(path == file->current || path == file->target) << path << " after " << changes;
      EXPECT_TRUE(seen.insert(bytes).second) << path << " after " << changes;
      EXPECT_EQ(std::count_if(recovered->files.begin(), recovered->files.end(),
                              [&](const RecordedFile& song) { return song.relative == path; }),
                1)
          << path << " after " << changes;
    }
    EXPECT_EQ(seen.size(), files.size()) << "after " << changes;
    for (const ArrangedFile& file : files)  // where no failure was reported
      EXPECT_TRUE(result.error != 0 || ReadBytes(kept + "/" + file.target) == file.current);
    for (const auto& [path, bytes] : test::Snapshot(kept))
      EXPECT_FALSE(path.ends_with(".order")) << path << " after " << changes;
    return made;
  };

  const long long changes = arrangeAndRecover(-1);
  ASSERT_GT(changes, 10);
  std::cout << "[   NOTE   ] arranging makes " << changes << " changing calls\n";
  for (long long allowed = 0; allowed < changes; ++allowed)
    arrangeAndRecover(allowed);
}

}  // namespace
}  // namespace sorvina::engine
