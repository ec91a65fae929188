// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/convert/conversion_cache.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/convert/song_conversions.h"
#include "media/codecs.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/recording_ports.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::string NameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

// Writes `bytes` over the file at `path`, the same file.
void Overwrite(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::in | std::ios::out) << bytes;
}

// A memo line of the song at `path` with `figures`.
std::string MemoLine(const std::string& path, const std::string& figures) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  return path + '\t' + std::to_string(status.st_size) + '/' +
         std::to_string(status.st_mtim.tv_sec) + '.' + std::to_string(status.st_mtim.tv_nsec) +
         '\t' + figures + '\n';
}

void SetAge(const std::string& path, int hours) {
  const timespec times[2] = {{std::time(nullptr) - hours * 3600L, 0},
                             {std::time(nullptr) - hours * 3600L, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Each test makes its own fingerprint key, and its songs: MP3s of silent frames, made one
// step louder through the cache (which spares FFmpeg).
class ConversionCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1); }
  void TearDown() override { unsetenv("XDG_STATE_HOME"); }

  std::string Song(const std::string& name, int frames = 20) {
    return dir_.WriteFile("music/" + name, test::SilentFrames({}, frames));
  }
  CachedSong Louder(const ConversionCache& cache, const std::string& song) {
    const ConvertedSong copy = cache.GainCopy(song, 1);
    EXPECT_TRUE(copy.song) << copy.reason;
    return copy.song.value_or(CachedSong{});
  }

  test::TempDir dir_;
  const std::string folder_ = dir_ / "cache/converted";
};

// A cache folder linked to a bigger disk holds the user's own files too: trimming removes
// only the cache's entries over its cap (the oldest first, with their check files) and
// the leftovers of killed runs, never a file, link or folder of anyone else's.
TEST_F(ConversionCacheTest, TrimRemovesOnlyItsOwnEntriesWhereTheLinkedFolderLeads) {
  const std::string disk = dir_.MakeFolder("disk");
  fs::create_directories(dir_ / "cache");
  fs::create_directory_symlink(disk, folder_);
  const ConversionCache cache(folder_, 2 * 20 * 418 + 100);
  std::vector<std::string> entries;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) {
    entries.push_back(NameOf(Louder(cache, Song(name)).path));
    SetAge(disk + "/" + entries.back(), 3 - static_cast<int>(entries.size()));
  }
  const std::string entryLike = "0123456789abcdef0123456789abcdef.mp3";
  fs::create_symlink(dir_.WriteFile("precious.mp3", "the user's"), disk + "/" + entryLike);
  const test::Tree users = {{"photo.jpg", "a photo"}, {"sub/" + entryLike, "below the cache"}};
  for (const auto& [name, bytes] : users)
    SetAge(dir_.WriteFile("disk/" + name, bytes), 5);
  const std::string abandoned = dir_.WriteFile("disk/." + entries[2] + ".0123456789abcdef.tmp");
  const std::string underWay = dir_.WriteFile("disk/." + entries[2] + ".fedcba9876543210.tmp");
  const std::string stray = dir_.WriteFile("disk/.fedcba9876543210fedcba9876543210.m4a.check");
  SetAge(abandoned, 2);
  SetAge(stray, 2);

  cache.Trim({});

  test::Tree after = test::Snapshot(disk);
  for (const auto& [name, bytes] : users)
    EXPECT_EQ(after[name], bytes) << name;
  EXPECT_EQ(ReadBytes(dir_ / "precious.mp3"), "the user's");
  EXPECT_TRUE(fs::is_symlink(disk + "/" + entryLike));
  EXPECT_FALSE(after.contains(entries[0])) << "the oldest entry stays over the cap";
  EXPECT_FALSE(after.contains("." + entries[0] + ".check"));
  EXPECT_TRUE(cache.Find(entries[1]) && cache.Find(entries[2]));
  EXPECT_FALSE(fs::exists(abandoned) || fs::exists(stray));
  EXPECT_TRUE(fs::exists(underWay));
}

// A damaged entry, or one with no check beside it (kept by an older version), never goes
// to a player: it is removed and the song made again, whole, and found the next time.
struct Damage {
  const char* name;
  std::function<void(const std::string& entry, const std::string& check)> apply;
  friend void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }
};

class DamagedEntryTest : public ConversionCacheTest,
                         public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedEntryTest, IsNeverHandedOutAndTheSongIsMadeAgain) {
  const std::string song = Song("song.mp3", 400);
  std::string name;
  std::string whole;
  {
    const CachedSong made = Louder(ConversionCache(folder_, 1 << 30), song);
    name = NameOf(made.path);
    whole = ReadBytes(made.path);
  }
  GetParam().apply(folder_ + "/" + name, folder_ + "/." + name + ".check");

  const ConversionCache cache(folder_, 1 << 30);
  EXPECT_FALSE(cache.Find(name));
  EXPECT_FALSE(fs::exists(folder_ + "/" + name));
  const ConvertedSong again = cache.GainCopy(song, 1);
  ASSERT_TRUE(again.song) << again.reason;
  EXPECT_FALSE(again.fromCache);
  EXPECT_TRUE(ReadBytes(again.song->path) == whole);
  EXPECT_TRUE(ConversionCache(folder_, 1 << 30).GainCopy(song, 1).fromCache);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedEntryTest,
    ::testing::Values(
        Damage{"Cut", [](auto& entry, auto&) { fs::resize_file(entry, 3); }},
        Damage{"Emptied", [](auto& entry, auto&) { fs::resize_file(entry, 0); }},
        Damage{"Zeroed", [](auto& entry,
                            auto&) { Overwrite(entry, std::string(fs::file_size(entry), '\0')); }},
        Damage{"OneBitFlipped",
               [](auto& entry, auto&) {
                 std::string bytes = ReadBytes(entry);
                 bytes[1000] ^= 1;
                 Overwrite(entry, bytes);
               }},
        Damage{"NoCheck", [](auto&, auto& check) { fs::remove(check); }},
        Damage{"CheckOfJunk", [](auto&, auto& check) { Overwrite(check, "12\tjunk\n"); }}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the key cannot be had nothing can be checked: no entry is used, none is kept,
// and the song is still made, for this run alone.
TEST_F(ConversionCacheTest, WithoutTheKeyTrustsNothingAndKeepsNothing) {
  const std::string song = Song("song.mp3");
  const std::string name = NameOf(Louder(ConversionCache(folder_, 1 << 30), song).path);
  setenv("XDG_STATE_HOME", dir_.WriteFile("not-a-folder").c_str(), 1);
  std::string handedOut;
  {
    const ConversionCache cache(folder_, 1 << 30);
    EXPECT_FALSE(cache.Find(name));
    const ConvertedSong copy = cache.GainCopy(song, 1);
    ASSERT_TRUE(copy.song) << copy.reason;
    EXPECT_FALSE(copy.fromCache);
    handedOut = copy.song->path;
    EXPECT_TRUE(ReadBytes(handedOut) == ReadBytes(folder_ + "/" + name));
  }
  EXPECT_FALSE(fs::exists(handedOut));
  EXPECT_THAT(test::NamesIn(folder_), ::testing::ElementsAre("." + name + ".check", name));
}

// The loudness memo holds only figures a song can measure; for any other line the song
// is measured again (and its tags' figures too are taken only where a song can have them).
struct MemoCase {
  const char* name;
  const char* figures;             // LUFS TAB dBTP, as the line holds them
  std::optional<double> keptLufs;  // what the memo gives; none: measured again
  const char* tagGain = "";        // the song's REPLAYGAIN_TRACK_GAIN tag
  friend void PrintTo(const MemoCase& memoCase, std::ostream* out) { *out << memoCase.name; }
};

class LoudnessMemoTest : public ConversionCacheTest,
                         public ::testing::WithParamInterface<MemoCase> {};

TEST_P(LoudnessMemoTest, TakesOnlyFiguresASongCanHave) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  const MemoCase& memoCase = GetParam();
  const std::string wav = dir_.WriteFile("music/sound.wav", test::SoundWav(44100, 2, 2.0));
  const std::string song = dir_ / "music/song.flac";
  ASSERT_TRUE(test::RunCommand("ffmpeg -v error -i " + test::ShellQuoted(wav) +
                               (*memoCase.tagGain != '\0' ? " -metadata REPLAYGAIN_TRACK_GAIN=" +
                                                                test::ShellQuoted(memoCase.tagGain)
                                                          : std::string()) +
                               " " + test::ShellQuoted(song)));
  const std::string memo = dir_.WriteFile("cache/loudness.tsv", MemoLine(song, memoCase.figures));
  const std::optional<media::Loudness> measured = media::MeasureLoudness(song);
  ASSERT_TRUE(measured);

  LoudnessMemo loudness(memo);
  const std::optional<media::Loudness> given = loudness.Of(song);
  ASSERT_TRUE(given);
  EXPECT_EQ(given->integratedLufs, memoCase.keptLufs.value_or(measured->integratedLufs));
  loudness.Save();
  EXPECT_EQ(LoudnessMemo(memo).Of(song)->integratedLufs,
            memoCase.keptLufs.value_or(std::round(measured->integratedLufs * 100) / 100));
}

INSTANTIATE_TEST_SUITE_P(Lines, LoudnessMemoTest,
                         ::testing::Values(MemoCase{"Kept", "-14.25\t-1.50", -14.25},
                                           MemoCase{"KeptWithUnknownPeak", "-14.25\tnan", -14.25},
                                           MemoCase{"HugelyLoud", "-1e308\t-1.00", {}},
                                           MemoCase{"HugelySoft", "1e300\t-1.00", {}},
                                           MemoCase{"NotANumber", "nan\t-1.00", {}},
                                           MemoCase{"Infinite", "inf\t-1.00", {}},
                                           MemoCase{"BelowTheGate", "-70.01\t-1.00", {}},
                                           MemoCase{"PeakInfinite", "-14.00\t-inf", {}},
                                           MemoCase{"PeakOver", "-14.00\t20.01", {}},
                                           MemoCase{"Garbage", "loud\tvery", {}},
                                           MemoCase{"TrailingText", "-14.00\t-1.00 dB", {}},
                                           MemoCase{"TagGainOfNoSong", "", {}, "-500 dB"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A NaN in the memo once left its song out of every fill, saying only that a gain was not
// a number: now the song is measured, converted and its figure mended. The conversion is
// checked like any entry: found junk, it is encoded again.
TEST_F(ConversionCacheTest, ASongOfNoNumberInTheMemoIsConvertedAndOfJunkEncodedAgain) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  const std::string song = dir_.WriteFile("music/song.wav", test::SoundWav(44100, 2, 1.0));
  const std::string memoFile = dir_.WriteFile("cache/loudness.tsv", MemoLine(song, "nan\t-1.00"));
  const auto fill = [&](std::size_t encoded) {
    const ConversionCache cache(folder_, 1 << 30);
    LoudnessMemo memo(memoFile);
    SongConversions conversions(ConversionChoice{media::TargetCodec::kMp3, false}, 0, -16.0,
                                PlayerProfile{}, cache, memo);
    test::RecordingPorts ports;
    std::vector<std::optional<ConvertedSong>> converted;
    EXPECT_TRUE(conversions.ConvertAll({Candidate{song, 1}}, 1, ports, converted));
    memo.Save();
    EXPECT_THAT(ports.warnings, IsEmpty());
    EXPECT_EQ(conversions.encoded(), encoded);
    return converted[0] && converted[0]->song ? converted[0]->song->path : std::string();
  };
  const std::string entry = fill(1);
  ASSERT_FALSE(entry.empty()) << "the song was left out";
  EXPECT_THAT(ReadBytes(memoFile), Not(HasSubstr("nan")));
  Overwrite(entry, std::string(fs::file_size(entry), 'x'));
  EXPECT_EQ(fill(1), entry);
  EXPECT_NEAR(test::DecodedSeconds(entry), 1.0, 0.05);
  EXPECT_EQ(fill(0), entry);
}

// The run waits for its encoders without a fixed pause, and still shows each song done and
// takes Cancel: cancelled, it says so, and the cache keeps no half-made file.
TEST_F(ConversionCacheTest, ConvertingShowsEverySongDoneAndStopsOnCancel) {
  constexpr int kSongs = 6;
  std::vector<Candidate> songs;
  std::string memoLines;
  for (int i = 0; i < kSongs; ++i) {
    songs.push_back({Song("song" + std::to_string(i) + ".mp3"), 1});
    memoLines += MemoLine(songs.back().path, "-20.00\t-6.00");  // brought up 3 steps of 1.5 dB
  }
  const std::string memoFile = dir_.WriteFile("cache/loudness.tsv", memoLines);
  for (const int cancelAtPump : {-1, 1}) {
    SCOPED_TRACE(cancelAtPump);
    const ConversionCache cache(folder_, 1 << 30);
    LoudnessMemo memo(memoFile);
    SongConversions conversions(std::nullopt, 0, -16.0, PlayerProfile{}, cache, memo);
    test::RecordingPorts ports;
    ports.cancelAtPump = cancelAtPump;
    std::vector<std::optional<ConvertedSong>> converted;
    const bool finished = conversions.ConvertAll(songs, 2, ports, converted);
    ASSERT_GE(ports.events.size(), 3u);
    EXPECT_EQ(ports.events.back(), "progress:close");
    if (cancelAtPump < 0) {
      EXPECT_TRUE(finished);
      EXPECT_EQ(ports.events[ports.events.size() - 2], "pos:" + std::to_string(kSongs));
      for (const std::optional<ConvertedSong>& song : converted)
        EXPECT_TRUE(song && song->song);
    } else {
      EXPECT_FALSE(finished);
    }
    for (const std::string& name : test::NamesIn(folder_))
      EXPECT_FALSE(name.ends_with(".tmp")) << name;
  }
}

}  // namespace
}  // namespace sorvina::engine
