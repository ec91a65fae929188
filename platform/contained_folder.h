#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorvina::platform {

// A file's modification time as the file system reports it.
struct FileTime {
  std::int64_t seconds = 0;
  std::int32_t nanoseconds = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// What lies at a path, the link itself where it is one.
struct EntryStatus {
  enum class Kind { kFile, kFolder, kLink, kOther };
  Kind kind = Kind::kOther;
  std::int64_t sizeBytes = 0;
  FileTime modified;
};

// An exclusive lock on a file, held for as long as the object lives.
class FileLock {
 public:
  explicit FileLock(int fd) : fd_(fd) {}
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  int fd_ = -1;
};

// A folder held open by a descriptor, and what lies below it, reached by relative paths
// ("Rock/Live/a.mp3") one name at a time: never through a symbolic link, never by "." or
// "..", never onto another file system. Paths read from a file that anyone may have
// written can thus reach nothing but what lies inside the folder.
class ContainedFolder {
 public:
  // Opens the folder `path`; links in `path` itself are followed (the user chose it).
  // Nothing, with the errno value in `error`, when it is no folder that can be opened.
  static std::optional<ContainedFolder> Open(const std::string& path, int* error = nullptr);

  // Whether `relative` stays below the folder it is taken from: not empty, not absolute,
  // without an empty, "." or ".." name and without a NUL byte.
  static bool IsContainedPath(std::string_view relative);

  ContainedFolder(ContainedFolder&& other) noexcept;
  ContainedFolder& operator=(ContainedFolder&& other) noexcept;
  ContainedFolder(const ContainedFolder&) = delete;
  ContainedFolder& operator=(const ContainedFolder&) = delete;
  ~ContainedFolder();

  // The folder `relative` below this one; with `create`, every missing folder on the way
  // is made. Nothing, with the errno value in `error` (ELOOP for a link, EXDEV for another
  // file system, EINVAL for a path that is not contained), when it cannot be reached.
  std::optional<ContainedFolder> Folder(std::string_view relative, bool create,
                                        int* error = nullptr) const;

  // The status of the entry at `relative`, not following a link there; nothing when it is
  // missing or cannot be reached as Folder reaches folders.
  std::optional<EntryStatus> StatusOf(std::string_view relative) const;

  // Removes the file at `relative` if it is still the regular file `expected` describes
  // (same size and modification time), looked at right before. 0 when removed; ESTALE
  // when it is no longer that file; else the errno value of the failure.
  int RemoveFileIfUnchanged(std::string_view relative, const EntryStatus& expected) const;

  // Removes the folders leading to the entry at `relative`, from the deepest up, as long
  // as each is empty. Returns how many were removed.
  int RemoveEmptyFoldersAbove(std::string_view relative) const;

  // Reads the regular file `name` (one name) whole into `bytes`. 0, or the errno value:
  // ENOENT when missing, ELOOP for a link, EFBIG when it holds more than `limit` bytes.
  int ReadFile(std::string_view name, std::size_t limit, std::string& bytes) const;

  // Replaces the file `name` (one name) with `bytes`, or creates it: they are written to a
  // hidden file beside it, flushed to the device, and renamed over it, so that readers and
  // a failure at any point see the old file or the new one, whole. A link at `name` is
  // replaced, never written through. 0, or the errno value of the failure.
  int ReplaceFile(std::string_view name, std::string_view bytes) const;

  // Removes the hidden temporaries that writing `name` (one name) by ReplaceFile, or by a
  // LineWriter, leaves behind when it is cut off half-way, as by a device that went away:
  // ".NAME.<16 hex digits>.tmp". Only for a caller that knows no such write is under way.
  void RemoveLeftoverTemporaries(std::string_view name) const;

  // Gives the entry `from` the name `to` (names in this folder), replacing what is there.
  int Rename(std::string_view from, std::string_view to) const;

  // An exclusive lock on the file `name` (one name), made when missing; nothing, with
  // EWOULDBLOCK in `error`, while another holds it.
  std::optional<FileLock> Lock(std::string_view name, int* error = nullptr) const;

 private:
  ContainedFolder(int fd, std::uint64_t device) : fd_(fd), device_(device) {}

  // The folder that holds the entry at `relative`, and its last name; nothing as Folder.
  std::optional<ContainedFolder> ParentOf(std::string_view relative, std::string& name,
                                          int* error) const;

  int fd_ = -1;
  std::uint64_t device_ = 0;
};

}  // namespace sorvina::platform
