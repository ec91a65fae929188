// SPDX-License-Identifier: GPL-3.0-or-later
// The filters over a library of 100,000 songs, each next to its baseline in the same run:
//   - a pool collected and filtered (two path patterns, a genre list, a year range and one
//     copy of each recording), against the same pool collected and left unfiltered; the
//     tags come from memory, as a warm tag cache gives them (the cache's own cost is the
//     draw tags bench's);
//   - grouping 100,000 tagged entries into recordings, against sorting their artist and
//     title keys, the least that any grouping by names does.
// Also the memory the filters take at their peak, per song, beside the pool's own.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/mp3_library.h"
#include "bench/ratio_reporter.h"
#include "engine/draw/recording_groups.h"
#include "engine/draw/song_filters.h"

namespace {

// Bytes allocated now and at most since the last reset, for the memory figures.
std::size_t allocated = 0;
std::size_t peak = 0;

}  // namespace

void* operator new(std::size_t bytes) {
  allocated += bytes;
  peak = std::max(peak, allocated);
  // Room for the size in front, so that delete knows what it frees.
  auto* block = static_cast<std::size_t*>(std::malloc(bytes + sizeof(std::max_align_t)));
  if (block == nullptr) throw std::bad_alloc();
  *block = bytes;
  return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}
void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  auto* block =
      reinterpret_cast<std::size_t*>(static_cast<char*>(pointer) - sizeof(std::max_align_t));
  allocated -= *block;
  std::free(block);
}
void operator delete(void* pointer, std::size_t) noexcept {
  operator delete(pointer);
}

namespace {

constexpr int kSongs = 100'000;
constexpr int kRepetitions = 7;
const std::vector<std::string> kSources = {"/music"};

struct Library {
  std::vector<std::string> paths;
  std::unordered_map<std::string, sorvina::media::DrawTags> tags;
};

// 1,000 artists of 10 albums of 10 songs; every tenth song also as a FLAC copy elsewhere
// (not counted in the 100,000), half of them known by a MusicBrainz id.
const Library& Songs() {
  static const Library library = [] {
    Library made;
    const char* genres[] = {"Rock", "Pop", "Jazz", "Folk", "Classical", "Electronic"};
    for (int i = 0; i < kSongs; ++i) {
      const int artist = i / 100;
      const std::string folder =
          i % 50 == 0 ? "/Live/" : "/Album " + std::to_string(i / 10 % 10) + "/";
      const std::string path = "/music/Artist " + std::to_string(artist) + folder +
                               std::to_string(i % 10) + " Song " + std::to_string(i) + ".mp3";
      sorvina::media::DrawTags tags;
      tags.artist = "Artist " + std::to_string(artist);
      tags.title = "Song " + std::to_string(i);
      tags.genres = {genres[i % 6], genres[(i / 6) % 6]};
      tags.year = 1960 + i % 60;
      tags.seconds = 120 + i % 300;
      tags.bitrate = 192;
      made.paths.push_back(path);
      if (i % 10 == 0) {
        if (i % 20 == 0) tags.recordingId = "mb-" + std::to_string(i);
        sorvina::media::DrawTags copy = tags;
        copy.bitrate = 900;
        const std::string flac = "/music/Lossless/" + std::to_string(i) + ".flac";
        made.paths.push_back(flac);
        made.tags[flac] = copy;
      }
      made.tags[path] = tags;
    }
    return made;
  }();
  return library;
}

sorvina::engine::ExtraOptions Filters() {
  sorvina::engine::ExtraOptions options;
  options.excludePatterns = {"**/Live/*", "*.m4b"};
  options.notGenres = {"Classical"};
  options.years = {{1970, 2019}};
  options.skipDuplicates = true;
  return options;
}

void Collect(sorvina::engine::CandidatePool& pool) {
  for (const std::string& path : Songs().paths)
    pool.Add(path, 5'000'000, 1.0);
}

sorvina::engine::FilteredSongs Filter(sorvina::engine::CandidatePool& pool) {
  const Library& library = Songs();
  const sorvina::engine::SongFilterSources input{
      kSources, [&library](const std::vector<std::string>& paths, bool) {
        std::vector<sorvina::media::DrawTags> read;
        read.reserve(paths.size());
        for (const std::string& path : paths)
          read.push_back(library.tags.at(path));
        return read;
      }};
  return sorvina::engine::FilterSongs(pool, Filters(), input);
}

void BM_Unfiltered(benchmark::State& state) {
  for (auto _ : state) {
    sorvina::engine::CandidatePool pool;
    Collect(pool);
    benchmark::DoNotOptimize(pool.count());
  }
}

void BM_Filtered(benchmark::State& state) {
  for (auto _ : state) {
    sorvina::engine::CandidatePool pool;
    Collect(pool);
    benchmark::DoNotOptimize(Filter(pool));
  }
}

std::vector<sorvina::engine::RecordingFacts> Facts() {
  std::vector<sorvina::engine::RecordingFacts> facts;
  const Library& library = Songs();
  for (const std::string& path : library.paths) {
    if (facts.size() == kSongs) break;
    const sorvina::media::DrawTags& tags = library.tags.at(path);
    facts.push_back({tags.recordingId, tags.isrc, tags.artist, tags.title, *tags.seconds, true,
                     path.ends_with(".flac"), tags.bitrate});
  }
  return facts;
}

void BM_GroupRecordings(benchmark::State& state) {
  const std::vector<sorvina::engine::RecordingFacts> facts = Facts();
  for (auto _ : state)
    benchmark::DoNotOptimize(sorvina::engine::ChooseOnePerRecording(facts));
}

void BM_SortNames(benchmark::State& state) {
  const std::vector<sorvina::engine::RecordingFacts> facts = Facts();
  for (auto _ : state) {
    std::vector<std::string> keys;
    keys.reserve(facts.size());
    for (const sorvina::engine::RecordingFacts& one : facts)
      keys.push_back(one.artist + '\n' + one.title);
    std::sort(keys.begin(), keys.end());
    benchmark::DoNotOptimize(keys.data());
  }
}

BENCHMARK(BM_Unfiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filtered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupRecordings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNames)->Unit(benchmark::kMillisecond);

// Peak bytes per song: the pool collected, and the filters run over it beyond that.
void PrintMemory() {
  const std::size_t songs = Songs().paths.size();
  sorvina::engine::CandidatePool pool;
  allocated = peak = 0;
  Collect(pool);
  const std::size_t poolBytes = peak;
  allocated = peak = 0;
  const sorvina::engine::FilteredSongs left = Filter(pool);
  std::printf("Memory at the peak per song: pool %.0f bytes, filters %.0f bytes beyond it\n",
              static_cast<double>(poolBytes) / static_cast<double>(songs),
              static_cast<double>(peak) / static_cast<double>(songs));
  std::printf("Left out: %zu by pattern, %zu by genre, %zu by year; %zu duplicates; %zu kept\n",
              left.byPattern, left.byGenre, left.byYear, left.duplicates, pool.count());
}

}  // namespace

int main(int argc, char** argv) {
  sorvina::bench::InitializeWithRepetitions(argc, argv, kRepetitions);
  (void)Songs();
  PrintMemory();
  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  reporter.PrintRatio("Filtered pool / unfiltered pool", "BM_Filtered", "BM_Unfiltered");
  reporter.PrintRatio("Grouping recordings / sorting names", "BM_GroupRecordings", "BM_SortNames");
  reporter.Record("Filters",
                  "100,000 songs collected and filtered (patterns, genres, years, "
                  "one copy per recording), tags warm",
                  "BM_Filtered", "the same pool unfiltered", "BM_Unfiltered", "-");
  reporter.Record("Filters", "grouping 100,000 tagged entries into recordings",
                  "BM_GroupRecordings", "sorting their artist and title keys", "BM_SortNames", "-");
  benchmark::Shutdown();
  return 0;
}
