// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions of real encoder output (ffmpeg and opusenc, with tags and an 800x800 cover)
// into MP3, AAC and Opus: the sound's length, rate and level as our decoder reads them,
// the tags and pictures as ffprobe reads them, and every failure leaving nothing behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/codec_messages.h"
#include "media/codecs.h"
#include "media/codecs/audio_decoder.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

using codecs::AudioDecoder;
using codecs::DecodeStatus;
using codecs::SampleLayout;
using test::ShellQuoted;

bool Exists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

std::string CommandOutput(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[4096];
    for (std::size_t read; (read = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
      output.append(chunk, read);
    pclose(pipe);
  }
  return output;
}

struct Decoded {
  std::int64_t frames = 0;
  int sampleRate = 0;
  int kbps = 0;
  double peakDb = -200;  // of the samples

  double seconds() const { return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0; }
};

// The whole file (or bytes) through AudioDecoder at its own layout.
Decoded Decode(const std::string& path, const std::string* bytes = nullptr) {
  AudioDecoder decoder;
  const DecodeStatus opened =
      bytes != nullptr ? decoder.OpenBytes(
                             {reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size()})
                       : decoder.Open(path);
  Decoded decoded;
  if (opened != DecodeStatus::kOk) {
    ADD_FAILURE() << path << ": " << decoder.reason();
    return decoded;
  }
  decoded.sampleRate = decoder.info().sampleRate;
  decoded.kbps = decoder.info().bitrateKbps;
  std::vector<float> samples;
  DecodeStatus status;
  float peak = 0;
  while ((status = decoder.Read(samples)) == DecodeStatus::kOk) {
    decoded.frames += static_cast<std::int64_t>(samples.size()) / decoder.info().channels;
    for (const float sample : samples)
      peak = std::max(peak, std::fabs(sample));
  }
  EXPECT_EQ(status, DecodeStatus::kEnd) << path << ": " << decoder.reason();
  decoded.peakDb = 20 * std::log10(std::max(peak, 1e-10F));
  return decoded;
}

// What ffprobe reads: the tags under lower-case names, and the attached picture as its
// codec and size ("mjpeg 500x375"; empty without one).
struct Probed {
  std::map<std::string, std::string> tags;
  std::string picture;
};

Probed Probe(const std::string& path) {
  const std::string lines = CommandOutput(
      "ffprobe -v error -show_entries stream=codec_type,codec_name,width,height:stream_tags:"
      "format_tags " +
      ShellQuoted(path));
  Probed probed;
  std::map<std::string, std::string> stream;
  for (const std::string& line : test::LinesOf(lines)) {
    const std::size_t equals = line.find('=');
    std::string key = line.substr(0, equals);
    if (key == "[STREAM]") {
      stream.clear();
    } else if (key == "[/STREAM]" && stream["codec_type"] == "video") {
      probed.picture = stream["codec_name"] + " " + stream["width"] + "x" + stream["height"];
    } else if (key.rfind("TAG:", 0) == 0) {
      std::transform(key.begin(), key.end(), key.begin(), ::tolower);
      probed.tags[key.substr(4)] = line.substr(equals + 1);
    } else if (equals != std::string::npos) {
      stream[key] = line.substr(equals + 1);
    }
  }
  return probed;
}

constexpr const char* kTags =
    " -metadata artist=Generator -metadata title=Tone -metadata album=Signals"
    " -metadata album_artist=Lab -metadata track=3/12 -metadata date=2019 -metadata genre=Test"
    " -metadata REPLAYGAIN_TRACK_GAIN='-6.50 dB' -metadata REPLAYGAIN_TRACK_PEAK=0.250000 ";
const char* const kCarried[] = {"artist", "title", "album", "album_artist",
                                "track",  "date",  "genre", "replaygain_track_gain"};

// Sources made once for every test: three seconds of tone (a loud one for the gain),
// tagged, with the cover attached where the container takes one.
class ConversionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!test::ProgramsInstalled({"ffmpeg", "ffprobe", "opusenc"})) return;
    dir_ = new test::TempDir;
    const std::string cover = *dir_ / "cover.png";
    const std::string ffmpeg = "ffmpeg -v error -y ";
    const std::string tone = "-f lavfi -i sine=frequency=440:duration=3:sample_rate=";
    const std::string withCover =
        " -i " + ShellQuoted(cover) + " -map 0 -map 1 -c:v copy -disposition:v attached_pic";
    const std::string commands[] = {
        ffmpeg + "-f lavfi -i testsrc=size=800x800 -frames:v 1 " + ShellQuoted(cover),
        ffmpeg + tone + "96000" + withCover + kTags + "-c:a flac " + Path("source96.flac"),
        ffmpeg + tone + "44100" + withCover + kTags + "-ac 2 -c:a libmp3lame " + Path("source.mp3"),
        ffmpeg + tone + "44100" + withCover + kTags + "-c:a aac " + Path("aac.m4a"),
        ffmpeg + tone + "44100" + withCover + kTags + "-c:a alac " + Path("alac.m4a"),
        ffmpeg + tone + "48000 " + Path("tone48.wav"),
        "opusenc --quiet --artist Generator --title Tone --album Signals --date 2019"
        " --genre Test --comment ALBUMARTIST=Lab --comment TRACKNUMBER=3/12"
        " --comment 'REPLAYGAIN_TRACK_GAIN=-6.50 dB' --picture " +
            ShellQuoted(cover) + " " + Path("tone48.wav") + " " + Path("source.opus"),
        ffmpeg + tone + "44100 -c:a libvorbis " + Path("vorbis.ogg"),
        ffmpeg + tone + "44100 -c:a wmav2 " + Path("wma.wma"),
        ffmpeg + tone + "44100 " + Path("pcm.wav"),
        ffmpeg + tone + "44100 " + Path("pcm.aiff"),
        // A small picture of another kind before a wide front cover.
        ffmpeg + "-f lavfi -i testsrc=size=100x100 -frames:v 1 " + Path("other.png"),
        ffmpeg + "-f lavfi -i testsrc=size=800x600 -frames:v 1 " + Path("wide.png"),
        ffmpeg + tone + "44100 -i " + Path("other.png") + " -i " + Path("wide.png") +
            " -map 0 -map 1 -map 2 -c:v copy -disposition:v attached_pic"
            " -metadata:s:v:0 comment=Other -metadata:s:v:1 'comment=Cover (front)'" +
            kTags + Path("two_pictures.mp3"),
        // Peaks at -12 dBFS; REPLAYGAIN_TRACK_PEAK states it.
        ffmpeg + "-f lavfi -i aevalsrc='0.25*sin(2*PI*997*t)|0.25*sin(2*PI*997*t)':s=44100:d=3" +
            kTags + "-c:a flac " + Path("quarter.flac"),
        // The same, its gains written with the minus sign U+2212 or a decimal comma.
        ffmpeg + "-f lavfi -i aevalsrc='0.25*sin(2*PI*997*t)':s=44100:d=1" +
            " -metadata 'REPLAYGAIN_TRACK_GAIN=\u2212"
            "6,5 dB' -metadata 'REPLAYGAIN_ALBUM_GAIN=-6,5 dB'"
            " -metadata REPLAYGAIN_TRACK_PEAK=0,25 -c:a flac " +
            Path("comma.flac"),
    };
    for (const std::string& command : commands)
      ASSERT_TRUE(test::RunCommand(command)) << command;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (dir_ == nullptr) GTEST_SKIP() << "ffmpeg, ffprobe or opusenc is missing (scripts/setup)";
  }

  static std::string Path(const std::string& name) { return ShellQuoted(*dir_ / name); }

  static test::TempDir* dir_;
};

test::TempDir* ConversionTest::dir_ = nullptr;

struct Conversion {
  const char* name;
  const char* source;
  ConversionParams params;
  int sampleRate;       // of the output
  int kbps;             // the most the output's headers may state as its bitrate; 0: any
  const char* picture;  // the output's cover, as Probed states it
};

const Conversion kConversions[] = {
    {"flac96_to_mp3_vbr", "source96.flac", {.maxPictureSide = 500}, 48000, 0, "mjpeg 500x500"},
    // 96 kHz is not among the player's rates; 48 kHz is the nearer.
    {"flac96_to_mp3_cbr128",
     "source96.flac",
     {.bitrateKbps = 128, .sampleRates = {44100, 48000}, .id3v23 = true},
     48000,
     128,
     "png 800x800"},
    {"mp3_to_mp3_capped",
     "source.mp3",
     {.bitrateKbps = 192, .maxBitrateKbps = 160, .maxPictureSide = 0},
     44100,
     160,
     ""},
    {"opus_to_mp3_at_44k", "source.opus", {.sampleRates = {44100}}, 44100, 0, "png 800x800"},
    // The front cover, scaled to fit, keeping its aspect; a small one is kept as it is.
    {"front_cover_to_aac",
     "two_pictures.mp3",
     {.codec = TargetCodec::kAac, .maxPictureSide = 500},
     44100,
     192,
     "mjpeg 500x375"},
    {"alac_to_aac",
     "alac.m4a",
     {.codec = TargetCodec::kAac, .maxPictureSide = 900},
     44100,
     192,
     "png 800x800"},
    {"flac96_to_aac_capped",
     "source96.flac",
     {.codec = TargetCodec::kAac, .maxBitrateKbps = 128},
     96000,
     128,
     "png 800x800"},
    // Its ReplayGain is in iTunes's free-form items.
    {"our_aac_to_mp3", "flac96_to_aac_capped.tmp", {}, 48000, 0, "png 800x800"},
    {"aac_to_opus", "aac.m4a", {.codec = TargetCodec::kOpus}, 48000, 0, "png 800x800"},
    {"flac96_to_opus",
     "source96.flac",
     {.codec = TargetCodec::kOpus, .bitrateKbps = 96, .maxPictureSide = 500},
     48000,
     0,
     "mjpeg 500x500"},
};

TEST_F(ConversionTest, ConvertsKeepingLengthTagsAndCoverAsAsked) {
  for (const Conversion& c : kConversions) {
    SCOPED_TRACE(c.name);
    const std::string source = *dir_ / c.source;
    const std::string output = *dir_ / (std::string(c.name) + ".tmp");
    const std::string sourceBytes = test::ReadBytes(source);
    const TranscodeResult result = Transcode(source, output, c.params, nullptr);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(test::ReadBytes(source), sourceBytes);

    const Decoded in = Decode(source);
    const Decoded out = Decode(output);
    EXPECT_EQ(Decode(source, &sourceBytes).frames, in.frames);  // from memory, the same
    EXPECT_EQ(out.sampleRate, c.sampleRate);
    if (c.kbps > 0) {
      EXPECT_LE(out.kbps, c.kbps * 11 / 10);
    }
    const int frameSize = c.params.codec == TargetCodec::kMp3   ? 1152
                          : c.params.codec == TargetCodec::kAac ? 1024
                                                                : 960;
    EXPECT_NEAR(out.seconds(), in.seconds(), static_cast<double>(frameSize) / c.sampleRate);

    const std::string bytes = test::ReadBytes(output);
    EXPECT_EQ(result.bytes, static_cast<std::int64_t>(bytes.size()));
    EXPECT_GE(EstimatedBytes(in.seconds(), c.params), result.bytes);
    if (c.params.codec == TargetCodec::kMp3) {
      ASSERT_EQ(bytes.substr(0, 3), "ID3");
      EXPECT_EQ(bytes[3], c.params.id3v23 ? 3 : 4);
    }
    const Probed from = Probe(source);
    const Probed to = Probe(output);
    EXPECT_EQ(to.picture, c.picture);
    ASSERT_EQ(from.tags.count("artist"), 1U);
    for (const char* tag : kCarried) {
      if (from.tags.count(tag) != 0) {
        EXPECT_EQ(to.tags.count(tag) != 0 ? to.tags.at(tag) : "(none)", from.tags.at(tag)) << tag;
      }
    }
  }
}

// The gain as asked where the result stays under the ceiling, else lowered to stay under
// it, lossy coding included; the ReplayGain values corrected by what was applied.
TEST_F(ConversionTest, GainStaysUnderTheTruePeakCeiling) {
  const std::string source = *dir_ / "quarter.flac";  // peaks at -12 dB, as its tags say
  struct Case {
    TargetCodec codec;
    double gainDb;
    double leastApplied, mostApplied;  // dB
  };
  for (const Case& c :
       {Case{TargetCodec::kMp3, 6, 6, 6}, Case{TargetCodec::kMp3, 20, 10, 11.1},
        Case{TargetCodec::kAac, 20, 9, 11.1}, Case{TargetCodec::kOpus, 20, 9, 11.1}}) {
    SCOPED_TRACE(testing::Message() << TargetExtension(c.codec) << " " << c.gainDb << " dB");
    const std::string output = *dir_ / "louder.tmp";
    const TranscodeResult result =
        Transcode(source, output, {.codec = c.codec, .gainDb = c.gainDb}, nullptr);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_LE(result.peakDb, -1.0);
    const std::map<std::string, std::string> tags = Probe(output).tags;
    const double applied = -6.5 - std::atof(tags.at("replaygain_track_gain").c_str());
    EXPECT_GE(applied, c.leastApplied - 0.005);
    EXPECT_LE(applied, c.mostApplied + 0.005);
    EXPECT_NEAR(20 * std::log10(std::atof(tags.at("replaygain_track_peak").c_str()) / 0.25),
                applied, 0.01);
    const Decoded out = Decode(output);
    EXPECT_LE(out.peakDb, -1.0);
    EXPECT_NEAR(out.peakDb, -12.04 + applied, 0.7);
  }
}

// Gains as some taggers write them are read, corrected by the gain applied, and kept.
TEST_F(ConversionTest, CorrectsReplayGainWrittenWithAMinusSignOrAComma) {
  const std::string output = *dir_ / "comma.tmp";
  const TranscodeResult result = Transcode(*dir_ / "comma.flac", output, {.gainDb = 6}, nullptr);
  ASSERT_TRUE(result.ok) << result.reason;
  std::map<std::string, std::string> tags = Probe(output).tags;
  EXPECT_EQ(tags["replaygain_track_gain"], "-12.50 dB");
  EXPECT_EQ(tags["replaygain_album_gain"], "-12.50 dB");
  EXPECT_EQ(tags["replaygain_track_peak"], "0.498816");
}

TEST_F(ConversionTest, FailuresLeaveNoOutputAndTheSourceUnchanged) {
  const std::string source = *dir_ / "source.mp3";
  const std::string sourceBytes = test::ReadBytes(source);
  const std::string output = *dir_ / "failed.tmp";
  const std::atomic<bool> cancelled{true};
  struct Case {
    const char* name;
    std::string source, output;
    const std::atomic<bool>* cancel;
  };
  for (const Case& c : {
           Case{"cancelled", source, output, &cancelled},
           Case{"missing folder", source, *dir_ / "missing/folder/out.tmp", nullptr},
           Case{"onto its source", source, source, nullptr},
           Case{"not audio", dir_->WriteFile("notes.mp3", std::string(5000, 'x')), output, nullptr},
           Case{"missing source", *dir_ / "missing.flac", output, nullptr},
       }) {
    SCOPED_TRACE(c.name);
    const TranscodeResult result = Transcode(c.source, c.output, {}, c.cancel);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.reason.empty());
    // A failure found, not a crash of the helper (which the sanitizers end it with).
    EXPECT_EQ(result.reason.find("stopped on this file"), std::string::npos) << result.reason;
    EXPECT_FALSE(c.output != source && Exists(c.output));
  }
  EXPECT_EQ(test::ReadBytes(source), sourceBytes);

  // A full medium: the file may not grow past 16 KiB.
  const std::string full = test::RunWithFileSizeLimit(16 * 1024, [&] {
    const TranscodeResult result = Transcode(source, output, {}, nullptr);
    return (result.ok ? "written" : result.reason) + (Exists(output) ? ", left behind" : "");
  });
  EXPECT_EQ(full, "cannot write the converted file: File too large");
}

// The process of this program's codec helper; -1 where none runs.
pid_t HelperPid() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string stat = test::ReadBytes(entry.path() / "stat");
    // "pid (name) state ppid ..."
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || stat.find("(sorvina-codecs)") == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    if (rest >> state >> parent && parent == getpid())
      return static_cast<pid_t>(std::stol(entry.path().filename()));
  }
  return -1;
}

// A conversion cancelled part-way, and one whose helper dies part-way (as on a file that
// crashes a decoder): each fails at once, saying why, with nothing left where its output
// was to be; the next song is converted by a new helper.
TEST_F(ConversionTest, CancelOrAHelperThatDiesLeavesNoOutputAndTheNextSongConverts) {
  test::TempDir dir;
  const std::string source = dir.WriteFile("long.wav", test::SoundWav(44100, 2, 60));
  struct Case {
    const char* name;
    bool kill;  // else cancel
    const char* reason;
  };
  for (const Case& c :
       {Case{"cancelled", false, "cancelled"},
        Case{"killed", true, "the conversion program stopped on this file (Killed)"}}) {
    SCOPED_TRACE(c.name);
    const std::string output = dir / (std::string(c.name) + ".tmp");
    std::atomic<bool> cancel = false;
    // Once the helper has made the output it is at work.
    std::jthread stopper([&] {
      for (int i = 0; i < 60000 && !Exists(output); ++i)
        usleep(1000);
      if (!c.kill) {
        cancel = true;
      } else if (const pid_t helper = HelperPid(); helper > 0) {
        kill(helper, SIGKILL);
      }
    });
    const TranscodeResult result = Transcode(source, output, {}, &cancel);
    stopper.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_FALSE(Exists(output));
  }
  const std::string output = dir / "after.mp3";
  const TranscodeResult after = Transcode(*dir_ / "pcm.wav", output, {}, nullptr);
  ASSERT_TRUE(after.ok) << after.reason;
  EXPECT_NEAR(Decode(output).seconds(), 3.0, 0.1);
}

// Every type the program chooses, at its own layout and resampled and remixed: the
// whole length, and what the stream states.
TEST_F(ConversionTest, DecoderReadsEveryTypeAtAnyLayout) {
  struct Source {
    const char* name;
    const char* codec;
    int sampleRate, channels;
  };
  for (const Source& source :
       {Source{"source96.flac", "flac", 96000, 1}, Source{"source.mp3", "mp3", 44100, 2},
        Source{"aac.m4a", "aac", 44100, 1}, Source{"alac.m4a", "alac", 44100, 1},
        Source{"source.opus", "opus", 48000, 1}, Source{"vorbis.ogg", "vorbis", 44100, 1},
        Source{"wma.wma", "wmav2", 44100, 1}, Source{"pcm.wav", "pcm_s16le", 44100, 1},
        Source{"pcm.aiff", "pcm_s16be", 44100, 1}}) {
    std::int64_t ownFrames = 0;
    for (const SampleLayout layout :
         {SampleLayout{}, SampleLayout{44100, 2}, SampleLayout{22050, 1}}) {
      SCOPED_TRACE(testing::Message() << source.name << " at " << layout.sampleRate << " Hz, "
                                      << layout.channels << " channels");
      AudioDecoder decoder;
      ASSERT_EQ(decoder.Open(*dir_ / source.name), DecodeStatus::kOk) << decoder.reason();
      EXPECT_EQ(decoder.info().codec, source.codec);
      EXPECT_EQ(decoder.info().sampleRate, source.sampleRate);
      EXPECT_EQ(decoder.info().channels, source.channels);
      EXPECT_NEAR(decoder.info().seconds, 3.0, 0.05);
      ASSERT_EQ(decoder.SetOutput(layout), DecodeStatus::kOk);
      const SampleLayout out = decoder.outputLayout();
      std::vector<float> samples;
      std::int64_t frames = 0;
      DecodeStatus status;
      while ((status = decoder.Read(samples)) == DecodeStatus::kOk) {
        ASSERT_EQ(samples.size() % static_cast<std::size_t>(out.channels), 0U);
        frames += static_cast<std::int64_t>(samples.size()) / out.channels;
      }
      EXPECT_EQ(status, DecodeStatus::kEnd) << decoder.reason();
      // Lossy decoders may keep the encoder's last padding: at most one frame of 2048.
      EXPECT_NEAR(static_cast<double>(frames) / out.sampleRate, 3.0, 0.05);
      if (layout.sampleRate == 0) ownFrames = frames;
      // Resampling keeps every sample: the resampler's delay is flushed at the end.
      EXPECT_NEAR(static_cast<double>(frames),
                  static_cast<double>(ownFrames) * out.sampleRate / source.sampleRate, 2);
    }
  }
}

TEST_F(ConversionTest, DecoderFailsCleanlyAndFinally) {
  const std::string mp3 = test::ReadBytes(*dir_ / "source.mp3");
  const std::string m4a = test::ReadBytes(*dir_ / "alac.m4a");
  const std::string text(5000, 'x');
  AudioDecoder decoder;
  for (const std::string* bytes : {&text, &m4a}) {
    const std::string cut = bytes->substr(0, bytes->size() / 2);  // the index is at the end
    EXPECT_NE(decoder.OpenBytes({reinterpret_cast<const unsigned char*>(cut.data()), cut.size()}),
              DecodeStatus::kOk);
    EXPECT_FALSE(decoder.reason().empty());
    std::vector<float> samples;
    EXPECT_NE(decoder.Read(samples), DecodeStatus::kOk);
    EXPECT_TRUE(samples.empty());
  }
  // An MP3 cut inside a frame half way through its audio, after its tag (and cover), is
  // half as long.
  std::size_t tag = 10;
  for (int i = 6; i < 10; ++i)
    tag += static_cast<std::size_t>(mp3[i] & 0x7F) << (7 * (9 - i));
  const std::string half = mp3.substr(0, tag + (mp3.size() - tag) / 2 + 100);
  EXPECT_NEAR(Decode("half.mp3", &half).seconds(), 1.5, 0.1);
  ASSERT_EQ(decoder.Open(*dir_ / "source.mp3"), DecodeStatus::kOk);
  std::vector<float> samples;
  ASSERT_EQ(decoder.Read(samples), DecodeStatus::kOk);
  EXPECT_EQ(decoder.SetOutput({44100, 1}), DecodeStatus::kUnsupported);
}

TEST(ConversionParamsTest, KeyChangesWithEveryFieldAndNotWithTheOrderOfRates) {
  const ConversionParams base{.sampleRates = {44100, 48000}};
  ConversionParams reordered = base;
  reordered.sampleRates = {48000, 44100};
  EXPECT_EQ(reordered.Key(), base.Key());
  std::vector<ConversionParams> changed(8, base);
  changed[0].codec = TargetCodec::kOpus;
  changed[1].bitrateKbps = 128;
  changed[2].maxBitrateKbps = 128;
  changed[3].sampleRates = {44100};
  changed[4].gainDb = -0.5;
  changed[5].truePeakCeilingDb = -2;
  changed[6].id3v23 = true;
  changed[7].maxPictureSide = 0;
  std::vector<std::string> keys{base.Key()};
  for (const ConversionParams& params : changed) {
    keys.push_back(params.Key());
    // The helper gets every field as it is.
    const std::optional<codec_messages::TranscodeRequest> sent = codec_messages::TranscodeRequestOf(
        codec_messages::ToFields(codec_messages::TranscodeRequest{"in.flac", "out.mp3", params}));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->params.Key(), params.Key());
    EXPECT_EQ(sent->params.sampleRates, params.sampleRates);
  }
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(std::unique(keys.begin(), keys.end()), keys.end());
}

// What the helper answers comes back exactly, silence's peak and an early end included.
TEST(ConversionParamsTest, AnswersComeBackFromTheHelperExactly) {
  const TranscodeResult result{false, "the file ends early", 0,
                               -std::numeric_limits<double>::infinity(), EarlyEnd{1.0 / 3, 180.5}};
  const std::optional<TranscodeResult> back =
      codec_messages::TranscodeResultOf(codec_messages::ToFields(result));
  ASSERT_TRUE(back && back->earlyEnd);
  EXPECT_EQ(back->reason, result.reason);
  EXPECT_EQ(back->peakDb, result.peakDb);
  EXPECT_EQ(back->earlyEnd->decodedSeconds, 1.0 / 3);
  EXPECT_EQ(back->earlyEnd->statedSeconds, 180.5);
  const std::optional<codec_messages::LoudnessAnswer> loudness = codec_messages::LoudnessAnswerOf(
      codec_messages::ToFields(codec_messages::LoudnessAnswer{Loudness{-14.123456789, -0.1}, ""}));
  ASSERT_TRUE(loudness && loudness->loudness);
  EXPECT_EQ(loudness->loudness->integratedLufs, -14.123456789);
  EXPECT_EQ(loudness->loudness->truePeakDb, -0.1);
  // Anything else is no answer.
  EXPECT_FALSE(codec_messages::TranscodeResultOf({"done", "", "x", "0", "", ""}));
}

}  // namespace
}  // namespace sorvina::media
