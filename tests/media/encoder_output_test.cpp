// Real encoder output: files made by the lame encoder from generated sound of a known
// length. The analysis must come within a second of that length whatever the encoder
// wrote (an "Info" frame for constant bitrates, a Xing frame for variable ones).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>

#include "media/caption.h"
#include "media/mp3_info.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

struct Encoding {
  const char* name;
  int sampleRate;
  int channels;
  double seconds;
  const char* lameOptions;
  int expectedSampleRate;  // proves which MPEG version the encoder chose
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const Encoding& encoding, std::ostream* out) {
  *out << encoding.name;
}

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A 16-bit PCM WAV file holding a tone of exactly `seconds`.
std::string ToneWav(int sampleRate, int channels, double seconds) {
  const auto frames = static_cast<std::uint32_t>(std::lround(sampleRate * seconds));
  const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
  std::string wav = "RIFF";
  AppendLittleEndian(wav, 36 + dataBytes, 4);
  wav += "WAVEfmt ";
  AppendLittleEndian(wav, 16, 4);
  AppendLittleEndian(wav, 1, 2);  // PCM
  AppendLittleEndian(wav, static_cast<std::uint32_t>(channels), 2);
  AppendLittleEndian(wav, static_cast<std::uint32_t>(sampleRate), 4);
  AppendLittleEndian(wav, static_cast<std::uint32_t>(sampleRate * channels * 2), 4);
  AppendLittleEndian(wav, static_cast<std::uint32_t>(channels * 2), 2);
  AppendLittleEndian(wav, 16, 2);
  wav += "data";
  AppendLittleEndian(wav, dataBytes, 4);
  for (std::uint32_t i = 0; i < frames; ++i) {
    // A tone that changes pitch keeps the variable-bitrate encoder busy.
    const double t = static_cast<double>(i) / sampleRate;
    const auto sample = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * (220 + 200 * t) * t));
    for (int c = 0; c < channels; ++c)
      AppendLittleEndian(wav, static_cast<std::uint16_t>(sample), 2);
  }
  return wav;
}

bool LameInstalled() {
  return std::system("command -v lame >/dev/null 2>&1") == 0;
}

class EncoderOutputTest : public ::testing::TestWithParam<Encoding> {};

TEST_P(EncoderOutputTest, LengthIsWithinASecondOfTheTruth) {
  if (!LameInstalled()) GTEST_SKIP() << "the lame encoder is not installed (scripts/setup adds it)";
  const Encoding& e = GetParam();
  test::TempDir dir;
  const std::string wav = dir.WriteFile("tone.wav", ToneWav(e.sampleRate, e.channels, e.seconds));
  const std::string mp3 = dir / (std::string(e.name) + ".mp3");
  const std::string command = std::string("lame --quiet ") + e.lameOptions +
                              " --tt 'Tone' --ta 'Generator' '" + wav + "' '" + mp3 + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  Mp3Info info;
  ASSERT_EQ(info.Open(mp3, 0), Mp3Info::Status::kOk);
  EXPECT_EQ(info.GetSampleRate(), e.expectedSampleRate);
  EXPECT_NEAR(static_cast<double>(info.GetLengthSeconds()), e.seconds, 1.0);
  EXPECT_EQ(ReadCaption(mp3), "Generator - Tone");
}

INSTANTIATE_TEST_SUITE_P(
    Lame, EncoderOutputTest,
    ::testing::Values(Encoding{"cbr_128", 44100, 2, 7.3, "-b 128", 44100},
                      Encoding{"cbr_no_info_frame", 44100, 2, 4.6, "-b 192 -t", 44100},
                      Encoding{"vbr_v2", 44100, 2, 6.6, "-V 2", 44100},
                      Encoding{"mpeg2_mono_vbr", 22050, 1, 9.4, "-V 2", 22050},
                      Encoding{"mpeg2_mono_cbr", 22050, 1, 8.2, "-b 32", 22050},
                      Encoding{"mpeg25_mono_vbr", 8000, 1, 5.2, "-V 5", 8000}),
    [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sorvina::media
