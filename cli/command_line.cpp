#include "cli/command_line.h"

#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/exit_status.h"
#include "cli/probe_command.h"
#include "cli/selection_command.h"
#include "cli/version.h"

namespace sorvina::cli {
namespace {

// Reports a usage error the way CLI11 reports its own.
int UsageError(const CLI::App& app, const std::string& message, const Console& console) {
  app.exit(CLI::ValidationError(message), console.out, console.err);
  return kExitUsage;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, const Console& console) {
  CLI::App app{"Fills a music player, or writes a playlist, with a random choice of MP3 files.",
               "sorvina-cli"};
  app.set_version_flag("--version", std::string("sorvina-cli ") + kVersion);
  app.footer(
      "Sources are folders (searched recursively) and .m3u/.m3u8 playlists. Options override "
      "what a --settings file holds. Messages go to standard error; exit status 0 on "
      "success, 1 when the selection failed, 2 for a wrong command line.");
  app.require_subcommand(0, 1);

  SelectionRequest request;
  std::string settingsFile;
  std::vector<std::string> sources;
  std::vector<std::string> weights;
  std::string copyTo;
  std::string playlist;
  std::string megabytes;
  std::string hours;
  std::uint32_t seed = 0;
  std::string saveSettings;
  std::string onConflict;

  CLI::Option* settingsOption =
      app.add_option("--settings", settingsFile, "Load sources, destination, weights and limit")
          ->type_name("FILE");
  CLI::Option* sourceOption =
      app.add_option("-s,--source", sources, "A folder or playlist to choose from (repeatable)")
          ->type_name("PATH")
          ->allow_extra_args(false);
  CLI::Option* weightOption =
      app.add_option("-w,--weight", weights,
                     "Weight of a folder's files, e.g. 2.5=/music/rock (repeatable)")
          ->type_name("W=FOLDER")
          ->allow_extra_args(false)
          ->transform(CLI::Validator(
              [](std::string& value) {
                const std::optional<std::string> entry = WeightEntryText(value);
                if (!entry) return "expected W=FOLDER with a number W, got '" + value + "'";
                value = *entry;
                return std::string();
              },
              "", "weight"));
  CLI::Option* copyOption =
      app.add_option("-c,--copy-to", copyTo, "Copy the chosen files into this folder")
          ->type_name("DIR");
  CLI::Option* playlistOption =
      app.add_option("-p,--playlist", playlist, "Write the chosen files as this playlist")
          ->type_name("FILE.m3u");
  copyOption->excludes(playlistOption);
  CLI::Option* megabytesOption =
      app.add_option("--mb", megabytes, "Choose up to this many megabytes")->type_name("N");
  CLI::Option* hoursOption =
      app.add_option("--hours", hours, "Choose up to this many hours")->type_name("N");
  CLI::Option* allOption = app.add_flag("--all", request.all, "Choose every file");
  megabytesOption->excludes(hoursOption, allOption);
  hoursOption->excludes(allOption);
  CLI::Option* seedOption =
      app.add_option("--seed", seed, "Seed the random choice (default: the clock)")->type_name("N");
  CLI::Option* dryRunOption = app.add_flag("-n,--dry-run", request.dryRun,
                                           "Print the chosen files in draw order; change nothing");
  CLI::Option* saveOption = app.add_option("--save-settings", saveSettings,
                                           "Save the settings given to FILE and choose nothing")
                                ->type_name("FILE");
  CLI::Option* conflictOption =
      app.add_option("--on-conflict", onConflict,
                     "When a copied file's name exists: ask (default when standard input is "
                     "a terminal), replace, skip (default otherwise) or keep-both")
          ->check(CLI::IsMember({"ask", "replace", "skip", "keep-both"}));
  CLI::Option* quietOption =
      app.add_flag("-q,--quiet", request.quiet, "No progress bars and shorter prompts");
  const std::vector<CLI::Option*> selectionOptions = {
      settingsOption,  sourceOption,   weightOption, copyOption, playlistOption,
      megabytesOption, hoursOption,    allOption,    seedOption, dryRunOption,
      saveOption,      conflictOption, quietOption};

  CLI::App* probe = app.add_subcommand(
      "probe", "Print each file's playing time and caption: seconds<TAB>caption<TAB>path.");
  std::vector<std::string> probeFiles;
  probe->add_option("FILE", probeFiles, "MP3 files, analysed in the order given")->required();

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

  if (settingsOption->count() > 0) request.settingsFile = settingsFile;
  if (sourceOption->count() > 0) request.sources = sources;
  if (weightOption->count() > 0) request.weightEntries = weights;
  if (copyOption->count() > 0) request.copyTo = copyTo;
  if (playlistOption->count() > 0) request.playlist = playlist;
  if (megabytesOption->count() > 0) request.megabytes = megabytes;
  if (hoursOption->count() > 0) request.hours = hours;
  if (seedOption->count() > 0) request.seed = seed;
  if (saveOption->count() > 0) request.saveSettings = saveSettings;
  if (conflictOption->count() > 0) request.onConflict = ParseConflictPolicy(onConflict);

  if (!request.settingsFile) {
    if (!request.copyTo && !request.playlist)
      return UsageError(app, "a destination is needed: --copy-to DIR or --playlist FILE.m3u",
                        console);
    if (!request.megabytes && !request.hours && !request.all)
      return UsageError(app, "a limit is needed: --mb N, --hours N or --all", console);
  }
  return RunSelection(request, console);
}

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::istringstream noInput;
  return Run(arguments, Console{noInput, out, err});
}

}  // namespace sorvina::cli
