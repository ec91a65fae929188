// SPDX-License-Identifier: GPL-3.0-or-later
// Real encoder output: sound of a known length encoded by the Debian encoders, each file's
// playing time held against the length that ffmpeg decodes from it, and its caption
// against the tags the encoder wrote. MP3s of every MPEG version with and without the
// headers that state a frame count, two that no encoder here writes (made from encoder
// output, see MakeInfoFrameSlower and MakeVbriHeader), and a file of every other type;
// then files cut short as downloads are, and text under their names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

#include "media/mp3_info.h"
#include "media/track_probe.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

using Source = Mp3Info::LengthSource;
using test::FrameFormat;

const FrameFormat kSlower{test::MpegVersion::kMpeg1, test::MpegLayer::kIII, 64, 44100, false};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Some older muxers put the "Info" frame in front of a constant-bitrate stream at a lower
// bitrate than the stream's: here a 64 kbit/s frame stating the frame count, before a
// 128 kbit/s stream that lame wrote without a frame of its own.
void MakeInfoFrameSlower(const std::string& path) {
  const auto frames = static_cast<std::uint32_t>(test::CountedFrames(path));
  WriteBytes(path, test::XingFrame(kSlower, frames, "Info") + test::ReadBytes(path));
}

// No encoder here writes a "VBRI" header: one is put, in a 64 kbit/s frame, before a
// variable-bitrate stream that lame wrote without a header.
void MakeVbriHeader(const std::string& path) {
  const std::string stream = test::ReadBytes(path);
  const auto frames = static_cast<std::uint32_t>(test::CountedFrames(path));
  WriteBytes(path,
             test::VbriFrame(kSlower, static_cast<std::uint32_t>(stream.size()), frames) + stream);
}

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// A download cut short inside the Ogg page that holds the file's byte at 60 %.
void CutInsideAPage(const std::string& path) {
  const std::string bytes = test::ReadBytes(path);
  const std::size_t start = bytes.rfind("OggS", bytes.size() * 6 / 10);
  const std::size_t next = std::min(bytes.find("OggS", start + 4), bytes.size());
  WriteBytes(path, bytes.substr(0, start + (next - start) / 2));
}

// A byte inside the last Ogg page changed, so that its checksum fails.
void DamageTheLastPage(const std::string& path) {
  std::string bytes = test::ReadBytes(path);
  bytes[(bytes.rfind("OggS") + bytes.size()) / 2] ^= 0x55;
  WriteBytes(path, bytes);
}

// A download cut short at 60 % of its bytes: inside the audio when the movie box is first.
void CutAtSixtyPercent(const std::string& path) {
  const std::string bytes = test::ReadBytes(path);
  WriteBytes(path, bytes.substr(0, bytes.size() * 6 / 10));
}

// A download cut short inside the movie box that ends the file, a few bytes past the
// artist item, which comes after the movie header and the title item.
void CutInsideTheMovieBox(const std::string& path) {
  const std::string bytes = test::ReadBytes(path);
  const std::size_t artist = bytes.rfind("\251ART") - 4;
  const std::size_t end = artist + BigEndian32(bytes, artist) + 4;
  WriteBytes(path, bytes.substr(0, std::min(end, bytes.size() - 1)));
}

// A movie box, the last box, whose size claims a megabyte more than the file holds.
void OversizeTheMovieBox(const std::string& path) {
  std::string bytes = test::ReadBytes(path);
  const std::size_t movie = bytes.rfind("moov") - 4;
  const std::uint32_t size = BigEndian32(bytes, movie) + (1u << 20);
  for (std::size_t i = 0; i < 4; ++i)
    bytes[movie + i] = static_cast<char>(size >> (24 - 8 * i));
  WriteBytes(path, bytes);
}

// What the time of a case's file is held against.
enum class Expected {
  kWholeSound,    // what ffmpeg decodes from the whole file: the sound, give or take padding
  kWhatDecodes,   // audio cut short or damaged at its end: what ffmpeg still decodes
  kStatedLength,  // MP4 headers, whole after the cut: the length they state, the whole sound's
};

struct Encoding {
  const char* name;     // with the ending that gives the file's type
  const char* program;  // the encoder
  const char* options;  // the encoder's, besides the files and the tags
  double seconds;
  int sampleRate = 44100;  // kept by the encoder: for MP3s it tells the MPEG version
  int channels = 2;
  // MP3s only: what the time must rest on, and whether the first frame's bitrate alone
  // would be more than a second off.
  Source source = Source::kNone;
  bool firstFrameRateWrong = false;
  double silentSeconds = 0;
  void (*rework)(const std::string& path) = nullptr;
  Expected expected = Expected::kWholeSound;
  const char* caption = "Generator - Tone";
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const Encoding& encoding, std::ostream* out) {
  *out << encoding.name;
}

// The command that encodes {in} into {out} with the tags Tone and Generator.
std::string CommandPattern(const Encoding& e) {
  const std::string program = e.program;
  const std::string options = e.options;
  if (program == "lame") return "lame --quiet " + options + " --tt Tone --ta Generator {in} {out}";
  if (program == "flac") return "flac -s -f --tag=TITLE=Tone --tag=ARTIST=Generator -o {out} {in}";
  if (program == "oggenc") return "oggenc -Q -t Tone -a Generator -o {out} {in}";
  if (program == "opusenc") return "opusenc --quiet --title Tone --artist Generator {in} {out}";
  return "ffmpeg -v error -y -i {in} " + options +
         " -metadata title=Tone -metadata artist=Generator {out}";
}

// The time that the first frame's bitrate gives, as the analysis has always worked it
// out for a stream without a Xing count.
std::int64_t FirstFrameRateSeconds(const Mp3Info& info) {
  return (info.GetAudioEnd() - info.GetFirstFrameOffset()) / 125 / info.GetHeaderBitrate();
}

class EncoderOutputTest : public ::testing::TestWithParam<Encoding> {
 protected:
  // Encodes the case's sound into the temporary folder; skips the test without the tools.
  std::string Encode(const Encoding& e) {
    if (!test::ProgramsInstalled({e.program, "ffmpeg", "ffprobe"})) return {};  // the caller skips
    const std::string wav = dir_.WriteFile(
        "sound.wav", test::SoundWav(e.sampleRate, e.channels, e.seconds, e.silentSeconds));
    const std::string file = dir_ / e.name;
    const std::string command = test::EncodeCommand(CommandPattern(e), wav, file);
    EXPECT_TRUE(test::RunCommand(command)) << command;
    if (e.rework) e.rework(file);
    return file;
  }

  test::TempDir dir_;
};

TEST_P(EncoderOutputTest, TimeIsWithinASecondOfTheExpectedLength) {
  const Encoding& e = GetParam();
  const std::string file = Encode(e);
  if (file.empty()) GTEST_SKIP() << e.program << " or ffmpeg is missing (scripts/setup adds them)";
  double expected = e.seconds;
  if (e.expected != Expected::kStatedLength) {
    expected = test::DecodedSeconds(file);
    ASSERT_GT(expected, 0.0) << "ffmpeg cannot decode " << file;
    if (e.expected == Expected::kWholeSound) {
      EXPECT_NEAR(expected, e.seconds, 0.3);  // the encoder's delay and padding at most
    } else {
      EXPECT_LT(expected, e.seconds - 1.5);  // the cut took audio away
    }
  }

  TrackProbe probe;
  const TrackSummary summary = probe.Probe(file);
  EXPECT_NEAR(static_cast<double>(summary.seconds), expected, 1.0);
  EXPECT_EQ(summary.caption, e.caption);
  EXPECT_EQ(probe.Seconds(file, 0), summary.seconds);

  if (e.source == Source::kNone) return;
  Mp3Info info;
  ASSERT_EQ(info.Open(file, 0), Mp3Info::Status::kOk);
  EXPECT_EQ(info.GetSampleRate(), e.sampleRate);
  EXPECT_EQ(info.GetLengthSource(), e.source);
  // What the mends change is what the first frame alone got plainly wrong; a file it got
  // right keeps exactly that time.
  const std::int64_t firstFrameRate = FirstFrameRateSeconds(info);
  if (e.firstFrameRateWrong) {
    EXPECT_GT(std::abs(firstFrameRate - summary.seconds), 1);
  }
  if (e.source == Source::kFirstFrameRate) {
    EXPECT_EQ(summary.seconds, firstFrameRate);
  }
}

constexpr Source kRate = Source::kFirstFrameRate;
constexpr Source kStated = Source::kStatedFrames;
constexpr Source kCounted = Source::kCountedFrames;

const Encoding kMp3s[] = {
    // lame: an "Info" frame before constant bitrates, "Xing" before variable and average
    // ones; -t leaves either out. 44.1 and 48 kHz are MPEG-1, 22.05 MPEG-2, 11.025 and 8
    // MPEG-2.5.
    {"cbr_info.mp3", "lame", "-b 128", 7.3, 44100, 2, kRate},
    {"cbr_bare.mp3", "lame", "-b 192 -t", 4.6, 44100, 2, kRate},
    {"vbr_xing.mp3", "lame", "-V 2", 6.6, 44100, 2, kStated},
    {"abr_xing.mp3", "lame", "--abr 128", 5.1, 48000, 2, kStated},
    {"vbr_bare.mp3", "lame", "-V 2 -t", 6.6, 44100, 2, kCounted, true},
    {"mpeg2_cbr_info.mp3", "lame", "-b 32", 8.2, 22050, 1, kRate},
    {"mpeg2_vbr_xing.mp3", "lame", "-V 2", 9.4, 22050, 1, kStated},
    {"mpeg2_abr_bare.mp3", "lame", "--abr 48 -t", 6.3, 22050, 2, kCounted},
    {"mpeg25_vbr_xing.mp3", "lame", "-V 5", 5.2, 8000, 1, kStated},
    {"mpeg25_vbr_bare.mp3", "lame", "-V 5 -t", 5.7, 11025, 1, kCounted},
    {"mpeg25_cbr_bare.mp3", "lame", "-b 16 -t", 4.4, 8000, 1, kRate},
    // Silence first: the frames after the first share its bitrate, the later ones do not.
    {"silence_then_vbr_bare.mp3", "lame", "-V 2 -t", 9.0, 44100, 2, kCounted, true, 3},
    {"info_slower.mp3", "lame", "-b 128 -t", 5.0, 44100, 2, kStated, true, 0, MakeInfoFrameSlower},
    {"vbri.mp3", "lame", "-V 2 -t", 6.8, 44100, 2, kStated, true, 0, MakeVbriHeader},
    {"ffmpeg_cbr.mp3", "ffmpeg", "-c:a libmp3lame -b:a 160k", 5.4, 44100, 2, kRate},
    {"ffmpeg_vbr.mp3", "ffmpeg", "-c:a libmp3lame -q:a 3", 5.4, 44100, 2, kStated},
};

const Encoding kOthers[] = {
    {"tone.flac", "flac", "", 6.2},
    {"tone.ogg", "oggenc", "", 5.7},
    {"tone.opus", "opusenc", "", 4.8, 48000},
    {"ffmpeg_opus.opus", "ffmpeg", "-c:a libopus -b:a 64k", 5.6},
    {"vorbis_in.oga", "ffmpeg", "-c:a libvorbis", 4.3},
    {"flac_in.ogg", "ffmpeg", "-c:a flac", 4.6},
    {"aac.m4a", "ffmpeg", "-c:a aac -b:a 96k", 6.5},
    {"alac.m4a", "ffmpeg", "-c:a alac", 3.9},
    {"tone.wma", "ffmpeg", "-c:a wmav2 -b:a 96k", 5.2},
    {"tone.wav", "ffmpeg", "-c:a pcm_s16le", 4.1},
    {"tone.aiff", "ffmpeg", "-write_id3v2 1", 3.3},
    // AIFF's own text chunks alone: NAME holds the title, AUTH the author, which ffmpeg
    // takes from "author", not "artist".
    {"text_chunks.aiff", "ffmpeg", "-metadata author=Generator", 3.6},
    {.name = "title.aiff", .program = "ffmpeg", .options = "", .seconds = 2.7, .caption = "Tone"},
};

std::string CaseName(const ::testing::TestParamInfo<Encoding>& info) {
  std::string name = info.param.name;
  for (char& c : name)
    if (c == '.') c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Mp3, EncoderOutputTest, ::testing::ValuesIn(kMp3s), CaseName);
INSTANTIATE_TEST_SUITE_P(OtherTypes, EncoderOutputTest, ::testing::ValuesIn(kOthers), CaseName);

// ffmpeg output as a download cut short leaves it, or damaged at its end.
Encoding CutShort(const char* name, const char* options, double seconds,
                  void (*rework)(const std::string& path), Expected expected) {
  Encoding e{name, "ffmpeg", options, seconds};
  e.rework = rework;
  e.expected = expected;
  return e;
}

// Ogg pages of 3 s, so that the position of a page that is not whole, which counts audio
// that is not there, is seconds off.
constexpr const char* kLongPages = "-c:a libopus -b:a 64k -page_duration 3000000";
constexpr const char* kAac = "-c:a aac -b:a 96k";

const Encoding kCutShort[] = {
    CutShort("cut_in_page.opus", kLongPages, 8.4, CutInsideAPage, Expected::kWhatDecodes),
    CutShort("bad_last_page.opus", kLongPages, 8.4, DamageTheLastPage, Expected::kWhatDecodes),
    CutShort("cut_in_audio.m4a", "-c:a aac -b:a 96k -movflags +faststart", 7.2, CutAtSixtyPercent,
             Expected::kStatedLength),
    CutShort("cut_in_movie.m4a", kAac, 6.8, CutInsideTheMovieBox, Expected::kStatedLength),
    CutShort("movie_claims_more.m4a", kAac, 5.9, OversizeTheMovieBox, Expected::kStatedLength),
};

INSTANTIATE_TEST_SUITE_P(CutShort, EncoderOutputTest, ::testing::ValuesIn(kCutShort), CaseName);

// Every type cut short inside its headers, and text named as each type: no time, the
// file name as caption, and no crash on the way. The files carry no tags, so that none
// can survive the cut.
TEST(DamagedFilesTest, CutAndGarbageFilesGiveNoTimeAndTheirNames) {
  if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is missing";
  test::TempDir dir;
  const std::string wav = dir.WriteFile("sound.wav", test::SoundWav(44100, 2, 1.5));
  TrackProbe probe;
  for (const char* ending : {".mp3", ".flac", ".ogg", ".opus", ".m4a", ".wma", ".wav", ".aiff"}) {
    SCOPED_TRACE(ending);
    const std::string whole = dir / (std::string("whole") + ending);
    ASSERT_TRUE(test::RunCommand("ffmpeg -v error -y -i " + test::ShellQuoted(wav) +
                                 " -fflags +bitexact " + test::ShellQuoted(whole)));
    EXPECT_GT(probe.Probe(whole).seconds, 0);
    const std::string cut =
        dir.WriteFile(std::string("Cut Short") + ending, test::ReadBytes(whole).substr(0, 64));
    const std::string garbage = dir.WriteFile(std::string("GARBAGE") + ending,
                                              std::string(3000, 'x') + "Not music at all.");
    const TrackSummary fromCut = probe.Probe(cut);
    EXPECT_EQ(fromCut.seconds, 0);
    EXPECT_EQ(fromCut.caption, "Cut Short");
    EXPECT_EQ(probe.Seconds(cut, 64), 0);
    const TrackSummary fromGarbage = probe.Probe(garbage);
    EXPECT_EQ(fromGarbage.seconds, 0);
    EXPECT_EQ(fromGarbage.caption, "GARBAGE");
  }
}

}  // namespace
}  // namespace sorvina::media
