// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drive_type.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/phone_mounts.h"

namespace sorvina::platform {
namespace {

// The nearest folder at or above `path`, found by dropping its last part until what is
// left names a folder. A relative path that runs out of parts ends at the current
// directory. Nothing when even the top cannot be examined.
std::optional<struct stat> NearestFolderStatus(const std::string& path) {
  std::string candidate = path.empty() ? "." : path;
  for (;;) {
    struct stat status {};
    if (stat(candidate.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return status;
    if (candidate == "/" || candidate == ".") return std::nullopt;
    while (candidate.size() > 1 && candidate.back() == '/')
      candidate.pop_back();
    const std::size_t slash = candidate.rfind('/');
    if (slash == std::string::npos) {
      candidate.assign(1, '.');
    } else {
      candidate.resize(slash == 0 ? 1 : slash);
    }
  }
}

// The mount that `device` belongs to, as the process's mount table names it; an empty
// type when the table has no line for it.
MountEntry MountOf(std::uint64_t device) {
  const auto number = static_cast<dev_t>(device);
  for (MountEntry& mount : ReadMountTable()) {
    if (mount.device == DeviceNumber{major(number), minor(number)} && !mount.type.empty())
      return std::move(mount);
  }
  return {};
}

// The first sector of the block device at `path`; empty when it cannot be read.
std::string BootSectorOf(const std::string& path) {
  std::ifstream device(path, std::ios::binary);
  std::string sector(512, '\0');
  if (!device.read(sector.data(), static_cast<std::streamsize>(sector.size()))) return {};
  return sector;
}

std::string DeviceText(std::uint64_t device) {
  const auto number = static_cast<dev_t>(device);
  return std::to_string(major(number)) + ":" + std::to_string(minor(number));
}

// Whether the block device reports removable media. A partition has no such flag of its
// own: its disk, one level up in sysfs, has it.
bool IsRemovableDevice(std::uint64_t device) {
  const std::string base = "/sys/dev/block/" + DeviceText(device);
  for (const std::string& flag : {base + "/removable", base + "/../removable"}) {
    std::ifstream in(flag);
    char value = 0;
    if (in.get(value)) return value == '1';
  }
  return false;
}

// The device (st_dev) of the nearest folder at or above `path`.
std::optional<std::uint64_t> DeviceOfNearestFolder(const std::string& path) {
  if (HasNulByte(path)) return std::nullopt;
  const std::optional<struct stat> folder = NearestFolderStatus(path);
  if (!folder) return std::nullopt;
  return static_cast<std::uint64_t>(folder->st_dev);
}

bool IsFuseType(std::string_view type) {
  return type == "fuseblk" || type == "fuse" || type.starts_with("fuse.");
}

bool IsFatMount(const MountEntry& mount) {
  if (IsFatFileSystem(mount.type) || IsPhoneMountType(mount.type)) return true;
  return mount.type == "fuseblk" && mount.source.starts_with('/') &&
         IsFatBootSector(BootSectorOf(mount.source));
}

}  // namespace

DriveType DriveTypeOf(const std::string& path) {
  const std::optional<std::uint64_t> device = DeviceOfNearestFolder(path);
  if (!device) return DriveType::kUnknown;
  const std::string type = MountOf(*device).type;
  if (type.empty()) return DriveType::kUnknown;
  return DriveTypeOfMount(type, IsRemovableDevice(*device));
}

std::string FileSystemTypeOf(const std::string& path) {
  const std::optional<std::uint64_t> device = DeviceOfNearestFolder(path);
  return device ? MountOf(*device).type : std::string();
}

bool IsFatBootSector(std::string_view bootSector) {
  if (bootSector.size() < 512) return false;
  // The file system's name where each kind keeps it: exFAT in the OEM name, FAT12/16 and
  // FAT32 in their extended boot records.
  return bootSector.substr(3, 8) == "EXFAT   " || bootSector.substr(54, 3) == "FAT" ||
         bootSector.substr(82, 5) == "FAT32";
}

std::uint64_t ClusterBytesOfBootSector(std::string_view bootSector) {
  if (!IsFatBootSector(bootSector)) return 0;
  const auto byte = [&bootSector](std::size_t at) {
    return static_cast<std::uint64_t>(static_cast<unsigned char>(bootSector[at]));
  };
  if (bootSector.substr(3, 8) == "EXFAT   ") {
    // Sectors and clusters as powers of two, whose exponents are kept at 108 and 109.
    const std::uint64_t shift = byte(108) + byte(109);
    return shift < 32 ? std::uint64_t{1} << shift : 0;
  }
  // Bytes per sector (little-endian, at 11) times sectors per cluster (at 13).
  return (byte(11) | byte(12) << 8) * byte(13);
}

int FlushVolume(const std::string& path) {
  if (const int error = FlushFileSystem(path)) return error;
  if (IsFuseType(FileSystemTypeOf(path))) sync();
  return 0;
}

int FlushVolume(const ContainedFolder& folder) {
  if (const int error = folder.Flush()) return error;
  // A volume unmounted meanwhile is no longer in the mount table: flush everything then.
  const std::string type = MountOf(folder.device()).type;
  if (type.empty() || IsFuseType(type)) sync();
  return 0;
}

bool IsFatVolume(const std::string& path) {
  const std::optional<std::uint64_t> device = DeviceOfNearestFolder(path);
  return device && (IsFatMount(MountOf(*device)) || PhonePlaceOf(path));
}

bool IsFatDevice(std::uint64_t device) {
  return IsFatMount(MountOf(device));
}

bool KeepsOwners(std::uint64_t device) {
  const MountEntry mount = MountOf(device);
  return !IsFatMount(mount) && mount.type != "fuseblk";
}

std::uint64_t FatClusterBytes(const std::string& path) {
  const std::optional<std::uint64_t> device = DeviceOfNearestFolder(path);
  if (!device) return 0;
  const MountEntry mount = MountOf(*device);
  if (!mount.source.starts_with('/')) return 0;
  return ClusterBytesOfBootSector(BootSectorOf(mount.source));
}

bool IsFatFileSystem(std::string_view fileSystemType) {
  static constexpr std::string_view kFat[] = {"vfat", "msdos", "exfat", "umsdos", "fuse.fusefat"};
  for (std::string_view fat : kFat) {
    if (fileSystemType == fat) return true;
  }
  return false;
}

DriveType DriveTypeOfMount(std::string_view fileSystemType, bool removableDevice) {
  // Network file systems, kernel ones and those mounted through FUSE.
  static constexpr std::string_view kRemote[] = {
      "nfs",       "nfs4",          "cifs",       "smb3",        "smbfs",
      "ncpfs",     "afs",           "coda",       "9p",          "ceph",
      "glusterfs", "davfs",         "fuse.sshfs", "fuse.rclone", "fuse.curlftpfs",
      "fuse.s3fs", "fuse.glusterfs"};
  for (std::string_view remote : kRemote) {
    if (fileSystemType == remote) return DriveType::kRemote;
  }
  if (fileSystemType == "iso9660" || fileSystemType == "udf") return DriveType::kCdRom;
  if (fileSystemType == "tmpfs" || fileSystemType == "ramfs") return DriveType::kRamDisk;
  return removableDevice ? DriveType::kRemovable : DriveType::kFixed;
}

}  // namespace sorvina::platform
