// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "tests/cli/cli_run.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::cli {
namespace {

TEST(ProbeCommandTest, PrintsSecondsCaptionAndPathPerFileInArgumentOrder) {
  test::TempDir dir;
  std::string cbr = test::HeaderBytes(test::FrameHeader({}));
  cbr.resize(4000000, '\0');
  const std::string plain = dir.WriteFile("Plain Song.mp3", cbr);
  std::string vbr = test::XingFrame({}, 1100);
  vbr.resize(4598000, '\0');
  const std::string tagged = dir.WriteFile("tagged.mp3", vbr);
  test::WriteId3v2Texts(tagged, "Title", "Artist");
  const std::string missing = dir / "Not There.mp3";

  const Outcome outcome = RunCli({"probe", tagged, missing, plain});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "29\tArtist - Title\t" + tagged + "\n" +  //
                             "0\tNot There\t" + missing + "\n" +   //
                             "250\tPlain Song\t" + plain + "\n");
  EXPECT_EQ(outcome.err, "");

  // A name that looks like an option, after "--".
  const std::string dashed = dir.WriteFile("-x.mp3", cbr);
  EXPECT_EQ(RunCli({"probe", "--", dashed}).out, "250\t-x\t" + dashed + "\n");
}

TEST(ProbeCommandTest, UsageErrorsExitWithTwoAndHelpWithZero) {
  EXPECT_EQ(RunCli({"probe"}).status, 2);
  EXPECT_EQ(RunCli({"--no-such-option"}).status, 2);
  EXPECT_EQ(RunCli({"probe", "--no-such-option", "a.mp3"}).status, 2);

  const Outcome help = RunCli({"probe", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("seconds<TAB>caption<TAB>path"), std::string::npos);
  const Outcome version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("sorvina-cli ", 0), 0u);
}

TEST(ProbeCommandTest, ReportsOutputThatCannotBeWritten) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  std::ostringstream err;
  EXPECT_EQ(cli::Run({"sorvina-cli", "probe", "/nonexistent/a.mp3"}, out, err), 1);
  EXPECT_NE(err.str().find("cannot write"), std::string::npos);
}

}  // namespace
}  // namespace sorvina::cli
