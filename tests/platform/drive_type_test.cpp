// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drive_type.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/mount_table.h"
#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

TEST(DriveTypeTest, ClassifiesMountsByFileSystemType) {
  for (const char* remote : {"nfs", "nfs4", "cifs", "smb3", "9p", "fuse.sshfs", "fuse.rclone"}) {
    EXPECT_EQ(DriveTypeOfMount(remote, false), DriveType::kRemote) << remote;
    EXPECT_EQ(DriveTypeOfMount(remote, true), DriveType::kRemote) << remote;
  }
  EXPECT_EQ(DriveTypeOfMount("iso9660", true), DriveType::kCdRom);
  EXPECT_EQ(DriveTypeOfMount("udf", false), DriveType::kCdRom);
  EXPECT_EQ(DriveTypeOfMount("tmpfs", false), DriveType::kRamDisk);
  EXPECT_EQ(DriveTypeOfMount("ramfs", false), DriveType::kRamDisk);
  EXPECT_EQ(DriveTypeOfMount("vfat", true), DriveType::kRemovable);
  EXPECT_EQ(DriveTypeOfMount("vfat", false), DriveType::kFixed);
  EXPECT_EQ(DriveTypeOfMount("ext4", false), DriveType::kFixed);
  // Only the exact names count: a local FUSE file system is no network share.
  EXPECT_EQ(DriveTypeOfMount("fuse.gvfsd-fuse", false), DriveType::kFixed);
  EXPECT_EQ(DriveTypeOfMount("nfsd", false), DriveType::kFixed);
}

// Whether every mount on `mountPoint` in the process's mount table is a tmpfs.
bool IsTmpfsMount(const std::string& mountPoint) {
  bool found = false;
  for (const MountEntry& mount : ReadMountTable()) {
    if (mount.mountPoint != mountPoint) continue;
    if (mount.type != "tmpfs") return false;
    found = true;
  }
  return found;
}

TEST(DriveTypeTest, TakesTheVolumeOfTheNearestExistingFolder) {
  if (!IsTmpfsMount("/dev/shm")) GTEST_SKIP() << "/dev/shm is not a tmpfs here";
  EXPECT_EQ(DriveTypeOf("/dev/shm"), DriveType::kRamDisk);
  EXPECT_EQ(DriveTypeOf("/dev/shm/sorvina-missing/deeper/"), DriveType::kRamDisk);
  EXPECT_EQ(FileSystemTypeOf("/dev/shm/sorvina-missing/deeper/"), "tmpfs");
}

TEST(DriveTypeTest, KnowsTheFatFamilyByItsExactTypeNames) {
  for (const char* fat : {"vfat", "msdos", "exfat", "umsdos", "fuse.fusefat"})
    EXPECT_TRUE(IsFatFileSystem(fat)) << fat;
  // A bare FUSE block device may hold anything; other types keep their names.
  for (const char* other : {"fuseblk", "fuse", "ext4", "ntfs3", "fat-ish", "VFAT", ""})
    EXPECT_FALSE(IsFatFileSystem(other)) << other;
}

TEST(DriveTypeTest, SkipsFilesAndMissingPartsUpward) {
  test::TempDir dir;
  const std::string file = dir.WriteFile("file");
  const DriveType here = DriveTypeOf(dir.path());
  EXPECT_NE(here, DriveType::kUnknown);
  EXPECT_EQ(DriveTypeOf(file + "/below"), here);
  EXPECT_EQ(DriveTypeOf(dir / "missing/deeper"), here);
  EXPECT_EQ(DriveTypeOf("no-such-folder-here/x"), DriveTypeOf("."));
  EXPECT_EQ(DriveTypeOf(dir.path() + std::string("\0/x", 3)), DriveType::kUnknown);
  EXPECT_EQ(FileSystemTypeOf(dir.path() + std::string("\0/x", 3)), "");
}

}  // namespace
}  // namespace sorvina::platform
