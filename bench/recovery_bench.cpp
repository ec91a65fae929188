// SPDX-License-Identifier: GPL-3.0-or-later
// The next run's recovery of a fill cut off part-way, from a journal of 200,000 lines: a
// fill of 100,000 songs in 1,000 folders of 100, each placed ("place" line) and then moved
// by the order work into its folder's temporary ("move" line), cut off before any folder
// was whole again. Reading the journal and finishing the fill, against reading the journal
// alone, where its songs are gone from the player (each is looked for where each move took
// it and then by content in every folder the fill worked in), and where they are all where
// the last move took them (each one's fingerprint is read; the player is left as it is).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "bench/ratio_reporter.h"
#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "engine/fill/fill_recovery.h"
#include "platform/content_fingerprint.h"

namespace {

using sorvina::engine::JournalEntry;

constexpr int kSongs = 100'000;
constexpr int kSongsPerFolder = 100;

const sorvina::platform::FingerprintKey& Key() {
  static const sorvina::platform::FingerprintKey key(std::string(32, 'k'));
  return key;
}

// The parts put together, one after another.
std::string Text(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts)
    text += part;
  return text;
}

std::string FolderOf(int song) {
  return Text({"Album ", std::to_string(song / kSongsPerFolder)});
}

std::string NameOf(int song) {
  return Text({"t", std::to_string(song), ".mp3"});
}

std::string BytesOf(int song) {
  return Text({"song ", std::to_string(song)});
}

std::string TemporaryOf(int song) {
  return Text({".", FolderOf(song), ".0123456789abcdef.order"});
}

// The journal's text, sealed with Key().
const std::string& JournalText() {
  static const std::string text = [] {
    constexpr std::int64_t kTime = 1'700'000'000;
    std::string journal = sorvina::engine::FormatJournalStart(
        kTime, true, sorvina::engine::JournalSeal(kTime, true, Key()));
    for (int i = 0; i < kSongs; ++i) {
      const auto fingerprint = sorvina::platform::FingerprintOfBytes(BytesOf(i), Key());
      journal += sorvina::engine::FormatJournalLine({JournalEntry::Kind::kPlace,
                                                     Text({FolderOf(i), "/", NameOf(i)}),
                                                     fingerprint.sizeBytes,
                                                     {kTime, 0},
                                                     Text({"/music/", FolderOf(i), "/", NameOf(i)}),
                                                     {},
                                                     fingerprint.digest});
    }
    for (int i = 0; i < kSongs; ++i)
      journal += sorvina::engine::FormatJournalLine({JournalEntry::Kind::kMove,
                                                     Text({FolderOf(i), "/", NameOf(i)}),
                                                     0,
                                                     {},
                                                     {},
                                                     Text({TemporaryOf(i), "/", NameOf(i)})});
    return journal;
  }();
  return text;
}

// The folders made for the players, removed at the end.
std::vector<std::string> made;

// A folder of its own below TMPDIR.
std::string MadeFolder(const char* name) {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern = Text({temporary != nullptr ? temporary : "/tmp", "/", name});
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  made.push_back(pattern);
  return pattern;
}

// An empty player.
const std::string& EmptyPlayer() {
  static const std::string path = MadeFolder("sorvina-recovery-bench-XXXXXX");
  return path;
}

// A player that holds every song where the journal's last move took it.
const std::string& FullPlayer() {
  static const std::string path = [] {
    const std::string player = MadeFolder("sorvina-recovery-bench-XXXXXX");
    for (int i = 0; i < kSongs; ++i) {
      const std::string folder = Text({player, "/", TemporaryOf(i)});
      if (i % kSongsPerFolder == 0 && mkdir(folder.c_str(), 0777) != 0) std::abort();
      const std::string bytes = BytesOf(i);
      std::FILE* song = std::fopen(Text({folder, "/", NameOf(i)}).c_str(), "wb");
      if (song == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), song) != bytes.size() ||
          std::fclose(song) != 0)
        std::abort();
    }
    return player;
  }();
  return path;
}

void BM_ReadJournal(benchmark::State& state) {
  const std::string& text = JournalText();
  for (auto _ : state) {
    const sorvina::engine::ParsedJournal parsed = sorvina::engine::ParseFillJournal(text);
    benchmark::DoNotOptimize(parsed.journal.entries.data());
  }
}

// Recovers the fill from its journal on `player`, cleaning up after it where `clean`.
void Recover(benchmark::State& state, const std::string& player, bool clean) {
  const std::string& text = JournalText();
  const sorvina::engine::FileOwnership ownership(Key());
  const auto destination = sorvina::platform::ContainedFolder::Open(player);
  if (!destination) std::abort();
  std::size_t found = 0;
  for (auto _ : state) {
    const sorvina::engine::ParsedJournal parsed = sorvina::engine::ParseFillJournal(text);
    const auto recovered = sorvina::engine::RecoverInterruptedFill(
        parsed.journal, *destination, nullptr, clean, ".sorvina", ownership);
    found = recovered ? recovered->files.size() : 0;
  }
  state.counters["found"] = static_cast<double>(found);
}

void BM_RecoverFillSongsGone(benchmark::State& state) {
  Recover(state, EmptyPlayer(), true);
}

// Without cleaning up, which would put the songs back and leave the next run nothing to do.
void BM_RecoverFillSongsThere(benchmark::State& state) {
  Recover(state, FullPlayer(), false);
}

BENCHMARK(BM_ReadJournal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecoverFillSongsGone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecoverFillSongsThere)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  sorvina::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRecovery / reading the journal alone (same run):\n");
  reporter.PrintRatio("200,000 lines, the 100,000 songs gone", "BM_RecoverFillSongsGone",
                      "BM_ReadJournal");
  reporter.PrintRatio("200,000 lines, the 100,000 songs there", "BM_RecoverFillSongsThere",
                      "BM_ReadJournal");
  reporter.Record("Fill",
                  "recovery of a fill cut off, 200,000 journal lines, its 100,000 songs gone",
                  "BM_RecoverFillSongsGone", "reading the journal alone", "BM_ReadJournal", "<1s");
  reporter.Record("Fill",
                  "recovery of a fill cut off, 200,000 journal lines, its 100,000 songs there "
                  "(each fingerprinted)",
                  "BM_RecoverFillSongsThere", "reading the journal alone", "BM_ReadJournal", "-");
  for (const std::string& folder : made)
    std::filesystem::remove_all(folder);
  benchmark::Shutdown();
  return 0;
}
