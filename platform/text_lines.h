// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

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
  // Whether reading stopped at a read error rather than at the end of the file: the lines
  // given so far are then not the whole file.
  bool failed() const { return failed_; }

 private:
  bool Refill();

  std::FILE* file_ = nullptr;
  char buffer_[64 * 1024];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atStart_ = true;
  bool failed_ = false;
};

// Writes a text file whose every line ends with CR LF, and replaces the file only once it
// is complete. The lines go to a temporary file beside the target, which Commit renames
// over it; a failure at any point, or a writer destroyed without Commit, removes the
// temporary file and leaves an existing file exactly as it was. A write past the
// process's file-size limit fails like one onto a full device rather than ending the
// process. The new file keeps the permissions (and where allowed the owner) of the one it
// replaces; a new file gets those the umask allows. A symbolic link at the path is
// written through: the file it leads to is replaced and the link stays.
//
// Where no temporary file may be made in the folder but the existing target may be
// written (a writable file in a read-only folder), or where the target is no regular file
// (a device, a FIFO with a reader), the target itself is written, in one go at Commit. A
// regular file so written first grows to the new length, so that a full device stops the
// write before any old byte is overwritten.
class LineWriter {
 public:
  LineWriter() = default;
  ~LineWriter();
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // False when `path` cannot be written: its folder is missing, it is a folder, it holds a
  // NUL byte, or it is an existing file that may not be written to.
  [[nodiscard]] bool Open(const std::string& path);
  // False once anything written so far has failed; the failure stays until Commit.
  [[nodiscard]] bool WriteLine(std::string_view line);
  // Puts the lines in place. False when any write, the flush to disk, the close or the
  // replacement failed; the target is then as it was before Open, unless it was written
  // directly and the system failed while overwriting (an I/O error, or a copy-on-write
  // file system out of room). The writer may be opened again afterwards.
  [[nodiscard]] bool Commit();

 private:
  bool FlushPending();
  bool WriteTargetDirectly();
  void Reset();

  UniqueFd fd_;
  bool direct_ = false;         // writing the target itself rather than a temporary file
  bool directRegular_ = false;  // ... and it is a regular file, rewritten from its start
  bool failed_ = false;
  std::string target_;     // with symbolic links resolved
  std::string temporary_;  // empty when writing directly
  std::string pending_;    // bytes not yet handed to the system
};

}  // namespace sorvina::platform
