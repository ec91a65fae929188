#include "platform/text_lines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/file_system.h"

namespace sorvina::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::Open(const std::string& path) {
  if (file_ != nullptr || HasNulByte(path)) return false;
  // Non-blocking, so that a FIFO without a writer cannot stall the open; only regular
  // files are read (a folder or a device is no text file).
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
      (file_ = fdopen(fd, "rb")) == nullptr) {
    close(fd);
    return false;
  }
  return true;
}

bool LineReader::Refill() {
  begin_ = 0;
  end_ = file_ == nullptr ? 0 : std::fread(buffer_, 1, sizeof buffer_, file_);
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
  if (file_ != nullptr) std::fclose(file_);
}

bool LineWriter::Open(const std::string& path) {
  if (file_ != nullptr || HasNulByte(path)) return false;
  file_ = std::fopen(path.c_str(), "wb");
  failed_ = false;
  return file_ != nullptr;
}

bool LineWriter::WriteLine(std::string_view line) {
  if (file_ == nullptr || failed_) return false;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    failed_ = true;
  }
  return !failed_;
}

bool LineWriter::Close() {
  if (file_ == nullptr) return false;
  const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return !failed_ && flushed && closed;
}

}  // namespace sorvina::platform
