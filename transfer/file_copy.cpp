#include "transfer/file_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <system_error>

namespace sorvina::transfer {
namespace {

// Longest name most file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

// Errors after which the kernel cannot copy between these two files, though reading and
// writing can: different file systems, file systems or kernels without the call, or
// sandboxes that forbid it.
bool KernelCopyUnavailable(int error) {
  switch (error) {
    case EXDEV:
    case ENOSYS:
    case EOPNOTSUPP:
    case EINVAL:
    case EBADF:
    case ETXTBSY:
    case EPERM:
      return true;
    default:
      return false;
  }
}

// Errors of a no-replace rename that only say the file system cannot do it.
bool NoReplaceRenameUnavailable(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;  // no progress and no error: never spin on it
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

std::uint64_t RandomNumber() {
  std::uint64_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == sizeof value) return value;
  // Without the kernel's generator: the name need only be unlikely to be in use, since
  // the file is created exclusively and another name is tried when it is.
  static std::uint64_t counter = 0;
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return (now * 0x9E3779B97F4A7C15ull) ^ (static_cast<std::uint64_t>(getpid()) << 32) ^ ++counter;
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && path[end - 1] == '/')
    --end;
  if (end == 1 && path[0] == '/') return {"/", ""};
  const std::size_t slash = path.rfind('/', end - 1);
  if (end == 0 || slash == std::string::npos) return {"", path.substr(0, end)};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1, end - slash - 1)};
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string NumberedName(const std::string& target, unsigned number) {
  const PathParts parts = SplitPath(target);
  const std::size_t dot = parts.name.rfind('.');
  const std::size_t stemEnd = dot == std::string::npos || dot == 0 ? parts.name.size() : dot;
  return JoinPath(parts.folder, parts.name.substr(0, stemEnd) + " (" + std::to_string(number) +
                                    ")" + parts.name.substr(stemEnd));
}

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

int MakeFolders(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  const PathParts parts = SplitPath(path);
  if (!parts.folder.empty() && parts.folder != "/") {
    if (const int error = MakeFolders(parts.folder)) return error;
  }
  if (mkdir(path.c_str(), 0777) == 0) return 0;
  const int error = errno;
  // Made by someone else in the meantime: as good as made here.
  if (error == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return 0;
  return error;
}

int RenameEntry(const std::string& from, const std::string& to, bool replace) {
  if (replace) return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (!NoReplaceRenameUnavailable(errno)) return errno;
  // A hard link fails on an existing name just as the no-replace rename does. Should the
  // old name then refuse to go, both names hold the same complete file: nothing is lost.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // No links either (folders, FAT file systems): look, then rename. Only a file made in
  // the instant between the two could still be replaced.
  struct stat status {};
  if (lstat(to.c_str(), &status) == 0) return EEXIST;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string PartFileName(const std::string& name, std::uint64_t random) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%016llx.part", static_cast<unsigned long long>(random));
  const std::size_t room = kMaxNameBytes - 1 - std::string_view(suffix).size();
  std::size_t keep = std::min(name.size(), room);
  // Never split a UTF-8 sequence: some file systems refuse names that are not valid text.
  while (keep < name.size() && keep > 0 &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  std::string partName(1, '.');
  partName.append(name, 0, keep).append(suffix);
  return partName;
}

std::optional<PartFile> PartFile::Create(const std::string& target, mode_t mode, int* error) {
  const PathParts parts = SplitPath(target);
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string path = JoinPath(parts.folder, PartFileName(parts.name, RandomNumber()));
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return PartFile(fd, std::move(path));
    if (errno != EEXIST) {
      *error = errno;
      return std::nullopt;
    }
  }
  *error = EEXIST;
  return std::nullopt;
}

PartFile::PartFile(PartFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      placed_(std::exchange(other.placed_, true)) {}

PartFile::~PartFile() {
  if (fd_ >= 0) close(fd_);
  if (!placed_) unlink(path_.c_str());
}

int PartFile::Finish(const struct timespec times[2], bool sync) {
  // A file system that keeps no such times (or refuses to set them) still gets the file.
  futimens(fd_, times);
  if (sync && fsync(fd_) != 0) return errno;
  const int fd = std::exchange(fd_, -1);
  // EINTR: the descriptor is gone all the same, and the data was handed over.
  if (close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

int PartFile::PlaceAt(const std::string& target, bool replace) {
  const int error = RenameEntry(path_, target, replace);
  if (error == 0) placed_ = true;
  return error;
}

CopyOutcome CopyContents(int in, int out, std::size_t chunkBytes, std::vector<char>& buffer,
                         const std::function<bool(std::uint64_t)>& afterChunk) {
  bool inKernel = true;
  std::uint64_t copied = 0;
  for (;;) {
    ssize_t count = 0;
    if (inKernel) {
      count = copy_file_range(in, nullptr, out, nullptr, chunkBytes, 0);
      if (count < 0) {
        if (errno == EINTR) continue;
        if (!KernelCopyUnavailable(errno)) return {errno, false};
        inKernel = false;
        continue;
      }
      // Some file systems (procfs and the like) report nothing for files whose size they
      // do not know; reading tells for sure, and costs nothing for a truly empty file.
      if (count == 0 && copied == 0) {
        inKernel = false;
        continue;
      }
    } else {
      if (buffer.size() < chunkBytes) buffer.resize(chunkBytes);
      count = read(in, buffer.data(), chunkBytes);
      if (count < 0) {
        if (errno == EINTR) continue;
        return {errno, true};
      }
      if (const int error = WriteAll(out, buffer.data(), static_cast<std::size_t>(count))) {
        return {error, false};
      }
    }
    if (count == 0) return {};
    copied += static_cast<std::uint64_t>(count);
    if (!afterChunk(copied)) return {ECANCELED, false};
  }
}

}  // namespace sorvina::transfer
