// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/console.h"
#include "cli/console_ports.h"
#include "engine/settings/extra_options.h"

namespace sorvina::cli {

// The selection mode's command line after parsing. What is absent is taken from the
// settings file, when one is given.
struct SelectionRequest {
  std::optional<std::string> settingsFile;
  std::optional<std::vector<std::string>> sources;
  std::optional<std::vector<std::string>> weightEntries;  // entry texts, see WeightEntryText
  std::optional<std::string> copyTo;
  std::optional<std::string> playlist;
  // Amounts are passed on as typed; the selection run judges them.
  std::optional<std::string> megabytes;
  std::optional<std::string> hours;
  bool all = false;
  // Options beyond the classic run: given, they are set whatever a settings file says.
  bool fill = false;
  bool keepFolders = false;
  bool replacePrevious = false;
  // Copies of songs on a player without a record count as its previous fill (run only).
  bool adoptCopies = false;
  std::optional<int> avoidLast;  // 0 switches a settings file's value off
  std::optional<std::string> devicePlaylist;
  bool relative = false;
  std::optional<std::uint32_t> seed;
  bool dryRun = false;
  std::optional<std::string> saveSettings;
  std::optional<ConflictPolicy> onConflict;
  bool quiet = false;
  // Names of the file types to choose, each known.
  std::optional<std::vector<std::string>> fileTypes;
  std::optional<std::string> player;  // "any" switches a settings file's player off
  bool order = false;
  bool number = false;
  std::optional<std::string> convert;  // "none" switches a settings file's conversion off
  std::optional<int> bitrate;
  int jobs = 0;
  std::optional<std::int64_t> cacheMegabytes;
  std::optional<double> loudness;  // LUFS
  std::optional<int> maxPerArtist;
  bool spread = false;
  std::optional<std::array<double, 6>> ratingWeights;  // unrated, then 1 to 5 stars
  std::optional<engine::DrawBalance> balance;          // kNone switches a settings file's off
  bool albums = false;
  // Play history: its files (made absolute), "heard" or "all" for the replacement, the
  // draw steered by it; 0 days switches a settings file's value off.
  std::optional<std::vector<std::string>> historySources;
  std::optional<std::string> replace;
  bool preferUnplayed = false;
  std::optional<int> avoidPlayedDays;
  // Filters; given, they replace a settings file's.
  std::optional<std::vector<std::string>> excludePatterns;
  std::optional<std::vector<std::string>> genres;
  std::optional<std::vector<std::string>> notGenres;
  std::optional<std::pair<int, int>> years;
  std::optional<std::pair<int, int>> lengthSeconds;
  std::optional<int> addedWithinDays;
  bool skipDuplicates = false;
  // Folders of books (made absolute), and how many hours of them go on the player.
  std::optional<std::vector<std::string>> bookFolders;
  std::optional<double> booksAheadHours;
  bool splitChapters = false;
};

// Turns "W=FOLDER" into a folder-weight entry text: W with two decimals, one blank, and
// FOLDER ending in exactly one '/'. Nothing when W is not wholly a finite decimal number
// or FOLDER is empty.
std::optional<std::string> WeightEntryText(std::string_view option);

// Saves the settings (with --save-settings) or runs the selection, reporting on the
// console. Returns the exit status.
int RunSelection(const SelectionRequest& request, const Console& console);

}  // namespace sorvina::cli
