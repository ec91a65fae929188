// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/play_weights.h"

#include <array>
#include <cmath>
#include <utility>

#include "engine/scan/tag_cache.h"

namespace sorvina::engine {

bool UsesPlayHistory(const ExtraOptions& options, bool copy) {
  return options.preferUnplayed || options.avoidPlayedDays > 0 ||
         (copy && options.replacePrevious && options.replaceHeard);
}

double UnplayedFactor(std::optional<std::int64_t> secondsSincePlayed) {
  if (!secondsSincePlayed) return 4.0;
  // (days since played, factor), straight lines between them over the logarithm of days.
  constexpr std::array<std::pair<double, double>, 4> kPoints = {
      {{1.0, 0.25}, {7.0, 1.0}, {30.0, 2.0}, {365.0, 3.0}}};
  const double days = static_cast<double>(*secondsSincePlayed) / kSecondsPerDay;
  if (!(days > kPoints.front().first)) return kPoints.front().second;
  for (std::size_t i = 1; i < kPoints.size(); ++i) {
    const auto [toDays, toFactor] = kPoints[i];
    if (days > toDays) continue;
    const auto [fromDays, fromFactor] = kPoints[i - 1];
    const double share = std::log(days / fromDays) / std::log(toDays / fromDays);
    return fromFactor + share * (toFactor - fromFactor);
  }
  return kPoints.back().second;
}

bool WeighByPlays(CandidatePool& pool, const PlayHistory& history, const ExtraOptions& options,
                  std::int64_t now) {
  const std::int64_t avoidSince = now - std::int64_t{options.avoidPlayedDays} * kSecondsPerDay;
  pool.Reweigh([&](CandidatePool::Index index) {
    const PooledCandidate& candidate = pool[index];
    const std::optional<SongPlays> plays = history.PlaysOf(candidate.path);
    const std::optional<std::int64_t> lastPlayed = plays ? plays->lastPlayed : std::nullopt;
    if (options.avoidPlayedDays > 0 && lastPlayed && *lastPlayed >= avoidSince) return 0.0;
    if (!options.preferUnplayed) return candidate.weight;
    return candidate.weight *
           UnplayedFactor(lastPlayed ? std::optional(now - *lastPlayed) : std::nullopt);
  });
  return pool.count() > 0;
}

std::vector<KnownSong> KnownSongsOf(const CandidatePool& pool) {
  std::vector<std::string> paths;
  paths.reserve(pool.count());
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    paths.emplace_back(pool[i].path);
  // Plays that name no path are matched by recording id, or by artist, title and length:
  // the tag cache holds those for songs the filters or the draw read before.
  TagCache cache;
  std::vector<media::DrawTags> tags = TagsOf(paths, cache, 8, /*withLength=*/true);
  (void)cache.Save();  // without the cache the next run only reads the files again
  std::vector<KnownSong> songs;
  songs.reserve(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    media::DrawTags& song = tags[i];
    songs.push_back({std::move(paths[i]), std::move(song.artist), std::move(song.title),
                     std::move(song.recordingId), song.seconds.value_or(0)});
  }
  return songs;
}

}  // namespace sorvina::engine
