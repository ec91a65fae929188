#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/settings/extra_options.h"

namespace sorvina::engine {

// One folder weight as the weights page lists it. `entryText` is what the user sees and
// what the settings file stores: the weight with two decimals, one blank, the folder.
// `folder` (ending in exactly one separator) and `weight` are derived from it by
// ParseFolderWeightEntry at the start of every selection run.
struct FolderWeight {
  std::string entryText;
  std::string folder;
  double weight = 1.0;
};

// Limit modes as the last page and the settings file number them.
enum LimitMode : int { kLimitMegabytes = 0, kLimitHours = 1, kLimitAll = 2 };

// What the wizard pages fill in and the selection run reads. One instance, owned by the
// front end and passed by reference.
struct SelectionSettings {
  // Folders and playlists, in the order the user listed them.
  std::vector<std::string> sources;
  // true: copy the chosen files into `destination`; false: write a playlist there.
  bool copyToFolder = false;
  std::string destination;
  std::vector<FolderWeight> folderWeights;
  // Restores the last page and is saved; the run itself reads the page's controls.
  int limitMode = kLimitMegabytes;
  std::string amountText;
  ExtraOptions options;
};

// A source entry is a playlist when it ends in ".m3u" or ".m3u8" (any letter case);
// every other entry is a folder.
bool IsPlaylistSource(std::string_view source);

}  // namespace sorvina::engine
