// SPDX-License-Identifier: GPL-3.0-or-later
// Micro-benchmarks of the structures every selection run goes through once per file: the
// duplicate filter (one RegisterPath per collected file), the candidate pool (one Add per
// file, one Remove per drawn file) and the newest-first walk the weighted draw makes.
// Each runs next to a flat baseline (PathSet, FlatPool) in the same process, so results
// read as ratios against it rather than as absolute numbers of this machine.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "text/path_style.h"

namespace {

using sorvina::engine::Candidate;
using sorvina::engine::CandidatePool;
using sorvina::engine::DuplicateFilter;
using sorvina::text::PathStyle;

constexpr int kArtists = 100;
constexpr int kAlbumsPerArtist = 20;
constexpr int kTracksPerAlbum = 50;
constexpr int kFiles = kArtists * kAlbumsPerArtist * kTracksPerAlbum;  // 100,000 in 2,000 folders

// A music library as a scan would produce it: album by album, tracks in order.
const std::vector<std::string>& LibraryPaths() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> result;
    result.reserve(kFiles);
    char buffer[128];
    for (int artist = 0; artist < kArtists; ++artist) {
      for (int album = 0; album < kAlbumsPerArtist; ++album) {
        for (int track = 1; track <= kTracksPerAlbum; ++track) {
          std::snprintf(buffer, sizeof buffer,
                        "/music/Artist %03d/Album %02d/%02d Track name %d.mp3", artist, album,
                        track, track * 7 + album);
          result.emplace_back(buffer);
        }
      }
    }
    return result;
  }();
  return paths;
}

// The library as pool candidates, with a few folder weights other than 1.
std::vector<Candidate> LibraryCandidates() {
  std::vector<Candidate> candidates;
  candidates.reserve(kFiles);
  std::int64_t size = 3'000'000;
  for (const std::string& path : LibraryPaths()) {
    const double weight = (candidates.size() / kTracksPerAlbum) % 7 == 0 ? 2.5 : 1.0;
    candidates.push_back(Candidate{path, size, weight});
    size = size * 31 % 9'000'000 + 1'000'000;
  }
  return candidates;
}

// Baseline for the duplicate filter: whole paths in one hash set, so the per-folder tree
// can be judged against the obvious flat alternative.
class PathSet {
 public:
  explicit PathSet(PathStyle) {}
  const void* RegisterPath(std::string_view path) {
    if (paths_.find(path) != paths_.end()) return nullptr;
    paths_.emplace(path);
    return this;
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_set<std::string, Hash, std::equal_to<>> paths_;
};

// Baseline for the pool: candidates in a plain vector, each with a path string of its own,
// walked from the back, removal only emptying the slot. The least any pool with stable indices
// could cost.
class FlatPool {
 public:
  using Index = CandidatePool::Index;
  static constexpr Index kNone = CandidatePool::kNone;

  explicit FlatPool(PathStyle) {}
  void Add(std::string_view path, std::int64_t sizeBytes, double weight) {
    candidates_.push_back(Candidate{std::string(path), sizeBytes, weight});
  }
  void Remove(Index) { --removed_; }
  std::size_t count() const { return candidates_.size() + removed_; }
  double totalWeight() const { return 0.0; }
  Index head() const { return candidates_.empty() ? kNone : candidates_.size() - 1; }
  Index next(Index index) const { return index == 0 ? kNone : index - 1; }
  const Candidate& operator[](Index index) const { return candidates_[index]; }

 private:
  std::vector<Candidate> candidates_;
  std::ptrdiff_t removed_ = 0;
};

template <typename Pool>
void FillPool(Pool& pool) {
  for (const Candidate& candidate : LibraryCandidates())
    pool.Add(candidate.path, candidate.sizeBytes, candidate.weight);
}

// Every path new to the filter: the cost of a first scan. The filter is built anew for
// each pass; tearing it down is left out of the timing.
template <typename Filter>
void BM_RegisterNewPaths(benchmark::State& state) {
  const std::vector<std::string>& paths = LibraryPaths();
  for (auto _ : state) {
    auto filter = std::make_unique<Filter>(PathStyle::kPosix);
    for (const std::string& path : paths)
      benchmark::DoNotOptimize(filter->RegisterPath(path));
    state.PauseTiming();
    filter.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}
BENCHMARK_TEMPLATE(BM_RegisterNewPaths, PathSet)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_RegisterNewPaths, DuplicateFilter)->Unit(benchmark::kMillisecond);

// Every path already known: the cost when the same folder is listed twice as a source.
template <typename Filter>
void BM_RegisterDuplicatePaths(benchmark::State& state) {
  const std::vector<std::string>& paths = LibraryPaths();
  Filter filter(PathStyle::kPosix);
  for (const std::string& path : paths)
    filter.RegisterPath(path);
  for (auto _ : state) {
    std::size_t accepted = 0;
    for (const std::string& path : paths)
      accepted += filter.RegisterPath(path) != nullptr;
    if (accepted != 0) state.SkipWithError("a registered path was accepted again");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}
BENCHMARK_TEMPLATE(BM_RegisterDuplicatePaths, PathSet)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_RegisterDuplicatePaths, DuplicateFilter)->Unit(benchmark::kMillisecond);

// Adding candidates, each path copied in as collection hands it over; making the
// candidates and freeing the pool are left out of the timing.
template <typename Pool>
void BM_PoolAdd(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Candidate> candidates = LibraryCandidates();
    auto pool = std::make_unique<Pool>(PathStyle::kPosix);
    state.ResumeTiming();
    for (const Candidate& candidate : candidates)
      pool->Add(candidate.path, candidate.sizeBytes, candidate.weight);
    benchmark::DoNotOptimize(pool->totalWeight());
    state.PauseTiming();
    pool.reset();
    candidates = {};
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK_TEMPLATE(BM_PoolAdd, FlatPool)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PoolAdd, CandidatePool)->Unit(benchmark::kMillisecond);

// Removing every candidate in a scattered order, as the draw takes them out one by one.
template <typename Pool>
void BM_PoolRemoveScattered(benchmark::State& state) {
  std::vector<CandidatePool::Index> order(kFiles);
  std::iota(order.begin(), order.end(), CandidatePool::Index{0});
  std::shuffle(order.begin(), order.end(), std::mt19937(20240611));
  for (auto _ : state) {
    state.PauseTiming();
    auto pool = std::make_unique<Pool>(PathStyle::kPosix);
    FillPool(*pool);
    state.ResumeTiming();
    for (const CandidatePool::Index index : order)
      pool->Remove(index);
    benchmark::DoNotOptimize(pool->totalWeight());
    if (pool->count() != 0) state.SkipWithError("candidates left after removing all");
    state.PauseTiming();
    pool.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK_TEMPLATE(BM_PoolRemoveScattered, FlatPool)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PoolRemoveScattered, CandidatePool)->Unit(benchmark::kMillisecond);

// One full walk from the newest candidate to the oldest, summing weights: what a draw
// costs at worst when the chosen candidate is the oldest one.
template <typename Pool>
void BM_PoolWalkNewestFirst(benchmark::State& state) {
  Pool pool(PathStyle::kPosix);
  FillPool(pool);
  for (auto _ : state) {
    double sum = 0.0;
    for (auto i = pool.head(); i != Pool::kNone; i = pool.next(i))
      sum += pool[i].weight;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pool.count()));
}
BENCHMARK_TEMPLATE(BM_PoolWalkNewestFirst, FlatPool)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_PoolWalkNewestFirst, CandidatePool)->Unit(benchmark::kMicrosecond);

}  // namespace

// glibc adapts its mmap threshold to the large blocks freed so far, so whether a growing
// vector gets fresh pages (and pays their faults) would depend on which benchmark ran
// before. Fixed thresholds keep freed memory in the heap: every benchmark then measures
// the structures on warm memory, as in the later runs of one session.
int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
