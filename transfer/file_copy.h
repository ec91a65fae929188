// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "text/user_text.h"
#include "transfer/fat_names.h"

// The system-level steps of the file operation: naming, and the copy of one file's bytes
// into a part file. Errors are errno values (0 for success), turned into words by
// ErrorText.
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
// gives "notes (2)"; a leading dot does not start an extension (".cfg (2)"). Its last name
// is fitted into `limit` (FitStem), keeping the number and the extension: a "NAME.mp3" of
// 255 bytes gives "NAM (2).mp3" of 255 bytes. An extension that leaves no room for the
// rest is shortened with it.
std::string NumberedName(const std::string& target, unsigned number, NameLimit limit = {});

// The error's text as the system words it ("No space left on device"), shown as it is.
text::UserText ErrorText(int error);

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
