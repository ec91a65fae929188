#include "platform/contained_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/new_file.h"

namespace sorvina::platform {
namespace {

constexpr int kAttempts = 100;

void SetError(int* error, int value) {
  if (error != nullptr) *error = value;
}

EntryStatus StatusFrom(const struct stat& status) {
  EntryStatus entry;
  if (S_ISREG(status.st_mode)) {
    entry.kind = EntryStatus::Kind::kFile;
  } else if (S_ISDIR(status.st_mode)) {
    entry.kind = EntryStatus::Kind::kFolder;
  } else if (S_ISLNK(status.st_mode)) {
    entry.kind = EntryStatus::Kind::kLink;
  }
  entry.sizeBytes = static_cast<std::int64_t>(status.st_size);
  entry.modified = {static_cast<std::int64_t>(status.st_mtim.tv_sec),
                    static_cast<std::int32_t>(status.st_mtim.tv_nsec)};
  return entry;
}

bool IsOneName(std::string_view name) {
  return ContainedFolder::IsContainedPath(name) && name.find('/') == std::string_view::npos;
}

// Opens the folder `name` in `folder` without following a link; with `create`, makes it
// first where missing.
int OpenFolderAt(int folder, const std::string& name, bool create) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(folder, name.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT && create) {
    if (mkdirat(folder, name.c_str(), 0777) != 0 && errno != EEXIST) return -1;
    fd = openat(folder, name.c_str(), kFlags);
  }
  return fd;
}

}  // namespace

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  if (fd_ >= 0) close(fd_);
}

std::optional<ContainedFolder> ContainedFolder::Open(const std::string& path, int* error) {
  const int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || fstat(fd, &status) != 0) {
    SetError(error, path.empty() ? ENOENT : errno);
    if (fd >= 0) close(fd);
    return std::nullopt;
  }
  return ContainedFolder(fd, static_cast<std::uint64_t>(status.st_dev));
}

bool ContainedFolder::IsContainedPath(std::string_view relative) {
  if (relative.empty() || relative.front() == '/') return false;
  if (relative.find('\0') != std::string_view::npos) return false;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', begin);
    const std::string_view name = relative.substr(begin, slash - begin);
    if (name.empty() || name == "." || name == "..") return false;
    if (slash == std::string_view::npos) return true;
    begin = slash + 1;
  }
}

ContainedFolder::ContainedFolder(ContainedFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), device_(other.device_) {}

ContainedFolder& ContainedFolder::operator=(ContainedFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    device_ = other.device_;
  }
  return *this;
}

ContainedFolder::~ContainedFolder() {
  if (fd_ >= 0) close(fd_);
}

std::optional<ContainedFolder> ContainedFolder::Folder(std::string_view relative, bool create,
                                                       int* error) const {
  if (!IsContainedPath(relative)) {
    SetError(error, EINVAL);
    return std::nullopt;
  }
  int current = fd_;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', begin);
    const std::string name(relative.substr(begin, slash - begin));
    const int next = OpenFolderAt(current, name, create);
    if (next < 0) {
      int openError = errno;
      // A link where a folder should be is reported as one, whatever the system says.
      struct stat status {};
      if (openError == ENOTDIR &&
          fstatat(current, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(status.st_mode))
        openError = ELOOP;
      if (current != fd_) close(current);
      SetError(error, openError);
      return std::nullopt;
    }
    if (current != fd_) close(current);
    struct stat status {};
    if (fstat(next, &status) != 0 || static_cast<std::uint64_t>(status.st_dev) != device_) {
      SetError(error, EXDEV);
      close(next);
      return std::nullopt;
    }
    current = next;
    if (slash == std::string_view::npos) return ContainedFolder(current, device_);
    begin = slash + 1;
  }
}

std::optional<ContainedFolder> ContainedFolder::ParentOf(std::string_view relative,
                                                         std::string& name, int* error) const {
  if (!IsContainedPath(relative)) {
    SetError(error, EINVAL);
    return std::nullopt;
  }
  const std::size_t slash = relative.rfind('/');
  if (slash == std::string_view::npos) {
    name = relative;
    const int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
      SetError(error, errno);
      return std::nullopt;
    }
    return ContainedFolder(fd, device_);
  }
  name = relative.substr(slash + 1);
  return Folder(relative.substr(0, slash), false, error);
}

std::optional<EntryStatus> ContainedFolder::StatusOf(std::string_view relative) const {
  std::string name;
  const std::optional<ContainedFolder> parent = ParentOf(relative, name, nullptr);
  struct stat status {};
  if (!parent || fstatat(parent->fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  if (static_cast<std::uint64_t>(status.st_dev) != device_) return std::nullopt;
  return StatusFrom(status);
}

int ContainedFolder::RemoveFileIfUnchanged(std::string_view relative,
                                           const EntryStatus& expected) const {
  std::string name;
  int error = 0;
  const std::optional<ContainedFolder> parent = ParentOf(relative, name, &error);
  if (!parent) return error;
  struct stat status {};
  if (fstatat(parent->fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  const EntryStatus now = StatusFrom(status);
  if (now.kind != EntryStatus::Kind::kFile || now.sizeBytes != expected.sizeBytes ||
      !(now.modified == expected.modified) || static_cast<std::uint64_t>(status.st_dev) != device_)
    return ESTALE;
  // unlinkat never follows a link, so a file swapped for one since is no danger.
  return unlinkat(parent->fd_, name.c_str(), 0) == 0 ? 0 : errno;
}

int ContainedFolder::RemoveEmptyFoldersAbove(std::string_view relative) const {
  int removed = 0;
  for (std::size_t slash = relative.rfind('/'); slash != std::string_view::npos && slash > 0;
       slash = relative.rfind('/', slash - 1)) {
    std::string name;
    const std::optional<ContainedFolder> parent =
        ParentOf(relative.substr(0, slash), name, nullptr);
    if (!parent || unlinkat(parent->fd_, name.c_str(), AT_REMOVEDIR) != 0) break;
    ++removed;
  }
  return removed;
}

int ContainedFolder::ReadFile(std::string_view name, std::size_t limit, std::string& bytes) const {
  bytes.clear();
  if (!IsOneName(name)) return EINVAL;
  const int fd = openat(fd_, std::string(name).c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat status {};
  int error = 0;
  if (fstat(fd, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error = EINVAL;
  } else if (static_cast<std::uint64_t>(status.st_size) > limit) {
    error = EFBIG;
  }
  // The size may change while the file is read: read at most one byte beyond the limit.
  while (error == 0) {
    const std::size_t had = bytes.size();
    bytes.resize(had + 64 * 1024);
    const ssize_t got = read(fd, bytes.data() + had, bytes.size() - had);
    if (got < 0 && errno == EINTR) {
      bytes.resize(had);
      continue;
    }
    bytes.resize(had + static_cast<std::size_t>(got < 0 ? 0 : got));
    if (got < 0) error = errno;
    if (got <= 0) break;
    if (bytes.size() > limit) error = EFBIG;
  }
  close(fd);
  if (error != 0) bytes.clear();
  return error;
}

int ContainedFolder::ReplaceFile(std::string_view name, std::string_view bytes) const {
  if (!IsOneName(name)) return EINVAL;
  const std::string target(name);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < kAttempts && fd < 0; ++attempt) {
    temporary = HiddenSiblingPath(target, ".tmp");
    fd = openat(fd_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  int error = 0;
  {
    const ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = WriteAll(fd, bytes);
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && renameat(fd_, temporary.c_str(), fd_, target.c_str()) != 0) error = errno;
  if (error != 0) unlinkat(fd_, temporary.c_str(), 0);
  return error;
}

void ContainedFolder::RemoveLeftoverTemporaries(std::string_view name) const {
  if (!IsOneName(name)) return;
  const int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  DIR* folder = fd < 0 ? nullptr : fdopendir(fd);
  if (folder == nullptr) {
    if (fd >= 0) close(fd);
    return;
  }
  const std::string prefix = "." + std::string(name) + ".";
  constexpr std::string_view kSuffix = ".tmp";
  constexpr std::size_t kRandomDigits = 16;
  std::vector<std::string> leftovers;
  while (const dirent* entry = readdir(folder)) {
    const std::string_view entryName = entry->d_name;
    if (entryName.size() == prefix.size() + kRandomDigits + kSuffix.size() &&
        entryName.starts_with(prefix) && entryName.ends_with(kSuffix))
      leftovers.emplace_back(entryName);
  }
  closedir(folder);
  for (const std::string& leftover : leftovers)
    unlinkat(fd_, leftover.c_str(), 0);
}

int ContainedFolder::Rename(std::string_view from, std::string_view to) const {
  if (!IsOneName(from) || !IsOneName(to)) return EINVAL;
  return renameat(fd_, std::string(from).c_str(), fd_, std::string(to).c_str()) == 0 ? 0 : errno;
}

std::optional<FileLock> ContainedFolder::Lock(std::string_view name, int* error) const {
  if (!IsOneName(name)) {
    SetError(error, EINVAL);
    return std::nullopt;
  }
  const int fd =
      openat(fd_, std::string(name).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetError(error, errno);
    return std::nullopt;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetError(error, errno == EINTR ? EWOULDBLOCK : errno);
    close(fd);
    return std::nullopt;
  }
  return FileLock(fd);
}

}  // namespace sorvina::platform
