// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sorvina::cli {

// Prints one line per file, in the order given: seconds<TAB>caption<TAB>path. A file
// that is missing or no MP3 still gets its line (0 seconds, the file-name caption).
// Returns the exit status; only a failure to write the lines is an error.
int RunProbe(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

}  // namespace sorvina::cli
