// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvina::platform {

// A device as the system numbers it: "8:17" is major 8, minor 17.
struct DeviceNumber {
  unsigned major = 0;
  unsigned minor = 0;
  bool operator==(const DeviceNumber&) const = default;
};

// "major:minor", both whole numbers, with nothing around them.
std::optional<DeviceNumber> ParseDeviceNumber(std::string_view text);

// One mount as the process's mount table tells it, one line of
// "id parent major:minor root mount-point options [optional fields...] - type source options".
// The kernel writes blanks, tabs, line feeds and backslashes in these fields as octal
// escapes ("\040"); here they are undone.
struct MountEntry {
  DeviceNumber device;  // the device its files report (st_dev)
  std::string root;     // the folder of the volume mounted there ("/": all of it)
  std::string mountPoint;
  std::string type;    // "ext4", "fuse.sshfs"; empty where the line names none
  std::string source;  // "/dev/sdb1", or what the file system names ("tmpfs"); may be empty
  bool operator==(const MountEntry&) const = default;
};

// Where the system keeps the table for this process.
inline constexpr char kMountTable[] = "/proc/self/mountinfo";

// The mount `line` describes; nothing for a line too short to be one, or whose device is
// no "major:minor".
std::optional<MountEntry> ParseMountLine(std::string_view line);

// The mounts of the table at `path`, in its order; none where it cannot be read.
std::vector<MountEntry> ReadMountTable(const std::string& path = kMountTable);

// Test seam: while one exists, the process's own table (kMountTable) is read from `path`
// instead, so that a folder can pretend to be mounted as a test needs. One at a time.
class MountTableOverride {
 public:
  explicit MountTableOverride(std::string path);
  ~MountTableOverride();
  MountTableOverride(const MountTableOverride&) = delete;
  MountTableOverride& operator=(const MountTableOverride&) = delete;

 private:
  std::string path_;
};

}  // namespace sorvina::platform
