// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/file_copy.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "platform/new_file.h"
#include "text/path_style.h"

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

}  // namespace

PathParts SplitPath(const std::string& path) {
  text::PathParts parts = text::SplitPath(path);
  return {std::move(parts.folder), std::move(parts.name)};
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return text::JoinPath(folder, name);
}

std::string NumberedName(const std::string& target, unsigned number, NameLimit limit) {
  const PathParts parts = SplitPath(target);
  const std::size_t dot = parts.name.rfind('.');
  std::size_t stemEnd = dot == std::string::npos || dot == 0 ? parts.name.size() : dot;
  const std::string marker = " (" + std::to_string(number) + ")";
  if (NameLength(marker + parts.name.substr(stemEnd), limit) >= limit.length)
    stemEnd = parts.name.size();
  return JoinPath(parts.folder, FitStem(std::string_view(parts.name).substr(0, stemEnd),
                                        marker + parts.name.substr(stemEnd), limit));
}

text::UserText ErrorText(int error) {
  return text::Verbatim(std::generic_category().message(error));
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
