// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/phone_mounts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/file_system.h"

namespace sorvina::platform {
namespace {

constexpr std::string_view kVirtualFileSystem = "fuse.gvfsd-fuse";
constexpr std::string_view kPhoneFolderPrefix = "mtp:host=";

// `path` as text without "." and ".." parts or a trailing separator ("/" stays).
std::string Normal(const std::string& path) {
  std::string normal = std::filesystem::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/')
    normal.pop_back();
  return normal;
}

// The part of `path` below the folder `mountPoint` ("" at it); nothing where `path` is
// not at or below it. Both are normal.
std::optional<std::string> Below(const std::string& path, const std::string& mountPoint) {
  if (path == mountPoint) return std::string();
  if (mountPoint == "/") return path.substr(1);
  if (path.size() > mountPoint.size() && path.starts_with(mountPoint) &&
      path[mountPoint.size()] == '/')
    return path.substr(mountPoint.size() + 1);
  return std::nullopt;
}

// The first name of `relative` and the one after it.
std::pair<std::string, std::string> FirstTwoNames(const std::string& relative) {
  const std::size_t slash = relative.find('/');
  if (slash == std::string::npos) return {relative, {}};
  const std::string rest = relative.substr(slash + 1);
  return {relative.substr(0, slash), rest.substr(0, rest.find('/'))};
}

std::string JoinedPath(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

// The folders in `folder`, by name; none where it cannot be listed.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code kind;
    if (it->is_directory(kind)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsSerialNumber(std::string_view word) {
  const auto alphanumeric = [](char c) { return std::isalnum(static_cast<unsigned char>(c)); };
  const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)); };
  return word.size() >= 6 && std::all_of(word.begin(), word.end(), alphanumeric) &&
         std::any_of(word.begin(), word.end(), digit);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool IsPhoneMountType(std::string_view type) {
  static constexpr std::string_view kPhoneTypes[] = {"fuse.jmtpfs", "fuse.simple-mtpfs",
                                                     "fuse.go-mtpfs", "fuse.mtpfs"};
  return std::find(std::begin(kPhoneTypes), std::end(kPhoneTypes), type) != std::end(kPhoneTypes);
}

std::optional<PhonePlace> PhonePlaceOf(const std::string& path,
                                       const std::vector<MountEntry>& mounts) {
  const std::string normal = Normal(path);
  // The innermost mount holding the path: the one with the longest mount point.
  const MountEntry* holder = nullptr;
  std::string below;
  for (const MountEntry& mount : mounts) {
    const std::string point = Normal(mount.mountPoint);
    const std::optional<std::string> relative = Below(normal, point);
    if (relative && (holder == nullptr || point.size() >= Normal(holder->mountPoint).size())) {
      holder = &mount;
      below = *relative;
    }
  }
  if (holder == nullptr) return std::nullopt;
  const std::string point = Normal(holder->mountPoint);
  const auto [first, second] = FirstTwoNames(below);
  if (IsPhoneMountType(holder->type)) {
    return PhonePlace{point, std::filesystem::path(point).filename().string(), first};
  }
  if (holder->type == kVirtualFileSystem && first.starts_with(kPhoneFolderPrefix))
    return PhonePlace{JoinedPath(point, first), first, second};
  return std::nullopt;
}

std::optional<PhonePlace> PhonePlaceOf(const std::string& path) {
  if (HasNulByte(path)) return std::nullopt;
  std::string absolute = path;
  if (!path.starts_with('/')) absolute = JoinedPath(CurrentDirectory(), path);
  return PhonePlaceOf(absolute, ReadMountTable());
}

std::string ReadablePhoneName(std::string_view folderName) {
  if (!folderName.starts_with(kPhoneFolderPrefix)) return std::string(folderName);
  const std::string_view host = folderName.substr(kPhoneFolderPrefix.size());
  std::string name;
  for (std::size_t i = 0; i < host.size(); ++i) {
    if (host[i] == '%' && i + 2 < host.size() && HexValue(host[i + 1]) >= 0 &&
        HexValue(host[i + 2]) >= 0) {
      name.push_back(static_cast<char>(HexValue(host[i + 1]) * 16 + HexValue(host[i + 2])));
      i += 2;
    } else {
      name.push_back(host[i] == '_' ? ' ' : host[i]);
    }
  }
  const std::size_t blank = name.find_last_of(' ');
  if (blank != std::string::npos && name.find_first_not_of(' ') < blank &&
      IsSerialNumber(std::string_view(name).substr(blank + 1)))
    name.resize(blank);
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  return name.empty() ? std::string(folderName) : name;
}

std::vector<PhoneStorage> PhoneStorages(const std::vector<MountEntry>& mounts) {
  std::vector<PhoneStorage> storages;
  const auto addStoragesOf = [&storages](const std::string& phoneFolder,
                                         const std::string& phoneName) {
    for (const std::string& storage : FolderNames(phoneFolder)) {
      PhoneStorage found{ReadablePhoneName(phoneName), storage, JoinedPath(phoneFolder, storage)};
      if (const std::optional<FileSystemSpace> space = SpaceOf(found.path)) {
        found.totalBytes = space->totalBytes;
        found.availableBytes = space->availableBytes;
      }
      storages.push_back(std::move(found));
    }
  };
  for (const MountEntry& mount : mounts) {
    if (IsPhoneMountType(mount.type)) {
      addStoragesOf(mount.mountPoint, std::filesystem::path(Normal(mount.mountPoint)).filename());
    } else if (mount.type == kVirtualFileSystem) {
      for (const std::string& share : FolderNames(mount.mountPoint)) {
        if (share.starts_with(kPhoneFolderPrefix))
          addStoragesOf(JoinedPath(mount.mountPoint, share), share);
      }
    }
  }
  return storages;
}

}  // namespace sorvina::platform
