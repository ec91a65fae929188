// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/faults/test_volumes.h"
#include "tests/support/temp_dir.h"

// Libraries of songs, players to fill and command lines to fill them with, for the tests
// of fills that follow one another and of fills that go wrong.
namespace sorvina::test {

using Library = std::map<std::string, std::string>;  // file name -> bytes

// `count` songs of `smallest` bytes and up by `step`, sizes mixed, eight to a folder, each
// with a name of its own: "music/Artist 2/t17.mp3".
Library MakeLibrary(const TempDir& dir, int count, std::size_t smallest, std::size_t step);

// Writes `bytes` to `folder`/`relative`, making the folders on the way.
void WriteOn(const std::string& folder, const std::string& relative, const std::string& bytes);

// The songs at the top of `player` (copies are made there without folders).
std::set<std::string> SongsOn(const std::string& player);

// The hidden part files and placeholders anywhere on `player`: what a copy cut off may
// leave ("." names ending in ".part").
std::vector<std::string> PartFilesOn(const std::string& player);

struct CliOutcome {
  int status;
  std::string out;
  std::string err;
};

// Runs sorvina-cli with `arguments` in this process.
CliOutcome RunCli(std::vector<std::string> arguments);

// sorvina-cli started as a process of its own, to be stopped or killed part-way.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& arguments);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  bool started() const { return pid_ > 0; }
  void Signal(int signal) const;
  // Waits for the end: the exit status, or 128 + the signal that ended it.
  int Wait();
  std::string err() const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// Where sorvina-cli was built; empty when these tests were built without it.
const std::string& CliProgram();

// The folder of the phone that TestPlayer's kPhone shows: a phone "Google Pixel 7" to
// whoever reads its name.
inline constexpr char kTestPhoneFolder[] = "mtp:host=Google_Pixel_7_2A3B4C5D";

// A player to fill: a real exFAT volume, a small tmpfs, or a phone as the desktop mounts
// it (an MtpRulesVolume on a small tmpfs, the path its storage "Internal shared storage");
// mounted where the system allows, else `reason` says why not.
class TestPlayer {
 public:
  enum class Kind { kExFat, kTmpfs, kPhone };
  TestPlayer(Kind kind, int megabytes);

  bool mounted() const;
  const std::string& reason() const { return reason_; }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  Kind kind() const { return kind_; }
  // The phone's volume, to refuse its calls; none for the other kinds.
  const MtpRulesVolume* phone() const { return phone_.get(); }

 private:
  Kind kind_;
  std::unique_ptr<ExFatVolume> exfat_;
  std::unique_ptr<SmallVolume> tmpfs_;
  std::unique_ptr<MtpRulesVolume> phone_;
  std::string path_;
  std::string reason_;
};

const char* NameOf(TestPlayer::Kind kind);

}  // namespace sorvina::test
