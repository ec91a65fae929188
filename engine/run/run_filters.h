// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/draw/candidate_pool.h"
#include "engine/report/run_summary.h"
#include "engine/settings/selection_settings.h"

namespace sorvina::engine {

// Applies the filters of `settings` to the candidates of a run (FilterSongs): tags come
// from the tag cache, which keeps what was read; the player that a copy fills, where one
// is named, decides which copy of a recording it plays as it is. Nothing is read, and
// nothing counted, when no filter is set.
FilteredSongs FilterForRun(const SelectionSettings& settings, CandidatePool& pool);

}  // namespace sorvina::engine
