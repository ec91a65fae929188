// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/run_filters.h"

#include <chrono>
#include <optional>

#include "engine/draw/song_filters.h"
#include "engine/player/player_lookup.h"
#include "engine/player/player_profile.h"
#include "engine/scan/tag_cache.h"
#include "media/file_types.h"

namespace sorvina::engine {

FilteredSongs FilterForRun(const SelectionSettings& settings, CandidatePool& pool) {
  if (!FiltersSongs(settings.options)) return {};
  TagCache cache;
  SongFilterSources input{settings.sources,
                          [&cache](const std::vector<std::string>& paths, bool withLength) {
                            return TagsOf(paths, cache, 8, withLength);
                          }};
  // A player that a profile describes prefers the copies it plays as they are; one it
  // does not know of (a profile that cannot be read) prefers none, and the fill says why.
  std::optional<PlayerProfile> player;
  if (settings.options.skipDuplicates && settings.copyToFolder && !settings.options.player.empty())
    player = FindPlayerProfile(settings.options.player, settings.destination).profile;
  if (player && !TakesAnything(*player)) {
    input.playsAsItIs = [&player](std::string_view path) {
      const media::TypedName typed = media::TypeOfName(path);
      return typed.type != nullptr && PlaysFileType(*player, typed.type->name);
    };
  }
  input.nowSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  const FilteredSongs filtered = FilterSongs(pool, settings.options, input);
  (void)cache.Save();  // without the cache the next run only reads the files again
  return filtered;
}

}  // namespace sorvina::engine
