// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "text/path_style.h"

namespace sorvina::engine {

// The longest name most file systems take, in bytes (FAT and exFAT count 255 UTF-16
// units, never fewer than the bytes of the same name in UTF-8).
inline constexpr std::size_t kLongestName = 255;

// The path under which a file found through `source` is kept below the destination: for a
// folder source, the file's path after that folder; for a playlist, its path after the
// playlist's folder when it lies there. Anywhere else, and wherever that part would hold
// no name, "." or "..", which could lead out of the destination, only the file's name.
std::string RelativeToSource(std::string_view source, std::string_view path,
                             text::PathStyle style = text::NativePathStyle());

// `name` cut to `limit` bytes where it is longer, without splitting a UTF-8 character; a
// file name keeps its extension (".mp3") and loses the end of what comes before it.
std::string CutName(std::string_view name, bool isFileName, std::size_t limit = kLongestName);

// `relative` (names separated as `style` separates them) with every name cut to the
// longest name and, when `fat`, made legal on a FAT or exFAT volume (FatSafeName).
std::string LegalRelativePath(std::string_view relative, bool fat,
                              text::PathStyle style = text::NativePathStyle());

// Where each chosen file is copied when the sources' folders are kept:
// `destination`/LegalRelativePath(RelativeToSource(its source, its path)).
class KeptFolderTargets {
 public:
  KeptFolderTargets(const std::vector<std::string>& sources, std::string destination, bool fat);

  // The target's path below the destination, names separated by '/'.
  std::string RelativeTarget(const Candidate& candidate) const;
  std::string Target(const Candidate& candidate) const;

 private:
  const std::vector<std::string>& sources_;
  std::string destination_;  // ending in a separator
  bool fat_;
};

}  // namespace sorvina::engine
