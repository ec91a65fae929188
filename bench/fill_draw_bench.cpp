// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of filling: a draw that goes on past files that do not fit, over 100,000
// candidates of 1 to 9 MB with an allowance that takes about 20,000 of them, against the
// classic draw of the same pool and allowance, which stops at the first file that does
// not fit. The fill keeps the candidates sorted by size to know when nothing left can
// fit; that, and the draws past the first miss, are what it adds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engine/draw/weighted_draw.h"

namespace {

using sorvina::engine::Candidate;
using sorvina::engine::CandidatePool;
using sorvina::engine::DrawLimit;
using sorvina::engine::DrawMethod;

constexpr int kCandidates = 100'000;
constexpr std::int64_t kTaken = 20'000;
constexpr std::int64_t kMegabyte = 1'048'576;

std::vector<Candidate> Library() {
  std::mt19937 random(3);
  std::uniform_int_distribution<std::int64_t> size(kMegabyte, 9 * kMegabyte);
  std::vector<Candidate> candidates;
  for (int i = 0; i < kCandidates; ++i)
    candidates.push_back({"/music/album/track" + std::to_string(i) + ".mp3", size(random), 1.0});
  return candidates;
}

template <bool fill>
void BM_Draw(benchmark::State& state) {
  const std::vector<Candidate> library = Library();
  const DrawLimit limit{DrawLimit::Kind::kBytes, kTaken * 5 * kMegabyte, fill};
  std::size_t chosen = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto pool = std::make_unique<CandidatePool>();
    for (const Candidate& candidate : library)
      pool->Add(candidate.path, candidate.sizeBytes, candidate.weight);
    sorvina::engine::RandomGenerator random;
    random.Seed(1);
    state.ResumeTiming();
    std::vector<sorvina::engine::PooledCandidate> drawn =
        sorvina::engine::DrawCandidates(*pool, random, limit, {}, DrawMethod::kFastest);
    benchmark::DoNotOptimize(drawn.data());
    // The pool is destroyed with the clock stopped: its destructor makes the allocator
    // merge the blocks of the paths just freed.
    state.PauseTiming();
    chosen = drawn.size();
    drawn = {};
    pool.reset();
    state.ResumeTiming();
  }
  state.counters["chosen"] = static_cast<double>(chosen);
}

BENCHMARK_TEMPLATE(BM_Draw, false)->Name("BM_ClassicDraw")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Draw, true)->Name("BM_FillDraw")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFill / classic draw (same run):\n");
  reporter.PrintRatio("100,000 candidates, about 20,000 taken", "BM_FillDraw", "BM_ClassicDraw");
  reporter.Record("Draw", "fill, 100,000 candidates, about 20,000 taken", "BM_FillDraw",
                  "classic draw, same pool and amount", "BM_ClassicDraw", "-");
  benchmark::Shutdown();
  return 0;
}
