// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "platform/unique_fd.h"

namespace sorvina::platform {

// A regular file opened for reading only, closed when the object goes. Opening never
// blocks (a FIFO without a writer is refused, not waited on), never creates the file, and
// works for paths longer than the system's path limit too.
class ReadOnlyFile {
 public:
  enum class OpenError {
    kNotReadable,  // missing, no permission, a folder, a FIFO or a device
    kNoResources,  // the system is out of descriptors or memory
  };

  static std::optional<ReadOnlyFile> Open(const std::string& path, OpenError* error = nullptr);

  ReadOnlyFile(ReadOnlyFile&& other) noexcept = default;
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept = default;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() = default;

  // The size when the file was opened.
  std::uint64_t size() const { return size_; }

  // Reads up to buffer.size() bytes at `offset`; returns how many were read, fewer only at
  // the end of the file or on a read error.
  std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) const;

  // Hands the descriptor over to the caller, who closes it from now on.
  int Release();

 private:
  ReadOnlyFile(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}

  UniqueFd fd_;
  std::uint64_t size_ = 0;
};

// The whole content of the regular file at `path`, opened as above; nothing where it
// cannot be opened or a read stops short of the size it had when opened.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace sorvina::platform
