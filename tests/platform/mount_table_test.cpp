// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mount_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sorvina::platform {

// For the messages of failed expectations.
void PrintTo(const MountEntry& entry, std::ostream* out) {
  *out << entry.device.major << ':' << entry.device.minor << " root '" << entry.root << "' at '"
       << entry.mountPoint << "' type '" << entry.type << "' from '" << entry.source << "'";
}

namespace {

struct LineCase {
  const char* name;
  std::string line;
  std::optional<MountEntry> expected;
};

TEST(MountTableTest, ReadsEachFieldWithItsEscapesUndone) {
  const LineCase cases[] = {
      {"no optional fields", "22 27 0:21 / /proc rw,relatime - proc proc rw",
       MountEntry{{0, 21}, "/", "/proc", "proc", "proc"}},
      {"several optional fields",
       "40 1 8:17 / /mnt rw,noatime shared:7 master:2 propagate_from:3 unbindable - vfat "
       "/dev/sdb1 rw,fmask=0022",
       MountEntry{{8, 17}, "/", "/mnt", "vfat", "/dev/sdb1"}},
      {"a blank in the mount point",
       R"(41 1 8:33 / /media/user/My\040Stick rw shared:9 - exfat /dev/sdc1 rw)",
       MountEntry{{8, 33}, "/", "/media/user/My Stick", "exfat", "/dev/sdc1"}},
      {"a tab, a line feed and a backslash",
       R"(42 1 259:3 /sub\011dir /mnt/a\134b\012c rw - ext4 /dev/disk/by-label/My\040Disk rw)",
       MountEntry{{259, 3}, "/sub\tdir", "/mnt/a\\b\nc", "ext4", "/dev/disk/by-label/My Disk"}},
      {"what is no escape stays", R"(43 1 0:50 / /x\04 rw - tmpfs a\999\ rw)",
       MountEntry{{0, 50}, "/", R"(/x\04)", "tmpfs", R"(a\999\)"}},
      {"no source after the type", "44 1 0:51 / /y rw - fuse.sshfs",
       MountEntry{{0, 51}, "/", "/y", "fuse.sshfs", ""}},
      {"no separator", "45 1 0:52 / /z rw shared:1", MountEntry{{0, 52}, "/", "/z", "", ""}},
      {"a dash among the fields before the options does not count",
       "46 1 0:53 / - rw - nfs4 server:/export rw",
       MountEntry{{0, 53}, "/", "-", "nfs4", "server:/export"}},
      {"too few fields", "47 1 0:54 / /w", std::nullopt},
      {"a device of no numbers", "48 1 sda1 / /v rw - ext4 /dev/sda1 rw", std::nullopt},
      {"a device with no minor", "49 1 8: / /v rw - ext4 /dev/sda1 rw", std::nullopt},
      {"an empty line", "", std::nullopt},
  };
  for (const LineCase& c : cases)
    EXPECT_EQ(ParseMountLine(c.line), c.expected) << c.name;
}

TEST(MountTableTest, ReadsEveryMountOfATableInOrderAndNothingOfAMissingOne) {
  test::TempDir dir;
  const std::string table =
      dir.WriteFile("mountinfo",
                    "1 0 8:1 / / rw shared:1 - ext4 /dev/sda1 rw\n"
                    "broken\n"
                    R"(41 1 8:33 / /media/user/My\040Stick rw shared:9 - vfat /dev/sdc1 rw)"
                    "\n");
  const std::vector<MountEntry> mounts = ReadMountTable(table);
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[1].mountPoint, "/media/user/My Stick");
  EXPECT_TRUE(ReadMountTable(dir / "missing").empty());
  // The process's own table holds its root, whatever else it holds.
  bool root = false;
  for (const MountEntry& mount : ReadMountTable())
    root = root || mount.mountPoint == "/";
  EXPECT_TRUE(root);
}

}  // namespace
}  // namespace sorvina::platform
