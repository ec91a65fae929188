// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "engine/report/run_summary.h"
#include "text/user_text.h"

namespace sorvina::engine {

// The one line both front ends show when a run is over, worded from its summary:
// "Copied 214 files (1.93 GB) to /media/player/MUSIC, 3 skipped",
// "Wrote a playlist of 57 files (3 h 02 min) to /home/alex/evening.m3u",
// "Nothing chosen: the smallest file (3.1 MB) is larger than 1 MB",
// "Cancelled after 12 of 40 files".
text::UserText SummaryText(const RunSummary& summary);

// The same line in English, as the command line shows it.
std::string SummaryLine(const RunSummary& summary);

// A size with three significant digits, in MB up to 1 GB, as the amount of MB counts
// them (an MB is 1,048,576 bytes): "512 bytes", "0.293 MB", "3.1 MB", "1.93 GB".
text::UserText SizeText(std::int64_t bytes);

// A playing time: "3 h 02 min", "4 min 10 s", "35 s".
text::UserText DurationText(std::int64_t seconds);

}  // namespace sorvina::engine
