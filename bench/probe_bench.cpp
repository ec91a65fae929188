// The cost of probing a file for a playlist entry (playing time and caption), per file,
// over a library of 2,000 tagged files on a warm cache, next to two baselines measured
// in the same run:
//   - TagLib alone opening each file and reading its tags and length (fast properties);
//   - the floor: opening the file and reading its first 4 KiB and its last 128 bytes.
// Writing the whole library as a playlist is measured against probing it: what the writer
// adds (the lines, the temporary file, its flush and rename, the progress calls) should
// keep that ratio close to 1.
// The ratios printed at the end are what carries over between machines.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engine/playlist_writer.h"
#include "media/mp3_info.h"
#include "media/track_probe.h"
#include "tests/support/mp3_fixtures.h"

namespace {

namespace fs = std::filesystem;
using sorvina::test::FrameFormat;

constexpr int kFileCount = 2000;

std::vector<std::string>& Library() {
  static std::vector<std::string> paths;
  return paths;
}

fs::path& LibraryFolder() {
  static fs::path folder;
  return folder;
}

// A mix like a real library: half constant bitrate, half variable with a Xing frame;
// ID3v2.4 and 2.3 tags; a front cover of 40 KB on every fourth file; an ID3v1 tag on
// every other one.
void MakeLibrary(const fs::path& folder) {
  const FrameFormat format{};
  LibraryFolder() = folder;
  for (int i = 0; i < kFileCount; ++i) {
    std::string audio = i % 2 == 0 ? std::string{} : sorvina::test::XingFrame(format, 150);
    audio += sorvina::test::SilentFrames(format, 150);
    if (i % 2 == 0) audio += sorvina::test::Id3v1Tag("Old Title", "Old Artist");
    const std::string path = (folder / ("track" + std::to_string(i) + ".mp3")).string();
    std::ofstream(path, std::ios::binary)
        .write(audio.data(), static_cast<std::streamsize>(audio.size()));
    sorvina::test::WriteId3v2Texts(path, "Title " + std::to_string(i), "Artist", 3 + i % 2,
                                   i % 4 == 0 ? 40000 : 0);
    Library().push_back(path);
  }
}

void ReportPerFile(benchmark::State& state) {
  state.counters["per_file"] = benchmark::Counter(
      kFileCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Floor(benchmark::State& state) {
  std::vector<char> head(4096);
  std::vector<char> tail(128);
  for (auto _ : state) {
    for (const std::string& path : Library()) {
      const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      const off_t size = lseek(fd, 0, SEEK_END);
      benchmark::DoNotOptimize(pread(fd, head.data(), head.size(), 0));
      benchmark::DoNotOptimize(pread(fd, tail.data(), tail.size(), size - 128));
      close(fd);
    }
  }
  ReportPerFile(state);
}

void BM_Mp3Info(benchmark::State& state) {
  sorvina::media::Mp3Info info;
  for (auto _ : state) {
    for (const std::string& path : Library()) {
      info.Open(path, 0);
      benchmark::DoNotOptimize(info.GetLengthSeconds());
    }
  }
  ReportPerFile(state);
}

void BM_TagLibAlone(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& path : Library()) {
      TagLib::FileStream stream(path.c_str(), true);
      TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true,
                              TagLib::AudioProperties::Fast);
      benchmark::DoNotOptimize(file.tag()->title().to8Bit(true));
      benchmark::DoNotOptimize(file.tag()->artist().to8Bit(true));
      benchmark::DoNotOptimize(file.audioProperties()->lengthInSeconds());
    }
  }
  ReportPerFile(state);
}

void BM_Mp3InfoAndCaption(benchmark::State& state) {
  sorvina::media::TrackProbe probe;
  for (auto _ : state) {
    for (const std::string& path : Library())
      benchmark::DoNotOptimize(probe.Probe(path));
  }
  ReportPerFile(state);
}

// A front end that shows nothing and never cancels; a message means the run is broken.
class QuietPorts : public sorvina::engine::RunPorts {
 public:
  void ShowInformation(const std::string& message) override {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::abort();
  }
  void SetWaitCursor(bool) override {}
  std::unique_ptr<sorvina::engine::ProgressPort> OpenProgress(const std::string&) override {
    return std::make_unique<Progress>();
  }

 private:
  class Progress : public sorvina::engine::ProgressPort {
   public:
    void SetRange(int, int, int) override {}
    void SetPos(int position) override { benchmark::DoNotOptimize(position); }
    bool PumpAndCheckCancel() override { return false; }
  };
};

void BM_WritePlaylist(benchmark::State& state) {
  const std::string playlist = (LibraryFolder() / "mix.m3u").string();
  QuietPorts ports;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sorvina::engine::WritePlaylist(playlist, Library(), ports));
  }
  ReportPerFile(state);
}

BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3Info)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagLibAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3InfoAndCaption)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePlaylist)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string pattern = (fs::temp_directory_path() / "sorvina-probe-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  MakeLibrary(pattern);

  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (time per file, same run):\n");
  reporter.PrintRatio("Mp3Info / floor (goal <= 1.5)", "BM_Mp3Info", "BM_Floor");
  reporter.PrintRatio("Mp3Info + caption / TagLib alone (goal <= 1)", "BM_Mp3InfoAndCaption",
                      "BM_TagLibAlone");
  reporter.PrintRatio("WritePlaylist / Mp3Info + caption (goal ~1)", "BM_WritePlaylist",
                      "BM_Mp3InfoAndCaption");
  benchmark::Shutdown();
  fs::remove_all(pattern);
  return 0;
}
