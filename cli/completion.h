// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace sorvina::cli {

// Shell completion for sorvina-cli, written from the options and subcommands the command
// line declares, so that every option has its completion the moment it is declared. The
// build writes the scripts with the hidden option --completion SHELL.

// Declares the hidden option `--completion SHELL` on `app`; `shell` receives its value.
CLI::Option* AddCompletionOption(CLI::App& app, std::string& shell);

// Writes the completion script for `shell` ("bash", "zsh" or "fish") of the program
// `app` describes to `out`: its visible options (with their values: the allowed ones of a
// checked set, folders for a DIR, files for a FILE or PATH), subcommands and positionals.
// Returns the exit status; a script that cannot be written is reported on `err`.
int WriteCompletionScript(const CLI::App& app, const std::string& shell, std::ostream& out,
                          std::ostream& err);

}  // namespace sorvina::cli
