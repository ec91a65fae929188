// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of probing a file for a playlist entry (playing time and caption), per file,
// over a library of 10,000 tagged files on a warm cache, next to two baselines measured
// in the same run:
//   - TagLib alone opening each file and reading its tags and length (fast properties);
//   - the floor: opening the file and reading its first 4 KiB and its last 128 bytes.
// Writing the whole library as a 10,000-entry playlist is measured against probing it:
// what the writer adds (the lines, the temporary file, its flush and rename, the progress
// calls) should keep that ratio close to 1.
// Each benchmark runs repeatedly, interleaved with the others, and its median is kept;
// the ratios printed at the end, and recorded for bench/run, are what carries over
// between machines.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/mp3_library.h"
#include "bench/ratio_reporter.h"
#include "engine/output/playlist_writer.h"
#include "media/mp3_info.h"
#include "media/track_probe.h"

namespace {

constexpr int kFileCount = 10000;
constexpr int kRepetitions = 5;

const sorvina::bench::Mp3Library* library = nullptr;

const std::vector<std::string>& Library() {
  return library->paths();
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

void BM_WritePlaylist(benchmark::State& state) {
  const std::string playlist = (library->folder() / "mix.m3u").string();
  sorvina::bench::QuietPorts ports;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sorvina::engine::WritePlaylist(playlist, Library(), ports));
  }
  ReportPerFile(state);
}

// Every file read from the disk: the system's caches are emptied before each run, which
// needs root; without, the benchmark says so and is skipped.
bool DropCaches(benchmark::State& state) {
  sync();
  std::FILE* control = std::fopen("/proc/sys/vm/drop_caches", "w");
  const bool dropped = control != nullptr && std::fputs("3\n", control) >= 0;
  if (control != nullptr && std::fclose(control) != 0) return false;
  if (!dropped) state.SkipWithError("cold cache: cannot drop the caches (needs root)");
  return dropped;
}

void WritePlaylistCold(benchmark::State& state, std::size_t probeThreads) {
  const std::string playlist = (library->folder() / "mix.m3u").string();
  sorvina::bench::QuietPorts ports;
  for (auto _ : state) {
    state.PauseTiming();
    if (!DropCaches(state)) break;
    state.ResumeTiming();
    benchmark::DoNotOptimize(
        sorvina::engine::WritePlaylist(playlist, Library(), ports, nullptr, nullptr, probeThreads));
  }
  ReportPerFile(state);
}

void BM_WritePlaylistSequentialCold(benchmark::State& state) {
  WritePlaylistCold(state, 0);
}
void BM_WritePlaylistCold(benchmark::State& state) {
  WritePlaylistCold(state, sorvina::engine::TrackReadAhead::kDefaultThreads);
}
void BM_WritePlaylistSequential(benchmark::State& state) {
  const std::string playlist = (library->folder() / "mix.m3u").string();
  sorvina::bench::QuietPorts ports;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        sorvina::engine::WritePlaylist(playlist, Library(), ports, nullptr, nullptr, 0));
  }
  ReportPerFile(state);
}

BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3Info)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagLibAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3InfoAndCaption)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePlaylist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePlaylistSequential)->Unit(benchmark::kMillisecond);
// A cold run takes seconds and empties the caches of the whole machine: three of each.
BENCHMARK(BM_WritePlaylistSequentialCold)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_WritePlaylistCold)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  sorvina::bench::InitializeWithRepetitions(argc, argv, kRepetitions);
  const sorvina::bench::Mp3Library files(kFileCount);
  library = &files;

  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (time per file, same run):\n");
  reporter.PrintRatio("Mp3Info / floor", "BM_Mp3Info", "BM_Floor");
  reporter.PrintRatio("Mp3Info + caption / TagLib alone (goal <= 1)", "BM_Mp3InfoAndCaption",
                      "BM_TagLibAlone");
  reporter.PrintRatio("WritePlaylist / Mp3Info + caption (goal <= 1.2)", "BM_WritePlaylist",
                      "BM_Mp3InfoAndCaption");
  const std::string coldOnes = "/iterations:1/repeats:3";
  reporter.PrintRatio("WritePlaylist / the same, one file at a time", "BM_WritePlaylist",
                      "BM_WritePlaylistSequential");
  reporter.PrintRatio("WritePlaylist cold / one file at a time cold (goal <= 0.5)",
                      "BM_WritePlaylistCold" + coldOnes,
                      "BM_WritePlaylistSequentialCold" + coldOnes);
  reporter.Record("Probe", "Mp3Info per file", "BM_Mp3Info", "opening, reading head and tail",
                  "BM_Floor", "-");
  reporter.Record("Probe", "Mp3Info + caption per file", "BM_Mp3InfoAndCaption",
                  "TagLib tags + length", "BM_TagLibAlone", "1.0");
  reporter.Record("Playlist", "10,000-entry playlist", "BM_WritePlaylist", "probing the same files",
                  "BM_Mp3InfoAndCaption", "1.2");
  reporter.Record("Playlist", "10,000-entry playlist, files probed ahead", "BM_WritePlaylist",
                  "the same writer, one file at a time", "BM_WritePlaylistSequential", "1.0");
  reporter.Record("Playlist", "10,000-entry playlist, cold cache",
                  "BM_WritePlaylistCold" + coldOnes,
                  "the same writer, one file at a time, cold cache",
                  "BM_WritePlaylistSequentialCold" + coldOnes, "0.5");
  benchmark::Shutdown();
  return 0;
}
