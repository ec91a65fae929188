// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/mp3_info.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

using test::FrameFormat;
using test::MpegLayer;
using test::MpegVersion;

const FrameFormat kMpeg1Layer3{};  // 128 kbit/s, 44,100 Hz, stereo

// `content` followed by zeros up to `size` bytes (zeros never look like a frame).
std::string PadTo(std::string content, std::size_t size) {
  content.resize(size, '\0');
  return content;
}

std::string Frame(const FrameFormat& format = kMpeg1Layer3) {
  return test::HeaderBytes(test::FrameHeader(format));
}

class Mp3InfoTest : public ::testing::Test {
 protected:
  // Writes `content` to a fresh file and analyses it.
  Mp3Info::Status Analyse(const std::string& content, std::int64_t knownSize = 0) {
    const std::string path = dir_.WriteFile("file" + std::to_string(++files_) + ".mp3", content);
    return info_.Open(path, knownSize);
  }

  test::TempDir dir_;
  Mp3Info info_;
  int files_ = 0;
};

TEST_F(Mp3InfoTest, FindsTheFirstFrameAtTheStartOrAfterTagsAndFooters) {
  ASSERT_EQ(Analyse(PadTo(Frame(), 1000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), 0);
  EXPECT_EQ(info_.GetHeader(), test::FrameHeader(kMpeg1Layer3));

  // The tag's payload holds what looks like a frame; the search jumps over it.
  std::string tag = test::Id3v2Tag(500);
  tag.replace(20, 4, Frame());
  ASSERT_EQ(Analyse(PadTo(tag + Frame(), 2000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), 10 + 500);

  ASSERT_EQ(Analyse(PadTo(test::Id3v2Tag(500, true) + Frame(), 2000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), 20 + 500);

  // Tags and stray footers in any order and number.
  const std::string chain = test::Id3v2Footer(7) + test::Id3v2Tag(30) + test::Id3v2Tag(40, true) +
                            test::Id3v2Footer(0) + test::Id3v2Tag(0);
  ASSERT_EQ(Analyse(PadTo(chain + Frame(), 2000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), static_cast<std::int64_t>(chain.size()));

  // Junk after a tag is searched byte by byte.
  ASSERT_EQ(Analyse(PadTo(test::Id3v2Tag(100) + std::string(3, '\0') + Frame(), 2000)),
            Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), 113);
}

TEST_F(Mp3InfoTest, SearchesUpTo204800ButAlwaysTestsThePositionAfterATag) {
  ASSERT_EQ(Analyse(PadTo(std::string(204800, '\0') + Frame(), 210000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), 204800);

  EXPECT_EQ(Analyse(PadTo(std::string(204801, '\0') + Frame(), 210000)), Mp3Info::Status::kNoFrame);
  EXPECT_EQ(info_.GetLengthSeconds(), 0);

  // Cover art larger than the search window does not hide the frame behind it.
  ASSERT_EQ(Analyse(PadTo(test::Id3v2Tag(300000) + Frame(), 310000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFirstFrameOffset(), 300010);
  // But the search does not go on beyond it.
  EXPECT_EQ(Analyse(PadTo(test::Id3v2Tag(300000) + '\0' + Frame(), 310000)),
            Mp3Info::Status::kNoFrame);
}

TEST_F(Mp3InfoTest, ConstantBitrateLengthTruncatesAndLeavesOutTheId3v1Tag) {
  ASSERT_EQ(Analyse(PadTo(Frame(), 4000000)), Mp3Info::Status::kOk);
  EXPECT_FALSE(info_.HasXingHeader());
  EXPECT_EQ(info_.GetHeaderBitrate(), 128);
  EXPECT_EQ(info_.GetLengthSeconds(), 250);

  ASSERT_EQ(Analyse(PadTo(Frame(), 4015999)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 250);  // 250.99 seconds

  // Counted, the tag's 128 bytes would make it 251 seconds.
  ASSERT_EQ(Analyse(PadTo(Frame(), 4015999) + test::Id3v1Tag("T", "A")), Mp3Info::Status::kOk);
  EXPECT_TRUE(info_.HasId3v1Tag());
  EXPECT_EQ(info_.GetAudioEnd(), 4015999);
  EXPECT_EQ(info_.GetLengthSeconds(), 250);

  // Bytes before the first frame are not audio.
  ASSERT_EQ(Analyse(PadTo(test::Id3v2Tag(16000 - 10) + Frame(), 4016000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 250);
}

TEST_F(Mp3InfoTest, TakesTheCallersSizeAndCountsBeyondFourGigabytes) {
  const std::string content = PadTo(Frame(), 4000000);
  ASSERT_EQ(Analyse(content, 8000000), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetFileSize(), 8000000);
  EXPECT_EQ(info_.GetLengthSeconds(), 500);

  // 6 GB at 128 kbit/s: 375,000 seconds, far past what 32-bit arithmetic holds.
  ASSERT_EQ(Analyse(content, 6000000000), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 375000);
}

TEST_F(Mp3InfoTest, XingFrameCountGivesTheLength) {
  ASSERT_EQ(Analyse(PadTo(test::XingFrame(kMpeg1Layer3, 1100), 4598000)), Mp3Info::Status::kOk);
  EXPECT_TRUE(info_.HasXingHeader());
  EXPECT_EQ(info_.GetFrameCount(), 1100);
  EXPECT_DOUBLE_EQ(info_.GetAverageBitrate(), 1280.125);
  EXPECT_EQ(info_.GetLengthSeconds(), 29);  // 28.73 seconds, rounded

  // Cover art in front changes nothing: the count alone gives the time.
  ASSERT_EQ(Analyse(PadTo(test::Id3v2Tag(500000) + test::XingFrame(kMpeg1Layer3, 1100), 5098000)),
            Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 29);

  // MPEG-2 and 2.5 Layer III frames hold 576 samples, not 1152.
  const FrameFormat mpeg2{MpegVersion::kMpeg2, MpegLayer::kIII, 64, 22050, true};
  ASSERT_EQ(Analyse(PadTo(test::XingFrame(mpeg2, 1000), 200000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 26);  // 26.12 seconds
  const FrameFormat mpeg25{MpegVersion::kMpeg25, MpegLayer::kIII, 32, 8000, false};
  ASSERT_EQ(Analyse(PadTo(test::XingFrame(mpeg25, 500), 200000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 36);
  // Layer I frames hold 384 samples.
  const FrameFormat layer1{MpegVersion::kMpeg1, MpegLayer::kI, 256, 48000, false};
  ASSERT_EQ(Analyse(PadTo(test::XingFrame(layer1, 1000), 200000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 8);
}

TEST_F(Mp3InfoTest, XingWithoutAUsableCountFallsBackOrGivesZero) {
  // Flag clear: the constant-bitrate estimate, never a negative time.
  ASSERT_EQ(Analyse(PadTo(test::XingFrame(kMpeg1Layer3, std::nullopt), 4000000)),
            Mp3Info::Status::kOk);
  EXPECT_TRUE(info_.HasXingHeader());
  EXPECT_EQ(info_.GetFrameCount(), -1);
  EXPECT_EQ(info_.GetAverageBitrate(), 0.0);
  EXPECT_EQ(info_.GetLengthSeconds(), 250);

  ASSERT_EQ(Analyse(PadTo(test::XingFrame(kMpeg1Layer3, 0), 4000000)), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetLengthSeconds(), 0);
}

// A variable-bitrate stream of 2,000 whole frames: 500 times four bitrates in turn.
std::string VariableStream(int repeats = 500) {
  std::string stream;
  for (int i = 0; i < repeats; ++i) {
    for (const int kbps : {128, 64, 320, 160})
      stream += test::SilentFrames({MpegVersion::kMpeg1, MpegLayer::kIII, kbps, 44100, false}, 1);
  }
  return stream;
}

// An APE tag as taggers append it: header, one item, footer (size counts item and footer).
std::string ApeTag() {
  const std::string item = std::string("\x05\0\0\0\0\0\0\0", 8) + "Title" + '\0' + "Blue!";
  const auto block = [&](char flagsHigh) {
    std::string bytes = "APETAGEX" + std::string("\xD0\x07\0\0", 4);
    const auto size = static_cast<char>(item.size() + 32);
    bytes +=
        std::string{size, '\0', '\0', '\0', '\x01', '\0', '\0', '\0', '\0', '\0', '\0', flagsHigh};
    return bytes + std::string(8, '\0');
  };
  return block('\xE0') + item + block('\x80');
}

TEST_F(Mp3InfoTest, AStreamWhoseBitrateChangesHasItsFramesCounted) {
  const std::string stream = VariableStream();
  const std::string half = VariableStream(250);
  struct Case {
    const char* what;
    std::string content;
    double frames;
  };
  const Case cases[] = {
      {"frames alone", stream, 2000},
      {"behind an ID3v2 tag, before an ID3v1 tag",
       test::Id3v2Tag(3000) + stream + test::Id3v1Tag("T", "A"), 2000},
      {"before an APE tag and an ID3v1 tag", stream + ApeTag() + test::Id3v1Tag("T", "A"), 2000},
      {"before a Lyrics3 tag", stream + "LYRICSBEGIN" + std::string(500, 'x'), 2000},
      {"junk between frames", half + std::string(300, '\0') + "\xFF\xFB" + half, 2000},
      {"an ID3v2 tag between frames", half + test::Id3v2Tag(70000, true) + half, 2000},
      {"the last frame cut short", stream.substr(0, stream.size() - 100), 1999},
      // The walk gives up after 64 KiB of junk: what is left is counted at the average
      // size of the frames before it (2,191 bytes for four).
      {"more junk than the walk searches", half + std::string(102400, '\0') + half,
       1000 + (102400.0 + 547750.0) * 4 / 2191},
      // Silence first, coded at one bitrate: frames further on show the stream varies.
      {"many frames of one bitrate first",
       test::SilentFrames({MpegVersion::kMpeg1, MpegLayer::kIII, 32, 44100, false}, 300) + stream,
       2300},
      // A Xing frame that states no count is a frame like the others.
      {"a Xing frame without a count", test::XingFrame(kMpeg1Layer3, std::nullopt) + stream, 2001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Analyse(c.content), Mp3Info::Status::kOk);
    EXPECT_EQ(info_.GetLengthSource(), Mp3Info::LengthSource::kCountedFrames);
    EXPECT_NEAR(info_.GetCountedFrames(), c.frames, 1e-6);
    EXPECT_EQ(info_.GetLengthSeconds(), static_cast<std::int64_t>(c.frames * 1152 / 44100 + 0.5));
  }
  // MPEG-2 frames hold 576 samples: 2,000 frames at 22,050 Hz make 52 seconds.
  std::string mpeg2;
  for (int i = 0; i < 1000; ++i) {
    for (const int kbps : {64, 8})
      mpeg2 += test::SilentFrames({MpegVersion::kMpeg2, MpegLayer::kIII, kbps, 22050, true}, 1);
  }
  ASSERT_EQ(Analyse(mpeg2), Mp3Info::Status::kOk);
  EXPECT_EQ(info_.GetCountedFrames(), 2000);
  EXPECT_EQ(info_.GetLengthSeconds(), 52);
}

TEST_F(Mp3InfoTest, InfoAndVbriCountsServeWhereTheFirstFrameMisleads) {
  const FrameFormat slower{MpegVersion::kMpeg1, MpegLayer::kIII, 64, 44100, false};
  const std::string constant = test::SilentFrames(kMpeg1Layer3, 2000);
  struct Case {
    const char* what;
    std::string content;
    Mp3Info::CountHeader header;
    Mp3Info::LengthSource source;
    std::int64_t seconds;
  };
  const Case cases[] = {
      // "Info" before frames of its own bitrate: the first frame stands for the stream,
      // and the time is what it has always been (834,000 bytes at 128 kbit/s).
      {"Info at the stream's bitrate", test::XingFrame(kMpeg1Layer3, 2000, "Info") + constant,
       Mp3Info::CountHeader::kInfo, Mp3Info::LengthSource::kFirstFrameRate, 52},
      // At 64 kbit/s it would double the time; its count gives 2,000 frames, 52 seconds.
      {"Info slower than the stream", test::XingFrame(slower, 2000, "Info") + constant,
       Mp3Info::CountHeader::kInfo, Mp3Info::LengthSource::kStatedFrames, 52},
      {"VBRI before a varying stream", test::VbriFrame(slower, 0, 2000) + VariableStream(),
       Mp3Info::CountHeader::kVbri, Mp3Info::LengthSource::kStatedFrames, 52},
      // VBRI sits 32 bytes after the header in a single-channel frame too.
      {"VBRI in a mono frame",
       test::VbriFrame({MpegVersion::kMpeg1, MpegLayer::kIII, 64, 44100, true}, 0, 4000) +
           VariableStream(),
       Mp3Info::CountHeader::kVbri, Mp3Info::LengthSource::kStatedFrames, 104},
      // A count of 0 states nothing: the frames are counted.
      {"Info stating no frames", test::XingFrame(slower, 0, "Info") + constant,
       Mp3Info::CountHeader::kInfo, Mp3Info::LengthSource::kCountedFrames, 52},
      // A Xing count is taken as it always was, frames or no frames.
      {"Xing before a constant stream", test::XingFrame(kMpeg1Layer3, 1000) + constant,
       Mp3Info::CountHeader::kXing, Mp3Info::LengthSource::kStatedFrames, 26},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Analyse(c.content), Mp3Info::Status::kOk);
    EXPECT_EQ(info_.GetCountHeader(), c.header);
    EXPECT_EQ(info_.GetLengthSource(), c.source);
    EXPECT_EQ(info_.GetLengthSeconds(), c.seconds);
  }
}

// A Xing (or Info) frame that states the stream's bytes, this frame included, as encoders
// write it.
std::string XingFrameWithBytes(const FrameFormat& format, std::uint32_t frames, std::uint32_t bytes,
                               std::string_view magic = "Xing") {
  std::string frame = test::XingFrame(format, frames, magic);
  const std::size_t at = 4 + (format.mono ? 17 : 32);
  frame[at + 7] = static_cast<char>(frame[at + 7] | 2);
  frame.replace(at + 12, 4, test::HeaderBytes(bytes));
  return frame;
}

// What a player's bitrate limit is held against. 191 frames at 320 kbit/s are 5 seconds;
// the varying stream averages 167.75 kbit/s.
TEST_F(Mp3InfoTest, StreamBitrateComesFromTheFramesNotTheTagsOrHeaderFrame) {
  const FrameFormat at320{MpegVersion::kMpeg1, MpegLayer::kIII, 320, 44100, false};
  const std::string constant = test::SilentFrames(at320, 191);
  const std::string varying = VariableStream();
  const auto frameBytes = [](const FrameFormat& format) {
    return static_cast<std::uint32_t>(test::FrameLength(format));
  };
  const auto stated = [&](const FrameFormat& format, const std::string& stream) {
    return frameBytes(format) + static_cast<std::uint32_t>(stream.size());
  };
  struct Case {
    const char* what;
    std::string content;
    int kbps;
  };
  const Case cases[] = {
      {"short constant stream after Info",
       XingFrameWithBytes(at320, 191, stated(at320, constant), "Info") + constant, 320},
      {"the same behind a large cover",
       test::Id3v2Tag(300000) + XingFrameWithBytes(at320, 191, stated(at320, constant), "Info") +
           constant,
       320},
      {"Info without a byte count", test::XingFrame(at320, 191, "Info") + constant, 320},
      {"no header, a cover in front", test::Id3v2Tag(300000) + constant, 320},
      {"Xing before frames all at 320",
       XingFrameWithBytes(at320, 191, stated(at320, constant)) + constant, 320},
      // The stated bytes leave out what follows the audio.
      {"Xing stating bytes, tags after",
       XingFrameWithBytes(kMpeg1Layer3, 2000, stated(kMpeg1Layer3, varying)) + varying + ApeTag() +
           test::Id3v1Tag("T", "A"),
       168},
      {"Xing without a byte count", test::XingFrame(kMpeg1Layer3, 2000) + varying, 168},
      {"VBRI", test::VbriFrame(kMpeg1Layer3, stated(kMpeg1Layer3, varying), 2000) + varying, 168},
      {"no header, frames counted", varying + test::Id3v1Tag("T", "A"), 168},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Analyse(c.content), Mp3Info::Status::kOk);
    EXPECT_EQ(info_.GetStreamBitrate(), c.kbps);
  }
}

// lame and FFmpeg both put an Info frame before a constant bitrate: a few seconds at 320
// kbit/s are 320 kbit/s.
TEST_F(Mp3InfoTest, ShortConstantBitrateEncoderOutputKeepsItsBitrate) {
  if (!test::ProgramsInstalled({"lame", "ffmpeg"}))
    GTEST_SKIP() << "lame or ffmpeg is missing (scripts/setup adds them)";
  const std::string wav = dir_.WriteFile("tone.wav", test::SoundWav(44100, 2, 3.0));
  for (const char* pattern : {"lame --quiet -b 320 {in} {out}",
                              "ffmpeg -v error -y -i {in} -c:a libmp3lame -b:a 320k {out}"}) {
    SCOPED_TRACE(pattern);
    const std::string mp3 = dir_.path() + "/encoded" + std::to_string(++files_) + ".mp3";
    ASSERT_TRUE(test::RunCommand(test::EncodeCommand(pattern, wav, mp3)));
    ASSERT_EQ(info_.Open(mp3, 0), Mp3Info::Status::kOk);
    EXPECT_EQ(info_.GetCountHeader(), Mp3Info::CountHeader::kInfo);
    EXPECT_EQ(info_.GetStreamBitrate(), 320);
  }
}

TEST_F(Mp3InfoTest, LooksForXingAfterTheSideInformationOfVersionAndChannelMode) {
  struct Case {
    FrameFormat format;
    std::size_t offset;  // from the frame start
  };
  const Case cases[] = {
      {{MpegVersion::kMpeg1, MpegLayer::kIII, 128, 44100, false}, 36},
      {{MpegVersion::kMpeg1, MpegLayer::kIII, 128, 44100, true}, 21},
      {{MpegVersion::kMpeg2, MpegLayer::kIII, 64, 22050, true}, 13},
      {{MpegVersion::kMpeg2, MpegLayer::kIII, 64, 22050, false}, 21},
      {{MpegVersion::kMpeg25, MpegLayer::kIII, 32, 8000, true}, 13},
      // The layer plays no part.
      {{MpegVersion::kMpeg1, MpegLayer::kII, 128, 44100, false}, 36},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    for (std::size_t offset : {std::size_t{13}, std::size_t{21}, std::size_t{36}}) {
      std::string content = PadTo(Frame(c.format), 4000);
      content.replace(offset, 12, test::XingHeader(100));
      ASSERT_EQ(Analyse(content), Mp3Info::Status::kOk);
      EXPECT_EQ(info_.HasXingHeader(), offset == c.offset) << "Xing at " << offset;
    }
  }
  // A file that ends inside the Xing header has none.
  std::string cut = Frame() + std::string(32, '\0') + test::XingHeader(100);
  cut.resize(cut.size() - 1);
  ASSERT_EQ(Analyse(cut), Mp3Info::Status::kOk);
  EXPECT_FALSE(info_.HasXingHeader());
}

TEST_F(Mp3InfoTest, HeaderTestRefusesEveryReservedField) {
  const std::uint32_t valid = test::FrameHeader(kMpeg1Layer3);
  EXPECT_TRUE(Mp3Info::IsValidHeader(valid));
  struct Refused {
    const char* what;
    std::uint32_t header;
  };
  const Refused refused[] = {
      {"a sync bit clear", valid & ~0x00200000u},
      {"reserved version", (valid & ~0x00180000u) | 0x00080000u},
      {"reserved layer", valid & ~0x00060000u},
      {"free-format bitrate", valid & ~0x0000F000u},
      {"bitrate index 15", valid | 0x0000F000u},
      {"reserved sample rate", valid | 0x00000C00u},
      {"reserved emphasis", valid | 0x00000002u},
  };
  for (const Refused& r : refused)
    EXPECT_FALSE(Mp3Info::IsValidHeader(r.header)) << r.what;
  // Fields the test does not look at: CRC bit, padding, private bit, mode extension,
  // copyright, original, the other emphases.
  EXPECT_TRUE(Mp3Info::IsValidHeader(valid ^ 0x000103FDu));
}

TEST_F(Mp3InfoTest, BitrateAndSampleRateTablesForEveryVersionAndLayer) {
  const FrameFormat formats[] = {
      {MpegVersion::kMpeg1, MpegLayer::kI, 448, 32000, false},
      {MpegVersion::kMpeg1, MpegLayer::kII, 384, 48000, false},
      {MpegVersion::kMpeg1, MpegLayer::kIII, 320, 44100, false},
      {MpegVersion::kMpeg1, MpegLayer::kIII, 32, 44100, false},
      {MpegVersion::kMpeg2, MpegLayer::kI, 144, 24000, false},
      {MpegVersion::kMpeg2, MpegLayer::kII, 160, 16000, false},
      {MpegVersion::kMpeg2, MpegLayer::kIII, 8, 22050, false},
      {MpegVersion::kMpeg25, MpegLayer::kI, 256, 12000, false},
      {MpegVersion::kMpeg25, MpegLayer::kIII, 80, 8000, false},
      {MpegVersion::kMpeg25, MpegLayer::kIII, 112, 11025, false},
  };
  for (const FrameFormat& format : formats) {
    ASSERT_EQ(Analyse(PadTo(Frame(format), 1000)), Mp3Info::Status::kOk);
    EXPECT_EQ(info_.GetHeaderBitrate(), format.bitrateKbps);
    EXPECT_EQ(info_.GetSampleRate(), format.sampleRateHz);
  }
}

TEST_F(Mp3InfoTest, FrameLengthCountsSlotsAndThePaddingOne) {
  const struct {
    FrameFormat format;
    std::uint64_t length;  // without padding; padding adds one slot
    std::uint64_t slot;
  } cases[] = {
      {{MpegVersion::kMpeg1, MpegLayer::kIII, 128, 44100, false}, 417, 1},
      {{MpegVersion::kMpeg1, MpegLayer::kII, 384, 48000, false}, 1152, 1},
      {{MpegVersion::kMpeg1, MpegLayer::kI, 448, 32000, false}, 672, 4},
      {{MpegVersion::kMpeg2, MpegLayer::kIII, 8, 22050, true}, 26, 1},
      {{MpegVersion::kMpeg25, MpegLayer::kIII, 80, 8000, false}, 720, 1},
  };
  for (const auto& c : cases) {
    const std::uint32_t header = test::FrameHeader(c.format);
    EXPECT_EQ(Mp3Info::FrameLength(header), c.length) << c.format.bitrateKbps;
    EXPECT_EQ(Mp3Info::FrameLength(header | 0x200u), c.length + c.slot) << c.format.bitrateKbps;
  }
  EXPECT_EQ(Mp3Info::FrameLength(test::FrameHeader(kMpeg1Layer3) | 0xF000u), 0u);
  EXPECT_EQ(Mp3Info::FrameLength(0), 0u);
}

TEST_F(Mp3InfoTest, BadFilesEndWithoutAFrameAndZeroSeconds) {
  // A good file first, so that a failure cannot pass off its values as its own.
  ASSERT_EQ(Analyse(PadTo(Frame(), 4000000)), Mp3Info::Status::kOk);

  const std::string bad[] = {
      "",
      PadTo("", 5000),
      PadTo("", 5000) + "ID3",
      PadTo("", 5000) + "3DI",
      std::string("ID3\x04\x00\x00\x00", 7),  // ends inside the size field
      test::Id3v2Header(200 * 1024 * 1024),   // claims 200 MB, holds nothing
      test::Id3v2Tag(100) + "ID3",            // a tag, then a cut-off one
      [] {                                    // nothing but footers, one after another
        std::string footers;
        for (int i = 0; i < 10000; ++i)
          footers += test::Id3v2Footer(0);
        return footers;
      }(),
  };
  for (const std::string& content : bad) {
    SCOPED_TRACE(content.size());
    EXPECT_EQ(Analyse(content), Mp3Info::Status::kNoFrame);
    EXPECT_EQ(info_.GetLengthSeconds(), 0);
  }
}

// A player finds a stream by frames that follow one another: a header alone, as a picture
// or junk holds one by chance, is no stream, while a stream after a broken first frame
// is. Confirming the sync changes nothing else.
TEST_F(Mp3InfoTest, FrameSyncIsAFrameFollowedByAnotherOfItsStream) {
  const std::string frames = test::SilentFrames(kMpeg1Layer3, 20);
  const struct Case {
    const char* what;
    std::string content;
    bool synced;
  } cases[] = {
      {"whole frames", frames, true},
      {"after an ID3v2 tag", test::Id3v2Tag(3000) + frames, true},
      {"one frame before an ID3v1 tag",
       test::SilentFrames(kMpeg1Layer3, 1) + test::Id3v1Tag("Title", "Artist"), true},
      {"after a broken frame", PadTo(Frame(), 104) + frames, true},
      {"a header alone", PadTo(Frame(), 16000), false},
      {"a header of another stream before", Frame({.sampleRateHz = 48000}) + frames, true},
      {"frames beyond the search limit", PadTo(Frame(), 210 * 1024) + frames, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    info_.SetConfirmFrameSync(false);
    ASSERT_EQ(Analyse(c.content), Mp3Info::Status::kOk);
    const std::int64_t seconds = info_.GetLengthSeconds();
    const int rate = info_.GetSampleRate();
    EXPECT_FALSE(info_.HasFrameSync());
    info_.SetConfirmFrameSync(true);
    ASSERT_EQ(Analyse(c.content), Mp3Info::Status::kOk);
    EXPECT_EQ(info_.HasFrameSync(), c.synced);
    EXPECT_EQ(info_.GetLengthSeconds(), seconds);
    EXPECT_EQ(info_.GetSampleRate(), rate);
  }
}

TEST_F(Mp3InfoTest, BytesInMemoryAreAnalysedExactlyAsTheSameFile) {
  const std::string contents[] = {
      PadTo(test::Id3v2Tag(100, true) + test::XingFrame(kMpeg1Layer3, 1100), 5000) +
          test::Id3v1Tag("T", "A"),
      PadTo(std::string(70000, '\0') + Frame(), 80000),  // beyond one read-ahead
      test::Id3v2Tag(100) + "ID3",
      "",
  };
  for (const std::string& content : contents) {
    SCOPED_TRACE(content.size());
    const Mp3Info::Status status = Analyse(content, 123456);
    const Mp3Info fromFile = info_;
    Mp3Info fromMemory;
    const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
    EXPECT_EQ(fromMemory.OpenBytes({bytes, content.size()}, 123456), status);
    EXPECT_EQ(fromMemory.GetLengthSeconds(), fromFile.GetLengthSeconds());
    if (status != Mp3Info::Status::kOk) continue;
    EXPECT_EQ(fromMemory.GetHeader(), fromFile.GetHeader());
    EXPECT_EQ(fromMemory.GetFirstFrameOffset(), fromFile.GetFirstFrameOffset());
    EXPECT_EQ(fromMemory.HasXingHeader(), fromFile.HasXingHeader());
    EXPECT_EQ(fromMemory.GetFrameCount(), fromFile.GetFrameCount());
    EXPECT_EQ(fromMemory.HasId3v1Tag(), fromFile.HasId3v1Tag());
    EXPECT_EQ(fromMemory.GetAudioEnd(), fromFile.GetAudioEnd());
  }
}

TEST_F(Mp3InfoTest, FilesThatCannotBeReadEndWithStatusFour) {
  EXPECT_EQ(info_.Open(dir_ / "missing.mp3", 0), Mp3Info::Status::kNoFrame);
  EXPECT_EQ(info_.Open(dir_.MakeFolder("folder.mp3"), 0), Mp3Info::Status::kNoFrame);
  const std::string fifo = dir_ / "fifo.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(info_.Open(fifo, 0), Mp3Info::Status::kNoFrame);  // without waiting for a writer
  EXPECT_EQ(info_.GetLengthSeconds(), 0);

  const std::string locked = dir_.WriteFile("locked.mp3", PadTo(Frame(), 4000000));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  const std::string outcome = test::RunUnprivileged([&] {
    Mp3Info info;
    const Mp3Info::Status status = info.Open(locked, 0);
    return std::to_string(static_cast<int>(status)) + " " + std::to_string(info.GetLengthSeconds());
  });
  EXPECT_EQ(outcome, "4 0");
}

TEST_F(Mp3InfoTest, OutOfDescriptorsIsStatusTwo) {
  const std::string path = dir_.WriteFile("fine.mp3", PadTo(Frame(), 4000));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // No descriptor left above the ones already open.
    const int lowestFree = dup(0);
    close(lowestFree);
    const rlimit limit{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(100);
    Mp3Info info;
    _exit(static_cast<int>(info.Open(path, 0)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
}  // namespace sorvina::media
