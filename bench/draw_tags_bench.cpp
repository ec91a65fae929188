// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of the draw tags of a song, per file, over a library of 2,000 tagged MP3 files
// on a warm system cache, each next to its baseline measured in the same run:
//   - reading them from the file, one file after another, against TagLib alone (FileRef,
//     the artist from its common tag), which they should not exceed;
//   - the same through TagsOf with an empty tag cache, on its threads;
//   - TagsOf with every file in the tag cache (held in memory, and loaded from its file),
//     against a plain scan that asks each file's status and nothing more.

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/mp3_library.h"
#include "bench/ratio_reporter.h"
#include "engine/scan/tag_cache.h"
#include "media/tags/draw_tags.h"

namespace {

constexpr int kFileCount = 2000;
constexpr int kRepetitions = 7;

const sorvina::bench::Mp3Library* library = nullptr;

const std::vector<std::string>& Library() {
  return library->paths();
}

std::string CacheFile() {
  return (library->folder() / "tags").string();
}

void ReportPerFile(benchmark::State& state) {
  state.counters["per_file"] = benchmark::Counter(
      kFileCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_TagLibAlone(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& path : Library()) {
      const TagLib::FileRef file(path.c_str());
      benchmark::DoNotOptimize(file.tag()->artist().to8Bit(true));
    }
  }
  ReportPerFile(state);
}

void BM_ReadDrawTags(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& path : Library())
      benchmark::DoNotOptimize(sorvina::media::ReadDrawTags(path));
  }
  ReportPerFile(state);
}

void BM_TagsOfCold(benchmark::State& state) {
  for (auto _ : state) {
    sorvina::engine::TagCache cache(CacheFile() + ".none");
    benchmark::DoNotOptimize(sorvina::engine::TagsOf(Library(), cache));
  }
  ReportPerFile(state);
}

void BM_StatusScan(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& path : Library()) {
      struct stat status {};
      benchmark::DoNotOptimize(stat(path.c_str(), &status));
      benchmark::DoNotOptimize(status.st_size);
    }
  }
  ReportPerFile(state);
}

void BM_TagsOfWarm(benchmark::State& state) {
  sorvina::engine::TagCache cache(CacheFile());
  for (auto _ : state)
    benchmark::DoNotOptimize(sorvina::engine::TagsOf(Library(), cache));
  ReportPerFile(state);
}

void BM_TagsOfWarmLoaded(benchmark::State& state) {
  for (auto _ : state) {
    sorvina::engine::TagCache cache(CacheFile());
    benchmark::DoNotOptimize(sorvina::engine::TagsOf(Library(), cache));
    benchmark::DoNotOptimize(cache.Save());
  }
  ReportPerFile(state);
}

BENCHMARK(BM_TagLibAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDrawTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagsOfCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatusScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagsOfWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagsOfWarmLoaded)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  sorvina::bench::InitializeWithRepetitions(argc, argv, kRepetitions);
  const sorvina::bench::Mp3Library files(kFileCount);
  library = &files;
  {
    sorvina::engine::TagCache cache(CacheFile());
    sorvina::engine::TagsOf(Library(), cache);
    if (!cache.Save()) std::fprintf(stderr, "cannot write the tag cache %s\n", CacheFile().c_str());
  }

  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (time per file, same run):\n");
  reporter.PrintRatio("Draw tags / TagLib alone (goal <= 1)", "BM_ReadDrawTags", "BM_TagLibAlone");
  reporter.PrintRatio("TagsOf, empty cache / TagLib alone", "BM_TagsOfCold", "BM_TagLibAlone");
  reporter.PrintRatio("TagsOf, all cached / status scan (goal <= 1.5)", "BM_TagsOfWarm",
                      "BM_StatusScan");
  reporter.PrintRatio("TagsOf, cache loaded and saved / status scan", "BM_TagsOfWarmLoaded",
                      "BM_StatusScan");
  reporter.Record("Draw tags", "draw tags per file, read", "BM_ReadDrawTags",
                  "TagLib FileRef + artist", "BM_TagLibAlone", "1.0");
  reporter.Record("Draw tags", "draw tags per file, empty tag cache, threads", "BM_TagsOfCold",
                  "TagLib FileRef + artist", "BM_TagLibAlone", "-");
  reporter.Record("Draw tags", "draw tags per file, all in the tag cache", "BM_TagsOfWarm",
                  "status of each file", "BM_StatusScan", "1.5");
  reporter.Record("Draw tags", "the same, cache file loaded and saved", "BM_TagsOfWarmLoaded",
                  "status of each file", "BM_StatusScan", "-");
  benchmark::Shutdown();
  return 0;
}
