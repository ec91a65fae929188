// SPDX-License-Identifier: GPL-3.0-or-later
// A volume that fails on cue, for tests of a player that goes away part-way through a
// fill: a FUSE file system that passes every call through to a backing folder until a
// given number of changing calls (creating, writing, renaming, removing, ...) has been
// made, and from then on answers every call, reads included, with an I/O error, as a
// device that has gone does. What the backing folder holds then is what the device kept.
//
//   sorvina_failing_volume BACKING MOUNTPOINT CONTROL
//
// CONTROL is a file of two numbers, "GENERATION ALLOWED", read before every call: a new
// generation restarts the count with ALLOWED changing calls (-1: no limit). After each
// changing call the number made in the current generation is written to CONTROL.count.
// Runs in the foreground, single-threaded, until the volume is unmounted.
#define FUSE_USE_VERSION 31

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int backing = -1;
std::string controlPath;
long long generation = -1;
long long allowed = -1;
long long made = 0;

// The path FUSE gives ("/a/b") as one relative to the backing folder.
const char* Relative(const char* path) {
  return path[1] == '\0' ? "." : path + 1;
}

// Reads the control file; true while the volume still works.
bool Working() {
  char text[64] = {};
  if (FILE* control = std::fopen(controlPath.c_str(), "r")) {
    std::fread(text, 1, sizeof text - 1, control);
    std::fclose(control);
  }
  long long readGeneration = 0;
  long long readAllowed = -1;
  if (std::sscanf(text, "%lld %lld", &readGeneration, &readAllowed) == 2 &&
      readGeneration != generation) {
    generation = readGeneration;
    allowed = readAllowed;
    made = 0;
  }
  return allowed < 0 || made < allowed;
}

// Counts a changing call; false (the call fails) once the allowance is spent.
bool Change() {
  if (!Working()) return false;
  ++made;
  if (FILE* count = std::fopen((controlPath + ".count").c_str(), "w")) {
    std::fprintf(count, "%lld\n", made);
    std::fclose(count);
  }
  return true;
}

int Result(int value) {
  return value < 0 ? -errno : value;
}

#define GONE_UNLESS(condition) \
  if (!(condition)) return -EIO

int GetAttr(const char* path, struct stat* status, fuse_file_info* info) {
  GONE_UNLESS(Working());
  if (info != nullptr) return Result(fstat(static_cast<int>(info->fh), status));
  return Result(fstatat(backing, Relative(path), status, AT_SYMLINK_NOFOLLOW));
}

int ReadLink(const char* path, char* buffer, size_t size) {
  GONE_UNLESS(Working());
  const ssize_t length = readlinkat(backing, Relative(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

int MakeFolder(const char* path, mode_t mode) {
  GONE_UNLESS(Change());
  return Result(mkdirat(backing, Relative(path), mode));
}

int Unlink(const char* path) {
  GONE_UNLESS(Change());
  return Result(unlinkat(backing, Relative(path), 0));
}

int RemoveFolder(const char* path) {
  GONE_UNLESS(Change());
  return Result(unlinkat(backing, Relative(path), AT_REMOVEDIR));
}

int SymbolicLink(const char* target, const char* path) {
  GONE_UNLESS(Change());
  return Result(symlinkat(target, backing, Relative(path)));
}

int Rename(const char* from, const char* to, unsigned int flags) {
  GONE_UNLESS(Change());
  return Result(renameat2(backing, Relative(from), backing, Relative(to), flags));
}

int Link(const char* from, const char* to) {
  GONE_UNLESS(Change());
  return Result(linkat(backing, Relative(from), backing, Relative(to), 0));
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info* info) {
  GONE_UNLESS(Change());
  if (info != nullptr) return Result(fchmod(static_cast<int>(info->fh), mode));
  return Result(fchmodat(backing, Relative(path), mode, 0));
}

int ChangeOwner(const char* path, uid_t user, gid_t group, fuse_file_info* info) {
  GONE_UNLESS(Change());
  if (info != nullptr) return Result(fchown(static_cast<int>(info->fh), user, group));
  return Result(fchownat(backing, Relative(path), user, group, AT_SYMLINK_NOFOLLOW));
}

int Truncate(const char* path, off_t size, fuse_file_info* info) {
  GONE_UNLESS(Change());
  if (info != nullptr) return Result(ftruncate(static_cast<int>(info->fh), size));
  const int fd = openat(backing, Relative(path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -errno;
  const int result = Result(ftruncate(fd, size));
  close(fd);
  return result;
}

int Open(const char* path, fuse_file_info* info) {
  GONE_UNLESS((info->flags & O_TRUNC) == 0 ? Working() : Change());
  const int fd = openat(backing, Relative(path), info->flags & ~O_NOFOLLOW);
  if (fd < 0) return -errno;
  info->fh = static_cast<uint64_t>(fd);
  return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* info) {
  GONE_UNLESS(Change());
  const int fd = openat(backing, Relative(path), info->flags | O_CREAT, mode);
  if (fd < 0) return -errno;
  info->fh = static_cast<uint64_t>(fd);
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
  GONE_UNLESS(Working());
  return Result(static_cast<int>(pread(static_cast<int>(info->fh), buffer, size, offset)));
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
  GONE_UNLESS(Change());
  return Result(static_cast<int>(pwrite(static_cast<int>(info->fh), buffer, size, offset)));
}

int StatFileSystem(const char*, struct statvfs* status) {
  GONE_UNLESS(Working());
  return Result(fstatvfs(backing, status));
}

int Flush(const char*, fuse_file_info*) {
  GONE_UNLESS(Working());
  return 0;
}

int Release(const char*, fuse_file_info* info) {
  close(static_cast<int>(info->fh));
  return 0;
}

int SyncFile(const char*, int, fuse_file_info* info) {
  GONE_UNLESS(Change());
  return Result(fsync(static_cast<int>(info->fh)));
}

int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
  GONE_UNLESS(Working());
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

int SetTimes(const char* path, const timespec times[2], fuse_file_info* info) {
  GONE_UNLESS(Change());
  if (info != nullptr) return Result(futimens(static_cast<int>(info->fh), times));
  return Result(utimensat(backing, Relative(path), times, AT_SYMLINK_NOFOLLOW));
}

int Access(const char* path, int mode) {
  GONE_UNLESS(Working());
  return Result(faccessat(backing, Relative(path), mode, 0));
}

void* Init(fuse_conn_info*, fuse_config* config) {
  // Nothing cached in the kernel: each call is seen, and the folder may be changed behind
  // the volume's back between runs.
  config->entry_timeout = 0;
  config->attr_timeout = 0;
  config->negative_timeout = 0;
  config->use_ino = 1;
  config->nullpath_ok = 0;
  return nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: sorvina_failing_volume BACKING MOUNTPOINT CONTROL\n");
    return 2;
  }
  backing = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (backing < 0) {
    std::perror(argv[1]);
    return 1;
  }
  controlPath = argv[3];
  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.readlink = ReadLink;
  operations.mkdir = MakeFolder;
  operations.unlink = Unlink;
  operations.rmdir = RemoveFolder;
  operations.symlink = SymbolicLink;
  operations.rename = Rename;
  operations.link = Link;
  operations.chmod = ChangeMode;
  operations.chown = ChangeOwner;
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
  operations.utimens = SetTimes;
  operations.access = Access;
  operations.init = Init;
  char program[] = "sorvina_failing_volume";
  char foreground[] = "-f";
  char singleThreaded[] = "-s";
  char options[] = "-o";
  char name[] = "fsname=sorvina-failing,subtype=failing";
  char* arguments[] = {program, foreground, singleThreaded, options, name, argv[2], nullptr};
  return fuse_main(6, arguments, &operations, nullptr);
}
