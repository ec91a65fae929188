// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/path_style.h"

#include <algorithm>

namespace sorvina::text {
bool IsSeparator(char c, PathStyle style) {
  return c == Separator(style) || (style == PathStyle::kWindows && c == OtherSeparator(style));
}

bool EndsWithSeparator(std::string_view path, PathStyle style) {
  return !path.empty() && IsSeparator(path.back(), style);
}

std::vector<std::string_view> SplitComponents(std::string_view path, PathStyle style) {
  std::vector<std::string_view> components;
  std::size_t start = 0;
  if (!path.empty() && IsSeparator(path.front(), style)) {
    components.push_back(path.substr(0, 1));
    start = 1;
  }
  for (std::size_t i = start; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i], style)) {
      if (i < path.size() || i > start) components.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return components;
}

bool NamesEqual(std::string_view a, std::string_view b, PathStyle style) {
  if (style == PathStyle::kPosix) return a == b;
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string FoldName(std::string_view name, PathStyle style) {
  std::string folded(name);
  if (style == PathStyle::kWindows) {
    std::transform(folded.begin(), folded.end(), folded.begin(), AsciiLower);
  }
  return folded;
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         NamesEqual(text.substr(text.size() - ending.size()), ending, PathStyle::kWindows);
}

void ToSeparators(std::string& path, PathStyle style) {
  std::replace(path.begin(), path.end(), OtherSeparator(style), Separator(style));
}

PathParts SplitPath(std::string_view path) {
  std::size_t end = path.size();
  while (end > 1 && path[end - 1] == '/')
    --end;
  if (end == 1 && path[0] == '/') return {"/", ""};
  const std::size_t slash = end == 0 ? std::string_view::npos : path.rfind('/', end - 1);
  if (slash == std::string_view::npos) return {"", std::string(path.substr(0, end))};
  return {slash == 0 ? "/" : std::string(path.substr(0, slash)),
          std::string(path.substr(slash + 1, end - slash - 1))};
}

std::string ParentPath(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(slash == 0 ? path.substr(0, 1) : path.substr(0, slash));
}

std::string LastName(std::string_view path) {
  return std::string(path.substr(path.rfind('/') + 1));  // npos + 1: the whole
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path.push_back('/');
  return path.append(name);
}

bool IsAtOrBelow(std::string_view path, std::string_view entry) {
  return !entry.empty() && path.starts_with(entry) &&
         (path.size() == entry.size() || path[entry.size()] == '/');
}

}  // namespace sorvina::text
