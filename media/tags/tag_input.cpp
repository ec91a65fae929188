// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/tag_input.h"

#include <taglib/tbytevector.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tiostream.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "media/tags/asf_header.h"
#include "media/tags/read_only_stream.h"

namespace sorvina::media {

TagInput::TagInput(const std::string& path) : file_(platform::ReadOnlyFile::Open(path)) {
  if (!file_) return;
  stream_ = std::make_unique<ReadOnlyStream>(*file_, path);
  RefuseLyingAsfHeader();
}

TagInput::TagInput(const platform::ReadOnlyFile& file)
    : stream_(std::make_unique<ReadOnlyStream>(file)) {
  RefuseLyingAsfHeader();
}

TagInput::TagInput(std::span<const unsigned char> bytes) {
  if (bytes.size() > std::numeric_limits<unsigned int>::max()) return;
  stream_ = std::make_unique<TagLib::ByteVectorStream>(TagLib::ByteVector(
      reinterpret_cast<const char*>(bytes.data()), static_cast<unsigned int>(bytes.size())));
  RefuseLyingAsfHeader();
}

TagInput::~TagInput() = default;

void TagInput::RefuseLyingAsfHeader() {
  TagLib::IOStream& stream = *stream_;
  stream.seek(0);
  const TagLib::ByteVector first = stream.readBlock(30);
  const std::uint64_t size = AsfHeaderSize(std::string_view(first.data(), first.size()));
  if (size != 0) {
    const auto length = static_cast<std::uint64_t>(std::max<long>(stream.length(), 0));
    bool holds = false;
    if (size <= length && size <= kMaxAsfHeaderBytes) {
      stream.seek(0);
      const TagLib::ByteVector header = stream.readBlock(static_cast<unsigned long>(size));
      holds = AsfHeaderHoldsWhatItClaims(std::string_view(header.data(), header.size()));
    }
    if (!holds) {
      stream_.reset();
      return;
    }
  }
  stream.seek(0);
}

}  // namespace sorvina::media
