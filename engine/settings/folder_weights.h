// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/settings/selection_settings.h"
#include "text/path_style.h"

namespace sorvina::engine {

// The folder weight an entry stands for ("2.50 /music/rock/"): one trailing other
// separator and then one trailing separator are removed and one separator is appended, so
// that a folder written with or without its separator ends in exactly one (a doubled one
// stays doubled); the weight is the decimal number at its start and the folder is
// everything after the first blank. Nothing for an entry without a blank, which names no
// folder.
std::optional<FolderWeight> ParseFolderWeightEntry(std::string_view entry,
                                                   text::PathStyle style = text::NativePathStyle());

// The largest weight an entry can show: "%0.2f" of anything from here on would not fit
// the 99 characters an entry's weight may take.
inline constexpr double kWeightLimit = 1e96;

// The weight as an entry shows it: two decimals, rounded, a point whatever the locale.
std::string FormatWeight(double weight);

// The entry for `folder` with `weight`: "2.50 /music/rock/".
std::string FormatFolderWeightEntry(double weight, std::string_view folder);

// `entryText` with its weight replaced by `weight`: the new weight text followed by the
// old text from its first blank on. An entry without a blank becomes the weight alone.
std::string ChangeEntryWeight(std::string_view entryText, double weight);

// The weight of a scanned folder: that of the first entry whose folder equals
// `folderPath` (ending in a separator) byte for byte, else the weight inherited from the
// folder above.
double FindScanWeight(std::string_view folderPath, double inherited,
                      const std::vector<FolderWeight>& weights);

// The weight of a playlist entry: the folders of `entryText` (the line as written, with
// separators made native) are tried from the deepest up, each against every entry in
// list order, compared as the path style compares names; the first match wins, 1.0 if
// none.
double FindPlaylistEntryWeight(std::string_view entryText, const std::vector<FolderWeight>& weights,
                               text::PathStyle style = text::NativePathStyle());

}  // namespace sorvina::engine
