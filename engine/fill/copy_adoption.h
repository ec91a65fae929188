// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/fill/fill_record.h"
#include "platform/contained_folder.h"

namespace sorvina::engine {

// Whether the regular file at `relative` in `folder` holds exactly the bytes of the file
// at `path` (same size, same content); false where either cannot be read.
bool HaveSameContent(const platform::ContainedFolder& folder, std::string_view relative,
                     const std::string& path);

// The files in `destination` (and its folders, the record's folder `skipped` aside) that
// are byte-identical copies of candidates in `pool`, found by name (on a FAT volume, as
// the volume compares names) and confirmed by size and content; each candidate counts
// for one copy. They can stand in for the record of a fill of a player that has none:
// removing them loses nothing. Each comes as the record would list it. `filesSeen`, where
// given, receives how many files of the user's the destination holds besides: hidden
// files and the system's folders do not count.
std::vector<RecordedFile> FindCopiesOf(const platform::ContainedFolder& destination,
                                       const CandidatePool& pool, bool fat,
                                       const std::string& skipped,
                                       std::size_t* filesSeen = nullptr);

}  // namespace sorvina::engine
