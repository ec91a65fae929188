// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mount_table.h"

namespace sorvina::platform {

// Phones (and players that speak MTP) as the desktop mounts them through FUSE. The
// desktop's virtual file system ("fuse.gvfsd-fuse", one mount per user below
// /run/user/UID/gvfs) shows each phone as a folder "mtp:host=…" beside other shares
// ("smb-share:…", "sftp:…"), each of the phone's storages a folder in it; the MTP file
// systems of their own ("fuse.jmtpfs", "fuse.simple-mtpfs", "fuse.go-mtpfs", "fuse.mtpfs")
// mount one phone each, its storages the folders at the top.

// Whether a mount of this type is a whole phone (the MTP file systems of their own).
bool IsPhoneMountType(std::string_view type);

// Where a path on a phone lies.
struct PhonePlace {
  std::string phoneFolder;  // the folder that is the phone: the mount point or "…/mtp:host=…"
  std::string phoneName;    // that folder's name, as the mount shows it
  std::string storage;      // the storage folder's name below it; empty at the phone itself
  bool operator==(const PhonePlace&) const = default;
};

// Whether `path` (absolute) lies on a phone, by the mounts of `mounts` (the innermost
// mount point holding it counts), and where; nothing for any other path, also for the
// other shares of the desktop's virtual file system. Compares the text only: `path`
// should be absolute and free of "." and ".." parts (they are dropped lexically).
std::optional<PhonePlace> PhonePlaceOf(const std::string& path,
                                       const std::vector<MountEntry>& mounts);
// The same by the process's own mount table; a relative path counts from the current
// directory.
std::optional<PhonePlace> PhonePlaceOf(const std::string& path);

// A readable name for a phone from its folder's name: gvfs names a phone
// "mtp:host=Google_Pixel_7_1A2B3C" (maker, model and serial number, underscores for
// blanks, percent escapes in older versions). The "mtp:host=" prefix goes, escapes are
// undone, underscores become blanks, and a last word that looks like a serial number (six
// or more letters and digits, among them a digit) goes where other words remain: "Google
// Pixel 7". Any other folder name comes back as it is.
std::string ReadablePhoneName(std::string_view folderName);

// One storage of a phone plugged in, as a fill destination could be chosen.
struct PhoneStorage {
  std::string phoneName;         // ReadablePhoneName of its phone's folder
  std::string storage;           // its folder's name ("Internal shared storage")
  std::string path;              // its folder
  std::uint64_t totalBytes = 0;  // 0 where the phone reports no size
  std::uint64_t availableBytes = 0;
  bool operator==(const PhoneStorage&) const = default;
};

// Every storage of every phone mounted by `mounts`, phones in the order of their mounts
// and folders, storages by name; a phone whose folder cannot be listed has none.
std::vector<PhoneStorage> PhoneStorages(const std::vector<MountEntry>& mounts);

}  // namespace sorvina::platform
