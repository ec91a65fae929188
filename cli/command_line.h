#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sorvina::cli {

// Runs sorvina-cli with `arguments`, the program name first, writing results to `out`
// and messages to `err`. Returns the exit status: 0 on success, 1 when the work failed,
// 2 for a usage error.
int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace sorvina::cli
