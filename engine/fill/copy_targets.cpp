// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/copy_targets.h"

#include <optional>

#include "engine/settings/selection_settings.h"
#include "transfer/fat_names.h"

namespace sorvina::engine {
namespace {

using text::PathStyle;

// The part of `path` after the folder `folder` (with or without its final separator);
// nothing when the path does not lie below it.
std::optional<std::string_view> BelowFolder(std::string_view folder, std::string_view path,
                                            PathStyle style) {
  // A playlist named without a folder lies in the current one, as relative paths do.
  if (folder.empty()) {
    if (path.empty() || text::IsSeparator(path.front(), style)) return std::nullopt;
    return path;
  }
  const bool endsInSeparator = text::IsSeparator(folder.back(), style);
  const std::size_t prefix = folder.size() + (endsInSeparator ? 0 : 1);
  if (path.size() <= prefix || !path.starts_with(folder)) return std::nullopt;
  if (!endsInSeparator && !text::IsSeparator(path[folder.size()], style)) return std::nullopt;
  return path.substr(prefix);
}

std::string_view FileNameOf(std::string_view path, PathStyle style) {
  std::size_t at = path.size();
  while (at > 0 && !text::IsSeparator(path[at - 1], style))
    --at;
  return path.substr(at);
}

// Whether every name of `relative` is one that stays below the folder it is put in.
bool StaysBelow(std::string_view relative, PathStyle style) {
  for (const std::string_view name : text::SplitComponents(relative, style)) {
    if (name.empty() || name == "." || name == ".." || text::IsSeparator(name[0], style))
      return false;
  }
  return true;
}

}  // namespace

std::string RelativeToSource(std::string_view source, std::string_view path, PathStyle style) {
  std::string_view folder = source;
  if (IsPlaylistSource(source)) {
    std::size_t end = source.size();
    while (end > 0 && !text::IsSeparator(source[end - 1], style))
      --end;
    folder = source.substr(0, end);
  }
  const std::optional<std::string_view> below = BelowFolder(folder, path, style);
  if (below && StaysBelow(*below, style)) return std::string(*below);
  return std::string(FileNameOf(path, style));
}

std::string CutName(std::string_view name, bool isFileName, std::size_t limit) {
  const transfer::NameLimit bytes{limit, false};
  return isFileName ? transfer::FitName(name, bytes) : transfer::FitStem(name, {}, bytes);
}

std::string LegalRelativePath(std::string_view relative, bool fat, PathStyle style) {
  const std::vector<std::string_view> names = text::SplitComponents(relative, style);
  std::string legal;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string name = CutName(names[i], i + 1 == names.size());
    if (fat) name = transfer::FatSafeName(name);
    if (!legal.empty()) legal.push_back(text::Separator(style));
    legal.append(name);
  }
  return legal;
}

KeptFolderTargets::KeptFolderTargets(const std::vector<std::string>& sources,
                                     std::string destination, bool fat)
    : sources_(sources), destination_(std::move(destination)), fat_(fat) {
  constexpr PathStyle kNative = text::NativePathStyle();
  if (!text::EndsWithSeparator(destination_, kNative))
    destination_.push_back(text::Separator(kNative));
}

std::string KeptFolderTargets::RelativeTarget(const Candidate& candidate) const {
  const std::string_view source =
      candidate.source < sources_.size() ? std::string_view(sources_[candidate.source]) : "";
  return LegalRelativePath(RelativeToSource(source, candidate.path), fat_);
}

std::string KeptFolderTargets::Target(const Candidate& candidate) const {
  return destination_ + RelativeTarget(candidate);
}

}  // namespace sorvina::engine
