// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/fill_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/command_line.h"
#include "tests/support/mp3_fixtures.h"

#ifndef SORVINA_CLI_PROGRAM
#define SORVINA_CLI_PROGRAM ""
#endif
#ifndef SORVINA_MTP_RULES_VOLUME
#define SORVINA_MTP_RULES_VOLUME ""
#endif

extern char** environ;

namespace sorvina::test {

namespace fs = std::filesystem;

Library MakeLibrary(const TempDir& dir, int count, std::size_t smallest, std::size_t step) {
  // Real frames, so that a playlist of them is quick to write, and a tag that tells
  // each song apart.
  const FrameFormat format;
  const std::string stream = SilentFrames(
      format, static_cast<int>((smallest + std::size_t(count) * step) / FrameLength(format) + 1));
  Library library;
  for (int i = 0; i < count; ++i) {
    const std::string name = "t" + std::to_string(i) + ".mp3";
    std::string bytes =
        stream.substr(0, smallest + static_cast<std::size_t>(i * 37 % count) * step);
    bytes.replace(bytes.size() - 128, 128, Id3v1Tag("song " + std::to_string(i), "Artist"));
    dir.WriteFile("music/Artist " + std::to_string(i / 8) + "/" + name, bytes);
    library[name] = bytes;
  }
  return library;
}

void WriteOn(const std::string& folder, const std::string& relative, const std::string& bytes) {
  fs::create_directories(fs::path(folder + "/" + relative).parent_path());
  std::ofstream(folder + "/" + relative, std::ios::binary) << bytes;
}

std::set<std::string> SongsOn(const std::string& player) {
  std::set<std::string> songs;
  for (const fs::directory_entry& entry : fs::directory_iterator(player)) {
    const std::string name = entry.path().filename();
    if (entry.is_regular_file() && name.starts_with("t") && name.ends_with(".mp3"))
      songs.insert(name);
  }
  return songs;
}

std::vector<std::string> PartFilesOn(const std::string& player) {
  std::vector<std::string> parts;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(player)) {
    const std::string name = entry.path().filename();
    if (name.starts_with(".") && (name.ends_with(".part") || name.ends_with(".tmp")))
      parts.push_back(entry.path());
  }
  return parts;
}

CliOutcome RunCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "sorvina-cli");
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::Run(arguments, out, err);
  return {status, out.str(), err.str()};
}

const std::string& CliProgram() {
  static const std::string program = SORVINA_CLI_PROGRAM;
  return program;
}

CliProcess::CliProcess(const std::vector<std::string>& arguments) {
  if (CliProgram().empty()) return;
  std::vector<std::string> all = {CliProgram()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const std::string errors = dir_ / "err";
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT, 0644);
  if (posix_spawn(&pid_, CliProgram().c_str(), &actions, nullptr, argv.data(), environ) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

CliProcess::~CliProcess() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

void CliProcess::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

int CliProcess::Wait() {
  if (status_ >= 0 || pid_ <= 0) return status_;
  int raw = 0;
  if (waitpid(pid_, &raw, 0) != pid_) return -1;
  status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return status_;
}

std::string CliProcess::err() const {
  return ReadBytes(dir_ / "err");
}

TestPlayer::TestPlayer(Kind kind, int megabytes) : kind_(kind) {
  if (kind == Kind::kExFat) {
    exfat_ = std::make_unique<ExFatVolume>(megabytes);
    path_ = exfat_->path();
    reason_ = exfat_->reason();
  } else if (kind == Kind::kPhone) {
    phone_ = std::make_unique<MtpRulesVolume>(
        SORVINA_MTP_RULES_VOLUME,
        MtpRulesVolume::Options{.asDesktopMount = true, .bytes = std::uint64_t(megabytes) << 20});
    const std::string storage = std::string(kTestPhoneFolder) + "/Internal shared storage";
    if (phone_->mounted()) fs::create_directories(phone_->backing() + "/" + storage);
    path_ = *phone_ / storage;
    reason_ = phone_->reason();
  } else {
    tmpfs_ = std::make_unique<SmallVolume>(std::uint64_t(megabytes) << 20);
    path_ = tmpfs_->path();
    if (!tmpfs_->mounted()) reason_ = "no tmpfs may be mounted here";
  }
}

bool TestPlayer::mounted() const {
  if (phone_) return phone_->mounted();
  return exfat_ ? exfat_->mounted() : tmpfs_->mounted();
}

const char* NameOf(TestPlayer::Kind kind) {
  switch (kind) {
    case TestPlayer::Kind::kExFat:
      return "exFAT";
    case TestPlayer::Kind::kTmpfs:
      return "tmpfs";
    case TestPlayer::Kind::kPhone:
      return "phone";
  }
  return "";
}

}  // namespace sorvina::test
