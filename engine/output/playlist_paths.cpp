// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/output/playlist_paths.h"

namespace sorvina::engine {
namespace {

using text::PathStyle;

// Whether the first component SplitComponents gives is a root: the separator itself, or a
// drive ("C:") in Windows style.
bool IsRooted(const std::vector<std::string_view>& components, PathStyle style) {
  if (components.empty()) return false;
  const std::string_view first = components.front();
  return (first.size() == 1 && text::IsSeparator(first[0], style)) ||
         (style == PathStyle::kWindows && first.size() == 2 && first[1] == ':');
}

bool AllPlainNames(const std::vector<std::string_view>& components, bool rooted) {
  for (std::size_t i = rooted ? 1 : 0; i < components.size(); ++i) {
    const std::string_view name = components[i];
    if (name.empty() || name == "." || name == "..") return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> RelativeEntry(std::string_view folder, std::string_view path,
                                         PathStyle style) {
  const std::vector<std::string_view> from = text::SplitComponents(folder, style);
  const std::vector<std::string_view> to = text::SplitComponents(path, style);
  const bool rooted = IsRooted(to, style);
  if (to.empty() || rooted != IsRooted(from, style) || !AllPlainNames(from, rooted) ||
      !AllPlainNames(to, rooted))
    return std::nullopt;
  std::size_t shared = 0;
  while (shared < from.size() && shared + 1 < to.size() &&
         text::NamesEqual(from[shared], to[shared], style))
    ++shared;
  if (rooted && (shared == 0 || (shared == 1 && from.size() > 1))) return std::nullopt;

  const char separator = text::Separator(style);
  std::string relative;
  for (std::size_t i = shared; i < from.size(); ++i)
    relative.append("..").push_back(separator);
  for (std::size_t i = shared; i < to.size(); ++i) {
    relative.append(to[i]);
    if (i + 1 < to.size()) relative.push_back(separator);
  }
  return relative;
}

std::vector<std::string> RelativeEntryLines(std::string_view playlist,
                                            const std::vector<std::string>& paths,
                                            PathStyle style) {
  const std::string_view folder = FolderOf(playlist, style);
  std::vector<std::string> lines;
  lines.reserve(paths.size());
  for (const std::string& path : paths)
    lines.push_back(RelativeEntry(folder, path, style).value_or(path));
  return lines;
}

std::string_view FolderOf(std::string_view path, PathStyle style) {
  std::size_t end = path.size();
  while (end > 0 && !text::IsSeparator(path[end - 1], style))
    --end;
  return path.substr(0, end);
}

}  // namespace sorvina::engine
