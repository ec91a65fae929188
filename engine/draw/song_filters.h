// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Filters that leave songs out of a run before anything is drawn: by path pattern, genre,
// year, length and date changed, and all but one file of each recording. None is used, and
// no tag is read, unless one of those options is set; only the tag-based ones read tags.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/report/run_summary.h"
#include "engine/settings/extra_options.h"
#include "media/tags/draw_tags.h"

namespace sorvina::engine {

// Whether `options` set any filter; and whether one of those needs the songs' tags.
bool FiltersSongs(const ExtraOptions& options);
bool FiltersByTags(const ExtraOptions& options);

// What the filters need besides the pool and the options.
struct SongFilterSources {
  // The settings' sources, by the candidates' source numbers: patterns are matched
  // against the path below the folder (or the playlist's folder) a song was found by.
  const std::vector<std::string>& sources;
  // The tags of files, one for each path in order; `withLength` asks for their lengths.
  std::function<std::vector<media::DrawTags>(const std::vector<std::string>& paths,
                                             bool withLength)>
      readTags;
  // Whether the player plays the file as it is; none: it plays everything.
  std::function<bool(std::string_view path)> playsAsItIs = {};
  // Now, in seconds since the epoch: songs changed within the days asked for are kept.
  std::int64_t nowSeconds = 0;
};

// `path` below `source` (a folder, or a playlist whose folder counts): the part after it
// and its separator; the whole path where it lies elsewhere.
std::string_view PathBelowSource(std::string_view path, std::string_view source, bool playlist);

// Takes out of `pool` every song a filter of `options` leaves out, each counted by the
// first filter that does, in the order pattern, date changed, genre, year, length; a song
// whose year or length is unknown is left out by a filter on it. Then, where asked, all
// files of a recording but one (ChooseOnePerRecording), which takes the highest weight of
// them. Tags are read a part of the pool at a time.
FilteredSongs FilterSongs(CandidatePool& pool, const ExtraOptions& options,
                          const SongFilterSources& input);

}  // namespace sorvina::engine
