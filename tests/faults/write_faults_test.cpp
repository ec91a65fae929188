// SPDX-License-Identifier: GPL-3.0-or-later
// Faults on the writing side, end to end as users meet them: a player or disk that fills
// up, folders that may not be written, sources that go away before their copy, names that
// are no text, and readers that look at a playlist while it is saved. Each test checks
// that nothing is lost: the user's files are byte for byte as they were, no partial or
// hidden temporary file is left, and the failure is reported naming what failed.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/loop.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/fill/copy_targets.h"
#include "engine/fill/destination_space.h"
#include "engine/output/playlist_writer.h"
#include "engine/report/messages.h"
#include "engine/run/selection_run.h"
#include "engine/settings/settings_file.h"
#include "platform/drive_type.h"
#include "platform/file_system.h"
#include "tests/faults/test_volumes.h"
#include "tests/support/amounts.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"
#include "transfer/file_operation.h"

extern char** environ;

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using test::All;
using test::CopyRecorder;
using test::ExFatVolume;
using test::FatVolume;
using test::NamesIn;
using test::ReadBytes;
using test::SmallVolume;
using test::Snapshot;
using test::TempDir;
using test::Tree;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr uid_t kNobody = 65534;

// Copies (or writes a playlist of) every MP3 under `sources` into `destination` and
// reports "succeeded" or "failed", then each message and each copy error, sorted.
std::string RunAll(const std::vector<std::string>& sources, bool copy,
                   const std::string& destination, std::function<void()> beforeTheFirstFile = {}) {
  SelectionSettings settings;
  settings.sources = sources;
  settings.copyToFolder = copy;
  settings.destination = destination;
  test::RecordingPorts ports;
  CopyRecorder copier;
  copier.beforeTheFirstFile = std::move(beforeTheFirstFile);
  SelectionRunOptions options;
  options.fileOperationOwner = &copier;
  options.seed = 7;
  const bool succeeded = test::RunFor(settings, All(), ports, options).succeeded;
  std::vector<std::string> lines = ports.messages;
  std::sort(copier.errors.begin(), copier.errors.end());
  lines.insert(lines.end(), copier.errors.begin(), copier.errors.end());
  std::string report = succeeded ? "succeeded" : "failed";
  for (const std::string& line : lines)
    report += "|" + line;
  return report;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
  return status.st_mode;
}

std::string Bytes(std::size_t size, char seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(seed + i * 7 + i / 1000);
  return bytes;
}

TEST(WriteFaultsTest, AFullPlayerFailsTheFileThatDoesNotFitAndKeepsEverythingElse) {
  TempDir dir;
  const std::string music = dir.MakeFolder("music");
  dir.WriteFile("music/a.mp3", Bytes(8 * 1024, 'a'));
  dir.WriteFile("music/b.mp3", Bytes(100 * 1024, 'b'));
  dir.WriteFile("music/c.mp3", Bytes(16 * 1024, 'c'));
  SmallVolume player(64 * 1024);
  const std::string destination = player / "MUSIC";
  ASSERT_EQ(mkdir(destination.c_str(), 0755), 0);
  // The user's own b.mp3, which the answer Replace must not cost when the new one fails.
  ASSERT_TRUE(std::ofstream(destination + "/b.mp3") << "the user's own b");

  // Whichever order the files are drawn in, b never fits and the others always do.
  const std::string report = player.Run([&] { return RunAll({music}, true, destination); });
  EXPECT_EQ(report, "failed|" + destination + "/b.mp3: " + player.FullReason());
  EXPECT_EQ(Snapshot(destination), (Tree{{"a.mp3", Bytes(8 * 1024, 'a')},
                                         {"b.mp3", "the user's own b"},
                                         {"c.mp3", Bytes(16 * 1024, 'c')}}));
}

// A music folder of 120 files with long folder and file names, whose playlist takes over
// 64 KiB; returns its path.
std::string MusicForALongPlaylist(const TempDir& dir) {
  const std::string relative = "music/" + std::string(200, 'L') + "/" + std::string(200, 'M');
  for (int i = 0; i < 120; ++i)
    dir.WriteFile(relative + "/" + std::string(150, 's') + std::to_string(i) + ".mp3", "x");
  return dir / relative;
}

// Settings that take over 100 KiB.
SettingsText LongSettings() {
  SettingsText settings;
  for (int i = 0; i < 100; ++i)
    settings.sources.push_back("/music/" + std::string(1000, 'f') + std::to_string(i));
  return settings;
}

constexpr char kOldPlaylist[] = "#EXTM3U\r\n#EXTINF:1,old\r\n/old.mp3\r\n";
constexpr char kOldSettings[] = "1\r\n/music/\r\n/lists/mix.m3u\r\n0\r\n2 \r\n";

TEST(WriteFaultsTest, AFullDiskKeepsTheOldPlaylistAndSettingsFile) {
  TempDir dir;
  const std::string music = MusicForALongPlaylist(dir);
  const SettingsText big = LongSettings();
  SmallVolume disk(64 * 1024);
  const std::string oldPlaylist = kOldPlaylist;
  const std::string oldSettings = kOldSettings;
  ASSERT_EQ(mkdir((disk / "lists").c_str(), 0755), 0);
  ASSERT_TRUE(std::ofstream(disk / "lists/mix.m3u", std::ios::binary) << oldPlaylist);
  ASSERT_TRUE(std::ofstream(disk / "settings.txt", std::ios::binary) << oldSettings);

  const std::string report = disk.Run([&] {
    const bool settingsWritten =
        WriteSettingsFile(disk / "settings.txt", big) != SettingsWriteResult::kCannotWrite;
    return RunAll({music}, false, disk / "lists/mix.m3u") +
           (settingsWritten ? " / settings written" : " / settings not written");
  });
  EXPECT_EQ(report,
            std::string("failed|") + kCannotWritePlaylistMessage + " / settings not written");
  EXPECT_EQ(
      Snapshot(disk.path()),
      (Tree{{"lists", "<folder>"}, {"lists/mix.m3u", oldPlaylist}, {"settings.txt", oldSettings}}));
}

TEST(WriteFaultsTest, AFullDiskKeepsFilesThatAreRewrittenInPlace) {
  // Files the user may write in a folder where they may not create one: no temporary file
  // can be made beside them, so they are rewritten in place, and a longer text must not
  // cost the old one its head when the disk fills up.
  TempDir dir;
  const std::string music = MusicForALongPlaylist(dir);
  const SettingsText big = LongSettings();
  SmallVolume disk(64 * 1024);
  const std::string locked = disk / "locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
  // An old text of a few pages, so that overwriting its head would show.
  const std::string oldPlaylist = std::string(kOldPlaylist) + std::string(6000, '#') + "\r\n";
  const std::string oldSettings = std::string(kOldSettings) + std::string(6000, '/') + "\r\n";
  ASSERT_TRUE(std::ofstream(locked + "/mix.m3u", std::ios::binary) << oldPlaylist);
  ASSERT_TRUE(std::ofstream(locked + "/settings.txt", std::ios::binary) << oldSettings);
  for (const char* name : {"/mix.m3u", "/settings.txt"})
    ASSERT_EQ(chmod((locked + name).c_str(), 0666), 0);
  ASSERT_EQ(chmod(locked.c_str(), 0555), 0);

  const std::string report = disk.Run([&] {
    return test::RunUnprivileged([&] {
      const bool settingsWritten =
          WriteSettingsFile(locked + "/settings.txt", big) != SettingsWriteResult::kCannotWrite;
      return RunAll({music}, false, locked + "/mix.m3u") +
             (settingsWritten ? " / settings written" : " / settings not written");
    });
  });
  EXPECT_EQ(report,
            std::string("failed|") + kCannotWritePlaylistMessage + " / settings not written");
  // (Compared as truth values: the texts are too long to show.)
  EXPECT_TRUE(ReadBytes(locked + "/mix.m3u") == oldPlaylist);
  EXPECT_TRUE(ReadBytes(locked + "/settings.txt") == oldSettings);
  EXPECT_THAT(NamesIn(locked), ElementsAre("mix.m3u", "settings.txt"));
}

TEST(WriteFaultsTest, FoldersThatMayNotBeWrittenAreReportedAndLeftAlone) {
  TempDir dir;
  const std::string music = dir.MakeFolder("music");
  dir.WriteFile("music/a.mp3", "a");
  dir.WriteFile("music/b.mp3", "b");
  const std::string player = dir.MakeFolder("player");
  dir.WriteFile("player/user.mp3", "the user's own");
  const std::string lists = dir.MakeFolder("lists");
  const std::string old = dir.WriteFile("lists/old.m3u", "#EXTM3U\r\n");
  ASSERT_EQ(chmod(old.c_str(), 0444), 0);
  ASSERT_EQ(chmod(player.c_str(), 0555), 0);
  ASSERT_EQ(chmod(lists.c_str(), 0555), 0);
  const Tree before = Snapshot(dir.path());

  const std::string report = test::RunUnprivileged([&] {
    std::string text = RunAll({music}, true, player);
    for (const char* playlist : {"/new.m3u", "/old.m3u", "/sub/new.m3u"})
      text += "\n" + RunAll({music}, false, lists + playlist);
    const SettingsWriteResult settings = WriteSettingsFile(lists + "/settings.txt", {});
    return text + "\n" + (settings == SettingsWriteResult::kCannotOpen ? "settings refused" : "?");
  });
  const std::string refused = std::string("failed|") + kCannotOpenPlaylistMessage;
  EXPECT_EQ(report, "failed|" + player + "/a.mp3: Permission denied|" + player +
                        "/b.mp3: Permission denied\n" + refused + "\n" + refused + "\n" + refused +
                        "\nsettings refused");
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(WriteFaultsTest, AWriteProtectedCardIsReportedAndLeftAlone) {
  TempDir dir;
  const std::string music = dir.MakeFolder("music");
  dir.WriteFile("music/a.mp3", "a");
  dir.WriteFile("music/b.mp3", "b");
  // The volume itself is read-only, for root too.
  SmallVolume card(1024 * 1024);
  if (!card.mounted()) GTEST_SKIP() << "no volume can be mounted here";
  ASSERT_EQ(mkdir((card / "MUSIC").c_str(), 0755), 0);
  ASSERT_TRUE(std::ofstream(card / "list.m3u") << "#EXTM3U\r\n");
  ASSERT_TRUE(card.MakeReadOnly());
  EXPECT_EQ(RunAll({music}, true, card / "MUSIC"),
            "failed|" + card / "MUSIC/a.mp3: Read-only file system|" +
                card / "MUSIC/b.mp3: Read-only file system");
  EXPECT_EQ(RunAll({music}, false, card / "list.m3u"),
            std::string("failed|") + kCannotOpenPlaylistMessage);
  EXPECT_EQ(Snapshot(card.path()), (Tree{{"MUSIC", "<folder>"}, {"list.m3u", "#EXTM3U\r\n"}}));
}

TEST(WriteFaultsTest, SourcesThatGoAwayBeforeTheirCopyAreReportedAndTheOthersCopied) {
  TempDir dir;
  const std::string music = dir.MakeFolder("music");
  const std::string gone = dir.WriteFile("music/gone.mp3", "gone");
  const std::string locked = dir.WriteFile("music/locked.mp3", "locked");
  dir.WriteFile("music/ok1.mp3", "ok1");
  dir.WriteFile("music/ok2.mp3", "ok2");
  const std::string player = dir.MakeFolder("player");
  if (geteuid() == 0) {
    // The unprivileged copy below must be able to remove a source and write the player.
    for (const std::string& path : {music, gone, locked, player})
      ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
  }

  // The files are collected and the copy's request is made; before the first file is
  // copied, one source is deleted and another made unreadable.
  const std::string report = test::RunUnprivileged([&] {
    return RunAll({music}, true, player, [&] {
      unlink(gone.c_str());
      chmod(locked.c_str(), 0);
    });
  });
  EXPECT_EQ(report,
            "failed|" + gone + ": No such file or directory|" + locked + ": Permission denied");
  EXPECT_EQ(Snapshot(player), (Tree{{"ok1.mp3", "ok1"}, {"ok2.mp3", "ok2"}}));
}

TEST(WriteFaultsTest, NamesThatAreNoTextAreCopiedAndListedAsTheirBytes) {
  TempDir dir;
  const std::vector<std::string> names = {"caf\xE9.mp3", "\xFF\xFE.mp3", "\xC3\xA9t\xC3\xA9.mp3"};
  std::vector<std::string> sources;
  Tree expected;
  for (const std::string& name : names) {
    sources.push_back(dir.WriteFile("music/" + name, name));
    expected[name] = name;
  }
  EXPECT_EQ(RunAll({dir / "music"}, true, dir / "player"), "succeeded");
  EXPECT_EQ(Snapshot(dir / "player"), expected);

  EXPECT_EQ(RunAll({dir / "music"}, false, dir / "mix.m3u"), "succeeded");
  const std::string playlist = ReadBytes(dir / "mix.m3u");
  std::vector<std::string> listed;
  std::size_t at = playlist.find("\r\n") + 2;  // after "#EXTM3U"
  for (int line = 0; at < playlist.size(); ++line) {
    const std::size_t end = playlist.find("\r\n", at);
    if (line % 2 == 1) listed.push_back(playlist.substr(at, end - at));
    at = end + 2;
  }
  std::sort(listed.begin(), listed.end());
  std::sort(sources.begin(), sources.end());
  EXPECT_EQ(listed, sources);
}

TEST(WriteFaultsTest, SavingKeepsTheModeAndWritesThroughSymbolicLinks) {
  TempDir dir;
  dir.WriteFile("music/a.mp3", "a");
  const std::string playlist = dir.WriteFile("real/mix.m3u", "old");
  const std::string settings = dir.WriteFile("store/settings.txt", "old");
  ASSERT_EQ(chmod(playlist.c_str(), 0640), 0);
  ASSERT_EQ(chmod(settings.c_str(), 0600), 0);
  dir.MakeFolder("lists");
  dir.MakeFolder("Settings");
  const std::string playlistLink = dir / "lists/mix.m3u";
  const std::string settingsLink = dir / "Settings/current.txt";
  ASSERT_EQ(symlink("../real/mix.m3u", playlistLink.c_str()), 0);
  ASSERT_EQ(symlink(settings.c_str(), settingsLink.c_str()), 0);

  EXPECT_EQ(RunAll({dir / "music"}, false, playlistLink), "succeeded");
  SettingsText saved;
  saved.destination = playlistLink;
  EXPECT_EQ(WriteSettingsFile(settingsLink, saved), SettingsWriteResult::kWritten);

  EXPECT_TRUE(S_ISLNK(ModeOf(playlistLink)));
  EXPECT_TRUE(S_ISLNK(ModeOf(settingsLink)));
  EXPECT_EQ(ModeOf(playlist) & 07777, 0640u);
  EXPECT_EQ(ModeOf(settings) & 07777, 0600u);
  EXPECT_EQ(ReadBytes(playlist).substr(0, 17), "#EXTM3U\r\n#EXTINF:");
  EXPECT_EQ(ReadSettingsFile(settingsLink).value().settings.destination, playlistLink);
  for (const char* folder : {"lists", "Settings", "real", "store"})
    EXPECT_THAT(NamesIn(dir / folder), ::testing::SizeIs(1)) << folder;
}

// Saves the file at `path` 200 times, alternating between two versions through `save`,
// while another thread reads it as fast as it can; returns every read that was neither
// version whole.
std::vector<std::string> TornReadsDuringSaves(const std::string& path,
                                              const std::function<void(int version)>& save) {
  save(1);
  const std::string second = ReadBytes(path);
  save(0);
  const std::string first = ReadBytes(path);
  EXPECT_NE(first, second);

  std::atomic<bool> saving = true;
  std::atomic<int> reads = 0;
  std::vector<std::string> torn;
  std::thread reader([&] {
    while (saving) {
      const std::string seen = ReadBytes(path);
      if (seen != first && seen != second) torn.push_back(seen);
      ++reads;
    }
  });
  while (reads == 0)
    std::this_thread::yield();
  for (int i = 1; i <= 200; ++i)
    save(i % 2);
  saving = false;
  reader.join();
  return torn;
}

TEST(WriteFaultsTest, AReaderDuringTwoHundredSavesSeesOnlyWholeFiles) {
  TempDir dir;
  const std::vector<std::string> songs = {dir.WriteFile("music/a.mp3", "a"),
                                          dir.WriteFile("music/b.mp3", "b")};
  const std::string playlist = dir / "mix.m3u";
  test::RecordingPorts ports;
  EXPECT_THAT(TornReadsDuringSaves(playlist,
                                   [&](int version) {
                                     const std::vector<std::string> chosen(
                                         songs.begin(), songs.begin() + 1 + version);
                                     ASSERT_EQ(WritePlaylist(playlist, chosen, ports),
                                               PlaylistResult::kWritten);
                                   }),
              IsEmpty());

  const std::string settingsFile = dir / "settings.txt";
  EXPECT_THAT(TornReadsDuringSaves(settingsFile,
                                   [&](int version) {
                                     SettingsText settings;
                                     settings.sources.assign(songs.begin(),
                                                             songs.begin() + 1 + version);
                                     ASSERT_EQ(WriteSettingsFile(settingsFile, settings),
                                               SettingsWriteResult::kWritten);
                                   }),
              IsEmpty());
  EXPECT_THAT(NamesIn(dir.path()), ElementsAre("mix.m3u", "music", "settings.txt"));
}

TEST(WriteFaultsTest, CopiesOntoARealFatVolumeUnderNamesItTakes) {
  TempDir dir;
  dir.WriteFile("music/Live: Take 2?.mp3", "live");
  dir.WriteFile("music/con.mp3", "con");
  dir.WriteFile("music/plain.mp3", "plain");
  const FatVolume card;
  if (!card.mounted()) GTEST_SKIP() << "no FAT volume can be mounted here (mkfs.fat, fusefat)";
  ASSERT_EQ(card.type(), "fuse.fusefat");
  EXPECT_EQ(RunAll({dir / "music"}, true, card / "MUSIC"), "succeeded");
  EXPECT_EQ(Snapshot(card / "MUSIC"),
            (Tree{{"Live_ Take 2_.mp3", "live"}, {"con_.mp3", "con"}, {"plain.mp3", "plain"}}));
}

TEST(WriteFaultsTest, NumbersNamesOfTheLongestLengthOnARealExFatVolume) {
  const ExFatVolume player(8);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  // 255 UTF-16 units in 503 bytes, "\xF0\x9D\x84\x9E" (U+1D11E) taking two of them: only a
  // volume that counts units holds it. Its second copy is numbered within 255 units, which
  // leaves no room for that character.
  std::string stem;
  for (int i = 0; i < 246; ++i)
    stem += "\xC3\xA9";
  const std::string longName = stem + "\xF0\x9D\x84\x9E" + "abc.mp3";
  for (const char* folder : {"songs/a/", "songs/b/"}) {
    fs::create_directories(player.path() + "/" + folder);
    std::ofstream(player.path() + "/" + folder + longName) << "long";
  }
  EXPECT_EQ(RunAll({player.path() + "/songs"}, true, player.path() + "/MUSIC"), "succeeded");
  EXPECT_EQ(Snapshot(player.path() + "/MUSIC"),
            (Tree{{longName, "long"}, {stem + " (2).mp3", "long"}}));
}

// Thirty files in five folders, of `smallest` bytes and up in steps of `step`, in an
// order unrelated to their names, "A/sub/t1.mp3" and so on, and a small one in a folder
// whose name FAT does not take; below "music".
std::map<std::string, std::string> FillLibrary(const TempDir& dir, std::size_t smallest,
                                               std::size_t step) {
  std::map<std::string, std::string> library{{"Live: 2?/a.mp3", "live"}};
  for (int i = 0; i < 30; ++i) {
    const std::string relative =
        std::string(1, static_cast<char>('A' + i / 6)) + "/sub/t" + std::to_string(i % 6) + ".mp3";
    library[relative] =
        Bytes(smallest + static_cast<std::size_t>(i * 7 % 30) * step, static_cast<char>('a' + i));
  }
  for (const auto& [relative, bytes] : library)
    dir.WriteFile("music/" + relative, bytes);
  return library;
}

// The space of `destination` as a fill sees it: in clusters where the volume is FAT.
platform::FileSystemSpace SpaceForFill(const std::string& destination) {
  platform::FileSystemSpace space = platform::SpaceOf(destination).value();
  space.allocationUnit = std::max(space.allocationUnit, platform::FatClusterBytes(destination));
  return space;
}

// Fills `destination` with "free", filling and keeping folders, and checks what a user
// would: no failure, and every chosen file arrived whole below its own folders (under
// names the volume takes). The draw used the allowance up: what is left of it is less than
// the smallest file left out would take. On FAT, where what each file and folder is
// charged is what the volume spends, the space left is less than that, plus the reserve,
// plus what may be left of the last cluster of each folder made.
void ExpectFilledToTheBrim(const TempDir& dir, const std::map<std::string, std::string>& library,
                           const std::string& destination) {
  SelectionSettings settings;
  settings.sources = {dir / "music"};
  settings.copyToFolder = true;
  settings.destination = destination;
  settings.options.fill = true;
  settings.options.keepFolders = true;
  test::RecordingPorts ports;
  CopyRecorder copier;
  const Amount free = test::Megabytes("free");
  const platform::FileSystemSpace before = SpaceForFill(destination);
  const SelectionOutcome outcome = test::RunFor(settings, free, ports, {&copier, 5, false});
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_THAT(ports.messages, IsEmpty());
  EXPECT_THAT(copier.errors, IsEmpty());
  ASSERT_TRUE(outcome.summary.has_value());
  EXPECT_EQ(outcome.summary->doneFiles, outcome.chosenPaths.size());
  ASSERT_GT(outcome.chosenPaths.size(), 3u);
  ASSERT_LT(outcome.chosenPaths.size(), library.size());  // the volume is the smaller

  const bool fat = platform::IsFatVolume(destination);
  const auto legal = [fat](const std::string& relative) {
    return LegalRelativePath(relative, fat);
  };
  DestinationSpace charges(before.allocationUnit,
                           [&](const Candidate& c) { return legal(c.path); });
  std::int64_t charged = 0;
  std::set<std::string> copied;
  std::set<std::string> folders;
  for (const std::string& path : outcome.chosenPaths) {
    const std::string relative = path.substr((dir / "music/").size());
    EXPECT_TRUE(ReadBytes(destination + "/" + legal(relative)) == library.at(relative)) << relative;
    const Candidate file{relative, static_cast<std::int64_t>(library.at(relative).size()), 1.0};
    charged += charges.CostOf(file);
    charges.Chosen(file);
    copied.insert(relative);
    folders.insert(relative.substr(0, relative.rfind('/')));
  }
  std::int64_t leastLeftOut = std::numeric_limits<std::int64_t>::max();
  for (const auto& [relative, bytes] : library) {
    if (!copied.contains(relative))
      leastLeftOut = std::min(
          leastLeftOut, charges.CostOf({relative, static_cast<std::int64_t>(bytes.size()), 1.0}));
  }
  // The run also charged the lines of its record and journal (the record's three times
  // over: old and new record, and the journal's two lines per file) and kept four units
  // back for the ends of their clusters.
  const auto unit = static_cast<std::int64_t>(before.allocationUnit);
  const auto recordBytes =
      static_cast<std::int64_t>(ReadBytes(destination + "/.sorvina/fills.txt").size());
  const std::int64_t ownFiles = (3 * recordBytes + unit - 1) / unit * unit + 4 * unit;
  const std::int64_t budgetLeft = FreeSpaceBudget(before) - charged;
  EXPECT_GE(budgetLeft, 0);
  EXPECT_LT(budgetLeft, leastLeftOut + ownFiles);
  const platform::FileSystemSpace after = SpaceForFill(destination);
  if (fat) {
    EXPECT_LT(static_cast<std::int64_t>(after.availableBytes),
              leastLeftOut + FreeSpaceReserve(after.allocationUnit) + ownFiles +
                  unit * static_cast<std::int64_t>(folders.size()));
  }
  std::cout << "[   NOTE   ] " << copied.size() << " files, " << after.availableBytes
            << " bytes left in units of " << unit << "; the smallest left out takes "
            << leastLeftOut << "\n";
}

TEST(WriteFaultsTest, FillsTheFreeSpaceOfARealExFatPlayerToTheBrim) {
  TempDir dir;
  // About 15 MiB of music for 6 MiB of free clusters.
  const std::map<std::string, std::string> library = FillLibrary(dir, 100 * 1024, 27 * 1024);
  const ExFatVolume player(8);
  if (!player.mounted()) GTEST_SKIP() << player.reason();
  ASSERT_TRUE(platform::IsFatVolume(player.path()));
  EXPECT_EQ(platform::FatClusterBytes(player.path()), 32768u);
  ExpectFilledToTheBrim(dir, library, player.path());
}

TEST(WriteFaultsTest, FillsTheFreeSpaceOfASmallTmpfsToTheBrim) {
  TempDir dir;
  const std::map<std::string, std::string> library = FillLibrary(dir, 20 * 1024, 5 * 1024);
  const SmallVolume disk(1024 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "no volume can be mounted here";
  ExpectFilledToTheBrim(dir, library, disk.path());
}

}  // namespace
}  // namespace sorvina::engine
