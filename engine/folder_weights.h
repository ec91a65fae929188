#pragma once

#include <string_view>
#include <vector>

#include "engine/selection_settings.h"
#include "platform/path_style.h"

namespace sorvina::engine {

// Derives `folder` and `weight` from `entryText` ("2.50 /music/rock/"): the text's
// trailing separators are reduced to exactly one, the weight is the decimal number at its
// start and the folder is everything after the first blank. An entry without a blank is
// left as it was and matches no folder.
void ParseFolderWeightEntry(FolderWeight& entry,
                            platform::PathStyle style = platform::NativePathStyle());

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
                               platform::PathStyle style = platform::NativePathStyle());

}  // namespace sorvina::engine
