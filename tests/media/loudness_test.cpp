// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness held against ffmpeg's own meter; MP3 volume changed in place, held against the
// loudness it gives, the bits it touched and a clean decode; MP3s refused untouched; the
// loudness that tags state; the gain towards a target.
#include "media/loudness.h"

#include <gtest/gtest.h>
#include <taglib/mp4file.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "media/codecs.h"
#include "media/mp3_gain.h"
#include "media/tags/loudness_tags.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

using test::MpegLayer;
using test::MpegVersion;
using test::ShellQuoted;

// What `command` writes to its standard output and error, and its exit status unless 0.
std::string OutputOf(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "cannot run " + command;
  char chunk[4096];
  for (std::size_t read = 0; (read = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    output.append(chunk, read);
  const int status = pclose(pipe);
  return status == 0 ? output : output + "[exit status " + std::to_string(status) + "]";
}

// The value after `label` in the summary that ffmpeg's ebur128 filter prints at the end.
double FfmpegMeter(const std::string& path, bool dualMono, const std::string& label) {
  const std::string output =
      OutputOf("ffmpeg -nostats -i " + ShellQuoted(path) + " -af ebur128=peak=true" +
               (dualMono ? ":dualmono=true" : "") + " -f null -");
  const std::size_t at = output.find(label, output.rfind("Summary:"));
  if (at == std::string::npos) return std::numeric_limits<double>::quiet_NaN();
  return std::strtod(output.c_str() + at + label.size(), nullptr);
}

// Where the frames start that ffmpeg's demuxer hands to the decoder: every audio frame,
// not the frame that states the frame count.
std::vector<std::size_t> ProbedFrames(const std::string& path) {
  std::vector<std::size_t> frames;
  for (const std::string& line : test::LinesOf(
           OutputOf("ffprobe -v error -select_streams a:0 -show_entries packet=pos -of csv=p=0 " +
                    ShellQuoted(path)))) {
    if (!line.empty()) frames.push_back(std::strtoull(line.c_str(), nullptr, 10));
  }
  return frames;
}

// The bit offsets in the file of the blocks of the Layer III frame at `frame`. After the
// header (and its CRC) the side information holds the main data pointer and the private
// bits (MPEG-1 then four scale factor selection bits a channel); then, per granule (two in
// MPEG-1, else one) and channel, a block: a 12-bit length of its coded data, a 9-bit count
// and the 8-bit global gain. MPEG-1 blocks are 59 bits long, the others 63.
std::vector<std::size_t> BlockBits(const std::string& bytes, std::size_t frame) {
  const auto second = static_cast<unsigned char>(bytes[frame + 1]);
  const bool mpeg1 = (second & 0x18) == 0x18;
  const bool mono = (static_cast<unsigned char>(bytes[frame + 3]) >> 6) == 3;
  std::size_t bit = (frame + 4 + ((second & 1) == 0 ? 2 : 0)) * 8;
  bit += mpeg1 ? 9 + (mono ? 5 + 4 : 3 + 8) : 8 + (mono ? 1 : 2);
  std::vector<std::size_t> blocks((mpeg1 ? 2 : 1) * (mono ? 1 : 2));
  for (std::size_t& block : blocks) {
    block = bit;
    bit += mpeg1 ? 59 : 63;
  }
  return blocks;
}

int BitsAt(const std::string& bytes, std::size_t bit, std::size_t count) {
  int value = 0;
  for (std::size_t i = bit; i < bit + count; ++i)
    value = (value << 1) | ((static_cast<unsigned char>(bytes[i / 8]) >> (7 - i % 8)) & 1);
  return value;
}

// Checks that `changed` differs from `original` only in the CRCs and the global gains of
// `frames`, each gain moved by `steps` within 0..255 but those of blocks without coded
// data (silent whatever their gain). Returns how many gains had to stop at 0 or 255.
int ExpectOnlyGainsMoved(const std::string& original, const std::string& changed,
                         const std::vector<std::size_t>& frames, int steps) {
  std::vector<unsigned char> mask(original.size(), 0);
  int clamped = 0;
  int wrong = 0;
  for (const std::size_t frame : frames) {
    if ((original[frame + 1] & 1) == 0) mask[frame + 4] = mask[frame + 5] = 0xFF;
    for (const std::size_t block : BlockBits(original, frame)) {
      const std::size_t gain = block + 12 + 9;
      for (std::size_t i = gain; i < gain + 8; ++i)
        mask[i / 8] |= static_cast<unsigned char>(0x80 >> (i % 8));
      const bool coded = BitsAt(original, block, 12) != 0;
      const int wanted = BitsAt(original, gain, 8) + (coded ? steps : 0);
      clamped += wanted != std::clamp(wanted, 0, 255) ? 1 : 0;
      wrong += BitsAt(changed, gain, 8) != std::clamp(wanted, 0, 255) ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0) << "global gains not moved as asked";
  EXPECT_EQ(changed.size(), original.size());
  for (std::size_t i = 0; i < std::min(original.size(), changed.size()); ++i) {
    if ((static_cast<unsigned char>(original[i] ^ changed[i]) & ~mask[i]) != 0) {
      ADD_FAILURE() << "byte " << i << " changed outside the global gains";
      break;
    }
  }
  return clamped;
}

// A song that ffmpeg makes from one of its sounds, encoded by ffmpeg or by lame.
struct Song {
  const char* name;  // its ending gives the format
  const char* sound;
  const char* volume;
  double aboutLufs;
  int sampleRate;
  int channels;
  const char* encoder;  // ffmpeg's options, or a lame command on the WAV {in}
};

void PrintTo(const Song& song, std::ostream* out) {
  *out << song.name;
}

constexpr const char* kSine = "sine=frequency=1000:duration=8";
constexpr const char* kNoise = "anoisesrc=color=white:amplitude=0.5:duration=8:seed=7";

// Every layout of the side information: MPEG-1 (44.1 kHz) and MPEG-2.5 (11.025 kHz) mono,
// MPEG-1 and MPEG-2 (22.05 kHz) stereo, with a CRC (lame -p) or without, between tags.
const Song kSongs[] = {
    {"quiet_sine.flac", kSine, "-9dB", -30, 44100, 2, "-c:a flac"},
    {"loud_noise.flac", kNoise, "0dB", -8, 44100, 2, "-c:a flac"},
    {"quiet_mono.mp3", kSine, "-12dB", -30, 44100, 1, "-c:a libmp3lame -b:a 96k"},
    {"loud_noise.mp3", kNoise, "0dB", -8, 44100, 2, "-c:a libmp3lame -q:a 2"},
    {"quiet_mono_11k.mp3", kSine, "-12dB", -30, 11025, 1, "-c:a libmp3lame -b:a 32k"},
    {"loud_noise_crc.mp3", kNoise, "0dB", -8, 44100, 2, "lame --quiet -p -b 192 --tt T {in} {out}"},
    {"quiet_sine_crc_22k.mp3", kSine, "-9dB", -30, 22050, 2, "lame --quiet -p -V 4 {in} {out}"},
};

class SongLoudnessTest : public ::testing::TestWithParam<Song> {
 protected:
  // Makes the song; empty when a program it needs is missing.
  std::string Make(const Song& song) {
    const std::string encoder = song.encoder;
    const bool lame = encoder.starts_with("lame");
    if (!test::ProgramsInstalled({"ffmpeg", "ffprobe", lame ? "lame" : "ffmpeg"})) return {};
    const std::string file = dir_ / song.name;
    const std::string made = lame ? dir_ / "sound.wav" : file;
    EXPECT_EQ(OutputOf("ffmpeg -v error -f lavfi -i " + ShellQuoted(song.sound) +
                       " -af volume=" + song.volume + " -ac " + std::to_string(song.channels) +
                       " -ar " + std::to_string(song.sampleRate) + " " + (lame ? "" : encoder) +
                       " " + ShellQuoted(made)),
              "");
    if (lame) {
      EXPECT_EQ(OutputOf(test::EncodeCommand(encoder, made, file)), "");
    }
    return file;
  }

  test::TempDir dir_;
};

TEST_P(SongLoudnessTest, MeasuresAsFfmpegAndMp3GainShiftsIt) {
  const Song& song = GetParam();
  const std::string file = Make(song);
  if (file.empty()) GTEST_SKIP() << "ffmpeg, ffprobe or lame is missing (scripts/setup adds them)";
  std::string reason;
  const std::optional<Loudness> measured = MeasureLoudness(file, &reason);
  ASSERT_TRUE(measured) << reason;
  EXPECT_NEAR(measured->integratedLufs, FfmpegMeter(file, song.channels == 1, "I:"), 0.5);
  EXPECT_NEAR(measured->truePeakDb, FfmpegMeter(file, song.channels == 1, "Peak:"), 0.5);
  EXPECT_NEAR(measured->integratedLufs, song.aboutLufs, 2.0) << "the sound is not as meant";
  if (!std::string(song.name).ends_with(".mp3")) return;

  const std::string original = test::ReadBytes(file);
  const std::vector<std::size_t> frames = ProbedFrames(file);
  ASSERT_GT(frames.size(), 100U);
  for (const int steps : {4, -4, 200}) {
    SCOPED_TRACE(steps);
    std::string bytes = original;
    Mp3GainChange change;
    ASSERT_TRUE(ApplyMp3Gain(bytes, steps, &reason, &change)) << reason;
    EXPECT_EQ(change.frames, static_cast<int>(frames.size()));
    EXPECT_EQ(change.clampedFields, ExpectOnlyGainsMoved(original, bytes, frames, steps));
    if (steps == 200) break;  // nearly every gain stops at 255: no longer a clean change

    const std::string changed = dir_.WriteFile("changed.mp3", bytes);
    EXPECT_EQ(
        OutputOf("ffmpeg -v error -err_detect crccheck -i " + ShellQuoted(changed) + " -f null -"),
        "");
    const std::optional<Loudness> after = MeasureLoudness(changed, &reason);
    ASSERT_TRUE(after) << reason;
    EXPECT_NEAR(after->integratedLufs - measured->integratedLufs, steps * kMp3GainStepDb, 0.5);
    ASSERT_TRUE(ApplyMp3Gain(bytes, -steps, &reason)) << reason;
    EXPECT_TRUE(bytes == original) << "the opposite change does not restore the file";
  }
}

std::string SongName(const ::testing::TestParamInfo<Song>& info) {
  std::string name = info.param.name;
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Songs, SongLoudnessTest, ::testing::ValuesIn(kSongs), SongName);

TEST(MeasureLoudnessTest, SilenceAndNonAudioGiveNothingWithAReason) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const std::string silence = dir / "silence.flac";
  ASSERT_EQ(OutputOf("ffmpeg -v error -f lavfi -i anullsrc=duration=3 " + ShellQuoted(silence)),
            "");
  for (const std::string& file : {silence, dir.WriteFile("text.flac", "not audio at all")}) {
    std::string reason;
    EXPECT_FALSE(MeasureLoudness(file, &reason)) << file;
    EXPECT_FALSE(reason.empty()) << file;
    // A failure found, not a crash of the helper (which the sanitizers end it with).
    EXPECT_EQ(reason.find("stopped on this file"), std::string::npos) << reason;
  }
}

TEST(Mp3GainTest, RefusesWhatItCannotChangeWholeAndLeavesItAlone) {
  const test::FrameFormat mpeg1{};
  const std::string frames = test::SilentFrames(mpeg1, 5);
  std::string wrongCrc = frames;
  wrongCrc[test::FrameLength(mpeg1) * 2 + 1] &= ~1;  // claims a CRC, which is 0
  struct Refusal {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  const Refusal refusals[] = {
      {"Layer II", test::SilentFrames({MpegVersion::kMpeg1, MpegLayer::kII, 128, 44100}, 5),
       "Layer II"},
      {"no frames", std::string(5000, 'x'), "no MPEG audio frame"},
      {"bytes missing", frames.substr(0, 1000) + frames.substr(1007), "damaged"},
      {"junk after the frames", frames + "junk", "damaged"},
      {"another sample rate",
       frames + test::SilentFrames({MpegVersion::kMpeg1, MpegLayer::kIII, 128, 48000}, 2),
       "sample rate"},
      {"wrong CRC", wrongCrc, "CRC"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    std::string bytes = refusal.bytes;
    std::string reason;
    EXPECT_FALSE(ApplyMp3Gain(bytes, 2, &reason));
    EXPECT_NE(reason.find(refusal.reason), std::string::npos) << reason;
    EXPECT_TRUE(bytes == refusal.bytes);
  }
}

TEST(LoudnessFromTagsTest, ReadsReplayGainAndR128Gains) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  const double unknown = std::numeric_limits<double>::quiet_NaN();
  struct Tagged {
    const char* name;
    const char* options;  // ffmpeg's, tags included
    std::optional<Loudness> expected;
  };
  const Tagged files[] = {
      {"vorbis_comment.flac",
       "-metadata REPLAYGAIN_TRACK_GAIN='-6.00 dB' "
       "-metadata REPLAYGAIN_TRACK_PEAK=0.5",
       Loudness{-12, -6.0206}},
      {"id3v2_txxx.mp3", "-metadata REPLAYGAIN_TRACK_GAIN='-6.00 dB'", Loudness{-12, unknown}},
      // -1536 / 256 = -6 dB towards -23 LUFS, whatever a ReplayGain gain beside it says.
      {"r128.opus",
       "-c:a libopus -metadata R128_TRACK_GAIN=-1536 -metadata REPLAYGAIN_TRACK_GAIN=3",
       Loudness{-17, unknown}},
      {"freeform.m4a", "-c:a aac", Loudness{-12, unknown}},  // tagged by TagLib below
      // The minus sign U+2212 and decimal commas, as some taggers write them.
      {"comma.flac",
       "-metadata 'REPLAYGAIN_TRACK_GAIN=\u2212"
       "6,5 dB' -metadata REPLAYGAIN_TRACK_PEAK=0,5",
       Loudness{-11.5, -6.0206}},
      {"no_number.flac", "-metadata REPLAYGAIN_TRACK_GAIN=loud", std::nullopt},
  };
  test::TempDir dir;
  for (const Tagged& tagged : files) {
    SCOPED_TRACE(tagged.name);
    const std::string file = dir / tagged.name;
    ASSERT_EQ(OutputOf("ffmpeg -v error -f lavfi -i sine=duration=1 " +
                       std::string(tagged.options) + " " + ShellQuoted(file)),
              "");
    if (std::string(tagged.name).ends_with(".m4a")) {  // ffmpeg writes no freeform items
      TagLib::MP4::File mp4(file.c_str());
      mp4.tag()->setItem("----:com.apple.iTunes:replaygain_track_gain",
                         TagLib::StringList("-6.00 dB"));
      ASSERT_TRUE(mp4.save());
    }
    const std::optional<Loudness> read = LoudnessFromTags(file);
    ASSERT_EQ(read.has_value(), tagged.expected.has_value());
    if (!read) continue;
    EXPECT_NEAR(read->integratedLufs, tagged.expected->integratedLufs, 0.001);
    EXPECT_EQ(std::isnan(read->truePeakDb), std::isnan(tagged.expected->truePeakDb));
    if (!std::isnan(read->truePeakDb)) {
      EXPECT_NEAR(read->truePeakDb, tagged.expected->truePeakDb, 0.001);
    }
  }
}

TEST(GainToTest, ReachesTheTargetBelowTheCeilingInMp3Steps) {
  const double unknown = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    Loudness loudness;
    double gainDb;  // towards -14 LUFS under a -1 dBTP ceiling
    int steps;
  };
  const Case cases[] = {
      {{-30, -10}, 9, 6},      // +16 wanted, the peak allows 9
      {{-8, -0.5}, -6, -4},    // the cut alone brings the peak under the ceiling
      {{-20, unknown}, 6, 4},  // an unknown peak sets no limit
      {{-14, 1}, -2, -1},      // at the target, but peaking over the ceiling
      {{-14.5, -20}, 0.5, 0},  // a third of a step rounds to none
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loudness.integratedLufs);
    const double gain = GainTo(c.loudness, -14, -1);
    EXPECT_DOUBLE_EQ(gain, c.gainDb);
    EXPECT_EQ(Mp3GainSteps(gain), c.steps);
  }
}

}  // namespace
}  // namespace sorvina::media
