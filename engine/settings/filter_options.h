// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/settings/extra_options.h"

namespace sorvina::engine {

// "Rock, Jazz Fusion": names split at commas, blanks around them dropped, empty ones left
// out; and the list written back ("Rock,Jazz Fusion").
std::vector<std::string> ParseGenreList(std::string_view text);
std::string GenreListText(const std::vector<std::string>& genres);

// "1990-1999", or one year "1995": years from 0 to 9999, the first not after the second.
// Nothing, with the reason in `why` where given, for any other text.
std::optional<std::pair<int, int>> ParseYearRange(std::string_view text,
                                                  std::string* why = nullptr);
std::string YearRangeText(std::pair<int, int> years);

// "2:00-7:30" as seconds: each end minutes and seconds (m:ss) or whole seconds; an end left
// out is open ("-5:00": up to five minutes; "3:00-": from three). Nothing, with the reason
// in `why` where given, for any other text or a range whose start lies after its end.
std::optional<std::pair<int, int>> ParseLengthRange(std::string_view text,
                                                    std::string* why = nullptr);
// Written back as ParseLengthRange reads it: "2:00-7:30", "0:00-5:00", "3:00-".
std::string LengthRangeText(std::pair<int, int> seconds);

// The settings file's lines of the filters that differ from their defaults ("exclude=" one
// line per pattern, then genre, not-genre, year, length, added-within, skip-duplicates).
std::vector<std::string> FilterOptionLines(const ExtraOptions& options);
// Sets the filter that `name` names from `value`; false when `name` is no filter's. A value
// the filter cannot take leaves it as it was; each "exclude" line adds a pattern.
bool ReadFilterOptionLine(std::string_view name, std::string_view value, ExtraOptions& options);

}  // namespace sorvina::engine
