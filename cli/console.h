// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <istream>
#include <ostream>

namespace sorvina::cli {

// The streams and terminal facts a command works with. main() fills it from the process's
// standard streams; tests fill it with string streams and choose the flags.
struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool inputIsTerminal = false;
  bool errorIsTerminal = false;
  // Set (asynchronously) when the user interrupts; a running copy or playlist stops at its
  // next step and cleans up instead of the process dying half-way. None: never set.
  const volatile std::sig_atomic_t* interrupted = nullptr;

  bool WasInterrupted() const { return interrupted != nullptr && *interrupted != 0; }
};

}  // namespace sorvina::cli
