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

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "platform/drive_type.h"

extern char** environ;

namespace sorvina::test {

namespace {

// Runs a program found in one of the system's program folders, its output going to the
// file `output` (none: discarded); its exit status, or -1 where it did not run or end.
int ProgramStatus(const std::vector<std::string>& arguments, const std::string& output = {}) {
  std::string program;
  for (const char* folder :
       {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
    const std::string candidate = std::string(folder) + "/" + arguments.front();
    if (access(candidate.c_str(), X_OK) == 0) {
      program = candidate;
      break;
    }
  }
  if (program.empty()) return -1;
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const char* to = output.empty() ? "/dev/null" : output.c_str();
  posix_spawn_file_actions_addopen(&actions, 1, to, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The process running `program` (the end of its first argument) with `argument` among
// its other arguments; -1 where there is none.
pid_t ProcessRunning(std::string_view program, const std::string& argument) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::vector<std::string> arguments;
    std::istringstream line(ReadBytes(entry.path() / "cmdline"));
    for (std::string word; std::getline(line, word, '\0');)
      arguments.push_back(word);
    if (!arguments.empty() && arguments.front().ends_with(program) &&
        std::find(arguments.begin() + 1, arguments.end(), argument) != arguments.end())
      return static_cast<pid_t>(std::stol(pid));
  }
  return -1;
}

// Whether the process `pid` has ended (also where it waits to be reaped by another).
bool HasEnded(pid_t pid) {
  const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t name = stat.rfind(')');
  return name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] == 'Z' ||
         stat[name + 2] == 'X';
}

}  // namespace

bool RunProgram(const std::vector<std::string>& arguments) {
  return ProgramStatus(arguments) == 0;
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

namespace {

// How a volume of one kind is made, carried and mounted, and why it cannot be had here.
// Every program is given its arguments here first, then those the comment names.
struct ImageKind {
  // The image's file name.
  const char* image;
  // Makes the file system on the image, a file of the volume's size; then the image.
  std::vector<std::string> make;
  // Whether the image is attached to a loop device, which its driver and fatsort are then
  // given instead of the image: exfat-fuse wants a block device, and what the driver wrote
  // waits in that device's cache, which fatsort reads with it.
  bool onLoopDevice;
  // The FUSE driver, which goes on running as the volume's daemon; then the device and the
  // folder.
  std::vector<std::string> mount;
  // Unmounts the volume where the system's own unmount is refused; then the folder.
  std::vector<std::string> unmount;
  // Why it cannot be had here, where making it or mounting it fails.
  const char* cannotMake;
  const char* cannotMount;
};

const ImageKind& KindOf(ImageVolume::Kind kind) {
  static const ImageKind kinds[] = {
      {.image = "fat.img",
       .make = {"mkfs.fat"},
       .onLoopDevice = false,
       .mount = {"fusefat", "-o", "rw+"},
       .unmount = {"fusermount", "-u"},
       .cannotMake = "mkfs.fat (dosfstools) is not installed",
       .cannotMount = "fusefat is not installed or FUSE may not be used here"},
      {.image = "exfat.img",
       .make = {"mkfs.exfat", "-c", "32K"},
       .onLoopDevice = true,
       .mount = {"mount.exfat-fuse"},
       .unmount = {"fusermount", "-u"},
       .cannotMake = "mkfs.exfat (exfatprogs) is not installed",
       .cannotMount = "exfat-fuse is not installed or FUSE may not be used here"},
  };
  return kinds[static_cast<int>(kind)];
}

// With its arguments after those `program` starts with.
std::vector<std::string> With(std::vector<std::string> program,
                              std::initializer_list<std::string> arguments) {
  program.insert(program.end(), arguments);
  return program;
}

}  // namespace

ImageVolume::ImageVolume(Kind kind, int megabytes)
    : kind_(kind),
      image_(dir_ / KindOf(kind).image),
      path_(dir_.MakeFolder("volume")),
      device_(image_) {
  const ImageKind& programs = KindOf(kind_);
  std::filesystem::resize_file(dir_.WriteFile(programs.image, ""), std::uintmax_t(megabytes) << 20);
  if (!RunProgram(With(programs.make, {image_}))) {
    reason_ = programs.cannotMake;
    return;
  }
  if (programs.onLoopDevice && !Attach()) {
    reason_ = "no loop device may be attached here";
    return;
  }
  mounted_ = Mount();
  if (mounted_) {
    type_ = platform::FileSystemTypeOf(path_);
  } else {
    reason_ = programs.cannotMount;
  }
}

bool ImageVolume::Attach() {
  // Another process may take the free device first: then the next one is tried.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int number = control < 0 ? -1 : ioctl(control, LOOP_CTL_GET_FREE);
    if (control >= 0) close(control);
    if (number < 0) return false;
    const std::string device = "/dev/loop" + std::to_string(number);
    loop_ = open(device.c_str(), O_RDWR | O_CLOEXEC);
    const int image = open(image_.c_str(), O_RDWR | O_CLOEXEC);
    const bool set = loop_ >= 0 && image >= 0 && ioctl(loop_, LOOP_SET_FD, image) == 0;
    const int error = errno;
    if (image >= 0) close(image);
    loop_info64 info{};
    info.lo_flags = LO_FLAGS_AUTOCLEAR;  // detached as the last user lets go, even after a crash
    if (set && ioctl(loop_, LOOP_SET_STATUS64, &info) == 0) {
      device_ = device;
      return true;
    }
    if (loop_ >= 0) close(loop_);
    loop_ = -1;
    if (set || error != EBUSY) return false;
  }
  return false;
}

bool ImageVolume::Mount() {
  // A FUSE driver may report success also where FUSE is not allowed: a mount shows as a
  // change of device from the folder above.
  struct stat before {};
  struct stat after {};
  if (stat(path_.c_str(), &before) != 0) return false;
  ProgramStatus(With(KindOf(kind_).mount, {device_, path_}), dir_ / "mount.txt");
  return stat(path_.c_str(), &after) == 0 && after.st_dev != before.st_dev;
}

std::optional<EntriesOnDevice> ImageVolume::ReadEntryOrder() {
  // A loop device stays attached while this object holds it open.
  if (!mounted_ || umount2(path_.c_str(), 0) != 0) return std::nullopt;
  std::optional<EntriesOnDevice> entries = EntriesListedBy(dir_, device_);
  mounted_ = Mount();
  return mounted_ ? entries : std::nullopt;
}

bool ImageVolume::PullOut(bool unsyncedKept) {
  // Pulling out is the loss of what waits in the loop device's cache, and plugging in
  // again checks the volume with fsck.exfat: an exFAT volume's alone.
  if (kind_ != Kind::kExFat) {
    reason_ = "only an exFAT volume can be pulled out";
    return false;
  }
  if (!mounted_) return false;
  const pid_t daemon = ProcessRunning(KindOf(kind_).mount.front(), device_);
  if (daemon <= 0 || kill(daemon, SIGKILL) != 0) return false;
  for (int wait = 0; wait < 500 && !HasEnded(daemon); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // What the loop device passed on to the image is what the stick holds; what the driver
  // wrote since the last sync waits in the system's cache of the loop device, which is
  // written back now or left out of the image taken. Every request to the dead mount fails
  // from now on (ENOTCONN), also one that opens its path anew, until PlugIn detaches it.
  mounted_ = false;
  pulledOut_ = true;
  if (unsyncedKept && fsync(loop_) != 0) return false;
  std::error_code error;
  return std::filesystem::copy_file(image_, image_ + ".kept",
                                    std::filesystem::copy_options::overwrite_existing, error);
}

bool ImageVolume::PlugIn(bool* repaired) {
  if (mounted_ || !pulledOut_) return mounted_;
  if (umount2(path_.c_str(), MNT_DETACH) != 0) {
    reason_ = "the dead mount could not be detached";
    return false;
  }
  pulledOut_ = false;
  // The old loop device goes with its cache once the dead mount lets go of it; the image
  // as the stick kept it comes on a new one.
  close(loop_);
  loop_ = -1;
  std::error_code error;
  std::filesystem::rename(image_ + ".kept", image_, error);
  if (error || !Attach()) {
    reason_ = "the image could not be attached again";
    return false;
  }
  // A stick pulled out while the system was writing its cache back can keep part of one
  // change: a removed file's clusters freed but its entry kept, a moved file's new entry
  // beside its old one. A user's system checks a volume that was not unmounted cleanly
  // before using it again (or asks to), and so does this: fsck.exfat repairs what it finds
  // (exit status 1). With the cache written back whole or not at all, as PullOut leaves
  // it, there is nothing to repair, unless the system wrote back part of it meanwhile.
  const std::string report = dir_ / "fsck.txt";
  const int status = ProgramStatus({"fsck.exfat", "-y", device_}, report);
  if (repaired != nullptr) *repaired = status == 1;
  if (status != 0 && status != 1) {
    reason_ = "fsck.exfat could not repair the volume (exit status " + std::to_string(status) +
              "): " + ReadBytes(report);
    return false;
  }
  mounted_ = Mount();
  if (!mounted_)
    reason_ = "the volume could not be mounted again: " + ReadBytes(dir_ / "mount.txt");
  return mounted_;
}

std::string ImageVolume::RepairReport() const {
  return ReadBytes(dir_ / "fsck.txt");
}

ImageVolume::~ImageVolume() {
  if (pulledOut_) umount2(path_.c_str(), MNT_DETACH);
  if (mounted_ && umount2(path_.c_str(), 0) != 0 &&
      !RunProgram(With(KindOf(kind_).unmount, {path_})))
    umount2(path_.c_str(), MNT_DETACH);
  if (loop_ >= 0) close(loop_);
}

namespace {

// Starts the FUSE daemon `arguments` that mounts `volume` on `path`, as root only, and
// waits up to five seconds for the mount; `reason` says why not where it fails.
bool MountByHelper(const std::string& volume, const std::vector<std::string>& arguments,
                   const std::string& path, pid_t* helper, std::string* reason) {
  if (geteuid() != 0) {
    *reason = "only root may mount " + volume + " here";
    return false;
  }
  struct stat before {};
  stat(path.c_str(), &before);
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(helper, arguments.front().c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    *helper = -1;
    *reason = volume + "'s helper cannot be started";
    return false;
  }
  // The mount shows as a change of device.
  for (int wait = 0; wait < 500; ++wait) {
    struct stat after {};
    if (stat(path.c_str(), &after) == 0 && after.st_dev != before.st_dev) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  *reason = "FUSE may not be used here";
  return false;
}

// Unmounts what `helper` mounted on `path` and waits for it to end.
void UnmountByHelper(const std::string& path, bool mounted, pid_t helper) {
  if (mounted && umount2(path.c_str(), 0) != 0) umount2(path.c_str(), MNT_DETACH);
  if (helper > 0) {
    if (!mounted) kill(helper, SIGTERM);
    int status = 0;
    waitpid(helper, &status, 0);
  }
}

}  // namespace

FailingVolume::FailingVolume(const std::string& helper)
    : backing_(dir_.MakeFolder("kept")),
      path_(dir_.MakeFolder("volume")),
      control_(dir_ / "control") {
  if (helper.empty()) {
    reason_ = "the failing volume was not built (libfuse3 missing)";
    return;
  }
  FailAfter(-1);
  mounted_ = MountByHelper("the failing volume", {helper, backing_, path_, control_}, path_,
                           &helper_, &reason_);
}

FailingVolume::~FailingVolume() {
  FailAfter(-1);
  UnmountByHelper(path_, mounted_, helper_);
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

MtpRulesVolume::MtpRulesVolume(const std::string& helper, Options options)
    : backing_(dir_.MakeFolder("kept")), path_(dir_.MakeFolder("volume")) {
  if (helper.empty()) {
    reason_ = "the MTP rules volume was not built (libfuse3 missing)";
    return;
  }
  if (options.bytes > 0) {
    storage_ = std::make_unique<SmallVolume>(options.bytes);
    if (!storage_->mounted()) {
      reason_ = "no tmpfs may be mounted here";
      return;
    }
    backing_ = storage_->path();
  }
  RefuseCalls({});
  mounted_ = MountByHelper(
      "the MTP rules volume",
      {helper, "--listing-ms", std::to_string(options.listingMs), "--failing-call",
       std::to_string(options.failingCall), "--count", dir_ / "count", "--refuse", dir_ / "refuse",
       "--subtype", options.asDesktopMount ? "gvfsd-fuse" : "mtp-rules", backing_, path_},
      path_, &helper_, &reason_);
}

MtpRulesVolume::~MtpRulesVolume() {
  UnmountByHelper(path_, mounted_, helper_);
}

long long MtpRulesVolume::ChangesMade() const {
  long long made = 0;
  std::ifstream(dir_ / "count") >> made;
  return made;
}

void MtpRulesVolume::RefuseCalls(const std::vector<long long>& calls) const {
  const long long made = ChangesMade();
  std::ofstream refused(dir_ / "refuse", std::ios::trunc);
  for (const long long call : calls)
    refused << made + call << "\n";
}

}  // namespace sorvina::test
