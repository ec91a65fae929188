#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/user_text.h"

// The system-level steps of the file operation: naming, folder creation, renames that
// never replace by accident, and the copy of one file's bytes into a part file. Errors are
// errno values (0 for success), turned into words by ErrorText.
namespace sorvina::transfer {

// The folder and the last name of `path`, trailing separators ignored: "a/b/" gives "a"
// and "b", "b" gives "" and "b", "/b" gives "/" and "b", "/" gives "/" and "".
struct PathParts {
  std::string folder;
  std::string name;
};
PathParts SplitPath(const std::string& path);
// `name` inside `folder`; an empty folder is the current one.
std::string JoinPath(const std::string& folder, const std::string& name);

// `target` with " (number)" before its extension: "a.mp3" gives "a (2).mp3", "notes"
// gives "notes (2)"; a leading dot does not start an extension (".cfg (2)").
std::string NumberedName(const std::string& target, unsigned number);

// The error's text as the system words it ("No space left on device"), shown as it is.
platform::UserText ErrorText(int error);

// Gives `from` the name `to` in one step. With `replace` an existing `to` is replaced
// atomically; without it an existing `to` is never replaced and EEXIST comes back, also
// on file systems that lack a no-replace rename (a hard link stands in, then a check just
// before the rename).
int RenameEntry(const std::string& from, const std::string& to, bool replace);

// A new file that takes the target's name only once complete, and is removed again when
// the object goes before that. Where the target's file system can make it (and /proc
// lets it be named later), it is a file without any name in the target's folder, which
// vanishes with the process even when that is killed half-way; elsewhere (FAT and exFAT
// volumes, network shares) it is a hidden ".NAME.<random>.part" beside its target.
class PartFile {
 public:
  // Creates the file in the target's folder, exclusively, with `mode` (less the umask):
  // without a name when `unnamed` asks for it and the file system allows, else hidden.
  static std::optional<PartFile> Create(const std::string& target, mode_t mode, bool unnamed,
                                        int* error);

  PartFile(PartFile&& other) noexcept;
  PartFile& operator=(PartFile&&) = delete;
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile();

  int fd() const { return fd_; }
  // Empty while the file has no name.
  const std::string& path() const { return path_; }

  // Gives the file the source's access and modification times (best effort: some file
  // systems refuse), flushes it to the device when asked, and checks that what the system
  // reports on closing (a network or user-space file system's late write errors) is no
  // failure. A named file is closed; a file without a name stays open until it is placed.
  int Finish(const struct timespec times[2], bool sync);
  // After Finish: gives the file the name `target` in one step, never replacing an
  // existing `target` unless `replace` (see RenameEntry; EEXIST when it exists). From
  // then on it is kept.
  int PlaceAt(const std::string& target, bool replace);

 private:
  PartFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  // Gives a file without a name a hidden one beside `target`, and closes it.
  int NameHidden(const std::string& target);

  int fd_ = -1;
  std::string path_;
  bool placed_ = false;
};

struct CopyOutcome {
  int error = 0;         // ECANCELED when `afterChunk` asked to stop
  bool reading = false;  // the error came from reading the source
};

// Copies from `in` to `out`, both at their current positions, until the end of `in`, at
// most `chunkBytes` at a time: in the kernel where it can copy between the two files,
// else through `buffer` (grown to `chunkBytes` when needed). After each chunk
// `afterChunk` receives the bytes copied so far; false stops the copy.
CopyOutcome CopyContents(int in, int out, std::size_t chunkBytes, std::vector<char>& buffer,
                         const std::function<bool(std::uint64_t)>& afterChunk);

}  // namespace sorvina::transfer
