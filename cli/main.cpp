// sorvina-cli: makes the same random, folder-weighted selection of MP3 files as the
// wizard, from the command line.
#include <cstdlib>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/version.h"

int main(int argc, char** argv) {
  CLI::App app{"Fills a music player, or writes a playlist, with a random choice of MP3 files.",
               "sorvina-cli"};
  app.set_version_flag("--version", std::string("sorvina-cli ") + sorvina::cli::kVersion);
  app.footer("Sources are folders (searched recursively) and .m3u/.m3u8 playlists.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here with status 0; every usage error exits with 2.
    return app.exit(error) == 0 ? EXIT_SUCCESS : 2;
  }
  if (argc == 1) {
    std::cout << app.help();
  }
  return EXIT_SUCCESS;
}
