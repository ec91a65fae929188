// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/test_volumes.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "platform/drive_type.h"

extern char** environ;

namespace sorvina::test {

// Runs a program found in one of the system's program folders, its output discarded;
// true when it ran and succeeded.
bool RunProgram(const std::vector<std::string>& arguments) {
  std::string program;
  for (const char* folder :
       {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
    const std::string candidate = std::string(folder) + "/" + arguments.front();
    if (access(candidate.c_str(), X_OK) == 0) {
      program = candidate;
      break;
    }
  }
  if (program.empty()) return false;
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

namespace {

// What `fatsort -l` lists of the unmounted volume `device`: a line "/" or "/Rock/Live/"
// ahead of each folder's entries, which end at an empty line. Its output goes through a
// file in `dir`.
std::optional<EntriesOnDevice> EntriesListedBy(const TempDir& dir, const std::string& device) {
  const std::string listing = dir / "fatsort.txt";
  const char* program = "/usr/sbin/fatsort";
  if (access(program, X_OK) != 0) program = "/usr/bin/fatsort";
  const char* argv[] = {program, "-l", device.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, listing.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, program, &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    return std::nullopt;
  EntriesOnDevice entries;
  std::vector<std::string>* folder = nullptr;
  for (const std::string& line : LinesOf(ReadBytes(listing))) {
    if (line.empty()) {
      folder = nullptr;
    } else if (folder == nullptr && line.front() == '/' && line.back() == '/') {
      folder = &entries[line.size() == 1 ? std::string() : line.substr(1, line.size() - 2)];
    } else if (folder != nullptr) {
      folder->push_back(line);
    }
  }
  return entries;
}

}  // namespace

SmallVolume::SmallVolume(std::uint64_t bytes) : bytes_(bytes), path_(dir_.MakeFolder("volume")) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
  mounted_ =
      mount("sorvina-test", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  std::cout << "[   NOTE   ] " << bytes << " bytes: "
            << (mounted_ ? "a tmpfs of that size" : "mounting refused, a file-size limit") << "\n";
}

SmallVolume::~SmallVolume() {
  if (mounted_) umount2(path_.c_str(), MNT_DETACH);
}

std::string SmallVolume::Run(const std::function<std::string()>& body) const {
  return mounted_ ? body() : RunWithFileSizeLimit(bytes_, body);
}

bool SmallVolume::MakeReadOnly() const {
  return mounted_ && mount(nullptr, path_.c_str(), nullptr,
                           MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

FatVolume::FatVolume() : image_(dir_ / "fat.img"), path_(dir_.MakeFolder("volume")) {
  if (!RunProgram({"mkfs.fat", "-C", image_, "4096"})) return;
  mounted_ = Mount();
  if (mounted_) type_ = platform::FileSystemTypeOf(path_);
}

bool FatVolume::Mount() {
  // fusefat reports success also when FUSE is not allowed: a mount shows as a change of
  // device from the folder above.
  struct stat before {};
  struct stat after {};
  if (stat(path_.c_str(), &before) != 0) return false;
  RunProgram({"fusefat", "-o", "rw+", image_, path_});
  return stat(path_.c_str(), &after) == 0 && after.st_dev != before.st_dev;
}

std::optional<EntriesOnDevice> FatVolume::ReadEntryOrder() {
  if (!mounted_ || umount2(path_.c_str(), 0) != 0) return std::nullopt;
  std::optional<EntriesOnDevice> entries = EntriesListedBy(dir_, image_);
  mounted_ = Mount();
  return mounted_ ? entries : std::nullopt;
}

FatVolume::~FatVolume() {
  if (mounted_ && umount2(path_.c_str(), 0) != 0) RunProgram({"fusermount", "-u", path_});
}

ExFatVolume::ExFatVolume(int megabytes)
    : image_(dir_ / "exfat.img"), path_(dir_.MakeFolder("player")) {
  std::filesystem::resize_file(dir_.WriteFile("exfat.img", ""), std::uintmax_t(megabytes) << 20);
  if (!RunProgram({"mkfs.exfat", "-c", "32K", image_})) {
    reason_ = "mkfs.exfat (exfatprogs) is not installed";
    return;
  }
  const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
  const int number = control < 0 ? -1 : ioctl(control, LOOP_CTL_GET_FREE);
  if (control >= 0) close(control);
  const std::string device = "/dev/loop" + std::to_string(number);
  loop_ = number < 0 ? -1 : open(device.c_str(), O_RDWR | O_CLOEXEC);
  const int image = open(image_.c_str(), O_RDWR | O_CLOEXEC);
  loop_info64 info{};
  info.lo_flags = LO_FLAGS_AUTOCLEAR;  // detached as the last user lets go, even after a crash
  const bool attached = loop_ >= 0 && image >= 0 && ioctl(loop_, LOOP_SET_FD, image) == 0 &&
                        ioctl(loop_, LOOP_SET_STATUS64, &info) == 0;
  if (image >= 0) close(image);
  if (!attached) {
    reason_ = "no loop device may be attached here";
    return;
  }
  device_ = device;
  mounted_ = Mount();
  if (!mounted_) reason_ = "exfat-fuse is not installed or FUSE may not be used here";
}

bool ExFatVolume::Mount() {
  struct stat before {};
  struct stat after {};
  stat(path_.c_str(), &before);
  RunProgram({"mount.exfat-fuse", device_, path_});
  return stat(path_.c_str(), &after) == 0 && after.st_dev != before.st_dev;
}

std::optional<EntriesOnDevice> ExFatVolume::ReadEntryOrder() {
  // The loop device stays attached while this object holds it open.
  if (!mounted_ || umount2(path_.c_str(), 0) != 0) return std::nullopt;
  std::optional<EntriesOnDevice> entries = EntriesListedBy(dir_, device_);
  mounted_ = Mount();
  return mounted_ ? entries : std::nullopt;
}

ExFatVolume::~ExFatVolume() {
  if (mounted_ && umount2(path_.c_str(), 0) != 0 && !RunProgram({"fusermount", "-u", path_}))
    umount2(path_.c_str(), MNT_DETACH);
  if (loop_ >= 0) close(loop_);
}

FailingVolume::FailingVolume(const std::string& helper)
    : backing_(dir_.MakeFolder("kept")),
      path_(dir_.MakeFolder("volume")),
      control_(dir_ / "control") {
  if (helper.empty()) {
    reason_ = "the failing volume was not built (libfuse3 missing)";
    return;
  }
  if (geteuid() != 0) {
    reason_ = "only root may mount the failing volume here";
    return;
  }
  FailAfter(-1);
  struct stat before {};
  stat(path_.c_str(), &before);
  const std::vector<std::string> arguments = {helper, backing_, path_, control_};
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&helper_, helper.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    helper_ = -1;
    reason_ = "the failing volume's helper cannot be started";
    return;
  }
  // The mount shows as a change of device; give up after five seconds.
  for (int wait = 0; wait < 500 && !mounted_; ++wait) {
    struct stat after {};
    mounted_ = stat(path_.c_str(), &after) == 0 && after.st_dev != before.st_dev;
    if (!mounted_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!mounted_) reason_ = "FUSE may not be used here";
}

FailingVolume::~FailingVolume() {
  FailAfter(-1);
  if (mounted_ && umount2(path_.c_str(), 0) != 0) umount2(path_.c_str(), MNT_DETACH);
  if (helper_ > 0) {
    if (!mounted_) kill(helper_, SIGTERM);
    int status = 0;
    waitpid(helper_, &status, 0);
  }
}

void FailingVolume::FailAfter(long long changes) {
  std::ofstream(control_, std::ios::trunc) << ++generation_ << " " << changes << "\n";
  std::filesystem::remove(control_ + ".count");
}

long long FailingVolume::ChangesMade() const {
  long long made = 0;
  std::ifstream(control_ + ".count") >> made;
  return made;
}

}  // namespace sorvina::test
