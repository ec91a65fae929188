// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

namespace sorvina::platform {

// What a directory entry or a path is, with symbolic links followed. kOther covers
// devices, FIFOs, sockets and dangling links: nothing that can be played or copied.
enum class EntryKind { kFile, kDirectory, kOther };

// Identifies a folder on this machine, whatever path reaches it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct DirectoryEntry {
  std::string name;
  EntryKind kind = EntryKind::kOther;
};

struct FileStatus {
  EntryKind kind = EntryKind::kOther;
  std::uint64_t sizeBytes = 0;
};

// One open folder, held by a descriptor: what it holds is reached by name relative to it,
// so neither the depth of a tree nor the length of the paths into it matters. Entries come
// in the order the file system returns them, "." and ".." left out; the kind comes from
// the listing itself where the file system records it, so only links and entries of
// unknown type cost a status query. Sizes are asked for by name, so that only the entries
// that need one pay for it.
class DirectoryListing {
 public:
  // Nothing when the folder does not exist, is not a folder or cannot be read. Paths
  // longer than the system's limit are opened too (OpenPath).
  static std::optional<DirectoryListing> Open(const std::string& path);

  DirectoryListing(DirectoryListing&& other) noexcept = default;
  DirectoryListing& operator=(DirectoryListing&& other) noexcept = default;
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;
  ~DirectoryListing() = default;

  FileIdentity identity() const { return identity_; }

  // The folder `relative` names from this one (a name, "..", or a relative path), links
  // followed, as a listing of its own; nothing as for Open.
  std::optional<DirectoryListing> OpenFolder(const std::string& relative) const;

  // Every entry, from the first, each time it is called; an error part-way keeps the
  // entries read so far.
  std::vector<DirectoryEntry> ReadEntries();

  // The same entries without a copy of each name, for a caller that wants few of them:
  // `visit` is called with the name (valid during the call only, a NUL byte after it) and
  // the kind the listing records, or nothing for a link or where the file system records
  // no kind, which only StatusOf can then tell.
  void VisitEntries(
      const std::function<void(std::string_view name, std::optional<EntryKind> kind)>& visit);

  // Kind and size of the entry `name` (no NUL byte in it), links followed; nothing when it
  // has vanished or cannot be reached.
  std::optional<FileStatus> StatusOf(const char* name) const;

  // Whether this process may reach the entries by name (the folder's search permission),
  // as the system decides it for a lookup; nothing where the system cannot say without
  // looking an entry up.
  std::optional<bool> MayReachEntries() const;

  // Size in bytes of the entry `name`, links followed; nothing when it has vanished.
  std::optional<std::uint64_t> SizeOf(const std::string& name) const;

 private:
  DirectoryListing(UniqueFd fd, FileIdentity identity) : fd_(std::move(fd)), identity_(identity) {}
  static std::optional<DirectoryListing> FromDescriptor(int fd);

  UniqueFd fd_;
  FileIdentity identity_;
  bool listed_ = false;  // whether the descriptor has been read from
};

// A path holding a NUL byte names no file: the system would read only the bytes before
// it, which name another one. Every query and open refuses such paths.
bool HasNulByte(const std::string& path);

// Opens `path` as open(2) does with `flags` (no O_CREAT), also when the path is longer
// than the system's limit (PATH_MAX): such a path is resolved a stretch at a time, each
// stretch relative to the folder the one before reached, so that links and ".." resolve
// exactly as in a single open. Returns the descriptor, or -1 with errno set
// (ENAMETOOLONG only when one name is too long for the file system).
int OpenPath(const std::string& path, int flags);

// Status of `path` with links followed; nothing when it does not exist or cannot be
// reached. Paths longer than the system's limit are looked at too.
std::optional<FileStatus> GetFileStatus(const std::string& path);

// Whether `path` is a folder this process may enter (search permission).
bool CanEnterFolder(const std::string& path);

// Whether the folder `path` is the root of the volume it lies on (where that volume is
// mounted): its parent lies on another device, or it is its own parent ("/").
bool IsVolumeRoot(const std::string& path);

// Creates the one folder `path` (its parent must exist); false when it cannot be created
// or exists already.
[[nodiscard]] bool MakeFolder(const std::string& path);

// Creates `path` and every missing folder above it, top down. Returns 0 when the whole
// path is a folder afterwards, also when nothing had to be made; else the errno value of
// the failure, ENOTDIR when something other than a folder holds one of the names. A
// failure part-way leaves the folders made before it in place.
[[nodiscard]] int MakeFolders(const std::string& path);

// How much a file system holds and has free.
struct FileSystemSpace {
  std::uint64_t totalBytes = 0;  // 0 where the file system reports no size at all
  // Free for the writes of an unprivileged user (without the blocks kept for root).
  std::uint64_t availableBytes = 0;
  // What each file's size is rounded up to: the cluster on FAT and exFAT.
  std::uint64_t allocationUnit = 1;
};

// The space of the file system that holds the nearest existing folder at or above
// `path`; nothing when no folder on the way can be examined.
std::optional<FileSystemSpace> SpaceOf(const std::string& path);

// Writes everything the system still holds in memory for the file system of the folder
// `path` out to its device (syncfs), so that the device can be removed. 0, or the errno
// value of the failure (EIO where data written earlier could not be stored).
[[nodiscard]] int FlushFileSystem(const std::string& path);

// The process's current directory, without a trailing separator; empty if unknown.
std::string CurrentDirectory();

// The clock's calendar time in whole seconds since 1970, truncated to 32 bits: the seed
// that makes two runs within the same second draw alike.
std::uint32_t ClockSeed();

}  // namespace sorvina::platform
