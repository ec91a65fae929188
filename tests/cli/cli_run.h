// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace sorvina::cli {

// What a run of sorvina-cli gave: its exit status and what it wrote to each stream.
struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Runs sorvina-cli with `arguments` (the program name put first), with no input and
// neither stream a terminal.
inline Outcome RunCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "sorvina-cli");
  std::ostringstream out;
  std::ostringstream err;
  const int status = Run(arguments, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace sorvina::cli
