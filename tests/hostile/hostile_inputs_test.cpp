// SPDX-License-Identifier: GPL-3.0-or-later
// Runs sorvina-cli, as a separate process, over a few hundred generated broken inputs:
// random bytes, truncations and mutations of good files, absurd sizes and counts,
// enormous lines, NUL bytes and CR-only line ends, and files that are no files at all.
// Every run must end by itself within its time bound, without a signal, with one of the
// program's exit statuses; copies must be byte-identical and written playlists whole.
// Usage: sorvina_hostile_inputs_test PATH_TO_SORVINA_CLI
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::test {
namespace {

namespace fs = std::filesystem;

std::string cliPath;

// Long enough for the slowest input under the sanitizers; a hang takes far longer.
constexpr std::chrono::seconds kRunLimit{60};

struct RunResult {
  bool timedOut = false;
  bool signalled = false;
  int signal = 0;
  int status = -1;
  std::string errors;  // what the run wrote on standard error
};

std::string Describe(const RunResult& result) {
  if (result.timedOut) return "did not end within its time bound";
  if (result.signalled) return "ended by signal " + std::to_string(result.signal);
  return "exit status " + std::to_string(result.status) + ", stderr: " + result.errors;
}

// Runs the program with `arguments`, standard input empty, its output kept in `scratch`.
RunResult RunCli(const std::vector<std::string>& arguments, const std::string& scratch) {
  const std::string outPath = scratch + "/stdout";
  const std::string errPath = scratch + "/stderr";
  std::vector<char*> argv{const_cast<char*>(cliPath.c_str())};
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  RunResult result;
  if (child < 0) {
    ADD_FAILURE() << "cannot start " << cliPath;
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      result.timedOut = true;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.signalled = WIFSIGNALED(status);
  result.signal = result.signalled ? WTERMSIG(status) : 0;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.errors = ReadBytes(errPath);
  return result;
}

// A run that ended by itself with success (0) or the engine's refusal (1).
void ExpectOrderlyEnd(const RunResult& result, const std::string& input) {
  EXPECT_TRUE(!result.timedOut && !result.signalled && (result.status == 0 || result.status == 1))
      << input << ": " << Describe(result);
}

std::string RandomBytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (char& byte : bytes)
    byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

// A well-formed file with everything the analysis looks at: an ID3v2 tag, a Xing frame,
// audio frames and an ID3v1 tag.
std::string GoodMp3() {
  const FrameFormat format;
  return Id3v2Tag(300) + XingFrame(format, 40) + SilentFrames(format, 40) +
         Id3v1Tag("Title", "Artist");
}

// Broken MP3 files, written into `folder`; returns their paths.
std::vector<std::string> WriteBrokenMp3s(const TempDir& dir, std::mt19937& random) {
  std::vector<std::string> paths;
  auto add = [&](const std::string& name, const std::string& bytes) {
    paths.push_back(dir.WriteFile("mp3/" + name, bytes));
  };
  const std::string good = GoodMp3();
  for (std::size_t size : {0, 1, 3, 4, 10, 127, 128, 129, 1000, 4096, 65536})
    add("random-" + std::to_string(size) + ".mp3", RandomBytes(random, size));
  for (int i = 0; i < 60; ++i) {
    const std::size_t cut = random() % good.size();
    add("cut-" + std::to_string(i) + ".mp3", good.substr(0, cut));
  }
  for (int i = 0; i < 60; ++i) {
    std::string mutated = good;
    const int flips = 1 + static_cast<int>(random() % 24);
    for (int flip = 0; flip < flips; ++flip)
      mutated[random() % mutated.size()] = static_cast<char>(random() & 0xFF);
    add("mutated-" + std::to_string(i) + ".mp3", mutated);
  }
  const FrameFormat format;
  add("huge-id3v2-claim.mp3", Id3v2Header(0x0FFFFFFF) + SilentFrames(format, 2));
  add("footer-only.mp3", Id3v2Footer(0x0FFFFFFF) + SilentFrames(format, 2));
  add("footer-at-end.mp3", SilentFrames(format, 3) + Id3v2Footer(0x0FFFFFFF));
  add("xing-max-frames.mp3", XingFrame(format, 0xFFFFFFFFu) + SilentFrames(format, 2));
  add("xing-zero-frames.mp3", XingFrame(format, 0) + SilentFrames(format, 2));
  add("sync-bytes.mp3", std::string(65536, '\xFF'));
  add("nul-bytes.mp3", std::string(65536, '\0'));
  add("tag-only.mp3", Id3v1Tag("", ""));
  add("id3v1-marker.mp3", "TAG");
  add("headers-only.mp3", HeaderBytes(FrameHeader(format)) + HeaderBytes(FrameHeader(format)));
  add("mpeg25-low-rate.mp3",
      SilentFrames({MpegVersion::kMpeg25, MpegLayer::kIII, 8, 8000, true}, 3));
  return paths;
}

// Entries of a folder that are not files to read: they must be passed over, never waited on.
void AddNonFiles(const TempDir& dir) {
  const std::string folder = dir / "mp3";
  ASSERT_EQ(mkfifo((folder + "/fifo.mp3").c_str(), 0600), 0);
  fs::create_directory(folder + "/folder.mp3");
  fs::create_symlink("/dev/zero", folder + "/zero.mp3");
  fs::create_symlink(folder + "/gone.mp3", folder + "/dangling.mp3");
}

std::vector<std::string> WriteBrokenPlaylists(const TempDir& dir, std::mt19937& random,
                                              const std::vector<std::string>& mp3s) {
  std::vector<std::string> paths;
  auto add = [&](const std::string& bytes) {
    paths.push_back(dir.WriteFile("lists/list-" + std::to_string(paths.size()) + ".m3u", bytes));
  };
  auto someMp3 = [&] { return mp3s[random() % mp3s.size()]; };
  for (std::size_t size : {0, 1, 2, 3, 100, 5000, 100000})
    add(RandomBytes(random, size));
  for (const char* end : {"\r\n", "\n", "\r", "\n\r", "\r\r\n"}) {
    std::string list = "#EXTM3U";
    for (int i = 0; i < 20; ++i)
      list += end + someMp3();
    add(list);
    add("\xEF\xBB\xBF" + list);
  }
  add(std::string(8 << 20, 'a') + ".mp3\n" + someMp3() + "\n");  // one enormous line
  add(std::string(100000, '\n') + someMp3());
  add(someMp3() + std::string(1, '\0') + "tail.mp3\n" + std::string(3, '\0') + "\n");
  add("../../../../../../../../../../etc/passwd.mp3\n/\n.mp3\n..mp3\n/.mp3\n");
  add(std::string(10000, '/') + "x.mp3\n" + "x/" + std::string(5000, 'y') + ".mp3\n");
  add("#EXTINF:-99999999999999999999,\n#EXTINF:\n#\n" + someMp3() + "\n");
  add(dir / "mp3/fifo.mp3\n" + dir / "mp3/zero.mp3\n" + dir / "mp3/folder.mp3\n" +
      dir / "mp3/dangling.mp3\n");
  add(dir / "lists/list-0.m3u\n");  // a playlist naming a playlist
  for (int i = 0; i < 30; ++i) {
    std::string list;
    for (int line = 0; line < 30; ++line) {
      list += random() % 3 == 0 ? RandomBytes(random, random() % 40) : someMp3();
      list += random() % 2 == 0 ? "\r\n" : "\n";
    }
    add(list);
  }
  return paths;
}

std::string GoodSettings(const TempDir& dir) {
  return "2\r\n" + dir / "mp3/\r\n" + dir / "lists/list-7.m3u\r\n" + dir / "out/s.m3u\r\n" +
         "1\r\n2.50 " + dir / "mp3/\r\n1 12\r\n";
}

std::vector<std::string> WriteBrokenSettings(const TempDir& dir, std::mt19937& random) {
  std::vector<std::string> paths;
  auto add = [&](const std::string& bytes) {
    paths.push_back(dir.WriteFile("settings/s-" + std::to_string(paths.size()) + ".txt", bytes));
  };
  const std::string good = GoodSettings(dir);
  for (std::size_t size : {0, 1, 2, 10, 1000, 100000})
    add(RandomBytes(random, size));
  for (int i = 0; i < 40; ++i)
    add(good.substr(0, random() % good.size()));
  for (const char* count : {"2147483647", "-5", "1e99", "99999999999999999999", "0x10", " 3", "nan",
                            "inf", "-2147483648", "4294967297"}) {
    add(std::string(count) + "\r\n" + dir / "mp3/\r\n");
    add("1\r\n" + dir / "mp3/\r\n" + dir / "out/x.m3u\r\n" + count + "\r\n2 x\r\n");
    add("1\r\n" + dir / "mp3/\r\n" + dir / "out/x.m3u\r\n0\r\n" + count + " " + count + "\r\n");
  }
  std::string crOnly = good;
  for (char& c : crOnly)
    if (c == '\n') c = '\r';
  add(crOnly);
  add("1\n" + std::string(8 << 20, 'b') + "\n" + dir / "out/x.m3u\n0\n0 1\n");
  add("1\n" + dir / "mp3/" + std::string(1, '\0') + "x\n" + dir / "out/x.m3u\n0\n2\0 1\n");
  add("1\n" + dir / "mp3/\n" + dir / "out/\n0\n1 1e400\n");
  add("1\n" + dir / "mp3/\n" + dir / "out/deeper/x.M3U\n1\nabc\n2 -3\n");
  return paths;
}

TEST(HostileInputsTest, BrokenFilesNeverCrashOrHangTheProgram) {
  ASSERT_FALSE(cliPath.empty()) << "usage: sorvina_hostile_inputs_test PATH_TO_SORVINA_CLI";
  TempDir dir;
  const std::string scratch = dir.MakeFolder("scratch");
  std::mt19937 random(20261207);
  const std::vector<std::string> mp3s = WriteBrokenMp3s(dir, random);
  AddNonFiles(dir);
  const std::vector<std::string> lists = WriteBrokenPlaylists(dir, random, mp3s);
  const std::vector<std::string> settings = WriteBrokenSettings(dir, random);
  int runs = 0;

  for (const std::string& mp3 : mp3s) {
    ExpectOrderlyEnd(RunCli({"probe", mp3}, scratch), mp3);
    ++runs;
  }
  for (const char* other : {"fifo.mp3", "zero.mp3", "folder.mp3", "dangling.mp3"}) {
    ExpectOrderlyEnd(RunCli({"probe", dir / (std::string("mp3/") + other)}, scratch), other);
    ++runs;
  }

  for (std::size_t i = 0; i < lists.size(); ++i) {
    const std::string out = dir / ("out/list-" + std::to_string(i) + ".m3u");
    ExpectOrderlyEnd(RunCli({"-q", "-s", lists[i], "-p", out, "--all", "--seed", "1"}, scratch),
                     lists[i]);
    ++runs;
    // A playlist that was written is whole: the header, then pairs of lines.
    const std::string written = ReadBytes(out);
    if (!written.empty()) {
      EXPECT_EQ(written.rfind("#EXTM3U\r\n", 0), 0u) << out;
      EXPECT_TRUE(written.ends_with("\r\n")) << out;
    }
  }

  for (const std::string& file : settings) {
    const RunResult result =
        RunCli({"-q", "--settings", file, "--dry-run", "--seed", "1"}, scratch);
    EXPECT_TRUE(!result.timedOut && !result.signalled && result.status >= 0 && result.status <= 2)
        << file << ": " << Describe(result);
    ++runs;
  }

  // Settings that cannot be read are an error with its reason, never an empty setting.
  ASSERT_EQ(mkfifo((dir / "settings/fifo.txt").c_str(), 0600), 0);
  for (const std::string& unreadable : {dir / "settings/missing.txt", dir / "settings",
                                        dir / "settings/fifo.txt", std::string("/proc/self/mem")}) {
    const RunResult result = RunCli({"--settings", unreadable, "--dry-run"}, scratch);
    EXPECT_EQ(result.status, 1) << unreadable << ": " << Describe(result);
    EXPECT_NE(result.errors.find("cannot read the settings file"), std::string::npos)
        << unreadable << ": " << result.errors;
    ++runs;
  }

  // The whole broken folder, copied: every file that could be read arrives byte for byte.
  const std::string copies = dir / "copies";
  ExpectOrderlyEnd(
      RunCli({"-q", "-s", dir / "mp3", "-c", copies, "--all", "--on-conflict", "skip"}, scratch),
      "copy of the broken folder");
  ++runs;
  int copied = 0;
  for (const std::string& mp3 : mp3s) {
    const std::string copy = copies + "/" + fs::path(mp3).filename().string();
    ASSERT_TRUE(fs::exists(copy)) << copy;
    EXPECT_EQ(ReadBytes(copy), ReadBytes(mp3)) << copy;
    ++copied;
  }
  for (const std::string& name : NamesIn(copies))
    EXPECT_EQ(name.find(".part"), std::string::npos) << name;

  std::printf(
      "%d runs of sorvina-cli over %zu MP3s, %zu playlists and %zu settings files; "
      "%d copies checked\n",
      runs, mp3s.size(), lists.size(), settings.size() + 4, copied);
}

// Patterns made to take exponential time from a matcher that backtracks, a pattern too long
// to take, and a song whose genre tag is a megabyte: each run ends in its time bound, and
// the pattern refused says why.
TEST(HostileInputsTest, FiltersEndInTimeOverHostilePatternsAndTags) {
  ASSERT_FALSE(cliPath.empty()) << "usage: sorvina_hostile_inputs_test PATH_TO_SORVINA_CLI";
  TempDir dir;
  const std::string scratch = dir.MakeFolder("scratch");
  const std::string deep = "music/" + std::string(200, 'a') + "/" + std::string(200, 'a') + "/";
  const std::string genre = std::string(1 << 20, 'x');
  // An ID3v2.4 tag of one genre frame, UTF-8, then a second of audio.
  const std::string frame = "TCON" + SynchsafeBytes(static_cast<std::uint32_t>(genre.size() + 1)) +
                            std::string(2, '\0') + '\x03' + genre;
  dir.WriteFile(deep + "huge-genre.mp3",
                std::string("ID3\x04\0\0", 6) +
                    SynchsafeBytes(static_cast<std::uint32_t>(frame.size())) + frame +
                    ConstantBitrateMp3(1));
  dir.WriteFile(deep + "plain.mp3", ConstantBitrateMp3(1));
  std::string backtracking;
  for (int i = 0; i < 450; ++i)
    backtracking += "*a";
  const std::vector<std::string> run = {"-q",          "-s",    dir / "music", "-p",
                                        dir / "l.m3u", "--all", "-n"};
  const std::vector<std::vector<std::string>> filters = {
      {"--exclude", std::string(10000, '*')},
      {"--exclude", backtracking + "b"},
      {"--genre", "rock"},
      {"--not-genre", "rock", "--skip-duplicates"}};
  for (const std::vector<std::string>& filter : filters) {
    std::vector<std::string> arguments = run;
    arguments.insert(arguments.end(), filter.begin(), filter.end());
    ExpectOrderlyEnd(RunCli(arguments, scratch), filter[0] + " " + filter[1].substr(0, 20));
  }
  std::vector<std::string> tooLong = run;
  tooLong.insert(tooLong.end(), {"--exclude", backtracking + backtracking});
  const RunResult refused = RunCli(tooLong, scratch);
  EXPECT_EQ(refused.status, 2) << Describe(refused);
  EXPECT_NE(refused.errors.find("--exclude: a pattern may be no longer than 1000 characters"),
            std::string::npos)
      << refused.errors;
}

}  // namespace
}  // namespace sorvina::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc == 2) sorvina::test::cliPath = argv[1];
  return RUN_ALL_TESTS();
}
