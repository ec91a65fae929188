// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "media/codecs.h"

namespace sorvina::media::codecs {

// media::SplitAtChapters as the helper program runs it, in this process: the same contract.
ChapterSplitResult SplitAtChapters(const std::string& source, const std::string& outputFolder,
                                   const std::atomic<bool>* cancel);

// Why `chapters` (in the file's order) are no table to split at: more than kMostChapters,
// a negative or empty chapter, or one that starts before the one ahead of it ends; empty
// where they are.
std::string ChapterTableFault(const std::vector<ChapterMark>& chapters);

}  // namespace sorvina::media::codecs
