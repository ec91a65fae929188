#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/limit_choice.h"
#include "engine/run_ports.h"
#include "engine/selection_settings.h"
#include "text/path_style.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

// Replacing the previous fill of a player that holds no record of one: whether the
// copies of songs found on it count as that fill (and are replaced).
enum class AdoptCopies { kAsk, kYes, kNo };

struct SelectionRunOptions {
  // Asks the copy's questions and shows its progress; none copies without asking
  // (conflicting names are skipped).
  transfer::FileOperationUi* fileOperationOwner = nullptr;
  // The generator's seed; the clock's seconds when absent.
  std::optional<std::uint32_t> seed;
  // Choose only: create no folder, copy and write nothing.
  bool dryRun = false;
  AdoptCopies adoptCopies = AdoptCopies::kAsk;
};

// Why a run whose pool held files chose none of them.
struct NothingFits {
  bool inSeconds = false;  // the amounts are seconds; else bytes
  // `fileAmount` is the least that any file needs; else what the first file drawn needs.
  bool smallestFile = false;
  std::int64_t fileAmount = 0;
  std::int64_t limit = 0;
  bool freeSpace = false;  // the limit is the destination's free space
};

// What became of the files the previous fill of a destination put there.
struct Replacement {
  bool anyPrevious = false;  // a record of an earlier fill was found
  std::size_t removed = 0;   // removed (or, in a dry run, to be removed)
  std::size_t kept = 0;      // chosen again and left where they were
  // Left in place: changed or replaced by the user since, or they could not be removed.
  std::size_t left = 0;
};

// What a run that got to its output did: the data of the one line the front ends show
// when it is over.
struct RunSummary {
  bool copy = false;    // copied into a folder; else a playlist
  bool dryRun = false;  // chosen only: nothing was copied or written
  std::string destination = {};
  std::size_t chosenFiles = 0;
  // Copied, or written into the playlist (or, in a dry run, chosen).
  std::size_t doneFiles = 0;
  std::int64_t doneBytes = 0;
  // Their playing time where the draw measured it (the hours limit).
  std::optional<std::int64_t> doneSeconds = std::nullopt;
  // Left out on purpose: a name conflict answered Skip, a path no playlist line holds.
  std::size_t skippedFiles = 0;
  std::size_t failedFiles = 0;
  bool cancelled = false;
  std::optional<NothingFits> nothingFits = std::nullopt;
  // Replacing the previous fill: what became of its files; none when not replacing.
  std::optional<Replacement> replacement = std::nullopt;
};

struct SelectionOutcome {
  // The run got through to its output without a message, and the output succeeded
  // (a cancelled playlist counts as written; a cancelled copy does not).
  bool succeeded = false;
  // The chosen files in draw order (what was copied or listed).
  std::vector<std::string> chosenPaths;
  // Present when the run got to its output without a message of its own.
  std::optional<RunSummary> summary;
  // Replacing the previous fill: the files of it removed (in a dry run, to be removed),
  // as paths in the destination.
  std::vector<std::string> removedPaths;
  // Replacing where the player held no record of a fill: copies of songs found on it
  // that were not taken for that fill (the answer was No).
  std::size_t copiesNotAdopted = 0;
};

// The folders leading to `destination`, from the top down: every prefix that ends just
// before a separator, except the empty one and, after a drive letter ("C:\"), the drive's
// root. The text after the last separator is not a level.
std::vector<std::string> DestinationLevels(std::string_view destination,
                                           text::PathStyle style = text::NativePathStyle());

// What the last page's Finish does: checks the settings, prepares the destination,
// collects the candidates, draws files weighted by their folders until the limit is
// reached or the pool is empty, and copies them into the destination folder or writes
// them as a playlist. Every failure is shown through `ports` and ends the run; the
// settings are left as they were apart from the parsed folder weights.
//
// Beyond that, as `settings.options` and the amount ask: "free" as the amount of MB fills
// the copy destination's free space (each file charged what it takes there); `fill` keeps
// drawing past files that do not fit; `keepFolders` copies each file to its path
// relative to its source; `replacePrevious`, `avoidLast` and `devicePlaylist` make fills
// that follow one another fresh (RepeatedFill); `relative` writes a playlist's entries
// relative to its folder. After a copy, also a cancelled one, the destination's file
// system is written out to its device before the run returns.
//
// A copy writes only inside its destination, held open from the start: never through a
// link, never onto a file it did not put there, never onto the disk below a player that
// was unmounted meanwhile (the copy then stops and says so).
SelectionOutcome SelectionRun(SelectionSettings& settings, const LimitChoice& limit,
                              RunPorts& ports, const SelectionRunOptions& options = {});

}  // namespace sorvina::engine
