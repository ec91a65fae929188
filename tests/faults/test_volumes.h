// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

// Volumes the fault tests write to: small ones that fill up, real FAT and exFAT ones, and
// one that fails on cue. Each is made where the system allows and says why where not;
// each is unmounted and removed when the object goes.
namespace sorvina::test {

// Runs a program found in one of the system's program folders, its output discarded;
// true when it ran and succeeded.
bool RunProgram(const std::vector<std::string>& arguments);

// A folder that holds at most `bytes`: a tmpfs of that size mounted on it where this
// process may mount (as root), else a plain folder whose writers run in a child process
// limited to files of `bytes`. Which of the two is printed, since the reasons differ.
class SmallVolume {
 public:
  explicit SmallVolume(std::uint64_t bytes);
  ~SmallVolume();
  SmallVolume(const SmallVolume&) = delete;
  SmallVolume& operator=(const SmallVolume&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
  }
  bool mounted() const { return mounted_; }
  // The system's words for a write that does not fit.
  std::string FullReason() const { return mounted_ ? "No space left on device" : "File too large"; }
  // Runs `body`, which writes onto the volume, where the volume's limit holds.
  std::string Run(const std::function<std::string()>& body) const;
  // Makes the mounted volume read-only, as a write-protected card is; false when not
  // mounted.
  bool MakeReadOnly() const;

 private:
  TempDir dir_;
  std::uint64_t bytes_;
  std::string path_;
  bool mounted_ = false;
};

// The entries of each folder of a FAT or exFAT volume in their order on the device, as
// fatsort lists them: "" for the root, "Rock/Live" for a folder below it.
using EntriesOnDevice = std::map<std::string, std::vector<std::string>>;

// A real FAT or exFAT volume: an image of `megabytes` made by the file system's mkfs,
// attached to a loop device where its FUSE driver wants one, and mounted through FUSE,
// where these are installed and loop devices and FUSE may be used; else `reason` says why
// not. Unmounted, and its loop device let go, when the object goes.
class ImageVolume {
 public:
  // The kinds of volume made, each by its own programs.
  enum class Kind {
    kFat,    // made by mkfs.fat, mounted by fusefat
    kExFat,  // made by mkfs.exfat with the 32 KiB clusters of a player, mounted by exfat-fuse
  };

  ImageVolume(Kind kind, int megabytes);
  ~ImageVolume();
  ImageVolume(const ImageVolume&) = delete;
  ImageVolume& operator=(const ImageVolume&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  // The mounted volume's file system type, as the system names it.
  const std::string& type() const { return type_; }
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
  }
  // Unmounts the volume, reads its entries' order with fatsort and mounts it again;
  // nothing where any of that fails (fatsort missing) or the volume is in use.
  std::optional<EntriesOnDevice> ReadEntryOrder();

  // Pulls the player out in the middle of whatever is under way: the volume's FUSE daemon
  // is killed (SIGKILL), which ends every request at once. The stick keeps what was brought
  // to it (synced, or written back by the system on its own) and, with `unsyncedKept`, all
  // else the driver wrote, as where the system had written its cache back just before; else
  // that is lost, as a stick pulled out loses it. The dead mount stays until PlugIn, so
  // that a program that opens the player's path meanwhile finds no player rather than the
  // folder below. False where no daemon of this volume's was found, and for a FAT volume:
  // only exFAT sits on a loop device whose cache can be kept or lost, and has its check.
  bool PullOut(bool unsyncedKept);
  // Plugs it in again after PullOut: the dead mount is detached, the volume as the stick
  // kept it checked and, where the check finds damage, repaired (fsck.exfat), and mounted
  // where it was. False where it cannot be mounted; `repaired` tells whether the check
  // found anything to repair.
  bool PlugIn(bool* repaired = nullptr);
  // What the last check of PlugIn said.
  std::string RepairReport() const;

 private:
  bool Attach();
  bool Mount();

  Kind kind_;
  TempDir dir_;
  std::string image_;
  std::string path_;
  // What the driver and fatsort are given: the loop device, else the image itself.
  std::string device_;
  int loop_ = -1;
  bool mounted_ = false;
  bool pulledOut_ = false;
  std::string type_;
  std::string reason_;
};

// A 4 MiB FAT volume.
class FatVolume : public ImageVolume {
 public:
  FatVolume() : ImageVolume(Kind::kFat, 4) {}
};

// An exFAT volume of `megabytes`.
class ExFatVolume : public ImageVolume {
 public:
  explicit ExFatVolume(int megabytes) : ImageVolume(Kind::kExFat, megabytes) {}
};

// A volume that works like any other until it is told to go, as a player pulled out or a
// failing card does: from a chosen changing call on (creating, writing, renaming,
// removing, ...) every call fails with an I/O error. What its backing folder holds then is
// what such a device kept. Made by the helper program `helper` over FUSE, where it was
// built and FUSE may be used (as root).
class FailingVolume {
 public:
  explicit FailingVolume(const std::string& helper);
  ~FailingVolume();
  FailingVolume(const FailingVolume&) = delete;
  FailingVolume& operator=(const FailingVolume&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  // Where the volume is mounted, and the folder that holds what it keeps.
  const std::string& path() const { return path_; }
  const std::string& backing() const { return backing_; }

  // From now on the volume fails after `changes` more changing calls; -1: never.
  void FailAfter(long long changes);
  // The changing calls made since the last FailAfter.
  long long ChangesMade() const;

 private:
  TempDir dir_;
  std::string backing_;
  std::string path_;
  std::string control_;
  long long generation_ = 0;
  pid_t helper_ = -1;
  bool mounted_ = false;
  std::string reason_;
};

// A phone or player reached over MTP, as the desktop mounts it: nothing is renamed or
// linked; a file is written once, front to back, and reads as 0 bytes long until closed;
// an existing file is never opened for writing or truncated; names with any of
// "*:<>?\| or a control character are refused. Listing a folder may be made slow, and one
// changing call (creating, writing, closing a written file, removing, making or removing
// a folder) made to fail. Made by the helper program `helper` over FUSE, where it was built
// and FUSE may be used (as root); the files are kept in `backing`.
class MtpRulesVolume {
 public:
  struct Options {
    int listingMs = 0;          // added to every listing of a folder
    long long failingCall = 0;  // the changing call, counted from 1, that fails; 0: none
    // Mounted with the type of the desktop's virtual file system, which shows each phone
    // as a folder "mtp:host=…" at its top: a folder of that name there is taken for a phone.
    bool asDesktopMount = false;
    // Where not 0, the files are kept on a tmpfs of this size (where one may be mounted), so
    // that the volume has the room of a small phone rather than of the test's disk.
    std::uint64_t bytes = 0;
  };

  explicit MtpRulesVolume(const std::string& helper) : MtpRulesVolume(helper, Options{}) {}
  MtpRulesVolume(const std::string& helper, Options options);
  ~MtpRulesVolume();
  MtpRulesVolume(const MtpRulesVolume&) = delete;
  MtpRulesVolume& operator=(const MtpRulesVolume&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  const std::string& path() const { return path_; }
  const std::string& backing() const { return backing_; }
  std::string operator/(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
  }
  // The changing calls made so far.
  long long ChangesMade() const;
  // From now on the changing calls `calls` fail, counted from 1 after the last one made (in
  // place of those chosen before).
  void RefuseCalls(const std::vector<long long>& calls) const;

 private:
  TempDir dir_;
  std::unique_ptr<SmallVolume> storage_;  // where the files are kept on a tmpfs
  std::string backing_;
  std::string path_;
  pid_t helper_ = -1;
  bool mounted_ = false;
  std::string reason_;
};

}  // namespace sorvina::test
