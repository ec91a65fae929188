// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text_lines.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/file_system.h"
#include "platform/new_file.h"
#include "platform/read_only_file.h"

namespace sorvina::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

constexpr std::size_t kFlushThreshold = 64 * 1024;
// More links than this in a row is a loop; the system gives up at the same count.
constexpr int kMaxLinkHops = 40;

// The file that writing to `path` would reach: symbolic links at the end of the path are
// followed, also a dangling one, whose target is the file to be created. Nothing for a
// link loop.
std::optional<std::string> ResolveLinks(std::string path) {
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) return std::nullopt;
    link.resize(static_cast<std::size_t>(length));
    if (link.front() == '/') {
      path = std::move(link);
    } else {
      const std::size_t slash = path.rfind('/');
      path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
    }
  }
  return std::nullopt;
}

// Creates the temporary file beside `target` and returns its descriptor, or -1 with errno
// set. With `existing`, the new file takes its owner (where the system allows) and its
// permissions; else 0666 less the umask.
int CreateTemporaryBeside(const std::string& target, const struct stat* existing,
                          std::string& temporary) {
  const int fd = CreateHiddenSibling(target, ".tmp", 0666, temporary);
  if (fd < 0 || existing == nullptr) return fd;
  // The owner first: changing it clears the set-user-ID bits that the mode then restores.
  if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
    // Only root may give a file away; the user's own file keeps its owner anyway.
  }
  if (fchmod(fd, existing->st_mode & 07777) == 0) return fd;
  const int error = errno;
  close(fd);
  unlink(temporary.c_str());
  temporary.clear();
  errno = error;
  return -1;
}

}  // namespace

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::Open(const std::string& path) {
  if (file_ != nullptr) return false;
  std::optional<ReadOnlyFile> opened = ReadOnlyFile::Open(path);
  if (!opened) return false;
  const int fd = opened->Release();
  file_ = fdopen(fd, "rb");
  if (file_ == nullptr) close(fd);
  return file_ != nullptr;
}

bool LineReader::Refill() {
  begin_ = 0;
  end_ = file_ == nullptr ? 0 : std::fread(buffer_, 1, sizeof buffer_, file_);
  if (end_ == 0 && file_ != nullptr && std::ferror(file_)) failed_ = true;
  return end_ > 0;
}

bool LineReader::Next(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (begin_ == end_ && !Refill()) break;
    if (atStart_) {
      // fread fills the whole buffer from a regular file, so a mark is never split.
      std::string_view head(buffer_ + begin_, end_ - begin_);
      if (head.starts_with(kUtf8ByteOrderMark)) begin_ += kUtf8ByteOrderMark.size();
      atStart_ = false;
      continue;
    }
    any = true;
    const char* start = buffer_ + begin_;
    const void* feed = std::memchr(start, '\n', end_ - begin_);
    if (feed == nullptr) {
      line.append(start, end_ - begin_);
      begin_ = end_;
      continue;
    }
    const auto length = static_cast<std::size_t>(static_cast<const char*>(feed) - start);
    line.append(start, length);
    begin_ += length + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  return any;
}

LineWriter::~LineWriter() {
  Reset();
}

bool LineWriter::Open(const std::string& path) {
  if (fd_ || path.empty() || HasNulByte(path)) return false;
  std::optional<std::string> target = ResolveLinks(path);
  if (!target || target->back() == '/') return false;

  struct stat status {};
  const bool exists = stat(target->c_str(), &status) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && S_ISDIR(status.st_mode)) return false;
  // An existing file that may not be written to is not replaced behind the user's back.
  // Opened without truncating, so nothing changes before Commit; non-blocking, so that a
  // FIFO without a reader is refused instead of waited on.
  UniqueFd existing;
  if (exists) {
    existing.Reset(open(target->c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!existing) return false;
  }

  UniqueFd fd;
  std::string temporary;
  int createError = 0;
  if (!exists || S_ISREG(status.st_mode)) {
    fd.Reset(CreateTemporaryBeside(*target, exists ? &status : nullptr, temporary));
    createError = errno;
  }
  if (fd) {
    fd_ = std::move(fd);
    temporary_ = std::move(temporary);
    direct_ = false;
  } else if (existing && (!S_ISREG(status.st_mode) || createError == EACCES ||
                          createError == EPERM || createError == EROFS)) {
    // Any other reason (no space, no inodes, no descriptors) would make a direct write
    // fail part-way too, and that would cost the old file.
    if (fcntl(existing.get(), F_SETFL, fcntl(existing.get(), F_GETFL) & ~O_NONBLOCK) != 0)
      return false;
    fd_ = std::move(existing);
    direct_ = true;
    directRegular_ = S_ISREG(status.st_mode);
  } else {
    return false;
  }
  target_ = std::move(*target);
  failed_ = false;
  pending_.clear();
  return true;
}

bool LineWriter::WriteLine(std::string_view line) {
  if (!fd_ || failed_) return false;
  pending_.append(line);
  pending_.append("\r\n");
  // A direct write keeps everything until Commit, so that the target changes in one go.
  if (!direct_ && pending_.size() >= kFlushThreshold && !FlushPending()) failed_ = true;
  return !failed_;
}

bool LineWriter::Commit() {
  if (!fd_) return false;
  bool ok = !failed_;
  if (direct_) {
    ok = ok && WriteTargetDirectly();
  } else {
    // On disk before the rename, so that a crash cannot leave an empty file in its place.
    ok = ok && FlushPending() && fsync(fd_.get()) == 0;
  }
  const bool closed = close(fd_.Release()) == 0;
  ok = ok && closed;
  if (!direct_) {
    ok = ok && rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!ok) unlink(temporary_.c_str());
    temporary_.clear();
  }
  Reset();
  return ok;
}

bool LineWriter::FlushPending() {
  const ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
  const bool ok = WriteAll(fd_.get(), pending_) == 0;
  pending_.clear();
  return ok;
}

bool LineWriter::WriteTargetDirectly() {
  if (!directRegular_) return FlushPending();
  const ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
  // The old text is overwritten only once the new one cannot fail for want of room: a
  // longer text first grows the file by its tail (cut back to the old length when that
  // fails, which leaves the old text as it was); after that, and for a text no longer than
  // the old one, every byte goes where one is stored already. (A file system that stores
  // each write anew, copy-on-write, may still run out while overwriting.)
  struct stat status {};
  const int fd = fd_.get();
  if (fstat(fd, &status) != 0) return false;
  const std::string_view text = pending_;
  const auto oldSize = static_cast<std::size_t>(status.st_size);
  if (text.size() > oldSize && WriteAllAt(fd, text.substr(oldSize), oldSize) != 0) {
    if (ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
      // Nothing more to try: the old text is whole, only followed by part of the new one.
    }
    return false;
  }
  return WriteAllAt(fd, text.substr(0, std::min(text.size(), oldSize)), 0) == 0 &&
         ftruncate(fd, static_cast<off_t>(text.size())) == 0 && fsync(fd) == 0;
}

void LineWriter::Reset() {
  fd_.Reset();
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  target_.clear();
  pending_.clear();
  direct_ = false;
  directRegular_ = false;
  failed_ = false;
}

}  // namespace sorvina::platform
