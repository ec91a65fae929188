#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include "cli/exit_status.h"
#include "cli/probe_command.h"
#include "cli/version.h"

namespace sorvina::cli {

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  CLI::App app{"Fills a music player, or writes a playlist, with a random choice of MP3 files.",
               "sorvina-cli"};
  app.set_version_flag("--version", std::string("sorvina-cli ") + kVersion);
  app.footer("Sources are folders (searched recursively) and .m3u/.m3u8 playlists.");
  app.require_subcommand(0, 1);

  CLI::App* probe = app.add_subcommand(
      "probe", "Print each file's playing time and caption: seconds<TAB>caption<TAB>path.");
  std::vector<std::string> probeFiles;
  probe->add_option("FILE", probeFiles, "MP3 files, analysed in the order given")->required();

  // CLI11 takes the arguments last first, without the program name.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  if (!reversed.empty()) reversed.pop_back();
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here with status 0; every usage error exits with 2.
    return app.exit(error, out, err) == 0 ? kExitSuccess : kExitUsage;
  }

  if (probe->parsed()) return RunProbe(probeFiles, out, err);
  out << app.help();
  return kExitSuccess;
}

}  // namespace sorvina::cli
