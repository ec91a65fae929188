#include "platform/text_lines.h"

#include <unistd.h>

#include <cstring>
#include <optional>

#include "platform/file_system.h"
#include "platform/read_only_file.h"

namespace sorvina::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

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
