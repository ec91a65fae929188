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

// What the filters left out, as the summary adds it: "; 1,204 songs left out by genre,
// 88 by length; 3 duplicates set aside"; nothing when they left out none.
text::UserText FilteredText(const FilteredSongs& filtered);

// Why a run whose filters left no song stops: "No song passes the filters; 12 songs left
// out by genre".
text::UserText NothingPassesText(const FilteredSongs& filtered);

// A size with three significant digits, in MB up to 1 GB, as the amount of MB counts
// them (an MB is 1,048,576 bytes): "512 bytes", "0.293 MB", "3.1 MB", "1.93 GB".
text::UserText SizeText(std::int64_t bytes);

// A playing time: "3 h 02 min", "4 min 10 s", "35 s".
text::UserText DurationText(std::int64_t seconds);

}  // namespace sorvina::engine
