// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/settings_text.h"

#include "engine/settings/folder_weights.h"
#include "text/decimal.h"
#include "text/path_style.h"

namespace sorvina::engine {

bool MeansFreeSpace(std::string_view amountText) {
  const std::size_t begin = amountText.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return false;
  const std::string_view word =
      amountText.substr(begin, amountText.find_last_not_of(" \t") + 1 - begin);
  return word.size() == 4 && text::EndsWithNoCase(word, kFreeSpaceAmount);
}

Amount ParseAmount(int limitMode, std::string_view amountText) {
  switch (limitMode) {
    case kLimitMegabytes:
      if (MeansFreeSpace(amountText)) return {Amount::Kind::kFreeSpace, 0.0};
      return {Amount::Kind::kMegabytes, text::ParseLeadingDecimal(amountText)};
    case kLimitHours:
      return {Amount::Kind::kHours, text::ParseLeadingDecimal(amountText)};
    case kLimitAll:
      return {Amount::Kind::kAll, 0.0};
    default:
      return {Amount::Kind::kMegabytes, 0.0};
  }
}

SelectionSettings ParseSettings(const SettingsText& text) {
  SelectionSettings settings;
  settings.sources = text.sources;
  settings.copyToFolder = text.copyToFolder;
  settings.destination = text.destination;
  for (const std::string& entry : text.weightEntries)
    if (std::optional<FolderWeight> weight = ParseFolderWeightEntry(entry))
      settings.folderWeights.push_back(std::move(*weight));
  settings.amount = ParseAmount(text.limitMode, text.amountText);
  settings.options = text.options;
  return settings;
}

bool DestinationIsPlaylist(std::string_view destination) {
  return destination.size() > 4 && text::EndsWithNoCase(destination, ".m3u");
}

}  // namespace sorvina::engine
