// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/folder_weights.h"

#include <array>
#include <charconv>
#include <string>

#include "text/decimal.h"

namespace sorvina::engine {

using text::PathStyle;

std::optional<FolderWeight> ParseFolderWeightEntry(std::string_view entry, PathStyle style) {
  std::string line(entry);
  if (!line.empty() && line.back() == text::OtherSeparator(style)) line.pop_back();
  if (!line.empty() && line.back() == text::Separator(style)) line.pop_back();
  line.push_back(text::Separator(style));

  const std::size_t blank = line.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  return FolderWeight{line.substr(blank + 1), text::ParseLeadingDecimal(line)};
}

std::string FormatWeight(double weight) {
  // to_chars rounds like "%0.2f" but never uses a locale's decimal comma, which the
  // reader would stop at.
  std::array<char, 400> buffer;
  const std::to_chars_result result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                    weight, std::chars_format::fixed, 2);
  return std::string(buffer.data(), result.ptr);
}

std::string FormatFolderWeightEntry(double weight, std::string_view folder) {
  std::string entry = FormatWeight(weight);
  entry.push_back(' ');
  entry.append(folder);
  return entry;
}

std::string ChangeEntryWeight(std::string_view entryText, double weight) {
  std::string entry = FormatWeight(weight);
  const std::size_t blank = entryText.find(' ');
  if (blank != std::string_view::npos) entry.append(entryText.substr(blank));
  return entry;
}

double FindScanWeight(std::string_view folderPath, double inherited,
                      const std::vector<FolderWeight>& weights) {
  for (const FolderWeight& entry : weights) {
    if (entry.folder == folderPath) return entry.weight;
  }
  return inherited;
}

double FindPlaylistEntryWeight(std::string_view entryText, const std::vector<FolderWeight>& weights,
                               PathStyle style) {
  const char separator = text::Separator(style);
  for (std::size_t end = entryText.rfind(separator); end != std::string_view::npos;
       end = end == 0 ? std::string_view::npos : entryText.rfind(separator, end - 1)) {
    const std::string_view folder = entryText.substr(0, end + 1);
    for (const FolderWeight& entry : weights) {
      if (text::NamesEqual(entry.folder, folder, style)) return entry.weight;
    }
  }
  return 1.0;
}

}  // namespace sorvina::engine
