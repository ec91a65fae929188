// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <charconv>
#include <functional>
#include <optional>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/completion.h"
#include "cli/exit_status.h"
#include "cli/probe_command.h"
#include "cli/selection_command.h"
#include "engine/scan/path_pattern.h"
#include "engine/settings/extra_options.h"
#include "engine/settings/filter_options.h"
#include "media/file_types.h"
#include "platform/version.h"

namespace sorvina::cli {
namespace {

// Reports a usage error the way CLI11 reports its own.
int UsageError(const CLI::App& app, const std::string& message, const Console& console) {
  app.exit(CLI::ValidationError(message), console.out, console.err);
  return kExitUsage;
}

// An option whose value, once parsed, lands in `target`; absent options leave it empty, so
// that a settings file can fill it.
template <typename T>
CLI::Option* AddOptional(CLI::App& app, const std::string& names, std::optional<T>& target,
                         const std::string& help) {
  return app.add_option_function<T>(
      names, [&target](const T& value) { target = value; }, help);
}

// "W=FOLDER" checked and turned into the weight dialog's entry text.
const CLI::Validator kWeightEntry(
    [](std::string& value) {
      const std::optional<std::string> entry = WeightEntryText(value);
      if (!entry) return "expected W=FOLDER with a number W, got '" + value + "'";
      value = *entry;
      return std::string();
    },
    "", "weight");

// The known type names, for messages and help: "mp3, flac, ...".
std::string KnownTypeNames() {
  std::string names;
  for (const media::FileType& type : media::AllFileTypes())
    names += (names.empty() ? "" : ", ") + std::string(type.name);
  return names;
}

// "mp3,flac" checked: at least one name, and every name one that a type has.
const CLI::Validator kTypeList(
    [](const std::string& value) {
      const std::vector<std::string> names = media::ParseTypeList(value);
      if (names.empty()) return "no file type given (known: " + KnownTypeNames() + ")";
      const std::vector<std::string> unknown = media::UnknownTypeNames(names);
      if (!unknown.empty())
        return "unknown file type '" + unknown.front() + "' (known: " + KnownTypeNames() + ")";
      return std::string();
    },
    "", "types");

// "W0,W1,W2,W3,W4,W5" checked: six weights, none negative, one at least above 0.
const CLI::Validator kRatingWeights(
    [](const std::string& value) {
      std::string why;
      if (!engine::ParseRatingWeights(value, &why)) return "'" + value + "': " + why;
      return std::string();
    },
    "", "rating weights");

// A loudness in LUFS between the quietest and the loudest a player is filled at, said in
// plain numbers when it is not.
const CLI::Validator kLoudness(
    [](const std::string& value) {
      double lufs = 0;
      const char* end = value.data() + value.size();
      const auto [stop, error] = std::from_chars(value.data(), end, lufs);
      // What is no number at all the option's own conversion reports.
      if (error != std::errc() || stop != end) return std::string();
      if (lufs < -40 || lufs > -5) return "loudness " + value + " is not within -40 to -5 LUFS";
      return std::string();
    },
    "", "loudness");

// Declares the options of a selection, each filling its field of `request` when given.
// Returns them all, so that a subcommand can refuse them.
std::vector<CLI::Option*> DeclareSelectionOptions(CLI::App& app, SelectionRequest& request) {
  CLI::Option* settings = AddOptional(app, "--settings", request.settingsFile,
                                      "Load sources, destination, weights and limit")
                              ->type_name("FILE");
  CLI::Option* source = AddOptional(app, "-s,--source", request.sources,
                                    "A folder or playlist to choose from (repeatable)")
                            ->type_name("PATH")
                            ->allow_extra_args(false);
  CLI::Option* weight = AddOptional(app, "-w,--weight", request.weightEntries,
                                    "Weight of a folder's files, e.g. 2.5=/music/rock (repeatable)")
                            ->type_name("W=FOLDER")
                            ->allow_extra_args(false)
                            ->transform(kWeightEntry);
  CLI::Option* copy =
      AddOptional(app, "-c,--copy-to", request.copyTo,
                  "Copy the chosen files into this folder, or onto a phone: mtp:[SERIAL][/FOLDER]")
          ->type_name("DIR");
  CLI::Option* playlist =
      AddOptional(app, "-p,--playlist", request.playlist, "Write the chosen files as this playlist")
          ->type_name("FILE.m3u");
  copy->excludes(playlist);
  CLI::Option* megabytes =
      AddOptional(app, "--mb", request.megabytes,
                  "Choose up to this many megabytes; 'free': the copy destination's free space")
          ->type_name("N|free");
  CLI::Option* hours =
      AddOptional(app, "--hours", request.hours, "Choose up to this many hours")->type_name("N");
  CLI::Option* all = app.add_flag("--all", request.all, "Choose every file");
  megabytes->excludes(hours, all);
  hours->excludes(all);
  CLI::Option* fill =
      app.add_flag("--fill", request.fill, "Keep drawing past a file that does not fit");
  CLI::Option* keepFolders = app.add_flag("--keep-folders", request.keepFolders,
                                          "Copy each file to DIR/<its path below its source>");
  CLI::Option* replacePrevious =
      app.add_flag("--replace-previous", request.replacePrevious,
                   "Remove the files the last fill of DIR put there, where unchanged, first")
          ->excludes(playlist);
  CLI::Option* adoptCopies =
      app.add_flag("--adopt-copies", request.adoptCopies,
                   "With --replace-previous, on a player that has no record of a fill: take the "
                   "copies of songs in the sources found on it for that fill");
  CLI::Option* avoidLast =
      AddOptional(app, "--avoid-last", request.avoidLast,
                  "Leave out what the last N fills of DIR (or playlists of FILE) chose; 0: none")
          ->type_name("N")
          ->check(CLI::Range(0, 1000000).description(""));
  CLI::Option* devicePlaylist =
      AddOptional(app, "--device-playlist", request.devicePlaylist,
                  "Also write the copied files as the playlist NAME.m3u8 inside DIR")
          ->type_name("NAME")
          ->excludes(playlist);
  CLI::Option* relative = app.add_flag("--relative", request.relative,
                                       "Write playlist entries relative to the playlist's folder")
                              ->excludes(copy);
  CLI::Option* seed =
      AddOptional(app, "--seed", request.seed, "Seed the random choice (default: the clock)")
          ->type_name("N");
  CLI::Option* dryRun = app.add_flag("-n,--dry-run", request.dryRun,
                                     "Print the chosen files in draw order; change nothing");
  CLI::Option* save = AddOptional(app, "--save-settings", request.saveSettings,
                                  "Save the settings given to FILE and choose nothing")
                          ->type_name("FILE");
  CLI::Option* conflict =
      app.add_option_function<std::string>(
             "--on-conflict",
             [&request](const std::string& text) {
               request.onConflict = ParseConflictPolicy(text);
             },
             "When a copied file's name exists: ask (default when standard input is a terminal), "
             "replace, skip (default otherwise) or keep-both")
          ->check(CLI::IsMember({"ask", "replace", "skip", "keep-both"}));
  CLI::Option* quiet =
      app.add_flag("-q,--quiet", request.quiet, "No progress bars and shorter prompts");
  CLI::Option* types =
      app.add_option_function<std::string>(
             "--types",
             [&request](const std::string& list) {
               request.fileTypes = media::ParseTypeList(list);
             },
             "File types to choose, separated by commas (default mp3; known: " + KnownTypeNames() +
                 ")")
          ->type_name("LIST")
          ->check(kTypeList);
  CLI::Option* player =
      AddOptional(app, "--player", request.player,
                  "The player copied to: any (default), car, auto (the player DIR is on), a "
                  "profile file (.mpi) or a profile's name")
          ->type_name("NAME|FILE|auto")
          ->excludes(playlist);
  CLI::Option* order =
      app.add_flag("--order", request.order,
                   "Put each folder's entries in play order (always done when replacing)")
          ->excludes(playlist);
  CLI::Option* number = app.add_flag("--number", request.number,
                                     "Name the copies \"001 Artist - Title.mp3\" in play order")
                            ->excludes(playlist);
  CLI::Option* convert =
      AddOptional(app, "--convert", request.convert,
                  "Convert songs for the player: auto (what it cannot play, to MP3; auto:aac, "
                  "auto:opus to those), or mp3, aac, opus (every song not in that format); none")
          ->type_name("FORMAT")
          ->check(CLI::IsMember({"auto", "auto:aac", "auto:opus", "mp3", "aac", "opus", "none"}))
          ->excludes(playlist);
  CLI::Option* bitrate = AddOptional(app, "--bitrate", request.bitrate,
                                     "Convert at this constant bitrate (kbit/s); 0: the format's "
                                     "own quality (MP3: variable, about 190 kbit/s)")
                             ->type_name("KBPS")
                             ->check(CLI::Range(0, 512).description(""));
  CLI::Option* jobs =
      app.add_option("--jobs", request.jobs, "Songs converted at once (default: one per core)")
          ->type_name("N")
          ->check(CLI::Range(1, 256).description(""));
  CLI::Option* cacheSize =
      AddOptional(app, "--cache-size", request.cacheMegabytes,
                  "Megabytes the cache of converted songs may hold (default 2048)")
          ->type_name("MB")
          ->check(CLI::Range(std::int64_t{0}, std::int64_t{1} << 40).description(""));
  CLI::Option* loudness =
      AddOptional(app, "--loudness", request.loudness,
                  "Bring every song to this loudness (LUFS, EBU R128), e.g. -16")
          ->type_name("LUFS")
          ->check(kLoudness)
          ->excludes(playlist);
  CLI::Option* maxPerArtist = AddOptional(app, "--max-per-artist", request.maxPerArtist,
                                          "Choose no more than N songs of one artist (by the tags)")
                                  ->type_name("N")
                                  ->check(CLI::Range(1, 1000000).description(""));
  CLI::Option* spread = app.add_flag("--spread", request.spread,
                                     "Keep songs of the same artist apart in the play order");
  CLI::Option* ratingWeights =
      app.add_option_function<std::string>(
             "--rating-weights",
             [&request](const std::string& list) {
               request.ratingWeights = engine::ParseRatingWeights(list);
             },
             "Multiply each song's chance by the weight of its stars: unrated, then 1 to 5 "
             "stars, e.g. 1,0.2,0.5,1,2,4")
          ->type_name("W0,...,W5")
          ->check(kRatingWeights);
  CLI::Option* balance =
      app.add_option_function<std::string>(
             "--balance",
             [&request](const std::string& name) {
               request.balance = engine::ParseDrawBalance(name);
             },
             "Give every artist, album or folder the same chance, however many songs it "
             "has: one is drawn first, then a song of it; none")
          ->type_name("artist|album|folder")
          ->check(CLI::IsMember({"artist", "album", "folder", "none"}));
  CLI::Option* albums = app.add_flag("--albums", request.albums,
                                     "Choose whole albums, copied and listed in track order");
  CLI::Option* history =
      AddOptional(app, "--history", request.historySources,
                  "Also read plays from this file of a player of this computer: a beets "
                  "library, an MPD sticker database, a Strawberry database, a Rhythmbox "
                  "rhythmdb.xml or a ListenBrainz export (repeatable)")
          ->type_name("SOURCE")
          ->allow_extra_args(false);
  CLI::Option* replace =
      AddOptional(app, "--replace", request.replace,
                  "What of the last fill of DIR is replaced: all (as --replace-previous), or "
                  "heard: only its songs played or skipped since; the others stay")
          ->type_name("heard|all")
          ->check(CLI::IsMember({"heard", "all"}))
          ->excludes(playlist);
  CLI::Option* preferUnplayed =
      app.add_flag("--prefer-unplayed", request.preferUnplayed,
                   "Choose songs not played lately more often (never played: 4 times, a day "
                   "ago: a quarter as often as a song played a week ago)");
  CLI::Option* avoidPlayed = AddOptional(app, "--avoid-played", request.avoidPlayedDays,
                                         "Leave out songs played in the last DAYS days; 0: none")
                                 ->type_name("DAYS")
                                 ->check(CLI::Range(0, 100000).description(""));
  CLI::Option* books =
      AddOptional(app, "--books", request.bookFolders,
                  "Audiobooks and podcasts in this folder (repeatable): each sub-folder, or long "
                  "file directly inside, is a book; each fill copies the next hours of them in "
                  "order into Audiobooks/ on the player, and they are never drawn at random")
          ->type_name("FOLDER")
          ->allow_extra_args(false)
          ->excludes(playlist);
  CLI::Option* booksAhead =
      AddOptional(
          app, "--books-ahead", request.booksAheadHours,
          "How many hours of the books each fill puts on the player (default 5; decimals allowed)")
          ->type_name("HOURS")
          ->check(CLI::Range(0.001, 10000.0).description(""));
  CLI::Option* splitChapters =
      app.add_flag("--split-chapters", request.splitChapters,
                   "Put a book that is one long file with chapter marks (.m4b) onto the player "
                   "as one file per chapter; the player's profile may ask for it too");
  albums->excludes(balance);
  // A cap on an artist's songs would cut whole albums short.
  albums->excludes(maxPerArtist);
  return {settings,       source,        weight,
          copy,           playlist,      megabytes,
          hours,          all,           fill,
          seed,           dryRun,        save,
          conflict,       keepFolders,   replacePrevious,
          adoptCopies,    avoidLast,     devicePlaylist,
          relative,       quiet,         types,
          player,         order,         number,
          convert,        bitrate,       jobs,
          cacheSize,      loudness,      maxPerArtist,
          spread,         ratingWeights, balance,
          albums,         history,       replace,
          preferUnplayed, avoidPlayed,   books,
          booksAhead,     splitChapters};
}

// A range option whose text `parse` reads into `target`, its refusal said as CLI11 says
// its own.
template <class Parse>
CLI::Option* AddRange(CLI::App& app, const std::string& name,
                      std::optional<std::pair<int, int>>& target, Parse parse,
                      const std::string& help) {
  return app
      .add_option_function<std::string>(
          name, [&target, parse](const std::string& text) { target = parse(text, nullptr); }, help)
      ->check(CLI::Validator(
          [parse](const std::string& text) {
            std::string why;
            return parse(text, &why) ? std::string() : why;
          },
          "", name));
}

// Declares the filters, each filling its field of `request` when given.
std::vector<CLI::Option*> DeclareFilterOptions(CLI::App& app, SelectionRequest& request) {
  CLI::Option* exclude =
      AddOptional(app, "--exclude", request.excludePatterns,
                  "Leave out songs whose path below their source matches GLOB (repeatable; * and "
                  "? within a name, ** across folders, letter case ignored; without '/', any "
                  "name in the path), e.g. 'Christmas/**', '*/Live/*', '*.m4b'")
          ->type_name("GLOB")
          ->allow_extra_args(false)
          ->check(CLI::Validator(
              [](const std::string& text) {
                std::string why;
                return engine::PathPattern::Parse(text, &why) ? std::string() : "--exclude: " + why;
              },
              "", "pattern"));
  const auto genreList = [](std::optional<std::vector<std::string>>& target) {
    return [&target](const std::string& text) { target = engine::ParseGenreList(text); };
  };
  CLI::Option* genre =
      app.add_option_function<std::string>(
             "--genre", genreList(request.genres),
             "Choose only songs of one of these genres (separated by commas; letter case "
             "ignored; every genre a song names counts)")
          ->type_name("LIST");
  CLI::Option* notGenre =
      app.add_option_function<std::string>("--not-genre", genreList(request.notGenres),
                                           "Leave out songs of any of these genres")
          ->type_name("LIST");
  CLI::Option* year = AddRange(
                          app, "--year", request.years,
                          [](const std::string& text, std::string* why) {
                            return engine::ParseYearRange(text, why);
                          },
                          "Choose only songs of these years, by their date tags, e.g. 1990-1999")
                          ->type_name("A-B");
  CLI::Option* length =
      AddRange(
          app, "--length", request.lengthSeconds,
          [](const std::string& text, std::string* why) {
            return engine::ParseLengthRange(text, why);
          },
          "Choose only songs of these lengths, in m:ss, e.g. 2:00-7:30; an end left out "
          "is open")
          ->type_name("MIN-MAX");
  CLI::Option* addedWithin = AddOptional(app, "--added-within", request.addedWithinDays,
                                         "Choose only songs changed (added) in the last DAYS days")
                                 ->type_name("DAYS")
                                 ->check(CLI::Range(1, 1000000).description(""));
  CLI::Option* skipDuplicates = app.add_flag(
      "--skip-duplicates", request.skipDuplicates,
      "One file of each recording (by MusicBrainz id, ISRC, or artist, title and length): the "
      "one the player plays as it is, else the best");
  return {exclude, genre, notGenre, year, length, addedWithin, skipDuplicates};
}

// What a selection lacks to run, in words; nothing when it can run. A settings file may
// supply anything, so with one nothing is required here.
std::optional<std::string> MissingFromRequest(const SelectionRequest& request) {
  if (request.settingsFile) return std::nullopt;
  if (!request.copyTo && !request.playlist)
    return "a destination is needed: --copy-to DIR or --playlist FILE.m3u";
  if (!request.megabytes && !request.hours && !request.all)
    return "a limit is needed: --mb N, --hours N or --all";
  return std::nullopt;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, const Console& console) {
  CLI::App app{"Fills a music player, or writes a playlist, with a random choice of MP3 files.",
               "sorvina-cli"};
  app.set_version_flag("--version", std::string("sorvina-cli ") + platform::kVersionNotice);
  app.footer(
      "Sources are folders (searched recursively) and .m3u/.m3u8 playlists. Options override "
      "what a --settings file holds. Messages go to standard error; exit status 0 on "
      "success, 1 when the selection failed, 2 for a wrong command line.");
  app.require_subcommand(0, 1);

  SelectionRequest request;
  std::vector<CLI::Option*> selectionOptions = DeclareSelectionOptions(app, request);
  for (CLI::Option* filter : DeclareFilterOptions(app, request))
    selectionOptions.push_back(filter);

  CLI::App* probe = app.add_subcommand(
      "probe", "Print each file's playing time and caption: seconds<TAB>caption<TAB>path.");
  std::vector<std::string> probeFiles;
  probe->add_option("FILE", probeFiles, "Music files, analysed in the order given")->required();

  std::string completionShell;
  AddCompletionOption(app, completionShell);

  // CLI11 takes the arguments last first, without the program name.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  if (!reversed.empty()) reversed.pop_back();
  const bool noArguments = reversed.empty();
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here with status 0; every usage error exits with 2.
    return app.exit(error, console.out, console.err) == 0 ? kExitSuccess : kExitUsage;
  }

  if (!completionShell.empty())
    return WriteCompletionScript(app, completionShell, console.out, console.err);

  if (probe->parsed()) {
    for (const CLI::Option* option : selectionOptions)
      if (option->count() > 0)
        return UsageError(app, option->get_name() + " does not go with probe", console);
    return RunProbe(probeFiles, console.out, console.err);
  }
  if (noArguments) {
    console.err << app.help();
    return kExitUsage;
  }
  if (const std::optional<std::string> missing = MissingFromRequest(request))
    return UsageError(app, *missing, console);
  return RunSelection(request, console);
}

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::istringstream noInput;
  return Run(arguments, Console{noInput, out, err});
}

}  // namespace sorvina::cli
