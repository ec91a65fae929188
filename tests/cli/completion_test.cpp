// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/completion.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/command_line.h"

namespace sorvina::cli {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// What the scripts must find beyond plain options: checked sets, type names and checks
// that ask for folders or files, an option group (which CLI11 keeps as a nameless subcommand), a
// subcommand with a positional, and a hidden option that must stay out.
TEST(CompletionTest, DescribesGroupedOptionsAndSubcommandsAndLeavesHiddenOnesOut) {
  CLI::App app{"Toy", "toy"};
  std::string text;
  bool flag = false;
  std::vector<std::string> files;
  app.add_option("--mode", text, "Speed")->check(CLI::IsMember({"fast", "slow"}));
  CLI::App* group = app.add_option_group("Extra");
  group->add_option("--into", text, "Target")->type_name("DIR");
  group->add_flag("--loud", flag, "Noise");
  app.add_option("--from", text, "Source")->check(CLI::ExistingFile);
  app.add_option("--secret", text)->group("");
  app.add_subcommand("scan", "Scan files")->add_option("FILE", files, "Inputs");

  std::ostringstream fish;
  std::ostringstream err;
  ASSERT_EQ(WriteCompletionScript(app, "fish", fish, err), 0);
  const std::string script = fish.str();
  const std::string beforeScan = "complete -c toy -n 'not __fish_seen_subcommand_from scan'";
  EXPECT_TRUE(Contains(script, beforeScan + " -l mode -x -a 'fast slow' -d 'Speed'\n"));
  EXPECT_TRUE(Contains(script, beforeScan + " -l into -x -a '(__fish_complete_directories "
                                            "(commandline -ct))' -d 'Target'\n"));
  EXPECT_TRUE(Contains(script, beforeScan + " -l loud -d 'Noise'\n"));
  EXPECT_TRUE(Contains(script, beforeScan + " -l from -r -F -d 'Source'\n"));
  EXPECT_TRUE(Contains(script, beforeScan + " -a 'scan' -d 'Scan files'\n"));
  EXPECT_TRUE(Contains(script, "complete -c toy -n '__fish_seen_subcommand_from scan' -F\n"));
  EXPECT_FALSE(Contains(script, "secret"));

  std::ostringstream bash;
  ASSERT_EQ(WriteCompletionScript(app, "bash", bash, err), 0);
  EXPECT_TRUE(Contains(bash.str(), "'-h --help --mode --from --into --loud'"));
  EXPECT_TRUE(Contains(bash.str(), "    ':--into')\n      _toy_paths -d\n"));
  EXPECT_FALSE(Contains(bash.str(), "secret"));
}

TEST(CompletionTest, HiddenOptionWritesEachShellsScriptAndReportsWhatFails) {
  struct Case {
    std::string shell;
    std::string offered;  // how the script offers --on-conflict
    std::string hidden;   // how it would offer --completion itself
  };
  const std::vector<Case> cases = {
      {"bash", "    ':--on-conflict')\n", "':--completion')"},
      {"zsh", "'--on-conflict=[", "'--completion=["},
      {"fish", " -l on-conflict -x -a 'ask replace skip keep-both'", "-l completion"},
  };
  for (const Case& test : cases) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::Run({"sorvina-cli", "--completion", test.shell}, out, err), 0) << test.shell;
    EXPECT_TRUE(Contains(out.str(), test.offered)) << test.shell;
    EXPECT_FALSE(Contains(out.str(), test.hidden)) << test.shell;
    EXPECT_EQ(err.str(), "") << test.shell;
  }

  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(cli::Run({"sorvina-cli", "--completion", "tcsh"}, out, err), 2);

  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  EXPECT_EQ(cli::Run({"sorvina-cli", "--completion", "bash"}, broken, err), 1);
  EXPECT_TRUE(Contains(err.str(), "cannot write the completion script"));
}

}  // namespace
}  // namespace sorvina::cli
