// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/console.h"

namespace sorvina::cli {

// Runs sorvina-cli with `arguments`, the program name first, on `console`: results to its
// output, messages, prompts and progress to its error stream, answers from its input.
// Returns the exit status: 0 on success, 1 when the work failed, 2 for a usage error.
int Run(const std::vector<std::string>& arguments, const Console& console);

// The same with no input and neither stream a terminal.
int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sorvina::cli
