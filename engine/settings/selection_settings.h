// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/settings/extra_options.h"

namespace sorvina::engine {

// A folder whose files are drawn `weight` times as likely as others (1.0 is neutral), and
// so are those of its folders that have no weight of their own.
struct FolderWeight {
  std::string folder;  // ending in exactly one separator
  double weight = 1.0;
  friend bool operator==(const FolderWeight&, const FolderWeight&) = default;
};

// How much a run chooses.
struct Amount {
  enum class Kind {
    kMegabytes,  // up to `value` MB of files
    kHours,      // up to `value` hours of playing time
    kAll,        // every file found
    kFreeSpace,  // the copy destination's free space
  };
  Kind kind = Kind::kMegabytes;
  double value = 0.0;  // read for megabytes and hours only
  friend bool operator==(const Amount&, const Amount&) = default;
};

// What a selection run is asked to do. The front ends fill it from what the user typed
// (SettingsText, ParseSettings), the run reads it and leaves it as it was.
struct SelectionSettings {
  // Folders and playlists, in the order the user listed them.
  std::vector<std::string> sources;
  // true: copy the chosen files into `destination`; false: write a playlist there.
  bool copyToFolder = false;
  std::string destination;
  // In the order the user listed them: the first that names a folder decides.
  std::vector<FolderWeight> folderWeights;
  Amount amount;
  ExtraOptions options;
};

// A source entry is a playlist when it ends in ".m3u" or ".m3u8" (any letter case);
// every other entry is a folder.
bool IsPlaylistSource(std::string_view source);

}  // namespace sorvina::engine
