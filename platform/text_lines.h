#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace sorvina::platform {

// Reads a text file line by line. Lines are whole, whatever their length; the line feed
// ends a line and a carriage return right before it is removed; a UTF-8 byte-order mark
// at the very start of the file is skipped. Bytes are passed on as they are (NUL bytes
// included), so memory never exceeds the longest line of the file.
class LineReader {
 public:
  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False when `path` is no regular file that can be read (missing, a folder, a FIFO,
  // no permission).
  bool Open(const std::string& path);

  // Stores the next line in `line`; false at the end of the file or on a read error.
  bool Next(std::string& line);

 private:
  bool Refill();

  std::FILE* file_ = nullptr;
  char buffer_[64 * 1024];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atStart_ = true;
};

// Writes a text file whose every line ends with CR LF. Each call reports failure, and
// Close reports whether everything written reached the file.
class LineWriter {
 public:
  LineWriter() = default;
  ~LineWriter();
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Creates or truncates `path`. False when it cannot be opened for writing.
  bool Open(const std::string& path);
  bool WriteLine(std::string_view line);
  // Flushes and closes; false if any write, the flush or the close failed.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace sorvina::platform
