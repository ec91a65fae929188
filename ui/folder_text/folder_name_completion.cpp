// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_text/folder_name_completion.h"

#include <algorithm>

namespace sorvina::ui {
namespace {

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsAsciiLower(char c) {
  return c >= 'a' && c <= 'z';
}
bool IsAsciiUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

// The length of the partly typed last name: what follows the last separator (in Windows
// style also "/" and the drive's ":", in that order of preference).
std::size_t TypedPrefixLength(std::string_view text, text::PathStyle style) {
  std::size_t start = std::string_view::npos;
  if (style == text::PathStyle::kWindows) {
    for (char mark : {'\\', '/', ':'}) {
      start = text.rfind(mark);
      if (start != std::string_view::npos) break;
    }
  } else {
    start = text.rfind('/');
  }
  return start == std::string_view::npos ? text.size() : text.size() - start - 1;
}

// Adapts a found name to the typing where letter case does not tell names apart.
void FollowTypedCase(std::string& name, std::string_view text, std::size_t prefixLength) {
  // A name in capitals alone reads better as a word: MUSIC becomes Music.
  if (!name.empty() && std::none_of(name.begin(), name.end(),
                                    [](char c) { return IsAsciiSpace(c) || IsAsciiLower(c); })) {
    std::transform(name.begin() + 1, name.end(), name.begin() + 1, text::AsciiLower);
  }
  // The last typed character, when its case differs from the name's, sets the case of all.
  if (text.empty() || prefixLength == 0 || text.back() == name[prefixLength - 1]) return;
  if (IsAsciiUpper(text.back())) {
    std::transform(name.begin(), name.end(), name.begin(), text::AsciiUpper);
  } else {
    std::transform(name.begin(), name.end(), name.begin(), text::AsciiLower);
  }
}

}  // namespace

std::optional<std::string> CompleteFolderName(std::string_view text, text::PathStyle style,
                                              FolderQueries& queries) {
  const std::vector<std::string> names = queries.FolderNamesStartingWith(std::string(text));
  if (names.size() != 1) return std::nullopt;
  std::string name = names.front();
  const std::size_t prefixLength = TypedPrefixLength(text, style);
  if (name.size() <= prefixLength) return std::nullopt;  // nothing to add

  std::string completed(text);
  if (style == text::PathStyle::kWindows) {
    FollowTypedCase(name, text, prefixLength);
    completed += name.substr(prefixLength);
  } else {
    // Letter case tells names apart here: the typed part takes the folder's own spelling.
    completed.replace(completed.size() - prefixLength, prefixLength, name);
  }
  return completed;
}

}  // namespace sorvina::ui
