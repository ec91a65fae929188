// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

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
  // Which file it is, and who owns it.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint32_t owner = 0;
};

// What `status` (as stat reports it) says of an entry.
EntryStatus EntryStatusOf(const struct stat& status);

// An exclusive lock on a file, held for as long as the object lives.
class FileLock {
 public:
  explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;
};

class PartFile;

// Whether `error`, of placing a finished file under its name (PartFile::PlaceAt,
// PlaceNewFile, ReplaceFile), says that the file system gives no finished file a name:
// it refuses renames and links alike, as a phone mounted over MTP does. Files are then
// written under their final names (CreateFileToWrite, WriteNewFileInPlace).
bool PlacementRefused(int error);

// A folder held open by a descriptor, and what lies below it, reached by relative paths
// ("Rock/Live/a.mp3") one name at a time: never through a symbolic link, never by "." or
// "..", never onto another file system. Paths read from a file that anyone may have
// written can thus reach nothing but what lies inside the folder, and everything done
// through it stays on the volume it was opened on, also when that volume is unmounted
// from its path meanwhile.
class ContainedFolder {
 public:
  // Opens the folder `path`; links in `path` itself are followed (the user chose it).
  // Nothing, with the errno value in `error`, when it is no folder that can be opened.
  static std::optional<ContainedFolder> Open(const std::string& path, int* error = nullptr);

  // Whether `relative` stays below the folder it is taken from: not empty, not absolute,
  // without an empty, "." or ".." name and without a NUL byte.
  static bool IsContainedPath(std::string_view relative);

  // The file system's device number.
  std::uint64_t device() const { return device_; }
  // Whether `path` still leads to this very folder: false once its volume was unmounted
  // (also lazily, which leaves this descriptor working), or the folder was moved away.
  bool IsStillAt(const std::string& path) const;

  // The folder `relative` below this one; with `create`, every missing folder on the way
  // is made, and `made` (where given) receives each one made, as a path below this
  // folder, from the top down. Nothing, with the errno value in `error` (ELOOP for a
  // link, EXDEV for another file system, EINVAL for a path that is not contained), when it
  // cannot be reached.
  std::optional<ContainedFolder> Folder(std::string_view relative, bool create,
                                        int* error = nullptr,
                                        std::vector<std::string>* made = nullptr) const;

  // The status of the entry at `relative`, not following a link there; nothing when it is
  // missing or cannot be reached as Folder reaches folders.
  std::optional<EntryStatus> StatusOf(std::string_view relative) const;

  // The folders on the way to the folder `relative`, itself included, that Folder with
  // `create` would have to make (nothing there, or nothing it can reach), from the top
  // down; none for a path that is not contained.
  std::vector<std::string> MissingFolders(std::string_view relative) const;

  // Removes the file at `relative` if it is still the regular file `expected` describes
  // (same size and modification time, and the same file where `expected` names its
  // inode), looked at right before. 0 when removed; ESTALE
  // when it is no longer that file; else the errno value of the failure.
  [[nodiscard]] int RemoveFileIfUnchanged(std::string_view relative,
                                          const EntryStatus& expected) const;

  // Removes the folder at `relative` if it is empty; 0, or the errno value (ENOTEMPTY
  // when something is in it, ENOTDIR for anything but a folder).
  [[nodiscard]] int RemoveFolderIfEmpty(std::string_view relative) const;

  // Opens the regular file at `relative` for reading; an invalid descriptor, with the
  // errno value in `error`, for a link, anything but a regular file, or a failure.
  UniqueFd OpenFile(std::string_view relative, int* error = nullptr) const;

  // Reads the regular file `name` (one name) whole into `bytes`, and its status into
  // `status` where given. 0, or the errno value: ENOENT when missing, ELOOP for a link,
  // EFBIG when it holds more than `limit` bytes.
  [[nodiscard]] int ReadFile(std::string_view name, std::size_t limit, std::string& bytes,
                             EntryStatus* status = nullptr) const;

  // Replaces the file `name` (one name) with `bytes`, or creates it: they are written to a
  // hidden file beside it, flushed to the device, and renamed over it, so that readers and
  // a failure at any point see the old file or the new one, whole. A link at `name` is
  // replaced, never written through. 0, or the errno value of the failure.
  [[nodiscard]] int ReplaceFile(std::string_view name, std::string_view bytes) const;

  // Creates the file `name` (one name) holding `bytes`, which appears there only whole and
  // never in place of anything: EEXIST when the name is taken (also when it is taken
  // while the file is written). 0, or the errno value of the failure.
  [[nodiscard]] int PlaceNewFile(std::string_view name, std::string_view bytes) const;

  // Creates the file `name` (one name) holding `bytes` directly under its name, for a
  // file system that refuses to place a finished file (PlacementRefused): made
  // exclusively (EEXIST when the name is taken), written front to back, flushed, closed,
  // and then checked for its size as the file system reports it; a file that is not whole
  // is removed again (EIO). 0, or the errno value of the failure.
  [[nodiscard]] int WriteNewFileInPlace(std::string_view name, std::string_view bytes) const;

  // A new file that takes the name `name` (one name) in this folder only once complete
  // (see PartFile); nothing, with the errno value in `error`, when none can be made.
  std::optional<PartFile> CreatePartFile(std::string_view name, mode_t mode, bool unnamed,
                                         int* error) const;

  // Creates the file `name` (one name) for writing, never in place of anything (EEXIST
  // when the name is taken) and never through a link: for a file written front to back
  // through this descriptor while it keeps its name. Some file systems take writes to a
  // file only from the open that made it, and FAT through FUSE mixes up its folder when a
  // file renamed while open is written to. An invalid descriptor, with the errno value in
  // `error`, on failure.
  UniqueFd CreateFileToWrite(std::string_view name, int* error = nullptr) const;

  // Removes the hidden temporaries ".NAME.<16 hex digits>SUFFIX" that writing `name` (one
  // name) leaves behind when it is cut off half-way, as by a device that went away or a
  // process that was killed: ReplaceFile and LineWriter leave ".tmp", a PartFile ".part".
  // Nothing else is touched. Only for a caller that knows no such write is under way.
  void RemoveLeftoverTemporaries(std::string_view name, std::string_view suffix = ".tmp") const;

  // Gives the entry `from` the name `to` (names in this folder), replacing what is there.
  [[nodiscard]] int Rename(std::string_view from, std::string_view to) const;
  // The same, but never replacing: EEXIST when `to` is taken.
  [[nodiscard]] int RenameNoReplace(std::string_view from, std::string_view to) const;

  // Moves the entry `from` (one name: a file or a folder) into `folder`, a folder on the
  // same volume, as `to` (one name), never replacing anything there: EEXIST when `to` is
  // taken, EXDEV when `folder` lies on another volume. Where the file system has no
  // no-replace rename (FAT and exFAT through FUSE), `to` is first taken by an empty entry of
  // ours of the same kind, made exclusively, which the entry then replaces as long as it is
  // still that entry (a folder only while it is empty). 0, or the errno value.
  [[nodiscard]] int MoveTo(std::string_view from, const ContainedFolder& folder,
                           std::string_view to) const;

  // The names in this folder ("." and ".." aside), in the order the file system lists
  // them: on FAT and exFAT, the order of their entries on the device, which players
  // follow (a driver in user space may list the entries made since it was mounted first).
  // 0, or the errno value of the failure.
  [[nodiscard]] int ListNames(std::vector<std::string>& names) const;

  // Whether a driver in user space (FUSE) keeps this folder's volume: such a driver may
  // list its entries otherwise than its own file system's order.
  bool KeptInUserSpace() const;

  // Makes the folder `name` (one name), or the empty file `name`, never in place of
  // anything: EEXIST when the name is taken. 0, or the errno value.
  [[nodiscard]] int MakeFolder(std::string_view name, mode_t mode = 0777) const;
  [[nodiscard]] int MakeEmptyFile(std::string_view name) const;

  // An exclusive lock on the file `name` (one name), made when missing; nothing, with
  // EWOULDBLOCK in `error`, while another holds it.
  std::optional<FileLock> Lock(std::string_view name, int* error = nullptr) const;

  // Calls `visit` with the path below this folder and the status of every regular file
  // in it and in its folders, depth first in the order the folders list them; links are
  // not followed, other file systems not entered, and the top-level entries named in
  // `skipped` not looked at.
  void VisitFiles(const std::vector<std::string>& skipped,
                  const std::function<void(const std::string&, const EntryStatus&)>& visit) const;

  // Writes what the system holds for this folder's file system out to its device. 0, or
  // the errno value of the failure.
  [[nodiscard]] int Flush() const;

 private:
  friend class PartFile;
  ContainedFolder(UniqueFd fd, std::uint64_t device) : fd_(std::move(fd)), device_(device) {}

  // The folder that holds the entry at `relative`, and its last name; nothing as Folder.
  std::optional<ContainedFolder> ParentOf(std::string_view relative, std::string& name,
                                          int* error) const;
  void VisitFilesBelow(const std::string& prefix, const std::vector<std::string>& skipped,
                       const std::function<void(const std::string&, const EntryStatus&)>& visit,
                       int depth) const;

  UniqueFd fd_;
  std::uint64_t device_ = 0;
};

// A new file in a ContainedFolder that takes its name only once complete, and is removed
// again when the object goes before that. Where the file system can make one (and /proc
// lets it be named later), it is a file without any name, which vanishes with the process
// even when that is killed half-way; elsewhere (FAT and exFAT volumes, network shares) it
// is a hidden ".NAME.<16 hex digits>.part" beside its target.
class PartFile {
 public:
  PartFile(PartFile&& other) noexcept;
  PartFile& operator=(PartFile&&) = delete;
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile();

  int fd() const { return fd_.get(); }
  // Empty while the file has no name.
  const std::string& hiddenName() const { return hiddenName_; }

  // Gives the file the times `times` (access, modification; best effort: some file
  // systems refuse; none: left as they are), flushes it to the device when asked, and
  // checks that what the system reports on closing (a network or user-space file
  // system's late write errors) is no failure.
  [[nodiscard]] int Finish(const struct timespec* times, bool sync);

  // After Finish: gives the file the name `name` in its folder in one step. With
  // `replace`, whatever holds the name is replaced; without, nothing ever is, on every
  // file system: EEXIST when the name is taken. Where the file system has neither a
  // no-replace rename nor links (FAT and exFAT through FUSE), the name is first taken by
  // an empty file of our own, made exclusively, which the finished file then replaces;
  // `beforeRename` (for tests) runs between the two. From then on the file is kept.
  [[nodiscard]] int PlaceAt(std::string_view name, bool replace,
                            const std::function<void()>& beforeRename = nullptr);

 private:
  friend class ContainedFolder;
  PartFile(UniqueFd folder, UniqueFd fd, std::string hiddenName)
      : folder_(std::move(folder)), fd_(std::move(fd)), hiddenName_(std::move(hiddenName)) {}

  // Gives a file without a name a hidden one beside `name`, and closes it.
  int NameHidden(std::string_view name);

  UniqueFd folder_;
  UniqueFd fd_;
  std::string hiddenName_;
  bool placed_ = false;
};

}  // namespace sorvina::platform
