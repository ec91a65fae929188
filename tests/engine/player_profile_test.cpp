// SPDX-License-Identifier: GPL-3.0-or-later
// Player profiles: read from .mpi files (the media-player-info database and our own
// [Limits]), built in, found by name or path, and detected on the volume a destination
// lies on.
#include "engine/player/player_profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

#include "engine/player/player_lookup.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using test::TempDir;

constexpr char kFullFile[] =
    "# A player with every group\n"
    "[Device]\n"
    "Vendor=SanDisk\n"
    "Product=Sansa Clip\n"
    "DeviceMatch=usb:0781:7433;\n"
    "\n"
    "[Media]\n"
    "InputFormats=audio/x-wav\n"
    "OutputFormats=audio/mpeg;audio/x-ms-wma;application/ogg;audio/flac;\n"
    "[Playlist]\n"
    "Formats=audio/x-mpegurl\n"
    "[storage]\n"
    "AudioFolders=MUSIC/;PODCAST/;\n"
    "PlaylistPath=PLAYLISTS/\n"
    "FolderDepth=2\n"
    "[Limits]\n"
    "FilesPerFolder=255\n"
    "Folders=100\n"
    "NameLength=64\n"
    "AsciiNames=1\n"
    "MaxBitrate=320\n"
    "SampleRates=44100;48000;\n"
    "MaxFileSize=4294967295\n"
    "Id3v23=true\n"
    "MaxPictureSide=500\n"
    "SplitChapters=true\n";

PlayerProfile FullProfile() {
  PlayerProfile profile;
  profile.name = "sansa";
  profile.displayName = "SanDisk Sansa Clip";
  profile.outputFormats = {"audio/mpeg", "audio/x-ms-wma", "application/ogg", "audio/flac"};
  profile.audioFolders = {"MUSIC/", "PODCAST/"};
  profile.folderDepth = 2;
  profile.playlistFormats = {"audio/x-mpegurl"};
  profile.playlistPath = "PLAYLISTS/";
  profile.limits = {255, 100, 64, true, 320, {44100, 48000}, 4294967295, true, 500, true};
  return profile;
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  for (const char c : text)
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// A profile with only the fields a case sets.
PlayerProfile Named(std::string displayName) {
  PlayerProfile profile;
  profile.name = "sansa";
  profile.displayName = std::move(displayName);
  return profile;
}

struct ParseCase {
  std::string what;
  std::string text;
  std::optional<PlayerProfile> profile;  // what is read; nothing: the error below
  ProfileError error;
};

std::vector<ParseCase> ParseCases() {
  std::vector<ParseCase> cases;
  cases.push_back({"every group", kFullFile, FullProfile(), {}});
  cases.push_back(
      {"CR LF and a byte-order mark", "\xEF\xBB\xBF" + WithCrLf(kFullFile), FullProfile(), {}});

  PlayerProfile media = Named("Motorola V3i");
  media.outputFormats = {"audio/mpeg", "audio/mp3", "audio/x-aac"};
  media.audioFolders = {"My Music/"};
  media.folderDepth = 0;
  media.playlistFormats = {"audio/x-mpegurl", "audio/x-scpls"};
  media.playlistPath = "Sounds/Playlists";
  cases.push_back({"storage keys in [Media], groups in any case, Model, commas, blanks",
                   "; a comment\n"
                   "[DEVICE]\n  Vendor = Motorola \nModel=V3i\nProduct[de]=ignored\n"
                   "  \t\n[media]\nOutputFormats= audio/mpeg,audio/mp3 ; audio/x-aac ;\n"
                   "AudioFolders=My Music/\nFolderDepth=0\n"
                   "[Playlists]\nFormats=audio/x-mpegurl;audio/x-scpls\n"
                   "[Storage]\nPlaylistPath=Sounds/Playlists;My folder/Playlists/\n",
                   media,
                   {}});
  cases.push_back({"unknown groups and keys are ignored, even with bad values",
                   "[Device]\nVendor=Rockbox\nIcon=x\n[Other]\nFolderDepth=deep\n"
                   "[Limits]\nColour=blue\n",
                   Named("sansa"),
                   {}});

  PlayerProfile legacy = Named("My Player");
  legacy.audioFolders = {"Music/", "Podcasts/"};
  legacy.outputFormats = {"audio/mpeg", "audio/ogg"};
  legacy.folderDepth = 2;
  cases.push_back({"an older .is_audio_player without groups",
                   "name=\"My Player\"\naudio_folders=Music/, Podcasts/\n"
                   "output_formats=audio/mpeg,audio/ogg\nfolder_depth=2\ncover_art_size=320\n",
                   legacy,
                   {}});

  const auto bad = [&cases](std::string what, std::string text, int line, std::string key,
                            std::string reason) {
    cases.push_back({std::move(what),
                     std::move(text),
                     std::nullopt,
                     {"players/sansa.mpi", line, std::move(key), std::move(reason)}});
  };
  bad("a negative depth", "[storage]\nFolderDepth=-1\n", 2, "FolderDepth", "not a whole number");
  bad("a depth in [Media]", "[Media]\n\nFolderDepth=2x\n", 3, "FolderDepth", "not a whole number");
  bad("no room for an extension", "[Limits]\nNameLength=7\n", 2, "NameLength",
      "must be at least 8");
  bad("no files", "[Limits]\nFilesPerFolder=0\n", 2, "FilesPerFolder", "must be at least 1");
  bad("not a boolean", "[Limits]\r\nAsciiNames=maybe\r\n", 2, "AsciiNames", "not true or false");
  bad("too large a size", "[Limits]\nMaxFileSize=99999999999999999999\n", 2, "MaxFileSize",
      "too large");
  bad("too large a count", "[Limits]\nFolders=2147483648\n", 2, "Folders", "too large");
  bad("a bad rate", "[Limits]\nSampleRates=44100;4800o\n", 2, "SampleRates", "not a whole number");
  bad("a unit", "[Limits]\nMaxBitrate=320k\n", 2, "MaxBitrate", "not a whole number");
  bad("a line that is nothing", "[Device]\nVendor=A\njust words\n", 3, "",
      "not a group, a key=value line or a comment");
  bad("an open group", "[Limits\n", 1, "", "a group name without ]");
  bad("no key", "\xEF\xBB\xBF=5\n", 1, "", "a value without a key");
  bad("a terminal's escape in a name", "[Device]\nVendor=A\x1b]2;x\x07\n", 2, "", "not text");
  bad("a NUL byte", std::string("[Device]\nProduct=A\0B\n", 21), 2, "", "not text");
  return cases;
}

TEST(PlayerProfileTest, ParsesProfilesAndNamesTheLineAndKeyOfABadValue) {
  for (const ParseCase& test : ParseCases()) {
    SCOPED_TRACE(test.what);
    const ProfileParse parsed = ParsePlayerProfile(test.text, "players/sansa.mpi");
    if (test.profile) {
      ASSERT_FALSE(parsed.error) << parsed.error->line << " " << parsed.error->reason;
      EXPECT_EQ(*parsed.profile, *test.profile);
    } else {
      ASSERT_FALSE(parsed.profile);
      ASSERT_TRUE(parsed.error);
      EXPECT_EQ(parsed.error->file, test.error.file);
      EXPECT_EQ(parsed.error->line, test.error.line);
      EXPECT_EQ(parsed.error->key, test.error.key);
      EXPECT_EQ(parsed.error->reason, test.error.reason);
    }
  }
}

TEST(PlayerProfileTest, BuiltInProfilesAndTheTypesAProfilePlays) {
  EXPECT_EQ(BuiltInProfileNames(), (std::vector<std::string>{"any", "car"}));
  const PlayerProfile any = *BuiltInProfile("any");
  EXPECT_EQ(any.displayName, "any");
  EXPECT_EQ(any.limits, PlayerLimits{});
  const PlayerProfile car = *BuiltInProfile("car");
  EXPECT_EQ(car.folderDepth, 8);
  EXPECT_EQ(car.limits.sampleRates, (std::vector<int>{44100, 48000}));
  EXPECT_EQ(car.limits.maxFileSize, 4294967295);
  EXPECT_FALSE(BuiltInProfile("auto"));

  for (const char* type : {"mp3", "flac", "ogg", "opus", "m4a", "wma", "wav", "aiff"})
    EXPECT_TRUE(PlaysFileType(any, type)) << type;
  EXPECT_TRUE(PlaysFileType(car, "mp3"));
  EXPECT_FALSE(PlaysFileType(car, "flac"));
  PlayerProfile phone;
  phone.outputFormats = {"Audio/MP3", "application/ogg", "audio/x-m4a", "audio/amr"};
  EXPECT_TRUE(PlaysFileType(phone, "mp3"));
  EXPECT_TRUE(PlaysFileType(phone, "ogg"));
  EXPECT_FALSE(PlaysFileType(phone, "opus"));  // an Ogg container says nothing of Opus
  EXPECT_TRUE(PlaysFileType(phone, "m4a"));
  EXPECT_FALSE(PlaysFileType(phone, "wav"));
  EXPECT_FALSE(PlaysFileType(phone, "midi"));

  EXPECT_EQ(text::English(DescribeProfile(FullProfile())),
            "SanDisk Sansa Clip (plays MP3, FLAC, Ogg, WMA)");
  EXPECT_EQ(text::English(DescribeProfile(any)), "any (plays every type)");
  phone.outputFormats = {"audio/amr"};
  phone.displayName = "Phone";
  EXPECT_EQ(text::English(DescribeProfile(phone)),
            "Phone (plays none of the types Sorvina chooses)");
}

TEST(PlayerProfileTest, EveryFileOfTheInstalledDatabaseIsRead) {
  const std::filesystem::path database = "/usr/share/media-player-info";
  if (!std::filesystem::is_directory(database)) GTEST_SKIP() << "media-player-info is missing";
  int read = 0;
  for (const auto& entry : std::filesystem::directory_iterator(database)) {
    if (entry.path().extension() != ".mpi") continue;
    SCOPED_TRACE(entry.path().string());
    const ProfileParse parsed =
        ParsePlayerProfile(test::ReadBytes(entry.path()), entry.path().string());
    ASSERT_TRUE(parsed.profile) << parsed.error->line << " " << parsed.error->key << ": "
                                << parsed.error->reason;
    EXPECT_FALSE(parsed.profile->displayName.empty());
    EXPECT_FALSE(parsed.profile->outputFormats.empty());
    EXPECT_EQ(parsed.profile->name, entry.path().stem().string());
    ++read;
  }
  EXPECT_GE(read, 250);
  const FoundPlayer clip = FindPlayerProfile("sandisk_sansa-clip", "/");
  if (clip.profile) {
    EXPECT_EQ(clip.profile->displayName, "SanDisk Sansa Clip");
    EXPECT_EQ(clip.profile->audioFolders.front(), "MUSIC/");
  }
}

// A user folder and a database of their own, and a fake system for detection: a volume
// mounted at `mount` on the test folder's device, as mountinfo and udev tell it.
class PlayerLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folders_.user = temp_.MakeFolder("config/players");
    folders_.database = temp_.MakeFolder("database");
    folders_.udevData = temp_.MakeFolder("udev");
    folders_.sysBlock = temp_.MakeFolder("sys");
    folders_.mountInfo = temp_ / "mountinfo";
    // As the system writes it, links resolved.
    mount_ = std::filesystem::canonical(temp_.MakeFolder("media/my player")).string();
    struct stat status {};
    ASSERT_EQ(stat(mount_.c_str(), &status), 0);
    device_ = std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    temp_.WriteFile("database/sandisk_sansa-clip.mpi", kFullFile);
  }

  // Mountinfo with the root on the same device first, so that the longest mount point
  // above the destination has to be chosen.
  void Mount(const std::string& source) const {
    std::string escaped = mount_;
    escaped.replace(escaped.find("my player"), 9, "my\\040player");
    const std::string root = "1 0 " + device_ + " / / rw shared:1 - ext4 /dev/root rw\n";
    const std::string player = "40 1 " + device_ + " / " + escaped +
                               " rw,relatime shared:7 master:2 - vfat " + source + " rw\n";
    temp_.WriteFile("mountinfo", "22 27 0:21 / /proc rw,relatime - proc proc rw\n" + root + player);
  }

  TempDir temp_;
  ProfileFolders folders_;
  std::string mount_;
  std::string device_;
};

TEST_F(PlayerLookupTest, FindsBuiltInUserDatabaseAndFileProfilesOrSaysWhyNot) {
  EXPECT_EQ(FindPlayerProfile("", "/", folders_).profile, BuiltInProfile("any"));
  EXPECT_EQ(FindPlayerProfile("car", "/", folders_).profile, BuiltInProfile("car"));

  const FoundPlayer database = FindPlayerProfile("sandisk_sansa-clip", "/", folders_);
  ASSERT_TRUE(database.profile);
  EXPECT_EQ(database.profile->name, "sandisk_sansa-clip");
  EXPECT_EQ(database.profile->limits.folders, 100);

  // The user's own profile comes before the database's of the same name.
  temp_.WriteFile("config/players/sandisk_sansa-clip.mpi", "[Device]\nVendor=Mine\nProduct=Clip\n");
  temp_.WriteFile("config/players/bad.mpi", "[Device]\nVendor=A\n[storage]\nFolderDepth=x\n");
  temp_.WriteFile("config/players/notes.txt", "");
  temp_.MakeFolder("config/players/folder.mpi");
  EXPECT_EQ(FindPlayerProfile("sandisk_sansa-clip", "/", folders_).profile->displayName,
            "Mine Clip");
  EXPECT_EQ(UserProfileNames(folders_), (std::vector<std::string>{"bad", "sandisk_sansa-clip"}));

  const auto error = [this](std::string_view choice) {
    const FoundPlayer found = FindPlayerProfile(choice, "/", folders_);
    EXPECT_FALSE(found.profile);
    return found.error ? text::English(*found.error) : std::string("no error");
  };
  EXPECT_EQ(error("bad"),
            "The player profile " + folders_.user +
                "/bad.mpi has a bad value at line 4, FolderDepth: not a whole number");
  EXPECT_EQ(error("nothing"), "There is no player profile named nothing");
  EXPECT_EQ(error("folder"),
            "The player profile " + folders_.user + "/folder.mpi cannot be read: it is a folder");
  EXPECT_EQ(error(temp_ / "missing.mpi"), "The player profile " + temp_ / "missing.mpi" +
                                              " cannot be read: No such file or directory");
  const std::string broken = temp_.WriteFile("broken.mpi", "[Device\n");
  EXPECT_EQ(error(broken),
            "The player profile " + broken + " cannot be read at line 1: a group name without ]");

  const FoundPlayer byPath =
      FindPlayerProfile(temp_ / "database/sandisk_sansa-clip.mpi", "/", folders_);
  ASSERT_TRUE(byPath.profile);
  EXPECT_EQ(byPath.profile->name, temp_ / "database/sandisk_sansa-clip.mpi");
}

TEST_F(PlayerLookupTest, DetectsTheFileAtTheVolumesRootBeforeUdevsProperty) {
  const std::string destination = mount_ + "/MUSIC/not yet made";
  Mount("none");
  EXPECT_FALSE(DetectPlayer(destination, folders_));
  EXPECT_EQ(FindPlayerProfile("auto", destination, folders_).profile, BuiltInProfile("any"));

  // An empty marker: a player that says nothing more.
  temp_.WriteFile("media/my player/.is_audio_player");
  std::optional<PlayerProfile> detected = DetectPlayer(destination, folders_);
  ASSERT_TRUE(detected);
  EXPECT_EQ(detected->name, "auto");
  EXPECT_EQ(detected->displayName, "this player");
  EXPECT_TRUE(detected->outputFormats.empty());

  temp_.WriteFile("media/my player/.is_audio_player", kFullFile);
  detected = DetectPlayer(destination, folders_);
  ASSERT_TRUE(detected);
  EXPECT_EQ(detected->displayName, "SanDisk Sansa Clip");
  EXPECT_EQ(detected->limits.nameLength, 64);

  // A bad marker is told for "auto"; a link is not followed.
  temp_.WriteFile("media/my player/.is_audio_player", "[Limits]\nFolders=none\n");
  EXPECT_FALSE(DetectPlayer(destination, folders_));
  const FoundPlayer bad = FindPlayerProfile("auto", destination, folders_);
  ASSERT_TRUE(bad.error);
  EXPECT_NE(text::English(*bad.error).find("line 2, Folders: not a whole number"),
            std::string::npos);
  std::filesystem::remove(mount_ + "/.is_audio_player");
  std::filesystem::create_symlink(temp_ / "database/sandisk_sansa-clip.mpi",
                                  mount_ + "/.is_audio_player");
  EXPECT_FALSE(DetectPlayer(destination, folders_));
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What a lookup says: the error in English, or that it found a profile.
std::string Told(const FoundPlayer& found) {
  return found.error ? text::English(*found.error) : found.profile ? "a profile" : "nothing";
}

// A file that is no profile, at the volume's root for "auto" and named for a path, is an
// error that says which file and why, read without waiting and without following a link
// on the volume.
TEST_F(PlayerLookupTest, AProfileFileThatCannotBeReadIsToldWithItsReason) {
  namespace fs = std::filesystem;
  const std::string destination = mount_ + "/MUSIC";
  Mount("none");
  const std::string marker = mount_ + "/.is_audio_player";
  const std::string named = temp_ / "named.mpi";
  const auto writeTo = [](std::string bytes) {
    return [bytes](const std::string& path) { WriteBytes(path, bytes); };
  };
  struct BadFile {
    std::string what;
    std::function<void(const std::string&)> make;
    std::string markerReason;
    std::string namedReason;  // where it differs: a named file's links are followed
  };
  const std::vector<BadFile> files = {
      {"a huge line", writeTo(std::string(2 << 20, 'x')),
       "it is larger than any profile (more than 64 KB)",
       "it is larger than any profile (more than 1024 KB)"},
      // Its "=" makes each line a key of an older file, were the bytes not looked at.
      {"binary junk",
       writeTo(std::string("\x7f"
                           "ELF=\x02\x01") +
               std::string(4, '\0') + "\x1b=\n"),
       "it is not text", ""},
      {"a link to /dev/zero",
       [](const std::string& path) { fs::create_symlink("/dev/zero", path); }, "it is a link",
       "it is not a regular file"},
      {"a FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); },
       "it is not a regular file", ""},
      {"a folder", [](const std::string& path) { fs::create_directory(path); }, "it is a folder",
       ""},
      {"no permission to read",
       [](const std::string& path) {
         WriteBytes(path, "[Device]\nVendor=Mine\n");
         fs::permissions(path, fs::perms::none);
       },
       "Permission denied", ""},
  };
  for (const BadFile& file : files) {
    for (const std::string& path : {marker, named}) {
      SCOPED_TRACE(file.what + " at " + path);
      fs::remove_all(path);
      file.make(path);
      const std::string choice = path == marker ? "auto" : path;
      // A lookup that waits fails, and is let go by a writer at the other end.
      std::future<std::string> told = std::async(std::launch::async, [&] {
        return test::RunUnprivileged(
            [&] { return Told(FindPlayerProfile(choice, destination, folders_)); });
      });
      if (told.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "the lookup waits";
        if (const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); writer >= 0)
          close(writer);
      }
      const std::string& reason =
          path == named && !file.namedReason.empty() ? file.namedReason : file.markerReason;
      EXPECT_EQ(told.get(), "The player profile " + path + " cannot be read: " + reason);
    }
    fs::remove_all(marker);
    fs::remove_all(named);
  }
}

TEST_F(PlayerLookupTest, DetectsTheDatabaseProfileThatUdevNamesForThePartitionOrItsDisk) {
  // The block device: the mount's source where one can be had, else the mount's device.
  struct stat loop {};
  std::string source = "none";
  std::string device = device_;
  if (stat("/dev/loop0", &loop) == 0 && S_ISBLK(loop.st_mode)) {
    source = "/dev/loop0";
    device = std::to_string(major(loop.st_rdev)) + ":" + std::to_string(minor(loop.st_rdev));
  } else if (device_.starts_with("0:")) {
    GTEST_SKIP() << "no block device to name as the mount's source";
  }
  Mount(source);
  const std::string destination = mount_ + "/MUSIC";
  temp_.WriteFile("udev/b" + device,
                  "S:disk/by-id/usb-x\nE:ID_BUS=usb\nE:ID_MEDIA_PLAYER=sandisk_sansa-clip\n");
  std::optional<PlayerProfile> detected = DetectPlayer(destination, folders_);
  ASSERT_TRUE(detected);
  EXPECT_EQ(detected->name, "sandisk_sansa-clip");
  EXPECT_EQ(detected->displayName, "SanDisk Sansa Clip");

  // Only the disk has the property: the partition leads to it through sysfs.
  temp_.WriteFile("udev/b" + device, "E:ID_FS_TYPE=vfat\n");
  EXPECT_FALSE(DetectPlayer(destination, folders_));
  temp_.WriteFile("devices/sdb/dev", "8:16\n");
  temp_.WriteFile("devices/sdb/sdb1/partition", "1\n");
  std::filesystem::create_symlink(temp_ / "devices/sdb/sdb1", temp_ / ("sys/" + device));
  temp_.WriteFile("udev/b8:16", "E:ID_MEDIA_PLAYER=sandisk_sansa-clip\n");
  detected = DetectPlayer(destination, folders_);
  ASSERT_TRUE(detected);
  EXPECT_EQ(detected->name, "sandisk_sansa-clip");

  // A name that is no database name, or one the database lacks, says nothing.
  temp_.WriteFile("udev/b8:16", "E:ID_MEDIA_PLAYER=../config/players/x\n");
  EXPECT_FALSE(DetectPlayer(destination, folders_));
  temp_.WriteFile("udev/b8:16", "E:ID_MEDIA_PLAYER=unknown_player\n");
  EXPECT_FALSE(DetectPlayer(destination, folders_));
}

}  // namespace
}  // namespace sorvina::engine
