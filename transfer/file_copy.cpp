#include "transfer/file_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "platform/new_file.h"

namespace sorvina::transfer {
namespace {

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

constexpr char kPartSuffix[] = ".part";
// A hidden name found taken: try another one at most this often.
constexpr int kHiddenNameAttempts = 100;

// A file without a name is given one by a link of its descriptor, which older kernels
// allow only to privileged processes, or else by a link of the process's own view of the
// descriptor in /proc, which every user may make. Without /proc such a file might not be
// named: none is made then.
bool CanNameUnnamedFiles() {
  static const bool available = access("/proc/self/fd", X_OK) == 0;
  return available;
}

// Links the file open as `fd` at `path`; EEXIST when `path` exists.
int LinkOpenFile(int fd, const std::string& path) {
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
  // ENOENT is also what a refused descriptor link gives.
  if (errno != ENOENT) return errno;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
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

platform::UserText ErrorText(int error) {
  return platform::Verbatim(std::generic_category().message(error));
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

std::optional<PartFile> PartFile::Create(const std::string& target, mode_t mode, bool unnamed,
                                         int* error) {
  if (unnamed && CanNameUnnamedFiles()) {
    // Saves the hidden name's two entries in the folder and the rename, and leaves nothing
    // behind whatever happens to the process. Any refusal (file systems without such
    // files, folders that may not be written) goes on to the hidden file, which then
    // names the reason.
    const std::string folder = SplitPath(target).folder;
    const int fd =
        open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) return PartFile(fd, std::string());
  }
  std::string path;
  const int fd = platform::CreateHiddenSibling(target, kPartSuffix, mode, path);
  if (fd >= 0) return PartFile(fd, std::move(path));
  *error = errno;
  return std::nullopt;
}

PartFile::PartFile(PartFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      placed_(std::exchange(other.placed_, true)) {}

PartFile::~PartFile() {
  // A file without a name goes with its last descriptor.
  if (fd_ >= 0) close(fd_);
  if (!placed_ && !path_.empty()) unlink(path_.c_str());
}

int PartFile::Finish(const struct timespec times[2], bool sync) {
  // A file system that keeps no such times (or refuses to set them) still gets the file.
  futimens(fd_, times);
  if (sync && fsync(fd_) != 0) return errno;
  if (path_.empty()) {
    // Closing a second descriptor reports what closing the file would (the report comes
    // once per open file), while the file stays open to be named.
    const int copy = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return errno;
    if (close(copy) != 0 && errno != EINTR) return errno;
    return 0;
  }
  const int fd = std::exchange(fd_, -1);
  // EINTR: the descriptor is gone all the same, and the data was handed over.
  if (close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

int PartFile::PlaceAt(const std::string& target, bool replace) {
  if (path_.empty()) {
    if (!replace) {
      // A link never replaces: an existing target gives EEXIST, as RenameEntry does.
      if (const int error = LinkOpenFile(fd_, target)) return error;
      placed_ = true;
      close(std::exchange(fd_, -1));  // what closing reports, Finish has seen
      return 0;
    }
    // Only a rename replaces in one step, and only a file with a name can be renamed.
    if (const int error = NameHidden(target)) return error;
  }
  const int error = RenameEntry(path_, target, replace);
  if (error == 0) placed_ = true;
  return error;
}

int PartFile::NameHidden(const std::string& target) {
  for (int attempt = 0; attempt < kHiddenNameAttempts; ++attempt) {
    std::string path = platform::HiddenSiblingPath(target, kPartSuffix);
    if (const int error = LinkOpenFile(fd_, path)) {
      if (error == EEXIST) continue;
      return error;
    }
    path_ = std::move(path);
    close(std::exchange(fd_, -1));  // what closing reports, Finish has seen
    return 0;
  }
  return EEXIST;
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
      if (const int error = platform::WriteAll(
              out, std::string_view(buffer.data(), static_cast<std::size_t>(count)))) {
        return {error, false};
      }
    }
    if (count == 0) return {};
    copied += static_cast<std::uint64_t>(count);
    if (!afterChunk(copied)) return {ECANCELED, false};
  }
}

}  // namespace sorvina::transfer
