// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/song_filters.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "engine/draw/recording_groups.h"
#include "engine/scan/path_pattern.h"
#include "engine/settings/selection_settings.h"
#include "media/file_types.h"
#include "platform/file_system.h"

namespace sorvina::engine {
namespace {

// Tags are read this many songs at a time, so that a library's worth is never held at once.
constexpr std::size_t kTagPart = 4096;
constexpr std::int64_t kSecondsPerDay = 86400;

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

bool AnyGenreOf(const std::vector<std::string>& genres, const std::vector<std::string>& list) {
  return std::any_of(genres.begin(), genres.end(), [&list](const std::string& genre) {
    return std::any_of(list.begin(), list.end(), [&genre](const std::string& name) {
      return SameNameIgnoringCase(genre, name);
    });
  });
}

std::optional<std::int64_t> ModifiedSeconds(std::string_view path) {
  struct stat status {};
  const std::string name(path);
  if (platform::HasNulByte(name) || stat(name.c_str(), &status) != 0) return std::nullopt;
  return static_cast<std::int64_t>(status.st_mtim.tv_sec);
}

bool InRange(int value, const std::optional<std::pair<int, int>>& range) {
  return !range || (value >= range->first && value <= range->second);
}

bool IsLossless(std::string_view path) {
  const media::TypedName typed = media::TypeOfName(path);
  return typed.type != nullptr && (typed.type->format == media::AudioFormat::kFlac ||
                                   typed.type->format == media::AudioFormat::kWav ||
                                   typed.type->format == media::AudioFormat::kAiff);
}

// The first tag-based filter that leaves out a song with `tags`, as the counter it adds to.
std::size_t FilteredSongs::*TagFilterOf(const media::DrawTags& tags, const ExtraOptions& options) {
  if (!options.genres.empty() && !AnyGenreOf(tags.genres, options.genres))
    return &FilteredSongs::byGenre;
  if (!options.notGenres.empty() && AnyGenreOf(tags.genres, options.notGenres))
    return &FilteredSongs::byGenre;
  if (options.years && (tags.year == 0 || !InRange(tags.year, options.years)))
    return &FilteredSongs::byYear;
  if (options.lengthSeconds &&
      (!tags.seconds || *tags.seconds <= 0 || !InRange(*tags.seconds, options.lengthSeconds)))
    return &FilteredSongs::byLength;
  return nullptr;
}

}  // namespace

bool FiltersByTags(const ExtraOptions& options) {
  return !options.genres.empty() || !options.notGenres.empty() || options.years.has_value() ||
         options.lengthSeconds.has_value() || options.skipDuplicates;
}

bool FiltersSongs(const ExtraOptions& options) {
  return FiltersByTags(options) || !options.excludePatterns.empty() || options.addedWithinDays > 0;
}

std::string_view PathBelowSource(std::string_view path, std::string_view source, bool playlist) {
  if (playlist) {
    const std::size_t slash = source.rfind('/');
    source = slash == std::string_view::npos ? std::string_view() : source.substr(0, slash + 1);
  }
  while (source.size() > 1 && source.back() == '/')
    source.remove_suffix(1);
  if (source.empty() || !path.starts_with(source)) return path;
  std::string_view below = path.substr(source.size());
  if (source != "/" && !below.starts_with('/')) return path;  // "/music2" is not below "/music"
  while (below.starts_with('/'))
    below.remove_prefix(1);
  return below;
}

FilteredSongs FilterSongs(CandidatePool& pool, const ExtraOptions& options,
                          const SongFilterSources& input) {
  FilteredSongs counts;
  if (!FiltersSongs(options) || pool.head() == CandidatePool::kNone) return counts;
  std::vector<PathPattern> patterns;
  for (const std::string& text : options.excludePatterns) {
    if (std::optional<PathPattern> pattern = PathPattern::Parse(text)) patterns.push_back(*pattern);
  }
  std::vector<bool> playlists;
  for (const std::string& source : input.sources)
    playlists.push_back(IsPlaylistSource(source));

  // A weight per candidate ever added: 0 takes it out, as Reweigh does.
  std::vector<double> weights(pool.head() + 1, 0.0);
  std::vector<CandidatePool::Index> tagged;  // in pool order: those whose tags are read
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const PooledCandidate& song = pool[i];
    if (!patterns.empty()) {
      const std::string_view source =
          song.source < input.sources.size() ? input.sources[song.source] : std::string_view();
      const bool playlist = song.source < playlists.size() && playlists[song.source];
      if (MatchesAny(patterns, PathBelowSource(song.path, source, playlist))) {
        ++counts.byPattern;
        continue;
      }
    }
    if (options.addedWithinDays > 0) {
      const std::optional<std::int64_t> modified = ModifiedSeconds(song.path);
      if (!modified ||
          *modified < input.nowSeconds - std::int64_t{options.addedWithinDays} * kSecondsPerDay) {
        ++counts.byDateChanged;
        continue;
      }
    }
    weights[i] = song.weight;
    if (FiltersByTags(options)) tagged.push_back(i);
  }

  // The songs left, in the order they were found, with what tells their recordings apart.
  std::vector<CandidatePool::Index> found;
  std::vector<RecordingFacts> facts;
  const bool withLength = options.lengthSeconds.has_value() || options.skipDuplicates;
  for (std::size_t begin = 0; begin < tagged.size(); begin += kTagPart) {
    const std::size_t end = std::min(tagged.size(), begin + kTagPart);
    std::vector<std::string> paths;
    paths.reserve(end - begin);
    for (std::size_t k = begin; k < end; ++k)
      paths.emplace_back(pool[tagged[k]].path);
    const std::vector<media::DrawTags> tags = input.readTags(paths, withLength);
    for (std::size_t k = begin; k < end; ++k) {
      const media::DrawTags& songTags = tags.at(k - begin);
      if (std::size_t FilteredSongs::*counter = TagFilterOf(songTags, options)) {
        ++(counts.*counter);
        weights[tagged[k]] = 0.0;
      } else if (options.skipDuplicates) {
        found.push_back(tagged[k]);
        facts.push_back({songTags.recordingId, songTags.isrc,
                         songTags.artist.empty() ? songTags.albumArtist : songTags.artist,
                         songTags.title, songTags.seconds.value_or(0),
                         !input.playsAsItIs || input.playsAsItIs(paths[k - begin]),
                         IsLossless(paths[k - begin]), songTags.bitrate});
      }
    }
  }

  if (options.skipDuplicates) {
    // The pool is walked newest first: the first found is the last walked.
    std::reverse(found.begin(), found.end());
    std::reverse(facts.begin(), facts.end());
    const std::vector<std::size_t> chosen = ChooseOnePerRecording(facts);
    for (std::size_t k = 0; k < found.size(); ++k) {
      if (chosen[k] == k) continue;
      double& kept = weights[found[chosen[k]]];
      kept = std::max(kept, weights[found[k]]);
      weights[found[k]] = 0.0;
      ++counts.duplicates;
    }
  }
  pool.Reweigh([&weights](CandidatePool::Index i) { return weights[i]; });
  return counts;
}

}  // namespace sorvina::engine
