// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <signal.h>

#include <string>
#include <string_view>

namespace sorvina::platform {

// Creates a new, hidden file beside `target`, exclusively: ".NAME.<16 hex digits>SUFFIX"
// in the target's folder, where NAME is the target's name, shortened at a character
// boundary where the whole would pass the 255 bytes most file systems allow. Its
// permissions are `mode` less the umask. Returns the descriptor (write only, closed on
// exec) and stores the file's path in `path`; -1 with errno set when no file can be made.
// Writers put a file together there and rename it over the target only when complete.
int CreateHiddenSibling(const std::string& target, std::string_view suffix, unsigned mode,
                        std::string& path);
// A path of the form CreateHiddenSibling uses, with a new random part on each call: for
// entries made otherwise than by opening (a link to an open file), whose maker tries
// again when the name is in use.
std::string HiddenSiblingPath(const std::string& target, std::string_view suffix);

// Whether `entry` is a name HiddenSiblingPath makes for a target named `name` with
// `suffix`: ".NAME.<16 hex digits>SUFFIX", NAME cut as it cuts it. Leftovers are found by
// this, so that nothing but such names is ever removed as one.
bool IsHiddenSiblingName(std::string_view entry, std::string_view name, std::string_view suffix);
// The same for a target of any name: ".<something>.<16 hex digits>SUFFIX".
bool IsHiddenSiblingName(std::string_view entry, std::string_view suffix);

// Writes all of `bytes`, resuming after interruptions and short writes. Returns 0, or
// the errno value of the failure (EIO when the system accepted nothing and named no error).
[[nodiscard]] int WriteAll(int fd, std::string_view bytes);
// The same at `offset`, leaving the descriptor's position alone.
[[nodiscard]] int WriteAllAt(int fd, std::string_view bytes, std::size_t offset);

// While it lives, a write past the process's file-size limit fails with EFBIG (and is
// undone like any failed write) instead of ending the process through SIGXFSZ, which
// would leave a half-written temporary file behind and say nothing. A handler of the
// program's own is left in place. The disposition is process-wide: meant for the short
// stretches in which a file is written.
class ScopedFileSizeSignalIgnored {
 public:
  ScopedFileSizeSignalIgnored();
  ~ScopedFileSizeSignalIgnored();
  ScopedFileSizeSignalIgnored(const ScopedFileSizeSignalIgnored&) = delete;
  ScopedFileSizeSignalIgnored& operator=(const ScopedFileSizeSignalIgnored&) = delete;

 private:
  struct sigaction previous_ {};
  bool restore_ = false;
};

}  // namespace sorvina::platform
