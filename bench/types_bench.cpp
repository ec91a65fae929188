// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of probing a file of each type for a playlist entry (playing time and caption),
// per file, next to TagLib alone reading the same files as an application would (FileRef
// with the fast audio properties, then title, artist and length); and the frame walk that
// times a variable-bitrate MP3 without a header, next to decoding that file with libmpg123.
// The files are made once by the Debian encoders (scripts/setup test installs them) from half a
// minute of sound, tagged, and given 400 names each (hard links: the cache holds one copy,
// and every run reads from a warm cache). As in the
// other benchmarks, each runs repeatedly, interleaved, and its median is kept.

#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <stdlib.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/mp3_library.h"
#include "bench/ratio_reporter.h"
#include "media/mp3_info.h"
#include "media/track_probe.h"
#include "tests/support/encoded_audio.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFilesPerType = 400;
constexpr int kRepetitions = 5;

struct TypeCase {
  const char* label;   // as the results name it
  const char* file;    // its name gives the type
  const char* encode;  // the command, {in} the source and {out} the file
};

// One file of each type; the MP3s with each kind of header.
const TypeCase kTypes[] = {
    {"mp3, constant bitrate (Info)", "cbr.mp3",
     "lame --quiet -b 192 --tt Title --ta Artist {in} {out}"},
    {"mp3, variable bitrate (Xing)", "vbr.mp3",
     "lame --quiet -V 2 --tt Title --ta Artist {in} {out}"},
    {"flac", "tone.flac", "flac -s -f --tag=TITLE=Title --tag=ARTIST=Artist -o {out} {in}"},
    {"ogg (Vorbis)", "tone.ogg", "oggenc -Q -t Title -a Artist -o {out} {in}"},
    {"opus", "tone.opus", "opusenc --quiet --title Title --artist Artist {in} {out}"},
    {"m4a (AAC)", "aac.m4a", "ffmpeg -v error -i {in} -c:a aac -metadata title=Title {out}"},
    {"m4a (ALAC)", "alac.m4a", "ffmpeg -v error -i {in} -c:a alac -metadata title=Title {out}"},
    {"wma", "tone.wma", "ffmpeg -v error -i {in} -metadata title=Title {out}"},
    {"wav", "tone.wav", "ffmpeg -v error -i {in} -metadata title=Title {out}"},
    {"aiff", "tone.aiff", "ffmpeg -v error -i {in} -write_id3v2 1 -metadata title=Title {out}"},
};

// The files of every type in a fresh temporary folder, removed with the object.
class TypeLibraries {
 public:
  TypeLibraries() {
    std::string pattern = (fs::temp_directory_path() / "sorvina-types-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    folder_ = pattern;
    const std::string wav = (folder_ / "sound.wav").string();
    std::ofstream(wav, std::ios::binary) << sorvina::test::SoundWav(44100, 2, 30);
    for (const TypeCase& type : kTypes) {
      const fs::path made = folder_ / type.file;
      Run(sorvina::test::EncodeCommand(type.encode, wav, made.string()));
      std::vector<std::string>& paths = paths_.emplace_back();
      for (int i = 0; i < kFilesPerType; ++i) {
        const fs::path name = folder_ / (std::to_string(i) + "-" + type.file);
        fs::create_hard_link(made, name);
        paths.push_back(name.string());
      }
    }
    // Two minutes at a variable bitrate with no header at all: the frames must be counted.
    std::ofstream(wav, std::ios::binary | std::ios::trunc)
        << sorvina::test::SoundWav(44100, 2, 120);
    bareVbr_ = (folder_ / "bare-vbr.mp3").string();
    Run(sorvina::test::EncodeCommand("lame --quiet -V 2 -t {in} {out}", wav, bareVbr_));
    fs::remove(wav);
  }
  ~TypeLibraries() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  const std::vector<std::string>& paths(std::size_t type) const { return paths_[type]; }
  const std::string& bareVbr() const { return bareVbr_; }

 private:
  static void Run(const std::string& command) {
    if (!sorvina::test::RunCommand(command)) throw std::runtime_error("failed: " + command);
  }

  fs::path folder_;
  std::vector<std::vector<std::string>> paths_;
  std::string bareVbr_;
};

const TypeLibraries* libraries = nullptr;

void ReportPerFile(benchmark::State& state) {
  state.counters["per_file"] = benchmark::Counter(
      kFilesPerType, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Probe(benchmark::State& state, std::size_t type) {
  sorvina::media::TrackProbe probe;
  for (auto _ : state) {
    for (const std::string& path : libraries->paths(type))
      benchmark::DoNotOptimize(probe.Probe(path));
  }
  ReportPerFile(state);
}

void BM_TagLibAlone(benchmark::State& state, std::size_t type) {
  for (auto _ : state) {
    for (const std::string& path : libraries->paths(type)) {
      const TagLib::FileRef file(path.c_str(), true, TagLib::AudioProperties::Fast);
      benchmark::DoNotOptimize(file.tag()->title().to8Bit(true));
      benchmark::DoNotOptimize(file.tag()->artist().to8Bit(true));
      benchmark::DoNotOptimize(file.audioProperties()->lengthInSeconds());
    }
  }
  ReportPerFile(state);
}

void BM_FrameWalk(benchmark::State& state) {
  sorvina::media::Mp3Info info;
  for (auto _ : state) {
    info.Open(libraries->bareVbr(), 0);
    if (info.GetLengthSource() != sorvina::media::Mp3Info::LengthSource::kCountedFrames)
      state.SkipWithError("the file was not walked");
    benchmark::DoNotOptimize(info.GetLengthSeconds());
  }
}

void BM_Decode(benchmark::State& state) {
  std::vector<unsigned char> samples(1 << 16);
  for (auto _ : state) {
    mpg123_handle* decoder = mpg123_new(nullptr, nullptr);
    if (decoder == nullptr || mpg123_open(decoder, libraries->bareVbr().c_str()) != MPG123_OK) {
      state.SkipWithError("libmpg123 cannot open the file");
      break;
    }
    // The first read reports the output format; every read after it decodes.
    std::size_t decoded = 0;
    std::size_t total = 0;
    int result = MPG123_OK;
    do {
      result = mpg123_read(decoder, samples.data(), samples.size(), &decoded);
      total += decoded;
    } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
    if (result != MPG123_DONE || total == 0) state.SkipWithError("libmpg123 did not decode it");
    benchmark::DoNotOptimize(total);
    mpg123_close(decoder);
    mpg123_delete(decoder);
  }
}

std::string ProbeName(std::size_t type) {
  return "BM_Probe/" + std::string(kTypes[type].file);
}
std::string TagLibName(std::size_t type) {
  return "BM_TagLibAlone/" + std::string(kTypes[type].file);
}

}  // namespace

int main(int argc, char** argv) {
  sorvina::bench::InitializeWithRepetitions(argc, argv, kRepetitions);
  const TypeLibraries files;
  libraries = &files;
  for (std::size_t type = 0; type < std::size(kTypes); ++type) {
    benchmark::RegisterBenchmark(ProbeName(type).c_str(), BM_Probe, type)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(TagLibName(type).c_str(), BM_TagLibAlone, type)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("BM_FrameWalk", BM_FrameWalk)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Decode", BM_Decode)->Unit(benchmark::kMillisecond);

  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (time per file, same run):\n");
  for (std::size_t type = 0; type < std::size(kTypes); ++type) {
    const std::string label = std::string("probe / TagLib alone, ") + kTypes[type].label;
    reporter.PrintRatio(label.c_str(), ProbeName(type), TagLibName(type));
    const std::string caseName = std::string(kTypes[type].label) + ": probe per file";
    reporter.Record("Types", caseName.c_str(), ProbeName(type), "TagLib alone", TagLibName(type),
                    "1.0");
  }
  reporter.PrintRatio("frame walk / decoding (goal <= 0.05)", "BM_FrameWalk", "BM_Decode");
  reporter.Record("Types", "mp3, variable bitrate, no header: frame walk", "BM_FrameWalk",
                  "decoding with libmpg123", "BM_Decode", "0.05");
  benchmark::Shutdown();
  return 0;
}
