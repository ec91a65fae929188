// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sorvina::app {

// The program: one modal wizard and nothing else. Run shows the wizard, returns when the
// user closes it (Cancel or the close box), and gives the process's exit status.
class WizardApplication {
 public:
  static int Run(int argc, char* argv[]);
};

}  // namespace sorvina::app
