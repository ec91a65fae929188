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
  const int fd = OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    failure = ErrorFromErrno();
    return std::nullopt;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return std::nullopt;
  }
  return ReadOnlyFile(fd, static_cast<std::uint64_t>(status.st_size));
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
  }
  return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) close(fd_);
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) const {
  constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
  std::size_t total = 0;
  while (total < buffer.size() && fd_ >= 0 && offset + total <= kMaxOffset) {
    const ssize_t got = pread(fd_, buffer.data() + total, buffer.size() - total,
                              static_cast<off_t>(offset + total));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    total += static_cast<std::size_t>(got);
  }
  return total;
}

int ReadOnlyFile::Release() {
  return std::exchange(fd_, -1);
}

}  // namespace sorvina::platform
