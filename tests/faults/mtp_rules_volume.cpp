// SPDX-License-Identifier: GPL-3.0-or-later
// A volume with the rules of a phone or player reached over a media transfer protocol and
// mounted by the desktop: a FUSE file system over a backing folder that refuses what such
// a device cannot do.
//   - Nothing is renamed or linked (EPERM), and there are no symbolic links.
//   - A file is written once, front to back: created, written only at its current end
//     (a write anywhere else: EPERM), closed. An existing file is never opened for writing
//     again (EPERM), so never truncated either; truncating is allowed only where it changes
//     nothing (an empty file to 0).
//   - A file being written reads as 0 bytes long until it is closed: the device learns its
//     size only then.
//   - Names with any of "*:<>?\| or a control character are refused (EINVAL) when a file
//     or folder is made.
//   - Listing a folder may be made slow, as listing a big folder on a phone is.
//   - One changing call (creating, writing, closing a written file, making or removing a
//     folder, removing a file) may be made to fail with an I/O error, as a device that
//     refuses one request and then goes on does. A written file whose closing fails is not
//     kept. The first close() of a written file is its closing.
// Times and modes cannot be set on such a device: setting them does nothing.
//
//   sorvina_mtp_rules_volume [--listing-ms MS] [--failing-call N] [--count FILE]
//                            [--refuse FILE] [--subtype NAME] BACKING MOUNTPOINT
//
// --listing-ms: every listing of a folder takes MS milliseconds longer. --failing-call: the
// N-th changing call (from 1) fails. --count: after each changing call the number made so
// far is written to FILE. --refuse: FILE, read before each changing call, lists more calls
// (numbers as above, separated by blanks) that fail, so that a test can choose them while
// the volume is mounted. --subtype: the type the system shows for the mount is
// "fuse.NAME" (default "mtp-rules"). Runs in the foreground, single-threaded, until
// unmounted.
#define FUSE_USE_VERSION 31

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <thread>

namespace {

int backing = -1;
int listingMs = 0;
long long failingCall = 0;
long long made = 0;
std::string countPath;
std::string refusePath;

// A file open for writing, by its descriptor on the backing folder.
struct Writing {
  std::string path;
  off_t end = 0;  // where the next write must start
  bool append = false;
  bool closed = false;  // written and closed: its size is known, nothing more is written
};
std::map<int, Writing> writing;

const char* Relative(const char* path) {
  return path[1] == '\0' ? "." : path + 1;
}

int Result(int value) {
  return value < 0 ? -errno : value;
}

// Whether the refusal file lists the call `call`.
bool ListedAsRefused(long long call) {
  if (refusePath.empty()) return false;
  FILE* refused = std::fopen(refusePath.c_str(), "r");
  if (refused == nullptr) return false;
  bool listed = false;
  for (long long number = 0; !listed && std::fscanf(refused, "%lld", &number) == 1;)
    listed = number == call;
  std::fclose(refused);
  return listed;
}

// Counts a changing call; false for one chosen to fail.
bool Change() {
  ++made;
  if (!countPath.empty()) {
    if (FILE* count = std::fopen(countPath.c_str(), "w")) {
      std::fprintf(count, "%lld\n", made);
      std::fclose(count);
    }
  }
  return made != failingCall && !ListedAsRefused(made);
}

#define REFUSE_UNLESS(condition) \
  if (!(condition)) return -EIO

// Whether a file or folder may be given the last name of `path`.
bool NameAllowed(const char* path) {
  const std::string_view name = std::strrchr(path, '/') + 1;
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f ||
        std::string_view("\"*:<>?\\|").find(c) != std::string_view::npos)
      return false;
  return true;
}

bool BeingWritten(const char* path) {
  for (const auto& [fd, file] : writing)
    if (file.path == path && !file.closed) return true;
  return false;
}

int GetAttr(const char* path, struct stat* status, fuse_file_info* info) {
  const int result = info != nullptr
                         ? Result(fstat(static_cast<int>(info->fh), status))
                         : Result(fstatat(backing, Relative(path), status, AT_SYMLINK_NOFOLLOW));
  if (result == 0 && S_ISREG(status->st_mode) && BeingWritten(path)) {
    status->st_size = 0;
    status->st_blocks = 0;
  }
  return result;
}

int MakeFolder(const char* path, mode_t mode) {
  if (!NameAllowed(path)) return -EINVAL;
  REFUSE_UNLESS(Change());
  return Result(mkdirat(backing, Relative(path), mode));
}

int Unlink(const char* path) {
  REFUSE_UNLESS(Change());
  const int result = Result(unlinkat(backing, Relative(path), 0));
  // A file removed while written is no longer the one of that name.
  if (result == 0)
    for (auto& [fd, file] : writing)
      if (file.path == path) file.path.clear();
  return result;
}

int RemoveFolder(const char* path) {
  REFUSE_UNLESS(Change());
  return Result(unlinkat(backing, Relative(path), AT_REMOVEDIR));
}

int Refused(const char*, const char*) {
  return -EPERM;
}

int Rename(const char*, const char*, unsigned int) {
  return -EPERM;
}

int MakeNode(const char*, mode_t, dev_t) {
  return -EPERM;
}

int Ignored(const char*, mode_t, fuse_file_info*) {
  return 0;
}

int IgnoredOwner(const char*, uid_t, gid_t, fuse_file_info*) {
  return 0;
}

int IgnoredTimes(const char*, const timespec[2], fuse_file_info*) {
  return 0;
}

int Truncate(const char* path, off_t size, fuse_file_info* info) {
  // Only where nothing changes: an empty file cut to 0.
  if (info != nullptr) {
    const auto file = writing.find(static_cast<int>(info->fh));
    return file != writing.end() && size == 0 && file->second.end == 0 ? 0 : -EPERM;
  }
  struct stat status {};
  if (fstatat(backing, Relative(path), &status, AT_SYMLINK_NOFOLLOW) != 0) return -errno;
  return size == 0 && status.st_size == 0 && !BeingWritten(path) ? 0 : -EPERM;
}

int Open(const char* path, fuse_file_info* info) {
  if ((info->flags & O_ACCMODE) != O_RDONLY || (info->flags & O_TRUNC) != 0) return -EPERM;
  const int fd = openat(backing, Relative(path), info->flags & ~O_NOFOLLOW);
  if (fd < 0) return -errno;
  info->fh = static_cast<uint64_t>(fd);
  return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* info) {
  if (!NameAllowed(path)) return -EINVAL;
  REFUSE_UNLESS(Change());
  const int flags = (info->flags & ~(O_TRUNC | O_APPEND | O_NOFOLLOW)) | O_CREAT | O_EXCL;
  const int fd = openat(backing, Relative(path), flags, mode);
  if (fd < 0) return -errno;
  info->fh = static_cast<uint64_t>(fd);
  writing[fd] = {path, 0, (info->flags & O_APPEND) != 0, false};
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
  return Result(static_cast<int>(pread(static_cast<int>(info->fh), buffer, size, offset)));
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
  const auto file = writing.find(static_cast<int>(info->fh));
  if (file == writing.end()) return -EBADF;
  if (file->second.closed) return -EPERM;
  // An appending writer asks for the end, wherever the system believes that is (its
  // idea of the size is 0 while the file is written).
  if (file->second.append) offset = file->second.end;
  if (offset != file->second.end) return -EPERM;
  REFUSE_UNLESS(Change());
  const ssize_t written = pwrite(file->first, buffer, size, offset);
  if (written < 0) return -errno;
  file->second.end += written;
  return static_cast<int>(written);
}

int StatFileSystem(const char*, struct statvfs* status) {
  return Result(fstatvfs(backing, status));
}

// The first closing of a written file, which close() reports: the device takes the file
// whole then, or, where it refuses, keeps nothing of it.
int Flush(const char*, fuse_file_info* info) {
  const auto file = writing.find(static_cast<int>(info->fh));
  if (file == writing.end() || file->second.closed) return 0;
  file->second.closed = true;
  if (Change()) return 0;
  if (!file->second.path.empty()) unlinkat(backing, Relative(file->second.path.c_str()), 0);
  return -EIO;
}

int Release(const char*, fuse_file_info* info) {
  const int fd = static_cast<int>(info->fh);
  writing.erase(fd);
  close(fd);
  return 0;
}

int SyncFile(const char*, int, fuse_file_info* info) {
  return Result(fsync(static_cast<int>(info->fh)));
}

int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
  if (listingMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(listingMs));
  const int fd = openat(backing, Relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -errno;
  DIR* folder = fdopendir(fd);
  if (folder == nullptr) {
    close(fd);
    return -errno;
  }
  while (const dirent* entry = readdir(folder))
    fill(buffer, entry->d_name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  closedir(folder);
  return 0;
}

int Access(const char* path, int mode) {
  return Result(faccessat(backing, Relative(path), mode, 0));
}

void* Init(fuse_conn_info*, fuse_config* config) {
  // Nothing cached in the kernel: each call is seen, sizes included.
  config->entry_timeout = 0;
  config->attr_timeout = 0;
  config->negative_timeout = 0;
  config->use_ino = 1;
  config->nullpath_ok = 0;
  return nullptr;
}

int Usage() {
  std::fprintf(stderr,
               "usage: sorvina_mtp_rules_volume [--listing-ms MS] [--failing-call N] "
               "[--count FILE] [--refuse FILE] [--subtype NAME] BACKING MOUNTPOINT\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::string subtype = "mtp-rules";
  int next = 1;
  for (; next + 1 < argc && std::strncmp(argv[next], "--", 2) == 0; next += 2) {
    const std::string_view option = argv[next];
    if (option == "--listing-ms") {
      listingMs = std::atoi(argv[next + 1]);
    } else if (option == "--failing-call") {
      failingCall = std::atoll(argv[next + 1]);
    } else if (option == "--count") {
      countPath = argv[next + 1];
    } else if (option == "--refuse") {
      refusePath = argv[next + 1];
    } else if (option == "--subtype") {
      subtype = argv[next + 1];
    } else {
      return Usage();
    }
  }
  if (argc - next != 2) return Usage();
  backing = open(argv[next], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (backing < 0) {
    std::perror(argv[next]);
    return 1;
  }
  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.mknod = MakeNode;
  operations.mkdir = MakeFolder;
  operations.unlink = Unlink;
  operations.rmdir = RemoveFolder;
  operations.symlink = Refused;
  operations.rename = Rename;
  operations.link = Refused;
  operations.chmod = Ignored;
  operations.chown = IgnoredOwner;
  operations.truncate = Truncate;
  operations.open = Open;
  operations.create = Create;
  operations.read = Read;
  operations.write = Write;
  operations.statfs = StatFileSystem;
  operations.flush = Flush;
  operations.release = Release;
  operations.fsync = SyncFile;
  operations.readdir = ReadFolder;
  operations.utimens = IgnoredTimes;
  operations.access = Access;
  operations.init = Init;
  char program[] = "sorvina_mtp_rules_volume";
  char foreground[] = "-f";
  char singleThreaded[] = "-s";
  char options[] = "-o";
  std::string name = "fsname=sorvina-mtp-rules,subtype=" + subtype;
  char* arguments[] = {program,     foreground,     singleThreaded, options,
                       name.data(), argv[next + 1], nullptr};
  return fuse_main(6, arguments, &operations, nullptr);
}
