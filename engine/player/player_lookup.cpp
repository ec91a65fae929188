// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/player/player_lookup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "media/file_types.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/text_lines.h"
#include "platform/unique_fd.h"
#include "platform/user_folders.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

constexpr const char* kBadValueMessage =
    SORVINA_TEXT("sorvina", "The player profile %1 has a bad value at line %2, %3: %4");
constexpr const char* kBadLineMessage =
    SORVINA_TEXT("sorvina", "The player profile %1 cannot be read at line %2: %3");
constexpr const char* kNoSuchProfileMessage =
    SORVINA_TEXT("sorvina", "There is no player profile named %1");
constexpr const char* kCannotReadProfileMessage =
    SORVINA_TEXT("sorvina", "The player profile %1 cannot be read: %2");
constexpr const char* kTooLargeReason =
    SORVINA_TEXT("sorvina", "it is larger than any profile (more than %1 KB)");
constexpr const char* kLinkReason = SORVINA_TEXT("sorvina", "it is a link");
constexpr const char* kFolderReason = SORVINA_TEXT("sorvina", "it is a folder");
constexpr const char* kNotAFileReason = SORVINA_TEXT("sorvina", "it is not a regular file");
constexpr const char* kNotTextReason = SORVINA_TEXT("sorvina", "it is not text");
constexpr const char* kPlaysEveryTypeText = SORVINA_TEXT("sorvina", "%1 (plays every type)");
constexpr const char* kPlaysTypesText = SORVINA_TEXT("sorvina", "%1 (plays %2)");
constexpr const char* kPlaysNoTypeText =
    SORVINA_TEXT("sorvina", "%1 (plays none of the types Sorvina chooses)");
constexpr const char* kConvertToPlayedMessage =
    SORVINA_TEXT("sorvina", "The player %1 plays only %2; please convert to one of: %3");
constexpr const char* kConvertToNothingPlayedMessage =
    SORVINA_TEXT("sorvina",
                 "The player %1 plays none of the formats songs are converted to (MP3, AAC, "
                 "Opus); please do not convert");

// No profile or property file is anywhere near this large; a larger one is no such file.
constexpr std::size_t kMaxProfileBytes = 1024 * 1024;
// The `.is_audio_player` file on a player: anyone may have put it there.
constexpr std::size_t kMaxMarkerBytes = 64 * 1024;
constexpr char kMarkerName[] = ".is_audio_player";

enum class Reading { kRead, kMissing, kUnreadable };

struct FileBytes {
  Reading reading = Reading::kMissing;
  std::string bytes = {};
  text::UserText why = {};  // why it could not be read, missing files included
};

FileBytes Unreadable(text::UserText why) {
  return {Reading::kUnreadable, {}, std::move(why)};
}

// Why a file of this status is no profile file; nothing when it may be one. Its size is
// told by reading only: the files of sysfs say 4096 bytes, whatever they hold.
std::optional<text::UserText> NotAProfileFile(const struct stat& status) {
  if (S_ISLNK(status.st_mode)) return text::UserText(kLinkReason);
  if (S_ISDIR(status.st_mode)) return text::UserText(kFolderReason);
  if (!S_ISREG(status.st_mode)) return text::UserText(kNotAFileReason);
  return std::nullopt;
}

// The whole of the regular file at `path`, if it holds at most `limit` bytes of text; else
// why not. A symbolic link is followed only where `followLinks`. What the path names is
// looked at before it is opened for reading, so that no device is opened and no FIFO
// waited on; the file opened is looked at again, as the path may name another by then.
FileBytes ReadSmallFile(const std::string& path, std::size_t limit, bool followLinks) {
  if (path.empty() || platform::HasNulByte(path))
    return {Reading::kMissing, {}, transfer::ErrorText(ENOENT)};
  const int noFollow = followLinks ? 0 : O_NOFOLLOW;
  struct stat status {};
  {
    const platform::UniqueFd named(platform::OpenPath(path, O_PATH | O_CLOEXEC | noFollow));
    if (!named) {
      const int error = errno;
      return {error == ENOENT || error == ENOTDIR ? Reading::kMissing : Reading::kUnreadable,
              {},
              transfer::ErrorText(error)};
    }
    if (fstat(named.get(), &status) != 0) return Unreadable(transfer::ErrorText(errno));
    if (std::optional<text::UserText> why = NotAProfileFile(status))
      return Unreadable(std::move(*why));
  }
  const platform::UniqueFd fd(
      platform::OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | noFollow));
  if (!fd)
    return Unreadable(errno == ELOOP && !followLinks ? text::UserText(kLinkReason)
                                                     : transfer::ErrorText(errno));
  if (fstat(fd.get(), &status) != 0) return Unreadable(transfer::ErrorText(errno));
  if (std::optional<text::UserText> why = NotAProfileFile(status))
    return Unreadable(std::move(*why));
  FileBytes file{Reading::kRead, {}, {}};
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Unreadable(transfer::ErrorText(errno));
    if (got == 0) break;
    if (file.bytes.size() + static_cast<std::size_t>(got) > limit)
      return Unreadable({kTooLargeReason, {limit / 1024}});
    file.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (!IsProfileText(file.bytes)) return Unreadable(kNotTextReason);
  return file;
}

text::UserText ParseErrorText(const ProfileError& error) {
  if (error.key.empty())
    return {kBadLineMessage, {error.file, error.line, ProfileErrorReason(error)}};
  return {kBadValueMessage, {error.file, error.line, error.key, ProfileErrorReason(error)}};
}

// The profile file at `path`, named `name`; when there is no file there, nothing at all
// (neither profile nor error) unless it `mustExist`.
FoundPlayer LoadProfile(const std::string& path, const std::string& name, bool mustExist = false) {
  const FileBytes file = ReadSmallFile(path, kMaxProfileBytes, true);
  if (file.reading == Reading::kMissing && !mustExist) return {};
  if (file.reading != Reading::kRead)
    return {std::nullopt, text::UserText(kCannotReadProfileMessage, {path, file.why})};
  ProfileParse parsed = ParsePlayerProfile(file.bytes, path);
  if (parsed.error) return {std::nullopt, ParseErrorText(*parsed.error)};
  parsed.profile->name = name;
  return {std::move(parsed.profile), std::nullopt};
}

std::string UserFolder(const ProfileFolders& folders) {
  if (!folders.user.empty()) return folders.user;
  const std::string config = platform::ConfigFolder();
  return config.empty() ? std::string() : config + "/players";
}

// --- Which volume holds the destination -----------------------------------------------

using platform::DeviceNumber;
using platform::MountEntry;
using platform::ParseDeviceNumber;

std::string DeviceName(DeviceNumber number) {
  return std::to_string(number.major) + ":" + std::to_string(number.minor);
}

// Whether `path` is `folder` or lies below it.
bool IsAtOrBelow(std::string_view path, std::string_view folder) {
  if (folder == "/") return true;
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// The nearest existing folder or file at or above `destination`, and its device.
struct Located {
  std::string path;  // with links resolved where the system could
  DeviceNumber device;
};

std::optional<Located> Locate(const std::string& destination) {
  if (destination.empty() || platform::HasNulByte(destination)) return std::nullopt;
  std::string path = destination;
  for (;;) {
    const platform::UniqueFd fd(platform::OpenPath(path, O_PATH | O_CLOEXEC));
    struct stat status {};
    if (fd && fstat(fd.get(), &status) == 0) {
      Located located{path, {major(status.st_dev), minor(status.st_dev)}};
      if (char* resolved = realpath(path.c_str(), nullptr)) {
        located.path = resolved;
        std::free(resolved);
      }
      return located;
    }
    while (path.size() > 1 && path.back() == '/')
      path.pop_back();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
      if (path == ".") return std::nullopt;
      path = ".";
    } else {
      if (path == "/") return std::nullopt;
      path.resize(slash == 0 ? 1 : slash);
    }
  }
}

// The mount that `located` is on: of the mounts of its device, the one with the longest
// mount point above it, the later one of equals (mounted over the other).
std::optional<MountEntry> MountOf(const Located& located, const std::string& mountInfo) {
  std::optional<MountEntry> best;
  bool bestHolds = false;
  for (MountEntry& mount : platform::ReadMountTable(mountInfo)) {
    if (mount.device != located.device) continue;
    const bool holds = IsAtOrBelow(located.path, mount.mountPoint);
    if (best && bestHolds && (!holds || mount.mountPoint.size() < best->mountPoint.size()))
      continue;
    best = std::move(mount);
    bestHolds = holds;
  }
  return best;
}

// --- What the volume says, and what udev says of its device ---------------------------

FoundPlayer MarkerProfile(const MountEntry& mount) {
  if (mount.root != "/" || mount.mountPoint.empty() || mount.mountPoint.front() != '/') return {};
  const std::string path =
      (mount.mountPoint == "/" ? std::string() : mount.mountPoint) + "/" + kMarkerName;
  const FileBytes file = ReadSmallFile(path, kMaxMarkerBytes, false);
  if (file.reading == Reading::kMissing) return {};
  // The volume says it is a player, but not which: told as a bad marker is.
  if (file.reading == Reading::kUnreadable)
    return {std::nullopt, text::UserText(kCannotReadProfileMessage, {path, file.why})};
  ProfileParse parsed = ParsePlayerProfile(file.bytes, path);
  if (parsed.error) return {std::nullopt, ParseErrorText(*parsed.error)};
  PlayerProfile& profile = *parsed.profile;
  // Neither a vendor, a product nor a name: the file's own name stands in.
  if (profile.displayName == kMarkerName || profile.displayName.empty())
    profile.displayName = "this player";
  profile.name = "auto";
  return {std::move(parsed.profile), std::nullopt};
}

// The block device the mount reads: its source where that is a block device (FUSE
// mounts name theirs there too), else the mount's own device where that is no anonymous
// one.
std::optional<DeviceNumber> BlockDeviceOf(const MountEntry& mount) {
  if (mount.source.starts_with("/dev/") && !platform::HasNulByte(mount.source)) {
    struct stat status {};
    if (stat(mount.source.c_str(), &status) == 0 && S_ISBLK(status.st_mode))
      return DeviceNumber{major(status.st_rdev), minor(status.st_rdev)};
  }
  if (mount.device.major != 0) return mount.device;
  return std::nullopt;
}

// The value of ID_MEDIA_PLAYER that udev gives the device; empty when none.
std::string MediaPlayerProperty(DeviceNumber device, const ProfileFolders& folders) {
  platform::LineReader reader;
  if (!reader.Open(folders.udevData + "/b" + DeviceName(device))) return {};
  constexpr std::string_view kPrefix = "E:ID_MEDIA_PLAYER=";
  std::string line;
  for (std::size_t lines = 0; lines < 100000 && reader.Next(line); ++lines) {
    if (!line.starts_with(kPrefix)) continue;
    std::string name = line.substr(kPrefix.size());
    // A database name, never a path.
    if (name.empty() || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos || name == "." || name == "..")
      return {};
    return name;
  }
  return {};
}

// The whole disk that the partition `device` is on.
std::optional<DeviceNumber> DiskOf(DeviceNumber device, const ProfileFolders& folders) {
  const std::string folder = folders.sysBlock + "/" + DeviceName(device);
  if (ReadSmallFile(folder + "/partition", 64, true).reading != Reading::kRead) return std::nullopt;
  const FileBytes dev = ReadSmallFile(folder + "/../dev", 64, true);
  if (dev.reading != Reading::kRead) return std::nullopt;
  std::string_view text = dev.bytes;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.remove_suffix(1);
  return ParseDeviceNumber(text);
}

FoundPlayer DatabaseProfile(const MountEntry& mount, const ProfileFolders& folders) {
  const std::optional<DeviceNumber> device = BlockDeviceOf(mount);
  if (!device) return {};
  std::string name = MediaPlayerProperty(*device, folders);
  if (name.empty()) {
    if (const std::optional<DeviceNumber> disk = DiskOf(*device, folders))
      name = MediaPlayerProperty(*disk, folders);
  }
  if (name.empty()) return {};
  return LoadProfile(folders.database + "/" + name + ".mpi", name);
}

// The player the destination lies on; neither profile nor error when nothing says.
FoundPlayer Detect(const std::string& destination, const ProfileFolders& folders) {
  const std::optional<Located> located = Locate(destination);
  if (!located) return {};
  const std::optional<MountEntry> mount = MountOf(*located, folders.mountInfo);
  if (!mount) return {};
  FoundPlayer marked = MarkerProfile(*mount);
  if (marked.profile || marked.error) return marked;
  return DatabaseProfile(*mount, folders);
}

// How a file type is named to the user.
std::string ShownTypeName(std::string_view type) {
  if (type == "ogg") return "Ogg";
  if (type == "opus") return "Opus";
  if (type == "m4a") return "AAC";
  std::string shown(type);
  for (char& c : shown)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return shown;
}

// The name of what `profile` is shown as.
const std::string& ShownName(const PlayerProfile& profile) {
  return profile.displayName.empty() ? profile.name : profile.displayName;
}

// "MP3, Ogg, FLAC": the types among those Sorvina chooses that `profile` plays.
std::string PlayedTypeNames(const PlayerProfile& profile) {
  std::string types;
  for (const media::FileType& type : media::AllFileTypes()) {
    if (!PlaysFileType(profile, type.name)) continue;
    types += (types.empty() ? "" : ", ") + ShownTypeName(type.name);
  }
  return types;
}

}  // namespace

FoundPlayer FindPlayerProfile(std::string_view choice, const std::string& destination,
                              const ProfileFolders& folders) {
  if (choice.empty()) choice = "any";
  if (std::optional<PlayerProfile> builtIn = BuiltInProfile(choice))
    return {std::move(builtIn), std::nullopt};
  if (choice == "auto") {
    FoundPlayer detected = Detect(destination, folders);
    if (detected.profile || detected.error) return detected;
    return {BuiltInProfile("any"), std::nullopt};
  }
  const std::string name(choice);
  if (choice.find('/') != std::string_view::npos || choice.ends_with(".mpi")) {
    return LoadProfile(name, name, true);
  }
  for (const std::string& folder : {UserFolder(folders), folders.database}) {
    if (folder.empty()) continue;
    FoundPlayer found = LoadProfile(folder + "/" + name + ".mpi", name);
    if (found.profile || found.error) return found;
  }
  return {std::nullopt, text::UserText(kNoSuchProfileMessage, {name})};
}

std::optional<PlayerProfile> DetectPlayer(const std::string& destination,
                                          const ProfileFolders& folders) {
  return Detect(destination, folders).profile;
}

std::vector<std::string> UserProfileNames(const ProfileFolders& folders) {
  const std::string folder = UserFolder(folders);
  std::vector<std::string> names;
  if (folder.empty()) return names;
  std::optional<platform::DirectoryListing> listing = platform::DirectoryListing::Open(folder);
  if (!listing) return names;
  for (const platform::DirectoryEntry& entry : listing->ReadEntries()) {
    if (entry.kind == platform::EntryKind::kFile && entry.name.size() > 4 &&
        entry.name.ends_with(".mpi"))
      names.push_back(entry.name.substr(0, entry.name.size() - 4));
  }
  std::sort(names.begin(), names.end());
  return names;
}

text::UserText DescribeProfile(const PlayerProfile& profile) {
  const std::string& shown = ShownName(profile);
  if (profile.outputFormats.empty()) return {kPlaysEveryTypeText, {shown}};
  const std::string types = PlayedTypeNames(profile);
  if (types.empty()) return {kPlaysNoTypeText, {shown}};
  return {kPlaysTypesText, {shown, types}};
}

bool PlaysConversionTarget(const PlayerProfile& profile, media::TargetCodec codec) {
  switch (codec) {
    case media::TargetCodec::kMp3:
      return PlaysFileType(profile, "mp3");
    case media::TargetCodec::kAac:
      return PlaysFileType(profile, "m4a");
    case media::TargetCodec::kOpus:
      return PlaysFileType(profile, "opus");
  }
  return false;
}

std::vector<media::TargetCodec> PlayedConversionTargets(const PlayerProfile& profile) {
  std::vector<media::TargetCodec> played;
  for (const media::TargetCodec codec :
       {media::TargetCodec::kMp3, media::TargetCodec::kAac, media::TargetCodec::kOpus})
    if (PlaysConversionTarget(profile, codec)) played.push_back(codec);
  return played;
}

std::string_view ConversionTargetName(media::TargetCodec codec) {
  switch (codec) {
    case media::TargetCodec::kMp3:
      return "mp3";
    case media::TargetCodec::kAac:
      return "aac";
    case media::TargetCodec::kOpus:
      return "opus";
  }
  return "";
}

std::optional<text::UserText> RefusedConversion(const PlayerProfile& profile,
                                                const ConversionChoice& choice) {
  if (PlaysConversionTarget(profile, choice.codec)) return std::nullopt;
  std::string targets;
  for (const media::TargetCodec codec : PlayedConversionTargets(profile))
    targets += (targets.empty() ? "" : ", ") + std::string(ConversionTargetName(codec));
  const std::string& shown = ShownName(profile);
  if (targets.empty()) return text::UserText(kConvertToNothingPlayedMessage, {shown});
  return text::UserText(kConvertToPlayedMessage, {shown, PlayedTypeNames(profile), targets});
}

}  // namespace sorvina::engine
