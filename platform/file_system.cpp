// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

#include <climits>

namespace sorvina::platform {
namespace {

EntryKind KindOf(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return EntryKind::kFile;
  if (S_ISDIR(status.st_mode)) return EntryKind::kDirectory;
  return EntryKind::kOther;
}

// Closes a descriptor without disturbing the errno that explains a failure.
void CloseKeepingErrno(int fd) {
  const int saved = errno;
  close(fd);
  errno = saved;
}

}  // namespace

int OpenPath(const std::string& path, int flags) {
  if (path.empty() || HasNulByte(path)) {
    errno = ENOENT;
    return -1;
  }
  if (path.size() < PATH_MAX) return open(path.c_str(), flags);

  // Each stretch ends at a separator and fits the limit; the folders between stretches are
  // held as O_PATH descriptors, which need no read permission, only the search permission
  // that a single open would need too.
  int folder = AT_FDCWD;
  std::size_t begin = 0;
  while (path.size() - begin >= PATH_MAX) {
    const std::size_t end = path.rfind('/', begin + PATH_MAX - 1);
    if (end == std::string::npos || end <= begin) {  // one name longer than any limit
      if (folder != AT_FDCWD) close(folder);
      errno = ENAMETOOLONG;
      return -1;
    }
    const std::string stretch = path.substr(begin, end - begin);
    const int next = openat(folder, stretch.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder != AT_FDCWD) CloseKeepingErrno(folder);
    if (next < 0) return -1;
    folder = next;
    begin = path.find_first_not_of('/', end);
    if (begin == std::string::npos) begin = path.size();
  }
  // A path that ends in separators names the folder reached itself.
  const std::string rest = begin < path.size() ? path.substr(begin) : std::string(".");
  const int fd = openat(folder, rest.c_str(), flags);
  if (folder != AT_FDCWD) CloseKeepingErrno(folder);
  return fd;
}

std::optional<DirectoryListing> DirectoryListing::FromDescriptor(int fd) {
  UniqueFd owned(fd);
  struct stat status {};
  if (!owned || fstat(owned.get(), &status) != 0) return std::nullopt;
  return DirectoryListing(std::move(owned),
                          FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                                       static_cast<std::uint64_t>(status.st_ino)});
}

std::optional<DirectoryListing> DirectoryListing::Open(const std::string& path) {
  return FromDescriptor(OpenPath(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::optional<DirectoryListing> DirectoryListing::OpenFolder(const std::string& relative) const {
  if (relative.empty() || HasNulByte(relative)) return std::nullopt;
  return FromDescriptor(openat(fd_.get(), relative.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

void DirectoryListing::VisitEntries(
    const std::function<void(std::string_view name, std::optional<EntryKind> kind)>& visit) {
  // The entries are read straight from the descriptor rather than through a DIR stream,
  // which would take the descriptor over (or need a copy of it) and a buffer of its own.
  // Back to the first entry, as rewinddir does, when the folder has been listed before; a
  // file system that cannot seek in a folder is read from where the descriptor stands. A
  // descriptor just opened stands at the start already.
  if (listed_) lseek(fd_.get(), 0, SEEK_SET);
  listed_ = true;
  alignas(dirent64) char buffer[32 * 1024];
  for (;;) {
    const ssize_t got = getdents64(fd_.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t offset = 0; offset < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      switch (entry->d_type) {
        case DT_REG:
          visit(name, EntryKind::kFile);
          break;
        case DT_DIR:
          visit(name, EntryKind::kDirectory);
          break;
        case DT_LNK:
        case DT_UNKNOWN:
          visit(name, std::nullopt);
          break;
        default:
          visit(name, EntryKind::kOther);
          break;
      }
    }
  }
}

std::vector<DirectoryEntry> DirectoryListing::ReadEntries() {
  std::vector<DirectoryEntry> entries;
  VisitEntries([&](std::string_view name, std::optional<EntryKind> kind) {
    if (!kind) {
      const std::optional<FileStatus> status = StatusOf(name.data());
      kind = status ? status->kind : EntryKind::kOther;
    }
    entries.push_back(DirectoryEntry{std::string(name), *kind});
  });
  return entries;
}

std::optional<FileStatus> DirectoryListing::StatusOf(const char* name) const {
  struct stat status {};
  if (fstatat(fd_.get(), name, &status, 0) != 0) return std::nullopt;
  return FileStatus{KindOf(status), static_cast<std::uint64_t>(status.st_size)};
}

std::optional<bool> DirectoryListing::MayReachEntries() const {
  // The descriptor itself, with the effective ids a lookup uses; systems before Linux 5.8
  // know no flags here.
  if (faccessat(fd_.get(), "", X_OK, AT_EMPTY_PATH | AT_EACCESS) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS || errno == EPERM) return std::nullopt;
  return false;
}

std::optional<std::uint64_t> DirectoryListing::SizeOf(const std::string& name) const {
  if (HasNulByte(name)) return std::nullopt;
  const std::optional<FileStatus> status = StatusOf(name.c_str());
  if (!status) return std::nullopt;
  return status->sizeBytes;
}

bool HasNulByte(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

std::optional<FileStatus> GetFileStatus(const std::string& path) {
  struct stat status {};
  if (path.empty() || HasNulByte(path)) return std::nullopt;
  if (path.size() < PATH_MAX) {
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
  } else {
    const int fd = OpenPath(path, O_PATH | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool known = fstat(fd, &status) == 0;
    close(fd);
    if (!known) return std::nullopt;
  }
  return FileStatus{KindOf(status), static_cast<std::uint64_t>(status.st_size)};
}

bool CanEnterFolder(const std::string& path) {
  const std::optional<FileStatus> status = GetFileStatus(path);
  return status && status->kind == EntryKind::kDirectory && access(path.c_str(), X_OK) == 0;
}

bool IsVolumeRoot(const std::string& path) {
  struct stat folder {};
  struct stat parent {};
  if (path.empty() || HasNulByte(path) || stat(path.c_str(), &folder) != 0 ||
      !S_ISDIR(folder.st_mode) || stat((path + "/..").c_str(), &parent) != 0)
    return false;
  return folder.st_dev != parent.st_dev || folder.st_ino == parent.st_ino;
}

bool MakeFolder(const std::string& path) {
  return !path.empty() && !HasNulByte(path) && mkdir(path.c_str(), 0777) == 0;
}

int MakeFolders(const std::string& path) {
  if (path.empty() || HasNulByte(path)) return ENOENT;
  if (const std::optional<FileStatus> status = GetFileStatus(path))
    return status->kind == EntryKind::kDirectory ? 0 : ENOTDIR;
  // Each prefix that ends a part, top down. A part that is there already as a folder (made
  // by someone else meanwhile, perhaps) is as good as a new one.
  for (std::size_t end = 1; end <= path.size(); ++end) {
    if ((end < path.size() && path[end] != '/') || path[end - 1] == '/') continue;
    const std::string prefix = path.substr(0, end);
    if (mkdir(prefix.c_str(), 0777) == 0) continue;
    const int error = errno;
    const std::optional<FileStatus> status = GetFileStatus(prefix);
    if (!status) return error;
    if (status->kind != EntryKind::kDirectory) return ENOTDIR;
  }
  return 0;
}

std::optional<FileSystemSpace> SpaceOf(const std::string& path) {
  if (HasNulByte(path)) return std::nullopt;
  std::string folder = path.empty() ? "." : path;
  struct statvfs info {};
  // A folder not made yet (a dry run's destination) lies on the volume of its parent.
  while (statvfs(folder.c_str(), &info) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return std::nullopt;
    while (folder.size() > 1 && folder.back() == '/')
      folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    if (folder == "." || folder == "/") return std::nullopt;
    folder = slash == std::string::npos ? "." : folder.substr(0, slash == 0 ? 1 : slash);
  }
  const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  FileSystemSpace space;
  space.totalBytes = static_cast<std::uint64_t>(info.f_blocks) * unit;
  space.availableBytes = static_cast<std::uint64_t>(info.f_bavail) * unit;
  space.allocationUnit = unit != 0 ? unit : 1;
  return space;
}

int FlushFileSystem(const std::string& path) {
  const int fd = OpenPath(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int result = syncfs(fd) == 0 ? 0 : errno;
  close(fd);
  return result;
}

std::string CurrentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(buffer.find('\0'));
      return buffer;
    }
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::uint32_t ClockSeed() {
  return static_cast<std::uint32_t>(std::time(nullptr));
}

}  // namespace sorvina::platform
