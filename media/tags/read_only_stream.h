// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <taglib/tiostream.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "platform/read_only_file.h"

// Private to media/tags/: how TagLib sees a file (through TagInput).
namespace sorvina::media {

// A file opened read-only, as TagLib reads it: small reads come from a buffer that one
// positioned read fills, larger ones are read directly, and seeking or asking the length
// costs nothing (the size is known from the opening). TagLib's own file stream goes
// through the C library's buffered streams, where every seek costs a system call and
// empties the buffer. Nothing is ever written. Its name, where given, is the file's path,
// by whose ending TagLib::FileRef picks a format first.
class ReadOnlyStream final : public TagLib::IOStream {
 public:
  explicit ReadOnlyStream(const platform::ReadOnlyFile& file, std::string name = {})
      : file_(file),
        name_(std::move(name)),
        size_(static_cast<long>(
            std::min<std::uint64_t>(file.size(), std::numeric_limits<long>::max()))) {}

  TagLib::FileName name() const override { return name_.c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override {
    // A length stated by the file itself may be absurd: never more than what is left.
    const long left = std::max(0L, size_ - position_);
    const auto count = static_cast<unsigned int>(std::min<unsigned long>(
        {length, static_cast<unsigned long>(left), std::numeric_limits<unsigned int>::max()}));
    TagLib::ByteVector block(count, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(block.data());
    const auto from = static_cast<std::uint64_t>(position_);
    std::size_t read = 0;
    if (count >= kBufferSize) {
      read = file_.ReadAt(from, std::span(bytes, count));
    } else {
      if (from < bufferStart_ || from + count > bufferStart_ + bufferLength_) {
        bufferStart_ = from;
        bufferLength_ = file_.ReadAt(from, std::span(buffer_));
      }
      read = std::min<std::size_t>(count, bufferStart_ + bufferLength_ - from);
      std::copy_n(buffer_.data() + (from - bufferStart_), read, bytes);
    }
    block.resize(static_cast<unsigned int>(read));
    position_ += static_cast<long>(read);
    return block;
  }
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position from) override {
    const long base = from == Beginning ? 0 : from == Current ? position_ : size_;
    // As a failed seek leaves a stream where it was, so does one before the start.
    if (offset < 0 ? base + offset >= 0 : base <= std::numeric_limits<long>::max() - offset)
      position_ = base + offset;
  }
  long tell() const override { return position_; }
  long length() override { return size_; }
  void truncate(long) override {}

 private:
  static constexpr std::size_t kBufferSize = 4096;

  const platform::ReadOnlyFile& file_;
  std::string name_;
  long size_;
  long position_ = 0;
  std::array<unsigned char, kBufferSize> buffer_{};
  std::uint64_t bufferStart_ = 0;
  std::size_t bufferLength_ = 0;
};

}  // namespace sorvina::media
