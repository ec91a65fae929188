// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/read_only_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <utility>

#include "platform/file_system.h"

namespace sorvina::platform {
namespace {

ReadOnlyFile::OpenError ErrorFromErrno() {
  switch (errno) {
    case EMFILE:
    case ENFILE:
    case ENOMEM:
      return ReadOnlyFile::OpenError::kNoResources;
    default:
      return ReadOnlyFile::OpenError::kNotReadable;
  }
}

}  // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::string& path, OpenError* error) {
  OpenError ignored;
  OpenError& failure = error != nullptr ? *error : ignored;
  failure = OpenError::kNotReadable;
  if (path.empty() || HasNulByte(path)) return std::nullopt;
  // Non-blocking, so that a FIFO without a writer cannot stall the open; only regular
  // files are read, and reads from them never see the flag. Paths longer than the
  // system's limit are opened a stretch at a time.
  UniqueFd fd(OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    failure = ErrorFromErrno();
    return std::nullopt;
  }
  struct stat status {};
  if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
    return std::nullopt;
  return ReadOnlyFile(std::move(fd), static_cast<std::uint64_t>(status.st_size));
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) const {
  constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
  std::size_t total = 0;
  while (total < buffer.size() && fd_ && offset + total <= kMaxOffset) {
    const ssize_t got = pread(fd_.get(), buffer.data() + total, buffer.size() - total,
                              static_cast<off_t>(offset + total));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    total += static_cast<std::size_t>(got);
  }
  return total;
}

int ReadOnlyFile::Release() {
  return fd_.Release();
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const std::optional<ReadOnlyFile> in = ReadOnlyFile::Open(path);
  std::string bytes;
  if (!in || in->size() > bytes.max_size()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in->size()));
  if (in->ReadAt(0, std::span(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size())) !=
      bytes.size())
    return std::nullopt;
  return bytes;
}

}  // namespace sorvina::platform
