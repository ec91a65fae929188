// sorvina-cli: makes the same random, folder-weighted selection of MP3 files as the
// wizard, from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

int main(int argc, char** argv) {
  return sorvina::cli::Run(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
