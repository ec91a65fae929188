// SPDX-License-Identifier: GPL-3.0-or-later
// sorvina-cli: makes the same random, folder-weighted selection of MP3 files as the
// wizard, from the command line.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

// The first interrupt, or a request to end (a closed terminal, a shutdown), asks the
// running copy or playlist to stop and clean up, and the fill to be recorded; the handler
// is then reset, so a second one ends the process at once.
void OnInterrupt(int) {
  interrupted = 1;
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaction(signal, &action, nullptr);

  const sorvina::cli::Console console{std::cin,       std::cout,      std::cerr,
                                      isatty(0) == 1, isatty(2) == 1, &interrupted};
  return sorvina::cli::Run(std::vector<std::string>(argv, argv + argc), console);
}
