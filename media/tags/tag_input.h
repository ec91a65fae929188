// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/read_only_file.h"

namespace TagLib {
class IOStream;
}

// Private to media/tags/: the one way its readers hand a file to TagLib.
namespace sorvina::media {

// A file, or the whole content of one held in memory, as TagLib is given it: read only,
// through ReadOnlyStream (or a stream over the bytes), never written. A file that opens
// with an ASF header claiming more than it holds is refused whatever its name, as TagLib
// would trust that header's sizes and counts (AsfHeaderHoldsWhatItClaims).
class TagInput {
 public:
  // The file at `path`, whose name TagLib sees (TagLib::FileRef goes by its ending first,
  // then by the content). Our own open refuses FIFOs and folders without blocking.
  explicit TagInput(const std::string& path);
  // A file that the caller has opened, and keeps open while this lives; it has no name.
  explicit TagInput(const platform::ReadOnlyFile& file);
  // Bytes in memory; refused beyond 4 GiB, which TagLib cannot hold.
  explicit TagInput(std::span<const unsigned char> bytes);
  ~TagInput();
  TagInput(const TagInput&) = delete;
  TagInput& operator=(const TagInput&) = delete;

  // False where the file cannot be opened, or is refused.
  explicit operator bool() const { return stream_ != nullptr; }
  // The stream, at its start; only where the input is not refused.
  TagLib::IOStream& operator*() const { return *stream_; }

 private:
  void RefuseLyingAsfHeader();

  std::optional<platform::ReadOnlyFile> file_;
  std::unique_ptr<TagLib::IOStream> stream_;
};

}  // namespace sorvina::media
