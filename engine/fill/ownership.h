// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

#include "engine/fill/fill_record.h"
#include "platform/contained_folder.h"
#include "platform/content_fingerprint.h"

namespace sorvina::engine {

// A file on the destination that is proven to be a fill's own, as it is now.
struct OwnedFile {
  platform::EntryStatus status;  // with its inode, so that a swap before acting is seen
  FileDigest digest{};
};

// Which files on a destination are Sorvina's to remove, move or take over. A record or a
// journal on a player is trusted against damage (its checksum, its lines cut short) but
// not against edits: FAT and exFAT keep no owners, and anyone may write a record that
// reads well. So what they say of a file counts only where the file bears it out by its
// content: its fingerprint (size and the keyed hash of its two ends, sealed with the
// user's key, which never leaves the computer) is the one recorded when a fill wrote it.
// A file recorded without one (records from before fingerprints) is a fill's own only
// where it holds exactly the bytes of its source, still there; removing such a copy
// loses nothing.
class FileOwnership {
 public:
  explicit FileOwnership(platform::FingerprintKey key) : key_(std::move(key)) {}

  const platform::FingerprintKey& key() const { return key_; }

  // The regular file at `relative` with its fingerprint, as it is now; nothing where there
  // is none or it cannot be read.
  std::optional<OwnedFile> Fingerprint(const platform::ContainedFolder& destination,
                                       std::string_view relative) const;

  // The file at `relative` where it is the one `recorded` describes (its digest, else its
  // source's bytes); nothing where it is not, or cannot be read.
  std::optional<OwnedFile> Verify(const platform::ContainedFolder& destination,
                                  std::string_view relative, const RecordedFile& recorded) const;

  // Removes the file at `relative` where Verify proves it `recorded`: 0 when removed,
  // ESTALE where it is not that file, ENOENT where nothing is there, else the errno value.
  [[nodiscard]] int RemoveIfOurs(const platform::ContainedFolder& destination,
                                 std::string_view relative, const RecordedFile& recorded) const;

 private:
  platform::FingerprintKey key_;
};

}  // namespace sorvina::engine
