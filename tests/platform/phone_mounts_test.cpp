// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/phone_mounts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

// A desktop's mount table as /proc/self/mountinfo gives it: a phone through gvfs, one each
// through the MTP file systems of their own, and FUSE mounts that are no phones.
const char* const kTable[] = {
    "1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw",
    "60 30 0:48 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:94 - fuse.gvfsd-fuse "
    "gvfsd-fuse rw,user_id=1000,group_id=1000",
    "61 1 0:49 / /home/alex/Phone rw,nosuid,nodev,relatime shared:95 - fuse.jmtpfs jmtpfs "
    "rw,user_id=1000,group_id=1000",
    R"(62 1 0:50 / /media/alex/My\040Galaxy rw,nosuid,nodev shared:96 - fuse.simple-mtpfs )"
    "simple-mtpfs rw,user_id=1000,group_id=1000",
    "63 1 0:51 / /mnt/go rw,nosuid,nodev shared:97 - fuse.go-mtpfs mtp rw,user_id=1000",
    "64 1 0:52 / /media/alex/STICK rw,nosuid,nodev shared:98 - fuseblk /dev/sdb1 "
    "rw,user_id=0,group_id=0,allow_other",
    "65 1 0:53 / /media/alex/CARD rw,nosuid,nodev shared:99 - fuse.exfat-fuse /dev/sdc1 rw",
    "66 1 0:54 / /home/alex/server rw,nosuid,nodev shared:100 - fuse.sshfs alex@nas:/music rw",
    // A phone's folder name where no phone is mounted.
    "67 1 0:55 / /home/alex/mtp:host=nothing rw - ext4 /dev/sda2 rw",
};

std::vector<MountEntry> Table() {
  std::vector<MountEntry> mounts;
  for (const char* line : kTable)
    mounts.push_back(*ParseMountLine(line));
  return mounts;
}

TEST(PhoneMountsTest, TellsPhonesFromOtherMountsAndWhereAPathLiesOnThem) {
  const std::string gvfs = "/run/user/1000/gvfs/";
  const std::string pixel = "mtp:host=Google_Pixel_7_1A2B3C";
  struct Case {
    std::string path;
    std::optional<PhonePlace> expected;
  } const cases[] = {
      {gvfs + pixel + "/Internal shared storage/Music/a.mp3",
       PhonePlace{gvfs + pixel, pixel, "Internal shared storage"}},
      {gvfs + pixel + "/", PhonePlace{gvfs + pixel, pixel, ""}},
      {gvfs + "x/../" + pixel + "/SD card", PhonePlace{gvfs + pixel, pixel, "SD card"}},
      {"/home/alex/Phone/Card/Music", PhonePlace{"/home/alex/Phone", "Phone", "Card"}},
      {"/home/alex/Phone", PhonePlace{"/home/alex/Phone", "Phone", ""}},
      {"/media/alex/My Galaxy/Phone/Music",
       PhonePlace{"/media/alex/My Galaxy", "My Galaxy", "Phone"}},
      {"/mnt/go/Internal storage", PhonePlace{"/mnt/go", "go", "Internal storage"}},
      // Other shares of gvfs, and gvfs itself.
      {gvfs + "smb-share:server=nas,share=music/Albums", std::nullopt},
      {gvfs + "sftp:host=nas/home", std::nullopt},
      {gvfs, std::nullopt},
      // Other FUSE mounts, and names that only look alike.
      {"/media/alex/STICK/Music", std::nullopt},
      {"/media/alex/CARD", std::nullopt},
      {"/home/alex/server/mtp:host=x/y", std::nullopt},
      {"/home/alex/mtp:host=nothing/Music", std::nullopt},
      {"/home/alex/PhoneBook/Music", std::nullopt},
      {"/run/user/1000/gvfsx/" + pixel, std::nullopt},
  };
  const std::vector<MountEntry> mounts = Table();
  for (const Case& c : cases)
    EXPECT_EQ(PhonePlaceOf(c.path, mounts), c.expected) << c.path;
  for (const char* type : {"fuse.jmtpfs", "fuse.simple-mtpfs", "fuse.go-mtpfs", "fuse.mtpfs"})
    EXPECT_TRUE(IsPhoneMountType(type)) << type;
  for (const char* type : {"fuse.gvfsd-fuse", "fuse.sshfs", "fuse.exfat-fuse", "fuseblk", "fuse"})
    EXPECT_FALSE(IsPhoneMountType(type)) << type;
  // The process's own table: a temporary folder is on no phone.
  test::TempDir dir;
  EXPECT_EQ(PhonePlaceOf(dir.path()), std::nullopt);
}

TEST(PhoneMountsTest, NamesAPhoneReadablyFromItsFolder) {
  const std::pair<const char*, const char*> cases[] = {
      {"mtp:host=Google_Pixel_7_1A2B3C", "Google Pixel 7"},
      {"mtp:host=SAMSUNG_SAMSUNG_Android_R58M12ABCDE", "SAMSUNG SAMSUNG Android"},
      {"mtp:host=OnePlus_8T", "OnePlus 8T"},                // no serial to drop
      {"mtp:host=Fairphone_FP4_Pro", "Fairphone FP4 Pro"},  // words, not a serial
      {"mtp:host=0123456789ABCDEF", "0123456789ABCDEF"},    // nothing else to name it
      {"mtp:host=%5Busb%3A002%2C008%5D", "[usb:002,008]"},  // older gvfs
      {"mtp:host=", "mtp:host="},
      {"Phone", "Phone"},
  };
  for (const auto& [folder, name] : cases)
    EXPECT_EQ(ReadablePhoneName(folder), name) << folder;
}

TEST(PhoneMountsTest, ListsEachStorageOfEachPhone) {
  // Folders pretending to be gvfs with a phone and a network share, and a jmtpfs mount.
  test::TempDir gvfs;
  gvfs.MakeFolder("mtp:host=Google_Pixel_7_1A2B3C/Internal shared storage/Music");
  gvfs.MakeFolder("mtp:host=Google_Pixel_7_1A2B3C/SD card");
  gvfs.WriteFile("mtp:host=Google_Pixel_7_1A2B3C/stray file");
  gvfs.MakeFolder("smb-share:server=nas,share=music/Albums");
  test::TempDir jmtpfs;
  jmtpfs.MakeFolder("Phone");
  const std::vector<MountEntry> mounts = {
      {{0, 48}, "/", gvfs.path(), "fuse.gvfsd-fuse", "gvfsd-fuse"},
      {{0, 49}, "/", jmtpfs.path(), "fuse.jmtpfs", "jmtpfs"},
      {{0, 54}, "/", "/nowhere", "fuse.go-mtpfs", "mtp"}};
  const std::vector<PhoneStorage> storages = PhoneStorages(mounts);
  ASSERT_EQ(storages.size(), 3u);
  EXPECT_EQ(storages[0].phoneName, "Google Pixel 7");
  EXPECT_EQ(storages[0].storage, "Internal shared storage");
  EXPECT_EQ(storages[0].path, gvfs / "mtp:host=Google_Pixel_7_1A2B3C/Internal shared storage");
  EXPECT_GT(storages[0].totalBytes, 0u);  // a real folder reports its volume's room
  EXPECT_EQ(storages[1].storage, "SD card");
  EXPECT_EQ(storages[2].phoneName, std::filesystem::path(jmtpfs.path()).filename().string());
  EXPECT_EQ(storages[2].path, jmtpfs / "Phone");
}

}  // namespace
}  // namespace sorvina::platform
