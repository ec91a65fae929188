// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/settings/extra_options.h"
#include "engine/settings/selection_settings.h"

namespace sorvina::engine {

// Limit modes as the last page and the settings file number them.
enum LimitMode : int { kLimitMegabytes = 0, kLimitHours = 1, kLimitAll = 2 };

// The settings as the user enters them and a settings file keeps them: the texts as
// typed, which a run reads only once they are parsed (ParseSettings). The wizard keeps
// one, owned by the application and passed by reference; the command line makes one
// from a settings file and its options.
struct SettingsText {
  std::vector<std::string> sources;
  // true: copy into `destination`; false: write a playlist there. A settings file tells
  // it by the destination's ending.
  bool copyToFolder = false;
  std::string destination;
  // "2.50 /music/rock/": the weight with two decimals, one blank, the folder.
  std::vector<std::string> weightEntries;
  // The limit's mode and the amount typed for it (for megabytes or hours); choosing
  // "all" leaves the amount last typed, so that it comes back with its mode.
  int limitMode = kLimitMegabytes;
  std::string amountText;
  ExtraOptions options;
};

// The amount of MB that stands for the copy destination's free space.
inline constexpr char kFreeSpaceAmount[] = "free";

// Whether an amount of MB as typed means the free space: "free" in any letter case, with
// blanks around it or not.
bool MeansFreeSpace(std::string_view amountText);

// The amount a limit mode and its text stand for: the decimal number at the start of
// the text (0 where there is none), or the free space, or everything. A mode no button
// stands for counts as megabytes with nothing typed.
Amount ParseAmount(int limitMode, std::string_view amountText);

// The settings a run reads from those typed: weight entries parsed (an entry without a
// blank names no folder and is left out), the amount parsed.
SelectionSettings ParseSettings(const SettingsText& text);

// Whether a destination names a playlist, as a settings file tells copying from writing
// a playlist: longer than ".m3u" and ending in it, in any letter case.
bool DestinationIsPlaylist(std::string_view destination);

}  // namespace sorvina::engine
