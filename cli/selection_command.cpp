// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/selection_command.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "cli/exit_status.h"
#include "cli/status_line.h"
#include "engine/draw/play_weights.h"
#include "engine/fill/mtp_destination.h"
#include "engine/history/play_history.h"
#include "engine/player/player_lookup.h"
#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "engine/settings/settings_file.h"
#include "engine/settings/settings_text.h"
#include "text/path_style.h"

namespace sorvina::cli {
namespace {

// Why `path` could not be read as a settings file, in words.
std::string ReadFailureReason(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return error.message();
  if (std::filesystem::is_directory(status)) return "it is a folder";
  if (!std::filesystem::is_regular_file(status)) return "it is not a regular file";
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    return "it cannot be read";
  }
  return std::strerror(errno);
}

// `path` made absolute against the current directory and lexically normal ("a//b/./c"
// becomes "a/b/c"), a trailing separator kept. The wizard's pickers only ever give
// absolute paths; relative ones would make a playlist written in another folder name
// files that are not there, and a weight typed as "music/rock" would not meet the folder
// scanned from "./music".
std::string Absolute(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// The same for the folder of a weight entry text, the weight left as written.
std::string AbsoluteWeightEntry(const std::string& entryText) {
  const std::size_t blank = entryText.find(' ');
  if (blank == std::string::npos || blank + 1 == entryText.size()) return entryText;
  return entryText.substr(0, blank + 1) + Absolute(entryText.substr(blank + 1));
}

// The filters the command line gives, in place of the settings file's.
void ApplyFilters(const SelectionRequest& request, engine::ExtraOptions& options) {
  if (request.excludePatterns) options.excludePatterns = *request.excludePatterns;
  if (request.genres) options.genres = *request.genres;
  if (request.notGenres) options.notGenres = *request.notGenres;
  if (request.years) options.years = *request.years;
  if (request.lengthSeconds) options.lengthSeconds = *request.lengthSeconds;
  if (request.addedWithinDays) options.addedWithinDays = *request.addedWithinDays;
  if (request.skipDuplicates) options.skipDuplicates = true;
}

// The settings file's settings, with what the command line gives in their place. Nothing
// (after saying why) when the settings file cannot be read.
std::optional<engine::SettingsText> GatherSettings(const SelectionRequest& request,
                                                   const Console& console) {
  engine::SettingsText settings;
  if (request.settingsFile) {
    std::optional<engine::SettingsFileContents> contents =
        engine::ReadSettingsFile(*request.settingsFile);
    if (!contents) {
      console.err << "sorvina-cli: cannot read the settings file " << *request.settingsFile << ": "
                  << ReadFailureReason(*request.settingsFile) << '\n';
      return std::nullopt;
    }
    settings = std::move(contents->settings);
    // A mode no button stands for shows as the megabyte choice with nothing typed, as the
    // last page shows it.
    if (settings.limitMode < engine::kLimitMegabytes || settings.limitMode > engine::kLimitAll) {
      settings.limitMode = engine::kLimitMegabytes;
      settings.amountText.clear();
    }
  }

  if (request.sources) settings.sources = *request.sources;
  if (request.weightEntries) settings.weightEntries = *request.weightEntries;
  if (request.fileTypes) settings.options.fileTypes = *request.fileTypes;
  if (request.copyTo) {
    settings.copyToFolder = true;
    settings.destination = *request.copyTo;
  } else if (request.playlist) {
    settings.copyToFolder = false;
    settings.destination = *request.playlist;
  }
  if (request.fill) settings.options.fill = true;
  if (request.keepFolders) settings.options.keepFolders = true;
  if (request.replacePrevious) settings.options.replacePrevious = true;
  if (request.avoidLast) settings.options.avoidLast = *request.avoidLast;
  if (request.devicePlaylist) settings.options.devicePlaylist = *request.devicePlaylist;
  if (request.relative) settings.options.relative = true;
  if (request.player) settings.options.player = *request.player == "any" ? "" : *request.player;
  if (request.order) settings.options.order = true;
  if (request.number) settings.options.number = true;
  if (request.convert)
    settings.options.convert = *request.convert == "none" ? "" : *request.convert;
  if (request.bitrate) settings.options.bitrate = *request.bitrate;
  if (request.loudness) settings.options.loudness = *request.loudness;
  if (request.maxPerArtist) settings.options.maxPerArtist = *request.maxPerArtist;
  if (request.spread) settings.options.spread = true;
  if (request.ratingWeights) settings.options.ratingWeights = *request.ratingWeights;
  if (request.balance) settings.options.balance = *request.balance;
  if (request.albums) settings.options.albums = true;
  if (request.historySources) {
    settings.options.historySources.clear();
    for (const std::string& source : *request.historySources)
      settings.options.historySources.push_back(Absolute(source));
  }
  if (request.replace) {
    settings.options.replacePrevious = true;
    settings.options.replaceHeard = *request.replace == "heard";
  }
  if (request.preferUnplayed) settings.options.preferUnplayed = true;
  if (request.avoidPlayedDays) settings.options.avoidPlayedDays = *request.avoidPlayedDays;
  if (request.bookFolders) {
    settings.options.bookFolders.clear();
    for (const std::string& folder : *request.bookFolders)
      settings.options.bookFolders.push_back(Absolute(folder));
  }
  if (request.booksAheadHours) settings.options.booksAheadHours = *request.booksAheadHours;
  if (request.splitChapters) settings.options.splitChapters = true;
  ApplyFilters(request, settings.options);
  if (request.megabytes) {
    settings.limitMode = engine::kLimitMegabytes;
    settings.amountText = *request.megabytes;
  } else if (request.hours) {
    settings.limitMode = engine::kLimitHours;
    settings.amountText = *request.hours;
  } else if (request.all) {
    settings.limitMode = engine::kLimitAll;
  }
  for (std::string& source : settings.sources)
    source = Absolute(source);
  for (std::string& entry : settings.weightEntries)
    entry = AbsoluteWeightEntry(entry);
  // A phone reached over MTP is named, not found by a path.
  if (!settings.copyToFolder || !engine::IsMtpDestination(settings.destination))
    settings.destination = Absolute(settings.destination);
  return settings;
}

// "\t12\t2024-05-31": how often a song was played and the day (local time) it was last
// played, "-" where it never was.
std::string PlaysText(const std::optional<engine::SongPlays>& plays) {
  std::string text = "\t" + std::to_string(plays ? plays->playCount : 0) + "\t";
  if (!plays || !plays->lastPlayed) return text + "-";
  const auto when = static_cast<std::time_t>(*plays->lastPlayed);
  std::tm local{};
  char day[32];
  if (localtime_r(&when, &local) == nullptr || std::strftime(day, sizeof day, "%F", &local) == 0)
    return text + "-";
  return text + day;
}

// Lists the files a replace would remove, each as "remove PATH", then the chosen files,
// one path per line, on standard output (chosen paths are absolute, so neither kind of
// line can be taken for the other); false, after saying why, when one cannot be listed
// or the output fails. The lines are gathered into large blocks and each block is handed
// to the stream at once: for a large library, one stream call per path costs more than
// the listing itself.
bool ListChosen(const std::vector<std::string>& removed, const std::vector<std::string>& paths,
                const std::vector<std::optional<engine::SongPlays>>& plays,
                const Console& console) {
  constexpr std::size_t kBlockSize = 64 * 1024;
  bool listed = true;
  std::string block;
  block.reserve(kBlockSize + 4096);
  const auto writeBlock = [&] {
    console.out.write(block.data(), static_cast<std::streamsize>(block.size()));
    block.clear();
  };
  const auto list = [&](std::string_view prefix, const std::string& path,
                        const std::optional<engine::SongPlays>* known = nullptr) {
    // One path per line: a name holding a line feed would read as two files.
    if (path.find('\n') != std::string::npos) {
      writeBlock();
      console.err << "sorvina-cli: not listed, the name holds a line feed: " << path << '\n';
      listed = false;
      return;
    }
    block.append(prefix).append(path);
    if (known != nullptr) block.append(PlaysText(*known));
    block.push_back('\n');
    if (block.size() >= kBlockSize) writeBlock();
  };
  for (const std::string& path : removed)
    list("remove ", path);
  for (std::size_t i = 0; i < paths.size(); ++i)
    list("", paths[i], i < plays.size() ? &plays[i] : nullptr);
  writeBlock();
  console.out.flush();
  if (!console.out) {
    console.err << "sorvina-cli: cannot write the chosen files to standard output\n";
    return false;
  }
  return listed;
}

int SaveSettings(const std::string& path, const engine::SettingsText& settings,
                 const Console& console) {
  switch (engine::WriteSettingsFile(path, settings)) {
    case engine::SettingsWriteResult::kWritten:
      return kExitSuccess;
    case engine::SettingsWriteResult::kCannotOpen:
      console.err << engine::kCannotOpenSettingsMessage << '\n';
      return kExitFailure;
    case engine::SettingsWriteResult::kCannotWrite:
      console.err << engine::kCannotWriteSettingsMessage << '\n';
      return kExitFailure;
  }
  return kExitFailure;
}

// What the settings ask that no run could do, whatever it finds, in words; nothing when
// they can run. A player found only at run time ("auto") is checked by the run, which
// then fails with its message (status 1): the device, not the command line, is at fault.
std::optional<std::string> UsageFault(const SelectionRequest& request,
                                      const engine::SettingsText& settings) {
  if (request.adoptCopies && !settings.options.replacePrevious) {
    return "--adopt-copies needs --replace-previous: copies found on the player are taken "
           "only as the earlier fill that is replaced";
  }
  if (request.historySources && !engine::UsesPlayHistory(settings.options, settings.copyToFolder)) {
    return "--history is read only for --prefer-unplayed, --avoid-played or --replace heard";
  }
  if (request.replace && settings.options.replaceHeard && !settings.copyToFolder)
    return "--replace heard replaces songs on a player: it needs --copy-to";
  const std::optional<engine::ConversionChoice> choice =
      engine::ParseConversionChoice(settings.options.convert);
  if (choice && settings.copyToFolder && settings.options.player != "auto") {
    const engine::FoundPlayer found =
        engine::FindPlayerProfile(settings.options.player, settings.destination);
    if (found.profile) {
      if (const std::optional<text::UserText> refused =
              engine::RefusedConversion(*found.profile, *choice))
        return text::English(*refused);
    }
  }
  return std::nullopt;
}

// The status line while files are looked for: MP3 files, as the classic run chooses them,
// or music files of any of the types chosen.
std::string LookingText(const engine::SettingsText& settings) {
  const std::vector<std::string>& types = settings.options.fileTypes;
  const bool onlyMp3 = std::all_of(types.begin(), types.end(),
                                   [](const std::string& type) { return type == "mp3"; });
  return onlyMp3 ? "Looking for MP3 files..." : "Looking for music files...";
}

}  // namespace

std::optional<std::string> WeightEntryText(std::string_view option) {
  const std::size_t equals = option.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view weightText = option.substr(0, equals);
  std::string_view folder = option.substr(equals + 1);
  if (folder.empty()) return std::nullopt;
  // The one separator is added back below; "/" thus stays the root folder.
  while (!folder.empty() && folder.back() == '/')
    folder.remove_suffix(1);

  if (!weightText.empty() && weightText.front() == '+') weightText.remove_prefix(1);
  double weight = 0.0;
  const char* end = weightText.data() + weightText.size();
  const auto [stop, error] = std::from_chars(weightText.data(), end, weight);
  if (weightText.empty() || error != std::errc() || stop != end || !std::isfinite(weight))
    return std::nullopt;

  char number[400];  // "%0.2f" of the largest double has 309 digits before the point
  std::snprintf(number, sizeof number, "%0.2f", weight);
  std::string entry(number);
  entry += ' ';
  entry += folder;
  entry += '/';
  return entry;
}

int RunSelection(const SelectionRequest& request, const Console& console) {
  const std::optional<engine::SettingsText> settings = GatherSettings(request, console);
  if (!settings) return kExitFailure;
  if (request.saveSettings) return SaveSettings(*request.saveSettings, *settings, console);
  if (const std::optional<std::string> fault = UsageFault(request, *settings)) {
    console.err << "sorvina-cli: " << *fault << '\n';
    return kExitUsage;
  }

  const bool interactive = console.inputIsTerminal;
  StatusLine line(console.err, console.errorIsTerminal && !request.quiet);
  ConsoleRunPorts ports(console, line);
  ports.SetLookingText(LookingText(*settings));
  ConsoleFileOperation fileOperation(
      console, line,
      request.onConflict.value_or(interactive ? ConflictPolicy::kAsk : ConflictPolicy::kSkip),
      request.quiet);
  engine::SelectionRunOptions options;
  options.fileOperationOwner = &fileOperation;
  options.seed = request.seed;
  options.jobs = request.jobs;
  if (request.cacheMegabytes) options.cacheBytes = *request.cacheMegabytes * 1024 * 1024;
  options.dryRun = request.dryRun;
  options.gatherHistory = [](const engine::HistoryRequest& history, engine::RunPorts& ports) {
    return engine::GatherPlayHistory(history, ports);
  };
  options.adoptCopies = request.adoptCopies ? engine::AdoptCopies::kYes : engine::AdoptCopies::kNo;
  const engine::SelectionOutcome outcome =
      engine::SelectionRun(engine::ParseSettings(*settings), ports, options);
  line.Clear();
  // The player a dry run fills, or the one found on the device, and what a dry run would
  // do with each song where it does more than copy some.
  const bool autoPlayer = settings->options.player == "auto";
  if (outcome.player && (request.dryRun || autoPlayer) && !request.quiet)
    console.err << "Player: " << text::English(*outcome.player) << '\n';
  for (std::size_t i = 0;
       !request.quiet && i < outcome.actions.size() && i < outcome.chosenPaths.size(); ++i)
    console.err << text::English(outcome.actions[i]) << ": " << outcome.chosenPaths[i] << '\n';
  if (outcome.summary && !request.quiet)
    console.err << engine::SummaryLine(*outcome.summary) << '\n';

  if (outcome.copiesNotAdopted > 0)
    console.err << "sorvina-cli: --adopt-copies takes them for that fill, to be replaced\n";

  // A run that chose nothing did not do what was asked, whatever the reason the summary
  // gives: nothing fits, the player plays none of it, no song could be converted.
  int status = outcome.summary && outcome.summary->chosenFiles == 0 ? kExitFailure : kExitSuccess;
  if (request.dryRun &&
      !ListChosen(outcome.removedPaths, outcome.chosenPaths, outcome.plays, console))
    status = kExitFailure;
  // Every failure has been explained by now except a cancelled or unexplained one.
  const bool explained = ports.messageShown() || fileOperation.anyErrorReported();
  if (console.WasInterrupted() || fileOperation.cancelled()) {
    console.err << "sorvina-cli: cancelled\n";
    return kExitFailure;
  }
  if (!outcome.succeeded && !explained) {
    console.err << "sorvina-cli: the selection could not be completed\n";
    return kExitFailure;
  }
  return explained ? kExitFailure : status;
}

}  // namespace sorvina::cli
