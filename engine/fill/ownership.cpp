// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/ownership.h"

#include <sys/stat.h>

#include <cerrno>

#include "engine/fill/copy_adoption.h"

namespace sorvina::engine {

std::optional<OwnedFile> FileOwnership::Fingerprint(const platform::ContainedFolder& destination,
                                                    std::string_view relative) const {
  const platform::UniqueFd fd = destination.OpenFile(relative);
  struct stat status {};
  if (!fd || fstat(fd.get(), &status) != 0) return std::nullopt;
  const std::optional<platform::ContentFingerprint> fingerprint =
      platform::FingerprintOf(fd.get(), key_);
  if (!fingerprint) return std::nullopt;
  return OwnedFile{platform::EntryStatusOf(status), fingerprint->digest};
}

std::optional<OwnedFile> FileOwnership::Verify(const platform::ContainedFolder& destination,
                                               std::string_view relative,
                                               const RecordedFile& recorded) const {
  // The size first: most files that are not it tell so without a read.
  const std::optional<platform::EntryStatus> status = destination.StatusOf(relative);
  if (!status || status->kind != platform::EntryStatus::Kind::kFile ||
      status->sizeBytes != recorded.sizeBytes)
    return std::nullopt;
  if (!recorded.digest &&
      (recorded.source.empty() || !HaveSameContent(destination, relative, recorded.source)))
    return std::nullopt;
  std::optional<OwnedFile> owned = Fingerprint(destination, relative);
  if (!owned || owned->status.sizeBytes != recorded.sizeBytes ||
      (recorded.digest && owned->digest != *recorded.digest))
    return std::nullopt;
  return owned;
}

int FileOwnership::RemoveIfOurs(const platform::ContainedFolder& destination,
                                std::string_view relative, const RecordedFile& recorded) const {
  if (!destination.StatusOf(relative)) return ENOENT;
  const std::optional<OwnedFile> owned = Verify(destination, relative, recorded);
  if (!owned) return ESTALE;
  return destination.RemoveFileIfUnchanged(relative, owned->status);
}

}  // namespace sorvina::engine
