// SPDX-License-Identifier: GPL-3.0-or-later
// Fills of a player with a profile: what it cannot take is left out and said so, what it
// takes keeps within its limits, and its folders list the fill in play order.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "media/mp3_info.h"
#include "tests/cli/cli_run.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// The files below `root` but the record's folder, by path below it.
std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> files;
  for (auto entry = fs::recursive_directory_iterator(root);
       entry != fs::recursive_directory_iterator(); ++entry) {
    if (entry->path().filename() == ".sorvina") {
      entry.disable_recursion_pending();
      continue;
    }
    if (entry->is_regular_file())
      files.push_back(fs::relative(entry->path(), root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The lines of a playlist that are paths.
std::vector<std::string> EntriesOf(const std::string& playlist) {
  std::vector<std::string> entries;
  std::istringstream lines(test::ReadBytes(playlist));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() != '#') entries.push_back(line);
  }
  return entries;
}

// `count` bytes of noise, each of them below `ceiling`.
std::string NoiseBytes(std::size_t count, unsigned ceiling, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes)
    byte = static_cast<char>(random() % ceiling);
  return bytes;
}

// A PNG picture whose compressed image data holds, as such data does by chance, the four
// bytes of a 128 kbit/s MP3 frame header: the first one a frame search finds. Its
// checksums are left zero, as nothing here reads them.
std::string PngPicture() {
  std::string png = "\x89PNG\r\n\x1A\n";
  const auto chunk = [&png](const std::string& type, const std::string& data) {
    png += test::HeaderBytes(static_cast<std::uint32_t>(data.size())) + type + data;
    png += std::string(4, '\0');
  };
  chunk("IHDR", std::string("\0\0\0\x40\0\0\0\x40\x08\x02\0\0\0", 13));
  chunk("IDAT", NoiseBytes(3000, 0xFF, 1) + test::HeaderBytes(test::FrameHeader({})) +
                    NoiseBytes(20000, 0xFF, 2));
  chunk("IEND", "");
  return png;
}

// A player of tiny limits over a library with long Unicode names, deep folders and FLAC:
// nothing on it breaks a limit, the device playlist lists every copy, and the summary says
// what was left out and why.
TEST(PlayerFillTest, TinyLimitsAreKeptAndWhatIsLeftOutIsSaid) {
  test::TempDir dir;
  int made = 0;
  const auto song = [&](const std::string& path, const std::string& bytes) {
    dir.WriteFile("music/" + path, bytes);
    ++made;
  };
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    song("Die Ärzte/Größte Hits über alles/CD 1/Lied Nummer " + n + " – sehr lang.mp3",
         test::SilentFrames({}, 38 * (1 + i % 3)));
    song("Sigur Rós/Ágætis byrjun/Svefn-g-englar " + n + ".mp3", test::SilentFrames({}, 76));
  }
  for (int i = 1; i <= 4; ++i)
    song("Lossless/Track " + std::to_string(i) + ".flac", "fLaC not really");
  // A 48 kHz MP3 the player does not take, and one at 320 kbit/s over its bitrate.
  song("Odd/High rate.mp3", test::SilentFrames({.sampleRateHz = 48000}, 50));
  song("Odd/Loud.mp3", test::SilentFrames({.bitrateKbps = 320}, 50));
  for (int folder = 1; folder <= 6; ++folder)
    song("Many/F" + std::to_string(folder) + "/a.mp3", test::SilentFrames({}, 38));

  dir.WriteFile("tiny.mpi",
                "[Device]\nVendor=Test\nProduct=Tiny\n[Media]\nOutputFormats=audio/mpeg\n"
                "[storage]\nFolderDepth=1\n[Limits]\nFilesPerFolder=3\nNameLength=20\n"
                "AsciiNames=true\nFolders=9\nSampleRates=44100\nMaxBitrate=256\n");
  const std::string player = dir / "player";
  const Outcome run =
      RunCli({"-s", dir / "music", "--types", "mp3,flac", "-c", player, "--all", "--keep-folders",
              "--player", dir / "tiny.mpi", "--device-playlist", "list.m3u8", "--seed", "7"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("4 FLAC files left out: the player does not play them"));
  EXPECT_THAT(run.err, HasSubstr("1 file left out: a sample rate the player does not play"));
  EXPECT_THAT(run.err, HasSubstr("1 file left out: over the player's 256 kbit/s"));
  std::smatch noFolder;
  ASSERT_TRUE(std::regex_search(
      run.err, noFolder, std::regex("(\\d+) files? left out: the player reads no more than 9")));

  const std::vector<std::string> files = FilesBelow(player);
  std::map<std::string, int> perFolder;
  std::vector<std::string> songs;
  for (const std::string& file : files) {
    if (file == "list.m3u8") continue;
    songs.push_back(file);
    const fs::path path(file);
    EXPECT_LE(std::distance(path.begin(), path.end()), 2) << file;  // one folder at most
    for (const auto& name : path) {
      EXPECT_LE(name.string().size(), 20u) << file;
      for (const unsigned char c : name.string())
        EXPECT_LT(c, 0x80) << file;
    }
    ++perFolder[path.parent_path().string()];
  }
  EXPECT_LE(perFolder.size(), 9u);
  for (const auto& [folder, count] : perFolder)
    EXPECT_LE(count, 3) << folder;
  // Everything else the player takes went.
  EXPECT_EQ(songs.size() + std::stoul(noFolder[1]), static_cast<std::size_t>(made - 4 - 2));
  std::vector<std::string> listed = EntriesOf(player + "/list.m3u8");
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, songs);
  EXPECT_TRUE(perFolder.contains("Die Aerzte - Groesst") ||
              perFolder.contains("Die Aerzte - Gro (2)"));
}

// A player is given only files that decode as their type, and is told what was left out;
// the player that takes anything gets every file as it is, also where its names are
// numbered.
TEST(PlayerFillTest, FilesThatDoNotDecodeAreLeftOutForAPlayer) {
  test::TempDir dir;
  const std::map<std::string, std::string> files = {{"song.mp3", test::SilentFrames({}, 40)},
                                                    {"picture.mp3", PngPicture()},
                                                    {"empty.mp3", ""},
                                                    {"junk.mp3", NoiseBytes(64 * 1024, 0x100, 3)}};
  for (const auto& [name, bytes] : files)
    dir.WriteFile("all/" + name, bytes);
  dir.WriteFile("two/song.mp3", files.at("song.mp3"));
  dir.WriteFile("two/empty.mp3", "");
  const struct Case {
    const char* source;
    std::vector<std::string> options;
    std::vector<std::string> arrive;
    const char* said;  // after the line's amount; nothing when none is left out
  } cases[] = {
      {"all", {"--player", "car"}, {"song.mp3"}, "; 3 files left out: not playable"},
      {"two", {"--player", "car"}, {"song.mp3"}, "; 1 file left out: not playable"},
      {"all", {"--player", "any"}, {"empty.mp3", "junk.mp3", "picture.mp3", "song.mp3"}, nullptr},
      {"all",
       {"--player", "any", "--number"},
       {"empty.mp3", "junk.mp3", "picture.mp3", "song.mp3"},
       nullptr},
  };
  int run = 0;
  for (const Case& c : cases) {
    const std::string player = dir / ("player" + std::to_string(++run));
    std::vector<std::string> arguments = {"-s",    dir / c.source, "-c", player,
                                          "--all", "--seed",       "5"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome outcome = RunCli(arguments);
    SCOPED_TRACE(c.source + (" " + c.options.back()));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::string> arrived;
    for (const std::string& copy : FilesBelow(player)) {
      // A numbered name is "NNN name.mp3".
      const std::string name = c.options.back() == "--number" ? copy.substr(4) : copy;
      EXPECT_EQ(test::ReadBytes(player + "/" + copy), files.at(name)) << copy;
      arrived.push_back(name);
    }
    std::sort(arrived.begin(), arrived.end());
    EXPECT_EQ(arrived, c.arrive);
    EXPECT_THAT(outcome.err, HasSubstr("Copied " + std::to_string(c.arrive.size())));
    if (c.said != nullptr) {
      EXPECT_THAT(outcome.err, HasSubstr(std::string(") to ") + player + c.said + "\n"));
    } else {
      EXPECT_THAT(outcome.err, Not(HasSubstr("left out")));
    }
  }
}

// A song cut short is not converted for the player, which would play only its start: the
// run says which file and how much of it decodes, and fills the player with the rest.
TEST(PlayerFillTest, ASongCutShortIsSaidAndLeftOut) {
  if (!test::ProgramsInstalled({"ffmpeg", "flac"})) GTEST_SKIP() << "ffmpeg or flac is missing";
  test::TempDir dir;
  const std::string wav = dir.WriteFile("sound.wav", test::SoundWav(44100, 2, 8));
  const std::string whole = dir.WriteFile("music/whole.flac");
  ASSERT_TRUE(test::RunCommand(test::EncodeCommand("flac -s -f {in} -o {out}", wav, whole)));
  const std::string flac = test::ReadBytes(whole);
  const std::string cut = dir.WriteFile("music/cut.flac", flac.substr(0, flac.size() / 2));
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const Outcome run = RunCli({"-s", dir / "music", "--types", "flac", "-c", dir / "player", "--all",
                              "--player", "car", "--convert", "auto", "--seed", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("warning: Left out, the file ends early: " + cut + " (only "));
  EXPECT_THAT(run.err, HasSubstr(" of 8 s decode)\n"));
  EXPECT_THAT(run.err, HasSubstr("Copied 1 file"));
  EXPECT_EQ(test::NamesIn(dir / "player"), (std::vector<std::string>{".sorvina", "whole.mp3"}));
}

// Numbered names follow the play order, which the dry run prints.
TEST(PlayerFillTest, NumberedNamesFollowThePlayOrder) {
  test::TempDir dir;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
    dir.WriteFile(std::string("music/") + name, test::ConstantBitrateMp3(1));
  const std::vector<std::string> options = {"-s",    dir / "music", "-c",     dir / "player",
                                            "--all", "--number",    "--seed", "3"};
  std::vector<std::string> dry = options;
  dry.push_back("-n");
  const Outcome drawn = RunCli(dry);
  ASSERT_EQ(drawn.status, 0) << drawn.err;
  ASSERT_EQ(RunCli(options).status, 0);
  std::vector<std::string> expected;
  std::istringstream order(drawn.out);
  int place = 0;
  for (std::string path; std::getline(order, path);) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d ", ++place);
    expected.push_back(number + fs::path(path).stem().string() + ".mp3");
  }
  expected.insert(expected.begin(), ".sorvina");  // the record of the fill
  EXPECT_EQ(test::NamesIn(dir / "player"), expected);
}

// Songs the player cannot play are converted once: the MP3s it plays go byte for byte, the
// others arrive as MP3s of their length, and a second fill of the same songs encodes none.
TEST(PlayerFillTest, ConvertsWhatThePlayerCannotPlayOnceAndCopiesTheRest) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const struct Song {
    const char* name;
    const char* codec;
  } songs[] = {{"a.flac", "flac"}, {"b.opus", "libopus"}, {"c.mp3", "libmp3lame"}};
  for (const Song& song : songs) {
    ASSERT_TRUE(test::RunCommand(
        "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=3 "
        "-metadata artist=Band -metadata title=Song -c:a " +
        std::string(song.codec) + ' ' +
        test::ShellQuoted(dir.WriteFile(std::string("music/") + song.name)) + " -y"));
  }
  const std::string flac = test::ReadBytes(dir / "music/a.flac");
  // The cache goes where the user's cache folder is.
  // Converted songs are kept in a cache folder of the test's own.
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const auto fill = [&](const std::string& player) {
    return RunCli({"-s", dir / "music", "--types", "mp3,flac,opus", "-c", dir / player, "--all",
                   "--player", "car", "--convert", "auto", "--seed", "1"});
  };
  const Outcome first = fill("p1");
  const Outcome second = fill("p2");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(first.err, HasSubstr("Copied 3 files"));
  EXPECT_THAT(first.err, HasSubstr("; 2 converted (2 encoded now)"));
  EXPECT_THAT(second.err, HasSubstr("; 2 converted (0 encoded now)"));
  EXPECT_EQ(test::ReadBytes(dir / "p1/c.mp3"), test::ReadBytes(dir / "music/c.mp3"));
  EXPECT_EQ(test::ReadBytes(dir / "music/a.flac"), flac);
  for (const char* converted : {"p1/a.mp3", "p1/b.mp3", "p2/a.mp3"})
    EXPECT_NEAR(test::DecodedSeconds(dir / converted), 3.0, 0.05) << converted;

  // A dry run names the player and what becomes of each song.
  const Outcome dry =
      RunCli({"-s", dir / "music", "--types", "mp3,flac,opus", "-c", dir / "p3", "--all",
              "--player", "car", "--convert", "auto", "--loudness", "-16", "--seed", "1", "-n"});
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_THAT(dry.err, HasSubstr("Player: car (plays MP3)\n"));
  EXPECT_THAT(dry.err, HasSubstr("convert to MP3: " + dir / "music/a.flac\n"));
  EXPECT_THAT(dry.err, HasSubstr("convert to MP3: " + dir / "music/b.opus\n"));
  EXPECT_THAT(dry.err, HasSubstr("bring to -16 LUFS: " + dir / "music/c.mp3\n"));
  EXPECT_FALSE(fs::exists(dir / "p3"));

  // On a watched terminal the conversion names the song it works on, and the copy each
  // song as it is called on the player, never by its name in the cache.
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(cli::Run({"sorvina-cli", "-s", dir / "music", "--types", "mp3,flac,opus", "-c",
                      dir / "p4", "--all", "--player", "car", "--convert", "auto", "--seed", "1"},
                     Console{in, out, err, false, true}),
            0)
      << err.str();
  EXPECT_THAT(err.str(), HasSubstr("Looking for music files..."));
  EXPECT_TRUE(std::regex_search(
      err.str(), std::regex("Converting songs for the player \\[.*(a\\.flac|b\\.opus)")))
      << err.str();
  EXPECT_THAT(err.str(), HasSubstr("a.mp3"));
  EXPECT_FALSE(std::regex_search(err.str(), std::regex("[0-9a-f]{16}")));
}

// The integrated loudness of `path` as ffmpeg's own EBU R128 meter reads it, and its
// true peak; NaN where it cannot be read.
std::pair<double, double> MeasuredLoudness(const std::string& path) {
  const std::string command =
      "ffmpeg -nostats -i " + test::ShellQuoted(path) + " -af ebur128=peak=true -f null - 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe))
      output.append(buffer, got);
    pclose(pipe);
  }
  std::smatch integrated;
  std::smatch peak;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto summary = output.rfind("Summary:");
  if (summary == std::string::npos) return {nan, nan};
  const std::string tail = output.substr(summary);
  if (!std::regex_search(tail, integrated, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)")) ||
      !std::regex_search(tail, peak, std::regex(R"(Peak:\s+(-?[0-9.]+|-inf) dBFS)")))
    return {nan, nan};
  return {std::stod(integrated[1]), std::stod(peak[1])};
}

// Songs quiet and loud come out at the loudness asked for: converted ones within 1 LU
// and never above -1 dBTP, MP3s that go as they are, changed in steps of 1.5 dB on their
// copies only, within 1.5; the sources stay as they were.
TEST(PlayerFillTest, EvensOutLoudnessOnTheCopiesOnly) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const struct Song {
    const char* source;
    const char* sound;
    const char* copy;
    double within;
  } songs[] = {
      {"quiet noise.mp3", "anoisesrc=duration=8:amplitude=0.02 -c:a libmp3lame -b:a 192k",
       "quiet noise.mp3", 1.5},
      {"loud noise.mp3", "anoisesrc=duration=8:amplitude=0.8 -c:a libmp3lame -b:a 192k",
       "loud noise.mp3", 1.5},
      {"quiet tone.flac", "sine=frequency=500:duration=8 -af volume=0.03", "quiet tone.mp3", 1.0},
      {"loud noise.flac", "anoisesrc=duration=8:amplitude=0.9:color=pink", "loud noise (2).mp3",
       1.0}};
  std::vector<std::string> sources;
  for (const Song& song : songs) {
    const std::string source = dir.WriteFile(std::string("in/") + song.source);
    ASSERT_TRUE(test::RunCommand("ffmpeg -loglevel error -f lavfi -i " + std::string(song.sound) +
                                 " -ac 2 " + test::ShellQuoted(source) + " -y"));
    sources.push_back(test::ReadBytes(source));
  }
  // Converted songs are kept in a cache folder of the test's own.
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const Outcome run =
      RunCli({"-s", dir / "in", "--types", "mp3,flac", "-c", dir / "out", "--all", "--convert",
              "auto", "--player", "car", "--loudness", "-16", "--seed", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (std::size_t i = 0; i < std::size(songs); ++i) {
    const Song& song = songs[i];
    EXPECT_EQ(test::ReadBytes(dir / "in/" + song.source), sources[i]) << song.source;
    const auto [integrated, peak] = MeasuredLoudness(dir / "out/" + song.copy);
    EXPECT_NEAR(integrated, -16.0, song.within) << song.copy;
    if (song.within == 1.0) {
      EXPECT_LE(peak, -1.0 + 0.1) << song.copy;
    }
  }
}

// The sample rate of the first audio stream of `path`, as ffprobe reads it; 0 where none.
int SampleRateOf(const std::string& path) {
  const std::string command =
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=sample_rate -of csv=p=0 " +
      test::ShellQuoted(path);
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  int rate = 0;
  if (std::fscanf(pipe, "%d", &rate) != 1) rate = 0;
  pclose(pipe);
  return rate;
}

// A weekly fill that begins to convert for the player: the song of the last fill that the
// player cannot play is replaced by its conversion, the one it plays stays, and a week
// later the converted one stays too, encoded no more.
TEST(PlayerFillTest, SongsKeptFromTheLastFillMeetThePlayersRules) {
  if (!test::ProgramsInstalled({"ffmpeg", "ffprobe"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  for (const auto& [name, rate] : {std::pair{"low.mp3", 22050}, std::pair{"fine.mp3", 44100}}) {
    ASSERT_TRUE(test::RunCommand(
        "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=3:sample_rate=" +
        std::to_string(rate) + " -c:a libmp3lame " +
        test::ShellQuoted(dir.WriteFile(std::string("music/") + name)) + " -y"));
  }
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const std::vector<std::string> weekly = {"-s",    dir / "music",        "-c",     dir / "player",
                                           "--all", "--replace-previous", "--seed", "1"};
  const Outcome plain = RunCli(weekly);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(SampleRateOf(dir / "player/low.mp3"), 22050);

  std::vector<std::string> forCar = weekly;
  forCar.insert(forCar.end(), {"--player", "car", "--convert", "auto"});
  const Outcome converted = RunCli(forCar);
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_THAT(converted.err, HasSubstr("Copied 1 file"));
  EXPECT_THAT(converted.err, HasSubstr(", 1 replaced, 1 kept"));
  EXPECT_EQ(SampleRateOf(dir / "player/low.mp3"), 44100);
  EXPECT_EQ(test::ReadBytes(dir / "player/fine.mp3"), test::ReadBytes(dir / "music/fine.mp3"));

  const Outcome again = RunCli(forCar);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.err, HasSubstr(", 2 kept"));
  // Nothing was copied, so nothing copied was converted: the kept songs are said apart.
  EXPECT_THAT(again.err, Not(HasSubstr("converted")));
  EXPECT_EQ(FilesBelow(dir / "player"), (std::vector<std::string>{"fine.mp3", "low.mp3"}));
}

// Copies made by hand and taken for the previous fill are that fill's songs: the next fill
// avoids them as it avoids the songs of a recorded one.
TEST(PlayerFillTest, CopiesTakenForThePreviousFillAreAvoidedLikeItsSongs) {
  test::TempDir dir;
  for (const char* name : {"t1.mp3", "t2.mp3", "t3.mp3", "t4.mp3"})
    dir.WriteFile(std::string("music/") + name, std::string("song ") + name);
  for (const char* name : {"t1.mp3", "t2.mp3"})
    dir.WriteFile(std::string("player/") + name, std::string("song ") + name);
  const Outcome run = RunCli({"-s", dir / "music", "-c", dir / "player", "--all",
                              "--replace-previous", "--adopt-copies", "--avoid-last", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("2 replaced"));
  EXPECT_EQ(FilesBelow(dir / "player"), (std::vector<std::string>{"t3.mp3", "t4.mp3"}));
}

// A run that puts nothing on the player fails, and says why: the player plays none of the
// songs, or none could be converted because the cache folder cannot be written.
TEST(PlayerFillTest, ARunThatChoosesNothingFailsAndSaysWhy) {
  test::TempDir dir;
  dir.WriteFile("music/a.wav", test::SoundWav(44100, 2, 1));
  const std::string blocked = dir.WriteFile("not a folder", "a file where the cache would go");
  const test::CacheFolderMoved cacheFolder(blocked + "/cache");
  const struct Case {
    const char* what;
    std::vector<std::string> options;
    std::string said;
  } cases[] = {
      {"a player that plays none of it",
       {"--player", "car"},
       "Nothing chosen; 1 WAV file left out: the player does not play it"},
      {"no song converted",
       {"--player", "car", "--convert", "auto"},
       "Nothing chosen: 1 song could not be converted (the converted song cannot be kept in " +
           blocked + "/cache/sorvina/converted"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"-s", dir / "music",  "--types", "wav",
                                          "-c", dir / "player", "--all"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome run = RunCli(arguments);
    EXPECT_EQ(run.status, 1) << c.what << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.said)) << c.what;
  }
}

// Makes this process, single-threaded, a user the user database does not know, alone in a
// user namespace of its own as its own user outside: a user without a home folder. False
// where the system allows no such namespace.
bool BecomeUserWithoutHome() {
  const std::string map = "54321 " + std::to_string(geteuid()) + " 1\n";
  if (unshare(CLONE_NEWUSER) != 0) return false;
  const int fd = open("/proc/self/uid_map", O_WRONLY | O_CLOEXEC);
  const bool mapped =
      fd >= 0 && write(fd, map.data(), map.size()) == static_cast<ssize_t>(map.size());
  if (fd >= 0) close(fd);
  return mapped && getpwuid(getuid()) == nullptr;
}

// The bytes of an MP3 from its first frame to the end of its audio: what a player plays.
std::string AudioFramesOf(const std::string& path) {
  media::Mp3Info info;
  if (info.Open(path, 0) != media::Mp3Info::Status::kOk) return "not an MP3";
  const std::string bytes = test::ReadBytes(path);
  const auto first = static_cast<std::size_t>(info.GetFirstFrameOffset());
  return bytes.substr(first, static_cast<std::size_t>(info.GetAudioEnd()) - first);
}

// A player that shows small pictures gets each MP3 whose cover is larger with the cover
// scaled down (or without it, where it shows none) and its audio frames as they were; the
// scaled copy is kept and found again by the next fill. Songs whose covers fit go as they
// are, byte for byte.
TEST(PlayerFillTest, CoversLargerThanThePlayerShowsAreScaledOnTheCopies) {
  if (!test::ProgramsInstalled({"ffmpeg", "ffprobe"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const std::string sound = dir / "sound.mp3";
  ASSERT_TRUE(
      test::RunCommand("ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=3 "
                       "-c:a libmp3lame -b:a 128k " +
                       test::ShellQuoted(sound) + " -y"));
  const auto withCover = [&](const std::string& name, int side) {
    const std::string cover = dir / (name + ".jpg");
    const std::string size = std::to_string(side) + "x" + std::to_string(side);
    ASSERT_TRUE(test::RunCommand("ffmpeg -loglevel error -f lavfi -i testsrc=size=" + size +
                                 " -frames:v 1 " + test::ShellQuoted(cover) + " -y"));
    ASSERT_TRUE(
        test::RunCommand("ffmpeg -loglevel error -i " + test::ShellQuoted(sound) + " -i " +
                         test::ShellQuoted(cover) + " -map 0:a -map 1:v -c copy -id3v2_version 3 " +
                         test::ShellQuoted(dir.WriteFile("music/" + name + ".mp3")) + " -y"));
  };
  withCover("large", 1000);
  withCover("small", 300);
  dir.WriteFile("music/plain.mp3", test::ReadBytes(sound));
  // A picture that no decoder reads cannot be scaled: its song goes as it is, and says so.
  test::WriteId3v2Texts(dir.WriteFile("music/unreadable.mp3", test::ReadBytes(sound)), "Title",
                        "Artist", 3, 5000);
  ASSERT_EQ(test::CoverSizeOf(dir / "music/large.mp3"), "1000x1000");
  dir.WriteFile("no pictures.mpi",
                "[Device]\nProduct=Bare\n[Media]\nOutputFormats=audio/mpeg\n"
                "[Limits]\nMaxPictureSide=0\n");
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const auto fill = [&](const std::string& player, const std::string& profile) {
    return RunCli(
        {"-s", dir / "music", "-c", dir / player, "--all", "--player", profile, "--seed", "1"});
  };
  const Outcome first = fill("p1", "car");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_THAT(first.err, HasSubstr("Copied 4 files"));
  // A smaller cover is said apart: the song was not converted.
  EXPECT_THAT(first.err, HasSubstr("; 1 cover made smaller for the player"));
  EXPECT_THAT(first.err, Not(HasSubstr("converted")));
  EXPECT_THAT(first.err,
              HasSubstr("Copied with its cover as it is: " + dir / "music/unreadable.mp3"));
  EXPECT_EQ(test::CoverSizeOf(dir / "p1/large.mp3"), "500x500");
  EXPECT_LT(fs::file_size(dir / "p1/large.mp3"), fs::file_size(dir / "music/large.mp3"));
  EXPECT_EQ(AudioFramesOf(dir / "p1/large.mp3"), AudioFramesOf(dir / "music/large.mp3"));
  for (const char* same : {"small.mp3", "plain.mp3", "unreadable.mp3"})
    EXPECT_EQ(test::ReadBytes(dir / ("p1/" + std::string(same))),
              test::ReadBytes(dir / ("music/" + std::string(same))))
        << same;

  // One entry in the cache, for the large cover; the next fill finds it as it was.
  const auto entries = [&] {
    std::vector<fs::path> mp3s;
    for (const auto& entry : fs::directory_iterator(dir / "cache/sorvina/converted"))
      if (entry.path().extension() == ".mp3") mp3s.push_back(entry.path());
    return mp3s;
  };
  ASSERT_EQ(entries().size(), 1u);
  const auto kept = fs::last_write_time(entries()[0]);
  struct stat before {};
  ASSERT_EQ(stat(entries()[0].c_str(), &before), 0);
  const Outcome second = fill("p2", "car");
  ASSERT_EQ(second.status, 0) << second.err;
  ASSERT_EQ(entries().size(), 1u);
  struct stat after {};
  ASSERT_EQ(stat(entries()[0].c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_GE(fs::last_write_time(entries()[0]), kept);
  EXPECT_EQ(test::ReadBytes(dir / "p2/large.mp3"), test::ReadBytes(dir / "p1/large.mp3"));

  // Made softer as well, the cover is scaled in the same copy; the cover that cannot be
  // scaled stays, and its song is made softer all the same.
  const Outcome softer = RunCli({"-s", dir / "music", "-c", dir / "p4", "--all", "--player", "car",
                                 "--loudness", "-30", "--seed", "1"});
  ASSERT_EQ(softer.status, 0) << softer.err;
  EXPECT_THAT(softer.err, HasSubstr("Copied with its cover as it is"));
  EXPECT_THAT(softer.err, Not(HasSubstr("Copied at its own loudness")));
  EXPECT_EQ(entries().size(), 5u);  // the first one, and four made softer
  EXPECT_EQ(test::CoverSizeOf(dir / "p4/large.mp3"), "500x500");
  for (const char* name : {"large.mp3", "unreadable.mp3"}) {
    const std::string copied = AudioFramesOf(dir / ("p4/" + std::string(name)));
    const std::string source = AudioFramesOf(dir / ("music/" + std::string(name)));
    EXPECT_EQ(copied.size(), source.size()) << name;
    EXPECT_NE(copied, source) << name;
  }

  // A player that shows no pictures gets none.
  const Outcome bare = fill("p3", dir / "no pictures.mpi");
  ASSERT_EQ(bare.status, 0) << bare.err;
  for (const char* name : {"large.mp3", "small.mp3", "unreadable.mp3"}) {
    EXPECT_EQ(test::CoverSizeOf(dir / ("p3/" + std::string(name))), "") << name;
    EXPECT_EQ(AudioFramesOf(dir / ("p3/" + std::string(name))),
              AudioFramesOf(dir / ("music/" + std::string(name))))
        << name;
  }
}

// A short constant-bitrate MP3 at the player's 320 kbit/s goes as it is; songs converted
// for the player's limits are counted by what made them.
TEST(PlayerFillTest, SaysWhySongsWereConvertedAndKeepsShortOnesAtTheLimit) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const struct Song {
    const char* name;
    const char* encoding;
  } songs[] = {{"short 320.mp3", "-c:a libmp3lame -b:a 320k"},
               {"fast.mp3", "-c:a libmp3lame -b:a 256k"},
               {"other rate.mp3", "-ar 48000 -c:a libmp3lame -b:a 128k"},
               {"lossless.flac", "-c:a flac"}};
  for (const Song& song : songs) {
    ASSERT_TRUE(test::RunCommand(
        "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=5 " +
        std::string(song.encoding) + ' ' +
        test::ShellQuoted(dir.WriteFile(std::string("music/") + song.name)) + " -y"));
  }
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const Outcome car = RunCli({"-s", dir / "music", "--types", "mp3", "-c", dir / "car", "--all",
                              "--player", "car", "--seed", "1"});
  ASSERT_EQ(car.status, 0) << car.err;
  EXPECT_THAT(car.err, Not(HasSubstr("kbit/s")));
  // Covers that fit ask nothing of the cache: its folder is not even made.
  EXPECT_FALSE(fs::exists(dir / "cache/sorvina"));
  EXPECT_EQ(test::ReadBytes(dir / "car/short 320.mp3"),
            test::ReadBytes(dir / "music/short 320.mp3"));

  dir.WriteFile("slow.mpi",
                "[Device]\nProduct=Slow\n[Media]\nOutputFormats=audio/mpeg\n"
                "[Limits]\nMaxBitrate=192\nSampleRates=44100\n");
  const Outcome run =
      RunCli({"-s", dir / "music", "--types", "mp3,flac", "-c", dir / "slow", "--all", "--player",
              dir / "slow.mpi", "--convert", "auto", "--seed", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("; 4 converted (4 encoded now)"));
  EXPECT_THAT(run.err, HasSubstr("; 1 FLAC file converted: the player does not play it"));
  EXPECT_THAT(run.err, HasSubstr("; 2 converted: over the player's 192 kbit/s"));
  EXPECT_THAT(run.err, HasSubstr("; 1 converted: a sample rate the player does not play"));
}

// Without XDG_CACHE_HOME and a home folder there is no place for converted songs: a run
// that converts says so once and fails before it writes anything anywhere, also the songs
// that would go as they are.
TEST(PlayerFillTest, WithoutACacheFolderARunThatConvertsSaysSoAndFails) {
  test::TempDir dir;
  dir.WriteFile("music/as it is.mp3", test::ConstantBitrateMp3(1));
  dir.WriteFile("music/to convert.wav", test::SoundWav(44100, 2, 1));
  const std::string work = dir.MakeFolder("work");
  const std::string result = test::RunInChild(
      [] { return true; },
      [&]() -> std::string {
        if (!BecomeUserWithoutHome()) return "no user namespace";
        unsetenv("HOME");
        unsetenv("XDG_CACHE_HOME");
        if (chdir(work.c_str()) != 0) return "chdir failed";
        const Outcome run =
            RunCli({"-s", dir / "music", "--types", "mp3,wav", "-c", dir / "player", "--all",
                    "--player", "car", "--convert", "auto", "--loudness", "-16", "--seed", "1"});
        return std::to_string(run.status) + '\n' + run.err;
      });
  if (result == "no user namespace") GTEST_SKIP() << "user namespaces are not allowed here";
  EXPECT_EQ(result.substr(0, 2), "1\n") << result;
  const std::string said = "no folder to keep them in, as XDG_CACHE_HOME is not set";
  ASSERT_THAT(result, HasSubstr(said));
  EXPECT_EQ(result.find(said), result.rfind(said)) << "said more than once: " << result;
  EXPECT_THAT(test::NamesIn(dir / "player"), ::testing::IsEmpty());
  EXPECT_THAT(test::NamesIn(work), ::testing::IsEmpty());
}

// What a run cannot do is refused before anything is copied, and says what to change:
// a wrong command line with status 2, a player's refusal the run meets with status 1.
TEST(PlayerFillTest, RefusedRequestsSayWhatToChange) {
  test::TempDir dir;
  dir.WriteFile("music/a.mp3", test::ConstantBitrateMp3(1));
  const std::string saved = dir / "albums.txt";
  ASSERT_EQ(RunCli({"-s", dir / "music", "-c", dir / "player", "--all", "--albums",
                    "--save-settings", saved})
                .status,
            0);
  const std::string carOnly = "The player car plays only MP3; please convert to one of: mp3\n";
  const struct Case {
    std::vector<std::string> options;
    int status;
    std::string said;
  } cases[] = {
      {{"--player", "car", "--convert", "auto:aac"}, 2, carOnly},
      {{"--player", "car", "--convert", "opus"}, 2, carOnly},
      // MP3 is for the car: the run goes on (and leaves out the fixture, which has no sound).
      {{"--player", "car", "--convert", "auto"}, 1, "left out: not playable"},
      {{"--adopt-copies"}, 2, "--adopt-copies needs --replace-previous"},
      {{"--loudness", "-50"}, 2, "loudness -50 is not within -40 to -5 LUFS"},
      {{"--albums", "--max-per-artist", "3"}, 2, "excludes"},
      {{"--settings", saved, "--max-per-artist", "3"},
       1,
       "Whole albums cannot be drawn with at most so many songs per artist"},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "player");
    std::vector<std::string> arguments = {"-s", dir / "music", "-c", dir / "player", "--all"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome outcome = RunCli(arguments);
    EXPECT_EQ(outcome.status, c.status) << c.said << outcome.err;
    EXPECT_THAT(outcome.err, HasSubstr(c.said));
    EXPECT_THAT(outcome.err, Not(HasSubstr("000000")));
    EXPECT_FALSE(fs::exists(dir / "player/a.mp3")) << c.said;
  }
}

// A fill that runs out of songs it may choose with room left says what limited it; one
// that reached its amount, or took everything, has nothing to say.
TEST(PlayerFillTest, AFillStoppedByTheArtistCapSaysSo) {
  test::TempDir dir;
  // Untagged songs count as by the folder above their album's: three artists of four songs.
  for (const char* artist : {"ann", "bob", "cy"})
    for (int song = 1; song <= 4; ++song)
      dir.WriteFile("music/" + std::string(artist) + "/album/" + std::to_string(song) + ".mp3",
                    test::ConstantBitrateMp3(1));
  const std::string stopped = "; stopped at 6 songs: at most 2 per artist, 3 artists";
  const struct Case {
    std::vector<std::string> options;
    bool said;
  } cases[] = {
      {{"--mb", "50", "--max-per-artist", "2"}, true},
      {{"--mb", "50", "--fill", "--max-per-artist", "2"}, true},
      {{"--mb", "50", "--max-per-artist", "1"}, false},  // "stopped at 3 songs" instead
      {{"--mb", "0.05", "--max-per-artist", "2"}, false},
      {{"--all", "--max-per-artist", "2"}, false},
      {{"--mb", "50"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"-s", dir / "music", "-p", dir / "l.m3u",
                                          "-n", "--seed",      "1"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome outcome = RunCli(arguments);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err.find(stopped) != std::string::npos, c.said)
        << ::testing::PrintToString(c.options) << outcome.err;
  }
  EXPECT_THAT(RunCli({"-s", dir / "music", "-p", dir / "l.m3u", "-n", "--mb", "50",
                      "--max-per-artist", "1"})
                  .err,
              HasSubstr("; stopped at 3 songs: at most 1 per artist, 3 artists"));
}

// The status line of a watched terminal says what is looked for, and names each copy as
// it is called on the player.
TEST(PlayerFillTest, ProgressNamesWhatItDoes) {
  test::TempDir dir;
  dir.WriteFile("music/a.mp3", test::ConstantBitrateMp3(1));
  const struct Case {
    std::vector<std::string> options;
    std::string shown;
  } cases[] = {
      {{}, "Looking for MP3 files..."},
      {{"--types", "mp3"}, "Looking for MP3 files..."},
      {{"--types", "mp3,flac"}, "Looking for music files..."},
      {{"--number"}, "001 a.mp3"},  // the copy's name, not the source's
  };
  for (const Case& c : cases) {
    fs::remove_all(dir / "player");
    std::vector<std::string> arguments = {"sorvina-cli", "-s",           dir / "music",
                                          "-c",          dir / "player", "--all"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(cli::Run(arguments, Console{in, out, err, false, true}), 0) << err.str();
    EXPECT_THAT(err.str(), HasSubstr(c.shown)) << ::testing::PrintToString(c.options);
  }
}

// The warning that a player holds no record of a fill comes only where files of the
// user's are on it: a player with only its own hidden files needs no word.
TEST(PlayerFillTest, NoRecordIsSaidOnlyBesideTheUsersFiles) {
  const struct Case {
    std::vector<std::string> files;
    bool warned;
  } cases[] = {
      {{}, false},
      {{".is_audio_player", ".Trashes/501/x.mp3", "System Volume Information/IndexerVolumeGuid"},
       false},
      {{"mine.mp3"}, true},
      {{"Podcasts/episode.mp3", ".hidden"}, true},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    dir.WriteFile("music/a.mp3", test::ConstantBitrateMp3(1));
    for (const std::string& file : c.files)
      dir.WriteFile("player/" + file, "the user's");
    fs::create_directories(dir / "player");
    const Outcome outcome = RunCli(
        {"-s", dir / "music", "-c", dir / "player", "--all", "--replace-previous", "--seed", "1"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err.find("no record of an earlier fill") != std::string::npos, c.warned)
        << ::testing::PrintToString(c.files) << outcome.err;
  }
}

// A fill onto a player's volume goes into its music folder, and the summary says so; a
// folder chosen on it takes the songs itself. The root is only ever dry-run here.
TEST(PlayerFillTest, TheSummaryNamesTheFolderTheSongsGoTo) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  ASSERT_TRUE(test::RunCommand(
      "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=1 -c:a libmp3lame " +
      test::ShellQuoted(dir.WriteFile("music/a.mp3")) + " -y"));
  const std::string profile =
      dir.WriteFile("player.mpi",
                    "[Device]\nProduct=Stick\n[Media]\nOutputFormats=audio/mpeg\n"
                    "AudioFolders=MUSIC/\n");
  const struct Case {
    std::string destination;
    std::string said;
  } cases[] = {
      {"/", ") to /MUSIC\n"},
      {dir / "folder", ") to " + dir / "folder\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome =
        RunCli({"-s", dir / "music", "-c", c.destination, "--all", "-n", "--player", profile});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(outcome.err.starts_with("Player: Stick (plays MP3)\nWould copy 1 file ("))
        << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with(c.said)) << outcome.err;
  }
}

}  // namespace
}  // namespace sorvina::cli
