// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/contained_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/new_file.h"

namespace sorvina::platform {
namespace {

constexpr int kAttempts = 100;
// Folders are visited at most this deep: no player nests deeper, and the limit keeps a
// crafted tree from exhausting descriptors.
constexpr int kMaxVisitDepth = 64;

void SetError(int* error, int value) {
  if (error != nullptr) *error = value;
}

}  // namespace

EntryStatus EntryStatusOf(const struct stat& status) {
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
  entry.device = static_cast<std::uint64_t>(status.st_dev);
  entry.inode = static_cast<std::uint64_t>(status.st_ino);
  entry.owner = static_cast<std::uint32_t>(status.st_uid);
  return entry;
}

namespace {

bool IsOneName(std::string_view name) {
  return ContainedFolder::IsContainedPath(name) && name.find('/') == std::string_view::npos;
}

// Opens the folder `name` in `folder` without following a link; with `create`, makes it
// first where missing (`made` then tells).
int OpenFolderAt(int folder, const std::string& name, bool create, bool& made) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  made = false;
  int fd = openat(folder, name.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT && create) {
    if (mkdirat(folder, name.c_str(), 0777) == 0) {
      made = true;
    } else if (errno != EEXIST) {
      return -1;
    }
    fd = openat(folder, name.c_str(), kFlags);
  }
  return fd;
}

// Errors of a no-replace rename that only say the file system cannot do it.
bool NoReplaceRenameUnavailable(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Errors of a link that only say the file system keeps none.
bool LinksUnavailable(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK ||
         error == EXDEV;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes `to` in `folder` exclusively as an empty entry of ours, a file or (`asFolder`) a
// folder, for a rename to replace, and stores what it is in `ours`. It is closed again
// before the rename: a FUSE driver keeps a file that a rename replaces while it is still
// open under a ".fuse_hidden..." name until it is closed, and a player pulled out in
// between keeps that file for good. 0, or the errno value, with nothing left made.
int MakePlaceholder(int folder, const char* to, bool asFolder, struct stat& ours) {
  if (asFolder && mkdirat(folder, to, 0700) != 0) return errno;
  UniqueFd placeholder(
      asFolder ? openat(folder, to, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
               : openat(folder, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!asFolder && !placeholder) return errno;
  const int error = !placeholder || fstat(placeholder.get(), &ours) != 0 ? errno : 0;
  placeholder.Reset();
  if (error != 0) unlinkat(folder, to, asFolder ? AT_REMOVEDIR : 0);  // a folder only while empty
  return error;
}

// Whether `to` in `folder` is still the placeholder `ours`, empty: only then may a rename
// replace it (a folder that is no longer empty refuses by itself).
bool IsStillPlaceholder(int folder, const char* to, const struct stat& ours) {
  struct stat now {};
  return fstatat(folder, to, &now, AT_SYMLINK_NOFOLLOW) == 0 && SameEntry(now, ours) &&
         (S_ISDIR(now.st_mode) || now.st_size == 0);
}

// Gives `from` the name `to` in `folder`, never replacing anything there: EEXIST when
// `to` is taken. Where neither a no-replace rename nor a link is to be had, `to` is first
// made exclusively as an empty file of ours and then replaced by `from`, as long as it is
// still that empty file.
int RenameWithoutReplacing(int folder, const char* from, const char* to,
                           const std::function<void()>& beforeRename) {
  if (renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return 0;
  // A file system that refuses renames outright may still keep links; where it keeps
  // neither, no rename of any kind can place the file (PlacementRefused).
  const int renameError = errno;
  const bool renameRefused = renameError == EPERM || renameError == EXDEV;
  if (!renameRefused && !NoReplaceRenameUnavailable(renameError)) return renameError;
  if (linkat(folder, from, folder, to, 0) == 0) {
    // Should the old name refuse to go, both names hold the same complete file.
    unlinkat(folder, from, 0);
    return 0;
  }
  if (errno == EEXIST || !LinksUnavailable(errno)) return errno;
  if (renameRefused) return renameError;
  struct stat ours {};
  if (const int error = MakePlaceholder(folder, to, false, ours)) return error;
  if (beforeRename) beforeRename();
  // Only our own empty file may be replaced: anything written into it since is kept.
  if (!IsStillPlaceholder(folder, to, ours)) return EEXIST;
  if (renameat(folder, from, folder, to) == 0) return 0;
  const int error = errno;
  unlinkat(folder, to, 0);
  return error;
}

// Moves `from` in `fromFolder` to `to` in `toFolder`, never replacing anything there, as
// RenameWithoutReplacing does within one folder. A folder cannot be linked: it takes the
// place of an empty folder of ours, which a rename replaces only while it is empty.
int MoveWithoutReplacing(int fromFolder, const char* from, int toFolder, const char* to) {
  if (renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) return 0;
  if (!NoReplaceRenameUnavailable(errno)) return errno;
  struct stat moved {};
  if (fstatat(fromFolder, from, &moved, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  const bool folder = S_ISDIR(moved.st_mode);
  if (!folder) {
    if (linkat(fromFolder, from, toFolder, to, 0) == 0) {
      // Should the old name refuse to go, both names hold the same file.
      unlinkat(fromFolder, from, 0);
      return 0;
    }
    if (errno == EEXIST || !LinksUnavailable(errno)) return errno;
  }
  struct stat ours {};
  if (const int error = MakePlaceholder(toFolder, to, folder, ours)) return error;
  if (!IsStillPlaceholder(toFolder, to, ours)) return EEXIST;
  if (renameat(fromFolder, from, toFolder, to) == 0) return 0;
  const int error = errno;
  unlinkat(toFolder, to, folder ? AT_REMOVEDIR : 0);
  return error;
}

// A file without a name is given one by a link of its descriptor, which older kernels
// allow only to privileged processes, or else by a link of the process's own view of the
// descriptor in /proc, which every user may make. Without /proc such a file might not be
// named: none is made then.
bool CanNameUnnamedFiles() {
  static const bool available = access("/proc/self/fd", X_OK) == 0;
  return available;
}

// Links the file open as `fd` at `name` in `folder`; EEXIST when the name is taken.
int LinkOpenFile(int fd, int folder, const std::string& name) {
  if (linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  // ENOENT is also what a refused descriptor link gives.
  if (errno != ENOENT) return errno;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// A listing of the folder open as `folder`, with a position of its own (a duplicated
// descriptor would share the folder's, left at the end by the listing before).
DIR* OpenListing(int folder) {
  UniqueFd fd(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* listing = fd ? fdopendir(fd.get()) : nullptr;
  if (listing != nullptr) (void)fd.Release();  // the listing owns it now
  return listing;
}

UniqueFd Duplicate(int fd, int* error) {
  UniqueFd copy(fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!copy) SetError(error, errno);
  return copy;
}

}  // namespace

bool PlacementRefused(int error) {
  return error == EPERM || error == EXDEV || error == EOPNOTSUPP || error == ENOSYS;
}

std::optional<ContainedFolder> ContainedFolder::Open(const std::string& path, int* error) {
  UniqueFd fd(path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat status {};
  if (!fd || fstat(fd.get(), &status) != 0) {
    SetError(error, path.empty() ? ENOENT : errno);
    return std::nullopt;
  }
  return ContainedFolder(std::move(fd), static_cast<std::uint64_t>(status.st_dev));
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

bool ContainedFolder::IsStillAt(const std::string& path) const {
  struct stat here {};
  struct stat there {};
  return fstat(fd_.get(), &here) == 0 && stat(path.c_str(), &there) == 0 && SameEntry(here, there);
}

std::optional<ContainedFolder> ContainedFolder::Folder(std::string_view relative, bool create,
                                                       int* error,
                                                       std::vector<std::string>* made) const {
  if (!IsContainedPath(relative)) {
    SetError(error, EINVAL);
    return std::nullopt;
  }
  UniqueFd current;
  std::size_t begin = 0;
  for (;;) {
    const int folder = current ? current.get() : fd_.get();
    const std::size_t slash = relative.find('/', begin);
    const std::string name(relative.substr(begin, slash - begin));
    bool madeHere = false;
    UniqueFd next(OpenFolderAt(folder, name, create, madeHere));
    if (!next) {
      int openError = errno;
      // A link where a folder should be is reported as one, whatever the system says.
      struct stat status {};
      if (openError == ENOTDIR &&
          fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(status.st_mode))
        openError = ELOOP;
      SetError(error, openError);
      return std::nullopt;
    }
    if (madeHere && made != nullptr) made->emplace_back(relative.substr(0, slash));
    struct stat status {};
    if (fstat(next.get(), &status) != 0 || static_cast<std::uint64_t>(status.st_dev) != device_) {
      SetError(error, EXDEV);
      return std::nullopt;
    }
    current = std::move(next);
    if (slash == std::string_view::npos) return ContainedFolder(std::move(current), device_);
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
    UniqueFd fd = Duplicate(fd_.get(), error);
    if (!fd) return std::nullopt;
    return ContainedFolder(std::move(fd), device_);
  }
  name = relative.substr(slash + 1);
  return Folder(relative.substr(0, slash), false, error);
}

std::optional<EntryStatus> ContainedFolder::StatusOf(std::string_view relative) const {
  std::string name;
  const std::optional<ContainedFolder> parent = ParentOf(relative, name, nullptr);
  struct stat status {};
  if (!parent || fstatat(parent->fd_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  if (static_cast<std::uint64_t>(status.st_dev) != device_) return std::nullopt;
  return EntryStatusOf(status);
}

std::vector<std::string> ContainedFolder::MissingFolders(std::string_view relative) const {
  std::vector<std::string> missing;
  if (!IsContainedPath(relative) || StatusOf(relative)) return missing;
  for (std::size_t end = relative.find('/');; end = relative.find('/', end + 1)) {
    const std::string_view folder = relative.substr(0, end);
    if (!missing.empty() || !StatusOf(folder)) missing.emplace_back(folder);
    if (end == std::string_view::npos) return missing;
  }
}

int ContainedFolder::RemoveFileIfUnchanged(std::string_view relative,
                                           const EntryStatus& expected) const {
  std::string name;
  int error = 0;
  const std::optional<ContainedFolder> parent = ParentOf(relative, name, &error);
  if (!parent) return error;
  struct stat status {};
  if (fstatat(parent->fd_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  const EntryStatus now = EntryStatusOf(status);
  if (now.kind != EntryStatus::Kind::kFile || now.sizeBytes != expected.sizeBytes ||
      !(now.modified == expected.modified) || now.device != device_ ||
      (expected.inode != 0 && now.inode != expected.inode))
    return ESTALE;
  // unlinkat never follows a link, so a file swapped for one since is no danger.
  return unlinkat(parent->fd_.get(), name.c_str(), 0) == 0 ? 0 : errno;
}

int ContainedFolder::RemoveFolderIfEmpty(std::string_view relative) const {
  std::string name;
  int error = 0;
  const std::optional<ContainedFolder> parent = ParentOf(relative, name, &error);
  if (!parent) return error;
  // A link is no folder: unlinkat with AT_REMOVEDIR refuses it (ENOTDIR).
  return unlinkat(parent->fd_.get(), name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

UniqueFd ContainedFolder::OpenFile(std::string_view relative, int* error) const {
  std::string name;
  const std::optional<ContainedFolder> parent = ParentOf(relative, name, error);
  if (!parent) return {};
  UniqueFd fd(openat(parent->fd_.get(), name.c_str(),
                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status {};
  if (!fd || fstat(fd.get(), &status) != 0) {
    SetError(error, errno);
    return {};
  }
  if (!S_ISREG(status.st_mode)) {
    SetError(error, EINVAL);
    return {};
  }
  fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int ContainedFolder::ReadFile(std::string_view name, std::size_t limit, std::string& bytes,
                              EntryStatus* status) const {
  bytes.clear();
  if (!IsOneName(name)) return EINVAL;
  int error = 0;
  const UniqueFd fd = OpenFile(name, &error);
  if (!fd) return error;
  struct stat found {};
  if (fstat(fd.get(), &found) != 0) return errno;
  if (static_cast<std::uint64_t>(found.st_size) > limit) return EFBIG;
  if (status != nullptr) *status = EntryStatusOf(found);
  // The size may change while the file is read: read at most one byte beyond the limit.
  for (;;) {
    const std::size_t had = bytes.size();
    bytes.resize(had + 64 * 1024);
    const ssize_t got = read(fd.get(), bytes.data() + had, bytes.size() - had);
    if (got < 0 && errno == EINTR) {
      bytes.resize(had);
      continue;
    }
    bytes.resize(had + static_cast<std::size_t>(got < 0 ? 0 : got));
    if (got < 0) error = errno;
    if (got <= 0) break;
    if (bytes.size() > limit) {
      error = EFBIG;
      break;
    }
  }
  if (error != 0) bytes.clear();
  return error;
}

int ContainedFolder::ReplaceFile(std::string_view name, std::string_view bytes) const {
  if (!IsOneName(name)) return EINVAL;
  const std::string target(name);
  std::string temporary;
  UniqueFd fd;
  for (int attempt = 0; attempt < kAttempts && !fd; ++attempt) {
    temporary = HiddenSiblingPath(target, ".tmp");
    fd.Reset(openat(fd_.get(), temporary.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd && errno != EEXIST) return errno;
  }
  if (!fd) return EEXIST;
  int error = 0;
  {
    const ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = WriteAll(fd.get(), bytes);
  }
  if (error == 0 && fsync(fd.get()) != 0) error = errno;
  if (close(fd.Release()) != 0 && error == 0) error = errno;
  if (error == 0 && renameat(fd_.get(), temporary.c_str(), fd_.get(), target.c_str()) != 0)
    error = errno;
  if (error != 0) unlinkat(fd_.get(), temporary.c_str(), 0);
  return error;
}

UniqueFd ContainedFolder::CreateFileToWrite(std::string_view name, int* error) const {
  if (!IsOneName(name)) {
    SetError(error, EINVAL);
    return {};
  }
  UniqueFd fd(openat(fd_.get(), std::string(name).c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) SetError(error, errno);
  return fd;
}

int ContainedFolder::WriteNewFileInPlace(std::string_view name, std::string_view bytes) const {
  int error = 0;
  UniqueFd fd = CreateFileToWrite(name, &error);
  if (!fd) return error;
  {
    const ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = WriteAll(fd.get(), bytes);
  }
  if (error == 0 && fsync(fd.get()) != 0) error = errno;
  if (close(fd.Release()) != 0 && errno != EINTR && error == 0) error = errno;
  const std::optional<EntryStatus> written = StatusOf(name);
  if (error == 0 && (!written || written->sizeBytes != static_cast<std::int64_t>(bytes.size())))
    error = EIO;
  if (error != 0 && written) (void)RemoveFileIfUnchanged(name, *written);
  return error;
}

int ContainedFolder::PlaceNewFile(std::string_view name, std::string_view bytes) const {
  int error = 0;
  std::optional<PartFile> part = CreatePartFile(name, 0666, true, &error);
  if (!part) return error;
  {
    const ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = WriteAll(part->fd(), bytes);
  }
  if (error == 0) error = part->Finish(nullptr, true);
  if (error == 0) error = part->PlaceAt(name, false);
  return error;
}

std::optional<PartFile> ContainedFolder::CreatePartFile(std::string_view name, mode_t mode,
                                                        bool unnamed, int* error) const {
  if (!IsOneName(name)) {
    SetError(error, EINVAL);
    return std::nullopt;
  }
  UniqueFd folder = Duplicate(fd_.get(), error);
  if (!folder) return std::nullopt;
  if (unnamed && CanNameUnnamedFiles()) {
    // Saves the hidden name's two entries in the folder and the rename, and leaves nothing
    // behind whatever happens to the process. Any refusal (file systems without such
    // files, folders that may not be written) goes on to the hidden file, which then
    // names the reason.
    UniqueFd fd(openat(fd_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
    if (fd) return PartFile(std::move(folder), std::move(fd), std::string());
  }
  const std::string target(name);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string hidden = HiddenSiblingPath(target, ".part");
    UniqueFd fd(openat(fd_.get(), hidden.c_str(),
                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode));
    if (fd) return PartFile(std::move(folder), std::move(fd), std::move(hidden));
    if (errno != EEXIST) break;
  }
  SetError(error, errno);
  return std::nullopt;
}

void ContainedFolder::RemoveLeftoverTemporaries(std::string_view name,
                                                std::string_view suffix) const {
  if (!IsOneName(name)) return;
  DIR* folder = OpenListing(fd_.get());
  if (folder == nullptr) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = readdir(folder)) {
    if (IsHiddenSiblingName(entry->d_name, name, suffix)) leftovers.emplace_back(entry->d_name);
  }
  closedir(folder);
  for (const std::string& leftover : leftovers)
    unlinkat(fd_.get(), leftover.c_str(), 0);
}

int ContainedFolder::Rename(std::string_view from, std::string_view to) const {
  if (!IsOneName(from) || !IsOneName(to)) return EINVAL;
  return renameat(fd_.get(), std::string(from).c_str(), fd_.get(), std::string(to).c_str()) == 0
             ? 0
             : errno;
}

int ContainedFolder::RenameNoReplace(std::string_view from, std::string_view to) const {
  if (!IsOneName(from) || !IsOneName(to)) return EINVAL;
  return RenameWithoutReplacing(fd_.get(), std::string(from).c_str(), std::string(to).c_str(),
                                nullptr);
}

int ContainedFolder::MoveTo(std::string_view from, const ContainedFolder& folder,
                            std::string_view to) const {
  if (!IsOneName(from) || !IsOneName(to)) return EINVAL;
  if (folder.device_ != device_) return EXDEV;
  return MoveWithoutReplacing(fd_.get(), std::string(from).c_str(), folder.fd_.get(),
                              std::string(to).c_str());
}

int ContainedFolder::ListNames(std::vector<std::string>& names) const {
  names.clear();
  DIR* listing = OpenListing(fd_.get());
  if (listing == nullptr) return errno != 0 ? errno : EIO;
  int error = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(listing);
    if (entry == nullptr) {
      error = errno;
      break;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  closedir(listing);
  if (error != 0) names.clear();
  return error;
}

bool ContainedFolder::KeptInUserSpace() const {
  struct statfs volume {};
  return fstatfs(fd_.get(), &volume) == 0 && volume.f_type == FUSE_SUPER_MAGIC;
}

int ContainedFolder::MakeFolder(std::string_view name, mode_t mode) const {
  if (!IsOneName(name)) return EINVAL;
  return mkdirat(fd_.get(), std::string(name).c_str(), mode) == 0 ? 0 : errno;
}

int ContainedFolder::MakeEmptyFile(std::string_view name) const {
  if (!IsOneName(name)) return EINVAL;
  UniqueFd fd(openat(fd_.get(), std::string(name).c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return errno;
  return close(fd.Release()) == 0 || errno == EINTR ? 0 : errno;
}

std::optional<FileLock> ContainedFolder::Lock(std::string_view name, int* error) const {
  if (!IsOneName(name)) {
    SetError(error, EINVAL);
    return std::nullopt;
  }
  UniqueFd fd(openat(fd_.get(), std::string(name).c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
  // A device that takes writes to a file only from the open that made it refuses to
  // open it for writing again; a lock needs no writing.
  if (!fd && errno == EPERM)
    fd.Reset(openat(fd_.get(), std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    SetError(error, errno);
    return std::nullopt;
  }
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    SetError(error, errno == EINTR ? EWOULDBLOCK : errno);
    return std::nullopt;
  }
  return FileLock(std::move(fd));
}

void ContainedFolder::VisitFiles(
    const std::vector<std::string>& skipped,
    const std::function<void(const std::string&, const EntryStatus&)>& visit) const {
  VisitFilesBelow({}, skipped, visit, 0);
}

void ContainedFolder::VisitFilesBelow(
    const std::string& prefix, const std::vector<std::string>& skipped,
    const std::function<void(const std::string&, const EntryStatus&)>& visit, int depth) const {
  DIR* listing = OpenListing(fd_.get());
  if (listing == nullptr) return;
  std::vector<std::string> folders;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (prefix.empty() && std::find(skipped.begin(), skipped.end(), name) != skipped.end())
      continue;
    struct stat status {};
    if (fstatat(fd_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        static_cast<std::uint64_t>(status.st_dev) != device_)
      continue;
    if (S_ISREG(status.st_mode)) visit(prefix + name, EntryStatusOf(status));
    if (S_ISDIR(status.st_mode)) folders.push_back(name);
  }
  closedir(listing);
  if (depth >= kMaxVisitDepth) return;
  for (const std::string& name : folders) {
    if (const std::optional<ContainedFolder> folder = Folder(name, false))
      folder->VisitFilesBelow(prefix + name + "/", skipped, visit, depth + 1);
  }
}

int ContainedFolder::Flush() const {
  return syncfs(fd_.get()) == 0 ? 0 : errno;
}

PartFile::PartFile(PartFile&& other) noexcept
    : folder_(std::move(other.folder_)),
      fd_(std::move(other.fd_)),
      hiddenName_(std::move(other.hiddenName_)),
      placed_(std::exchange(other.placed_, true)) {}

PartFile::~PartFile() {
  // A file without a name goes with its last descriptor.
  fd_.Reset();
  if (!placed_ && !hiddenName_.empty()) unlinkat(folder_.get(), hiddenName_.c_str(), 0);
}

int PartFile::Finish(const struct timespec* times, bool sync) {
  // A file system that keeps no such times (or refuses to set them) still gets the file.
  if (times != nullptr) futimens(fd_.get(), times);
  if (sync && fsync(fd_.get()) != 0) return errno;
  if (hiddenName_.empty()) {
    // Closing a second descriptor reports what closing the file would (the report comes
    // once per open file), while the file stays open to be named.
    const int copy = fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return errno;
    if (close(copy) != 0 && errno != EINTR) return errno;
    return 0;
  }
  // EINTR: the descriptor is gone all the same, and the data was handed over.
  if (close(fd_.Release()) != 0 && errno != EINTR) return errno;
  return 0;
}

int PartFile::PlaceAt(std::string_view name, bool replace,
                      const std::function<void()>& beforeRename) {
  if (!IsOneName(name)) return EINVAL;
  const std::string target(name);
  if (hiddenName_.empty()) {
    if (!replace) {
      // A link never replaces: a taken name gives EEXIST.
      if (const int error = LinkOpenFile(fd_.get(), folder_.get(), target)) return error;
      placed_ = true;
      fd_.Reset();  // what closing reports, Finish has seen
      return 0;
    }
    // Only a rename replaces in one step, and only a file with a name can be renamed.
    if (const int error = NameHidden(name)) return error;
  }
  const int error =
      replace ? (renameat(folder_.get(), hiddenName_.c_str(), folder_.get(), target.c_str()) == 0
                     ? 0
                     : errno)
              : RenameWithoutReplacing(folder_.get(), hiddenName_.c_str(), target.c_str(),
                                       beforeRename);
  if (error == 0) placed_ = true;
  return error;
}

int PartFile::NameHidden(std::string_view name) {
  const std::string target(name);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string hidden = HiddenSiblingPath(target, ".part");
    if (const int error = LinkOpenFile(fd_.get(), folder_.get(), hidden)) {
      if (error == EEXIST) continue;
      return error;
    }
    hiddenName_ = std::move(hidden);
    fd_.Reset();  // what closing reports, Finish has seen
    return 0;
  }
  return EEXIST;
}

}  // namespace sorvina::platform
