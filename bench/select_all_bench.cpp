// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of "Select all": drawing every candidate of a pool, weighted and without
// replacement, by the reference walk from the pool's head at every attempt (about n^2/2
// additions for n candidates) and by the fast path over a prefix-sum tree (O(n log n)),
// which selects the very same files; each with the default weights and with mixed ones
// whose running sums round. Next to them, in the same run, the floor of any selection: a
// uniform shuffle of the same n candidates (std::shuffle, linear).
//
// Usage: sorvina-select-all-bench [--plot-data=FILE] [Google Benchmark flags]
//   --plot-data=FILE  also write "CANDIDATES<TAB>REFERENCE_S<TAB>FAST_S<TAB>MIXED_REFERENCE_S
//                     <TAB>MIXED_FAST_S" lines for the plot of time against library size
//                     ("-" where a size was not measured)

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engine/draw/weighted_draw.h"

namespace {

using sorvina::engine::Candidate;
using sorvina::engine::CandidatePool;
using sorvina::engine::DrawMethod;

// Sizes of the plot; the reference walk stops where one run would take minutes.
constexpr std::int64_t kSizes[] = {1'000, 3'000, 10'000, 30'000, 100'000, 300'000, 1'000'000};
constexpr std::int64_t kLargestReferenceSize = 100'000;

// The weights of a library: all the default 1.0, or mixed as the weight dialog's two
// decimals make them, whose running sums round.
enum class Weights { kDefault, kMixed };

std::vector<Candidate> Library(std::int64_t size, Weights weights = Weights::kDefault) {
  static constexpr double kMixed[] = {1.10, 0.30, 2.33, 1.00};
  std::vector<Candidate> candidates;
  candidates.reserve(static_cast<std::size_t>(size));
  for (std::int64_t i = 0; i < size; ++i) {
    const double weight = weights == Weights::kDefault ? 1.0 : kMixed[i / 7 % 4];
    candidates.push_back(
        {"/music/artist/album/track" + std::to_string(i) + ".mp3", 4'000'000, weight});
  }
  return candidates;
}

template <DrawMethod method, Weights weights>
void BM_SelectAll(benchmark::State& state) {
  const std::vector<Candidate> library = Library(state.range(0), weights);
  for (auto _ : state) {
    state.PauseTiming();
    auto pool = std::make_unique<CandidatePool>();
    for (const Candidate& candidate : library)
      pool->Add(candidate.path, candidate.sizeBytes, candidate.weight);
    sorvina::engine::RandomGenerator random;
    random.Seed(1);
    state.ResumeTiming();
    std::vector<sorvina::engine::PooledCandidate> chosen =
        sorvina::engine::DrawCandidates(*pool, random, {}, {}, method);
    benchmark::DoNotOptimize(chosen.data());
    // Releasing the selection and the pool is not part of choosing. The pool is destroyed
    // here too, not at the end of the loop's body where the clock runs again: the first
    // large block it frees makes the allocator merge the million small blocks of the paths
    // just freed, which takes twice as long as the draw itself.
    state.PauseTiming();
    chosen = {};
    pool.reset();
    state.ResumeTiming();
  }
}

void BM_Shuffle(benchmark::State& state) {
  const std::vector<Candidate> library = Library(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Candidate> copy = library;
    std::mt19937 random(1);
    state.ResumeTiming();
    std::shuffle(copy.begin(), copy.end(), random);
    benchmark::DoNotOptimize(copy.data());
    state.PauseTiming();
    copy = {};
    state.ResumeTiming();
  }
}

void ReferenceSizes(benchmark::internal::Benchmark* benchmark) {
  for (const std::int64_t size : kSizes) {
    if (size <= kLargestReferenceSize) benchmark->Arg(size);
  }
}
void AllSizes(benchmark::internal::Benchmark* benchmark) {
  for (const std::int64_t size : kSizes)
    benchmark->Arg(size);
}

BENCHMARK_TEMPLATE(BM_SelectAll, DrawMethod::kReferenceWalk, Weights::kDefault)
    ->Name("BM_SelectAllReferenceWalk")
    ->Apply(ReferenceSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_SelectAll, DrawMethod::kFastest, Weights::kDefault)
    ->Name("BM_SelectAllFastPath")
    ->Apply(AllSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_SelectAll, DrawMethod::kReferenceWalk, Weights::kMixed)
    ->Name("BM_SelectAllMixedReferenceWalk")
    ->Apply(ReferenceSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_SelectAll, DrawMethod::kFastest, Weights::kMixed)
    ->Name("BM_SelectAllMixedFastPath")
    ->Apply(AllSizes)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shuffle)->Apply(AllSizes)->Unit(benchmark::kMillisecond);

bool WritePlotData(const char* file, const sorvina::bench::RatioReporter& reporter) {
  std::FILE* out = std::fopen(file, "w");
  if (out == nullptr) return false;
  std::fprintf(out,
               "# candidates\treference walk (s)\tfast path (s)\treference walk, mixed weights "
               "(s)\tfast path, mixed weights (s)\n");
  for (const std::int64_t size : kSizes) {
    const std::string suffix = std::string(1, '/').append(std::to_string(size));
    std::fprintf(out, "%lld", static_cast<long long>(size));
    for (const char* series : {"BM_SelectAllReferenceWalk", "BM_SelectAllFastPath",
                               "BM_SelectAllMixedReferenceWalk", "BM_SelectAllMixedFastPath"}) {
      const double seconds = reporter.Seconds(series + suffix);
      seconds < 0 ? std::fprintf(out, "\t-") : std::fprintf(out, "\t%.6g", seconds);
    }
    std::fprintf(out, "\n");
  }
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* plotData = nullptr;
  constexpr const char kPlotOption[] = "--plot-data=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kPlotOption, sizeof kPlotOption - 1) == 0) {
      plotData = argv[i] + sizeof kPlotOption - 1;
      std::copy(argv + i + 1, argv + argc, argv + i);
      --argc;
      break;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nReference walk / fast path, and fast path / shuffle (same run):\n");
  for (const std::int64_t size : kSizes) {
    const std::string suffix = std::string(1, '/').append(std::to_string(size));
    const std::string label = "n = " + std::to_string(size);
    reporter.PrintRatio((label + ", reference / fast").c_str(),
                        "BM_SelectAllReferenceWalk" + suffix, "BM_SelectAllFastPath" + suffix);
    reporter.PrintRatio((label + ", fast / shuffle").c_str(), "BM_SelectAllFastPath" + suffix,
                        "BM_Shuffle" + suffix);
    reporter.PrintRatio((label + ", mixed, reference / fast").c_str(),
                        "BM_SelectAllMixedReferenceWalk" + suffix,
                        "BM_SelectAllMixedFastPath" + suffix);
    reporter.PrintRatio((label + ", mixed, fast / shuffle").c_str(),
                        "BM_SelectAllMixedFastPath" + suffix, "BM_Shuffle" + suffix);
  }
  reporter.Record("Draw", "select all, 100,000 candidates", "BM_SelectAllFastPath/100000",
                  "reference walk", "BM_SelectAllReferenceWalk/100000", "-");
  reporter.Record("Draw", "select all, 1,000,000 candidates", "BM_SelectAllFastPath/1000000",
                  "uniform shuffle", "BM_Shuffle/1000000", "2");
  reporter.Record("Draw", "select all, 100,000 candidates, mixed weights",
                  "BM_SelectAllMixedFastPath/100000", "reference walk, mixed weights",
                  "BM_SelectAllMixedReferenceWalk/100000", "-");
  reporter.Record("Draw", "select all, 1,000,000 candidates, mixed weights",
                  "BM_SelectAllMixedFastPath/1000000", "uniform shuffle", "BM_Shuffle/1000000",
                  "<1s");
  if (plotData != nullptr && !WritePlotData(plotData, reporter)) {
    std::fprintf(stderr, "sorvina-select-all-bench: cannot write %s\n", plotData);
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
