// SPDX-License-Identifier: GPL-3.0-or-later
// The programs start without FFmpeg and libebur128: only the codec helper loads them, for
// the runs that convert or measure loudness.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/support/encoded_audio.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::cli {
namespace {

namespace fs = std::filesystem;

// A line that names one of FFmpeg's libraries or libebur128.
bool NamesCodecLibrary(const std::string& text) {
  static const std::regex library(R"(lib(av[a-z]+|sw(resample|scale)|postproc|ebur128)\.so)");
  return std::regex_search(text, library);
}

// The libraries `program` loads at its start, as the dynamic loader finds them.
std::string LibrariesOf(const std::string& program) {
  std::string output;
  if (std::FILE* pipe = popen(("ldd " + test::ShellQuoted(program) + " 2>&1").c_str(), "r")) {
    char chunk[4096];
    for (std::size_t read; (read = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
      output.append(chunk, read);
    pclose(pipe);
  }
  return output;
}

TEST(CodecLoadingTest, OnlyTheHelperProgramLinksTheCodecs) {
  for (const std::string program : {SORVINA_CLI_PROGRAM, SORVINA_WIZARD_PROGRAM}) {
    if (program.empty() || !fs::exists(program)) continue;  // the wizard is built with Qt only
    SCOPED_TRACE(program);
    const std::string libraries = LibrariesOf(program);
    ASSERT_THAT(libraries, ::testing::HasSubstr("libc.so"));
    EXPECT_FALSE(NamesCodecLibrary(libraries)) << libraries;
  }
  // The check sees them where they are.
  EXPECT_TRUE(NamesCodecLibrary(LibrariesOf(SORVINA_CODECS_PROGRAM)));
}

// A classic fill, then one that converts and brings the songs to one loudness, run in
// this process: the second converts, and neither maps a codec library into it.
TEST(CodecLoadingTest, RunsThatConvertLeaveTheCodecsToTheHelper) {
  test::TempDir dir;
  dir.WriteFile("music/a.wav", test::SoundWav(44100, 2, 2));
  dir.WriteFile("music/b.mp3", test::ConstantBitrateMp3(2));
  const test::CacheFolderMoved cacheFolder(dir / "cache");
  const Outcome copied = RunCli({"-s", dir / "music", "-c", dir / "classic", "--all"});
  ASSERT_EQ(copied.status, 0) << copied.err;
  EXPECT_EQ(test::NamesIn(dir / "classic"), std::vector<std::string>{"b.mp3"});

  const Outcome converted =
      RunCli({"-s", dir / "music", "--types", "mp3,wav", "-c", dir / "converted", "--all",
              "--convert", "mp3", "--loudness", "-16"});
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(test::NamesIn(dir / "converted"),
            (std::vector<std::string>{".sorvina", "a.mp3", "b.mp3"}));
  EXPECT_THAT(converted.err, ::testing::HasSubstr("1 converted"));

  const std::string maps = test::ReadBytes("/proc/self/maps");
  ASSERT_THAT(maps, ::testing::HasSubstr("libc.so"));
  EXPECT_FALSE(NamesCodecLibrary(maps));
}

}  // namespace
}  // namespace sorvina::cli
