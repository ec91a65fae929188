// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of filling: a draw that goes on past files that do not fit, over 100,000
// candidates of 1 to 9 MB with an allowance that takes about 20,000 of them, against the
// classic draw of the same pool and allowance, which stops at the first file that does
// not fit. The fill keeps the candidates sorted by size to know when nothing left can
// fit; that, and the draws past the first miss, are what it adds. The balanced draw (an
// equal chance per folder, 2,000 folders of 50) and the draw of whole albums, each with
// its grouping of the pool, are set against the same classic draw.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engine/draw/draw_shaping.h"
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
    candidates.push_back(
        {"/music/album" + std::to_string(i % 2000) + "/track" + std::to_string(i) + ".mp3",
         size(random), 1.0});
  return candidates;
}

enum class Shape { kClassic, kFill, kBalanced, kAlbums };

template <Shape shape>
void BM_Draw(benchmark::State& state) {
  using namespace sorvina::engine;
  const std::vector<Candidate> library = Library();
  const DrawLimit limit{DrawLimit::Kind::kBytes, kTaken * 5 * kMegabyte, shape == Shape::kFill};
  DrawTagTable tags;
  if (shape == Shape::kAlbums) {
    for (const Candidate& candidate : library)
      tags.Add(candidate.path, std::nullopt);  // albums by their folders
  }
  std::size_t chosen = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto pool = std::make_unique<CandidatePool>();
    for (const Candidate& candidate : library)
      pool->Add(candidate.path, candidate.sizeBytes, candidate.weight);
    RandomGenerator random;
    random.Seed(1);
    state.ResumeTiming();
    std::vector<PooledCandidate> drawn;
    if (shape == Shape::kBalanced) {
      drawn = DrawGrouped(*pool, random, limit, GroupsOf(*pool, DrawBalance::kFolder, nullptr));
    } else if (shape == Shape::kAlbums) {
      drawn = DrawAlbums(*pool, random, limit, AlbumsOf(*pool, tags));
    } else {
      drawn = DrawCandidates(*pool, random, limit, {}, DrawMethod::kFastest);
    }
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

BENCHMARK_TEMPLATE(BM_Draw, Shape::kClassic)->Name("BM_ClassicDraw")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Draw, Shape::kFill)->Name("BM_FillDraw")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Draw, Shape::kBalanced)
    ->Name("BM_BalancedDraw")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Draw, Shape::kAlbums)->Name("BM_AlbumDraw")->Unit(benchmark::kMillisecond);

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
  reporter.PrintRatio("balanced per folder, 2,000 folders", "BM_BalancedDraw", "BM_ClassicDraw");
  reporter.Record("Draw", "equal chance per folder (2,000 of 50 files), about 20,000 taken",
                  "BM_BalancedDraw", "classic draw, same pool and amount", "BM_ClassicDraw", "-");
  reporter.PrintRatio("whole albums, 2,000 albums", "BM_AlbumDraw", "BM_ClassicDraw");
  reporter.Record("Draw", "whole albums (2,000 of 50 files), about 20,000 taken", "BM_AlbumDraw",
                  "classic draw, same pool and amount", "BM_ClassicDraw", "-");
  benchmark::Shutdown();
  return 0;
}
