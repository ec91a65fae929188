// SPDX-License-Identifier: GPL-3.0-or-later
// A player pulled out in the middle of weekly fills: the exFAT volume's driver is killed at
// moments spread over a fill, the volume is plugged in again, and a normal fill follows.
// After each, the player must hold the user's files as they were, the last fill's songs,
// whole, its record and its playlist, and nothing else: no song of a fill that no record
// names, no half-built folder, no empty file, no temporary.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "tests/faults/fill_support.h"

namespace sorvina::test {
namespace {

namespace fs = std::filesystem;
using engine::JournalEntry;

// What a fill pulled out part-way had reached, as the player shows it once plugged in
// again: its journal's lines, else whether the record changed.
enum class Reached { kNothing, kRemoving, kCopying, kOrdering, kRecording, kRecorded, kCount };

Reached WhatWasReached(const std::string& player, const std::string& recordBefore) {
  const std::string journal = ReadBytes(player + "/.sorvina/journal.txt");
  if (journal.empty())
    return ReadBytes(player + "/.sorvina/fills.txt") == recordBefore ? Reached::kNothing
                                                                     : Reached::kRecorded;
  Reached reached = Reached::kRemoving;
  for (const JournalEntry& entry : engine::ParseFillJournal(journal).journal.entries) {
    switch (entry.kind) {
      case JournalEntry::Kind::kPlace:
      case JournalEntry::Kind::kWrite:
      case JournalEntry::Kind::kPlaced:
        reached = std::max(reached, Reached::kCopying);
        break;
      case JournalEntry::Kind::kArrange:
      case JournalEntry::Kind::kMove:
      case JournalEntry::Kind::kGap:
      case JournalEntry::Kind::kArranged:
        reached = std::max(reached, Reached::kOrdering);
        break;
      case JournalEntry::Kind::kPlaylist:
        reached = Reached::kRecording;
        break;
      case JournalEntry::Kind::kFolder:
        break;
    }
  }
  return reached;
}

// The names of the files fsck.exfat repaired, as its report tells them
// ("ERROR: /Rock/t1.mp3: ...").
std::set<std::string> NamesRepaired(const std::string& report) {
  std::set<std::string> names;
  for (const std::string& line : LinesOf(report))
    if (line.starts_with("ERROR: /"))
      names.insert(fs::path(line.substr(7, line.find(": ", 8) - 7)).filename());
  return names;
}

// The name of a song that `path` holds, without the number finishing a rebuild may have
// given it ("t1 (2).mp3": "t1.mp3").
std::string SongNameOf(const std::string& path) {
  std::string name = fs::path(path).filename();
  const std::size_t number = name.rfind(" (");
  const std::size_t end = name.rfind(").");
  if (number != std::string::npos && end != std::string::npos && end > number)
    name.erase(number, end + 1 - number);
  return name;
}

// Snapshot(folder), where a folder that cannot be listed shows as "<unreadable: reason>".
Tree TreeOf(const std::string& folder) {
  Tree tree;
  std::error_code error;
  fs::recursive_directory_iterator entry(folder, error);
  for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
    const std::string path = fs::relative(entry->path(), folder);
    tree[path] = entry->is_directory() ? "<folder>" : ReadBytes(entry->path());
  }
  if (error) tree["<unreadable: " + error.message() + ">"] = "";
  return tree;
}

TEST(PulledOutFillsTest, EachFillPulledOutIsPutRightByTheNext) {
  if (CliProgram().empty()) GTEST_SKIP() << "sorvina-cli was not built";
  TempDir dir;
  // Songs at the top of the library, in folders and in folders of folders, so that the
  // fills put the player's top folder, its folders and their folders in play order.
  const Library library = MakeLibrary(dir, 120, 200 * 1024, 4 * 1024);
  const std::string music = dir / "music";
  fs::create_directories(music + "/Rock");
  for (const fs::directory_entry& song : fs::directory_iterator(music + "/Artist 0"))
    fs::rename(song.path(), music + "/" + song.path().filename().string());
  for (int artist = 1; artist <= 4; ++artist)
    fs::rename(music + "/Artist " + std::to_string(artist),
               music + "/Rock/Album " + std::to_string(artist));
  ExFatVolume player(16);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  const std::string root = player.path();
  // The user's own: a song, a folder of theirs, and a picture among a fill's songs.
  const Tree users = {{"mine.mp3", "the user's own song"},
                      {"Podcasts/episode.mp3", "an episode"},
                      {"Rock/Album 2/cover.jpg", "the user's picture"}};
  for (const auto& [path, bytes] : users)
    WriteOn(root, path, bytes);
  const auto weekly = [&](int seed) {
    return std::vector<std::string>{"-s",
                                    music,
                                    "-c",
                                    root,
                                    "--keep-folders",
                                    "--mb",
                                    "free",
                                    "--fill",
                                    "--replace-previous",
                                    "--avoid-last",
                                    "1",
                                    "--device-playlist",
                                    "Sorvina.m3u8",
                                    "--seed",
                                    std::to_string(seed)};
  };
  ASSERT_EQ(RunCli(weekly(1)).status, 0);
  // The pull-outs are spread over what a fill that replaces another takes.
  const auto start = std::chrono::steady_clock::now();
  CliProcess whole(weekly(2));
  ASSERT_EQ(whole.Wait(), 0) << whole.err();
  const auto fill = std::chrono::steady_clock::now() - start;

  constexpr int kPullOuts = 24;
  int reached[static_cast<int>(Reached::kCount)] = {};
  int recovered = 0;  // the next fill found a fill cut off part-way
  int repaired = 0;   // the volume needed repairs
  // Damage of the file system's own, which fsck.exfat repairs by cutting files down, where
  // the system wrote back part of its cache on its own before the stick went: a song the
  // fill was removing, whose clusters reached the stick as freed but whose entry did not
  // (cut to what its broken chain holds), or one the order work was moving, whose new entry
  // reached the stick along with its old one (two entries of the same clusters: one is cut
  // to nothing). What is left of such a file is no longer what a fill wrote, and bears the
  // song's name and times: none may be taken for a fill's, and it stays where finishing the
  // rebuild puts it. The names of the songs cut down, and the files left of them.
  std::set<std::string> cutNames;
  std::set<std::string> cutDown;
  for (int i = 0; i < kPullOuts; ++i) {
    const std::string recordBefore = ReadBytes(root + "/.sorvina/fills.txt");
    CliProcess cut(weekly(100 + i));
    std::this_thread::sleep_for(fill * (i + 0.5) / kPullOuts);
    // The stick keeps all the driver wrote, or only what was synced.
    ASSERT_TRUE(player.PullOut(i % 2 == 0));
    const int status = cut.Wait();
    bool damaged = false;
    ASSERT_TRUE(player.PlugIn(&damaged)) << player.reason();
    repaired += damaged;
    for (const std::string& name : NamesRepaired(player.RepairReport()))
      cutNames.insert(name);
    const Reached what = status == 0 ? Reached::kRecorded : WhatWasReached(root, recordBefore);
    ++reached[static_cast<int>(what)];

    // What the player held when plugged in again, for a failure to show.
    std::string pluggedIn = ReadBytes(root + "/.sorvina/journal.txt");
    for (const auto& [path, bytes] : TreeOf(root))
      pluggedIn += path + (bytes == "<folder>" ? "/" : " " + std::to_string(bytes.size())) + "\n";

    const CliOutcome next = RunCli(weekly(200 + i));
    ASSERT_EQ(next.status, 0) << "after pull-out " << i << ": " << next.err << player.RepairReport()
                              << "The player plugged in again:\n"
                              << pluggedIn;
    if (next.err.find("was cut off part-way") != std::string::npos) ++recovered;
    const engine::ParsedRecord record =
        engine::ParseFillRecord(ReadBytes(root + "/.sorvina/fills.txt"));
    ASSERT_EQ(record.problem, engine::RecordProblem::kNone);
    std::set<std::string> expected = {".sorvina", ".sorvina/fills.txt", ".sorvina/lock",
                                      "Sorvina.m3u8", "Podcasts"};
    for (const auto& [path, bytes] : users) {
      expected.insert(path);
      for (fs::path folder = fs::path(path).parent_path(); !folder.empty();
           folder = folder.parent_path())
        expected.insert(folder);
    }
    std::set<std::string> recorded;
    for (const engine::RecordedFile& song : record.history.fills.back().files) {
      recorded.insert(song.relative);
      for (fs::path path = song.relative; !path.empty(); path = path.parent_path())
        expected.insert(path);
      EXPECT_TRUE(ReadBytes(root + "/" + song.relative) ==
                  library.at(fs::path(song.relative).filename()))
          << song.relative << " after pull-out " << i;
    }
    const Tree found = TreeOf(root);
    for (const auto& [path, bytes] : found) {
      const auto song = library.find(SongNameOf(path));
      if (cutNames.contains(SongNameOf(path)) && song != library.end() && bytes != song->second)
        cutDown.insert(path);
    }
    for (const std::string& file : cutDown)
      if (found.contains(file))
        for (fs::path folder = fs::path(file).parent_path(); !folder.empty();
             folder = folder.parent_path())
          expected.insert(folder);
    std::set<std::string> left;  // what the player holds that it should not
    for (const auto& [path, bytes] : found)
      if (!expected.erase(path) && !cutDown.contains(path)) left.insert(path);
    EXPECT_TRUE(left.empty() && expected.empty())
        << "after pull-out " << i << " (the fill cut off ended with " << status
        << "), left over: " << ::testing::PrintToString(left)
        << ", missing: " << ::testing::PrintToString(expected) << "\n"
        << cut.err() << next.err << player.RepairReport() << "The player plugged in again:\n"
        << pluggedIn;
    for (const auto& [path, bytes] : users)
      EXPECT_EQ(found.count(path) ? found.at(path) : "<missing>", bytes) << path;
    // The playlist lists the recorded songs and nothing else.
    std::set<std::string> listed;
    for (const std::string& line :
         LinesOf(found.count("Sorvina.m3u8") ? found.at("Sorvina.m3u8") : std::string()))
      if (!line.empty() && line.front() != '#') listed.insert(line.substr(0, line.find('\r')));
    EXPECT_EQ(listed, recorded) << "after pull-out " << i;
    if (HasFailure()) break;  // what follows would show the same damage again
  }
  const auto count = [&](Reached what) { return reached[static_cast<int>(what)]; };
  std::cout << "[   NOTE   ] a fill takes "
            << std::chrono::duration_cast<std::chrono::milliseconds>(fill).count() << " ms; of "
            << kPullOuts << " pull-outs, " << count(Reached::kNothing)
            << " came before the fill wrote anything, " << count(Reached::kRemoving)
            << " while it removed the last fill, " << count(Reached::kCopying) << " while copying, "
            << count(Reached::kOrdering) << " during the order work, " << count(Reached::kRecording)
            << " while writing the playlist and record, " << count(Reached::kRecorded)
            << " once the fill was recorded; " << recovered
            << " fills cut off were recovered by the next; the volume needed repairs " << repaired
            << " times, and " << cutDown.size()
            << " songs the fill was removing or moving were cut down by them and stay\n";
}

}  // namespace
}  // namespace sorvina::test
