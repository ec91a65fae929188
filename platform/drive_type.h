// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/contained_folder.h"

namespace sorvina::platform {

// What kind of volume holds a folder. It decides how a folder that cannot be created is
// explained (a write-protected medium, a network share, a read-only disc). The numbers
// are the customary drive-type codes, which the Windows-style folder checks rely on.
enum class DriveType {
  kUnknown = 0,          // nothing there could be examined
  kNoRootDirectory = 1,  // (Windows style only) a drive letter that names no drive
  kRemovable = 2,        // a USB stick, a memory card, a player
  kFixed = 3,
  kRemote = 4,  // NFS, SMB/CIFS, sshfs and other network file systems
  kCdRom = 5,   // ISO 9660 or UDF: a disc
  kRamDisk = 6  // tmpfs, ramfs
};

// The type of the volume that holds the nearest existing folder at or above `path`; a
// relative path counts from the current directory. kUnknown when no folder on the way
// can be examined.
DriveType DriveTypeOf(const std::string& path);

// How a mounted file system counts, given its type as the mount table names it ("ext4",
// "nfs4", "fuse.sshfs") and whether its block device reports removable media.
DriveType DriveTypeOfMount(std::string_view fileSystemType, bool removableDevice);

// The file-system type, as the mount table names it ("ext4", "vfat", "fuse.sshfs"), of the
// volume that holds the nearest existing folder at or above `path` (as for DriveTypeOf);
// empty when that cannot be told.
std::string FileSystemTypeOf(const std::string& path);

// Whether a mount of this type keeps the FAT family's naming rules: no ': ? * " < > | \'
// or control characters in a name, no trailing dot or blank. Types that might hold any
// file system (a bare "fuseblk") do not count.
bool IsFatFileSystem(std::string_view fileSystemType);

// Whether the volume that holds `path` (as for FileSystemTypeOf) keeps the FAT family's
// naming rules: its type says so, or it is a FUSE block-device mount ("fuseblk", as
// exFAT and NTFS drivers in user space show) whose device begins with a FAT or exFAT boot
// sector. A device this process may not read counts as no FAT volume. A phone's storage
// counts too (PhonePlaceOf): Android refuses the same characters in names.
bool IsFatVolume(const std::string& path);

// The same for the volume whose device number (st_dev) is `device`. Phones mounted by
// the desktop's virtual file system share their device with its other shares: only the
// path (IsFatVolume) tells them.
bool IsFatDevice(std::uint64_t device);

// Whether the files of the volume `device` have owners of their own. Not on FAT-family
// volumes, nor on the Windows file systems that drivers in user space keep ("fuseblk"),
// which give every file to whoever mounted the volume.
bool KeepsOwners(std::uint64_t device);

// The cluster size of the FAT or exFAT volume that holds `path`, read from its boot
// sector; 0 where that is no such volume or its device may not be read. Some drivers
// count their space in smaller blocks than the clusters they allocate.
std::uint64_t FatClusterBytes(const std::string& path);

// The cluster size a FAT or exFAT boot sector gives; 0 for any other sector.
std::uint64_t ClusterBytesOfBootSector(std::string_view bootSector);

// Writes what the system still holds for the volume of the folder `path` out to its
// device, so that the device can be removed: FlushFileSystem, and where a FUSE driver
// keeps the volume, whose data then waits in the device's own cache, a flush of every
// file system and device (sync), since the driver may not pass the flush on. 0, or the
// errno value of the failure.
[[nodiscard]] int FlushVolume(const std::string& path);
// The same for the volume of `folder`, wherever it is mounted, or unmounted meanwhile.
int FlushVolume(const ContainedFolder& folder);

// Whether `bootSector` (the first 512 bytes of a volume) is that of a FAT12/16/32 or an
// exFAT file system.
bool IsFatBootSector(std::string_view bootSector);

}  // namespace sorvina::platform
