// The cost of "Select all": drawing every candidate of a pool, weighted and without
// replacement, with the draw's linear walk from the pool's head at every attempt (about
// n^2/2 additions for n candidates). Next to it, in the same run, the floor of any
// selection: a uniform shuffle of n candidates (std::shuffle, linear). The ratio shows
// how far the walk is from linear at each size.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engine/weighted_draw.h"

namespace {

using sorvina::engine::Candidate;
using sorvina::engine::CandidatePool;

std::vector<Candidate> Library(std::int64_t size) {
  std::vector<Candidate> candidates;
  candidates.reserve(static_cast<std::size_t>(size));
  for (std::int64_t i = 0; i < size; ++i) {
    candidates.push_back(
        {"/music/artist/album/track" + std::to_string(i) + ".mp3", 4'000'000, 1.0});
  }
  return candidates;
}

void BM_SelectAll(benchmark::State& state) {
  const std::vector<Candidate> library = Library(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    CandidatePool pool;
    for (const Candidate& candidate : library)
      pool.Add(candidate);
    sorvina::engine::RandomGenerator random;
    random.Seed(1);
    state.ResumeTiming();
    benchmark::DoNotOptimize(sorvina::engine::DrawCandidates(pool, random, {}));
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
  }
}

BENCHMARK(BM_SelectAll)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shuffle)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nSelect all / shuffle of the same pool (same run):\n");
  for (const char* size : {"1000", "10000", "100000"}) {
    reporter.PrintRatio((std::string("n = ") + size).c_str(), std::string("BM_SelectAll/") + size,
                        std::string("BM_Shuffle/") + size);
  }
  benchmark::Shutdown();
  return 0;
}
