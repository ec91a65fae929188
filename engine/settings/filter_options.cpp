// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/filter_options.h"

#include <charconv>
#include <cstdio>

#include <climits>

#include "engine/scan/path_pattern.h"

namespace sorvina::engine {
namespace {

constexpr int kLastYear = 9999;
// Lengths up to a week of seconds: longer is no song, and sums stay within an int.
constexpr int kLongestSeconds = 7 * 24 * 3600;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

std::optional<int> WholeNumber(std::string_view text, int highest) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > highest)
    return std::nullopt;
  return value;
}

// "m:ss" or whole seconds.
std::optional<int> LengthOf(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return WholeNumber(text, kLongestSeconds);
  const std::optional<int> minutes = WholeNumber(text.substr(0, colon), kLongestSeconds / 60);
  const std::string_view secondsText = text.substr(colon + 1);
  const std::optional<int> seconds =
      secondsText.size() == 2 ? WholeNumber(secondsText, 59) : std::nullopt;
  if (!minutes || !seconds) return std::nullopt;
  return *minutes * 60 + *seconds;
}

std::string LengthText(int seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
  return text;
}

template <class Value>
std::optional<Value> Refuse(std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return std::nullopt;
}

}  // namespace

std::vector<std::string> ParseGenreList(std::string_view text) {
  std::vector<std::string> genres;
  for (std::size_t begin = 0; begin <= text.size();) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    const std::string_view name = Trimmed(text.substr(begin, comma - begin));
    if (!name.empty()) genres.emplace_back(name);
    begin = comma + 1;
  }
  return genres;
}

std::string GenreListText(const std::vector<std::string>& genres) {
  std::string text;
  for (const std::string& genre : genres)
    text += (text.empty() ? "" : ",") + genre;
  return text;
}

std::optional<std::pair<int, int>> ParseYearRange(std::string_view text, std::string* why) {
  text = Trimmed(text);
  const std::size_t dash = text.find('-');
  const std::optional<int> first = WholeNumber(Trimmed(text.substr(0, dash)), kLastYear);
  const std::optional<int> last = dash == std::string_view::npos
                                      ? first
                                      : WholeNumber(Trimmed(text.substr(dash + 1)), kLastYear);
  if (!first || !last)
    return Refuse<std::pair<int, int>>(why,
                                       "expected years as A-B or one year, from 0 to 9999, "
                                       "got '" +
                                           std::string(text) + "'");
  if (*first > *last)
    return Refuse<std::pair<int, int>>(
        why, "the first year comes after the last: '" + std::string(text) + "'");
  return std::pair(*first, *last);
}

std::string YearRangeText(std::pair<int, int> years) {
  return std::to_string(years.first) + '-' + std::to_string(years.second);
}

std::optional<std::pair<int, int>> ParseLengthRange(std::string_view text, std::string* why) {
  text = Trimmed(text);
  const std::size_t dash = text.find('-');
  const std::string_view low = Trimmed(text.substr(0, dash));
  const std::string_view high =
      dash == std::string_view::npos ? std::string_view() : Trimmed(text.substr(dash + 1));
  const std::optional<int> first = low.empty() ? std::optional<int>(0) : LengthOf(low);
  const std::optional<int> last =
      high.empty() ? std::optional<int>(kLongestSeconds) : LengthOf(high);
  if (dash == std::string_view::npos || (low.empty() && high.empty()) || !first || !last)
    return Refuse<std::pair<int, int>>(why,
                                       "expected lengths as MIN-MAX in m:ss (e.g. "
                                       "2:00-7:30), got '" +
                                           std::string(text) + "'");
  if (*first > *last)
    return Refuse<std::pair<int, int>>(
        why, "the shortest length is above the longest: '" + std::string(text) + "'");
  return std::pair(*first, *last);
}

std::string LengthRangeText(std::pair<int, int> seconds) {
  // An open end is written as none.
  return LengthText(seconds.first) + '-' +
         (seconds.second >= kLongestSeconds ? std::string() : LengthText(seconds.second));
}

std::vector<std::string> FilterOptionLines(const ExtraOptions& options) {
  std::vector<std::string> lines;
  for (const std::string& pattern : options.excludePatterns)
    lines.push_back("exclude=" + pattern);
  if (!options.genres.empty()) lines.push_back("genre=" + GenreListText(options.genres));
  if (!options.notGenres.empty()) lines.push_back("not-genre=" + GenreListText(options.notGenres));
  if (options.years) lines.push_back("year=" + YearRangeText(*options.years));
  if (options.lengthSeconds) lines.push_back("length=" + LengthRangeText(*options.lengthSeconds));
  if (options.addedWithinDays > 0)
    lines.push_back("added-within=" + std::to_string(options.addedWithinDays));
  if (options.skipDuplicates) lines.emplace_back("skip-duplicates=1");
  return lines;
}

bool ReadFilterOptionLine(std::string_view name, std::string_view value, ExtraOptions& options) {
  if (name == "exclude") {
    if (PathPattern::Parse(value)) options.excludePatterns.emplace_back(value);
  } else if (name == "genre") {
    options.genres = ParseGenreList(value);
  } else if (name == "not-genre") {
    options.notGenres = ParseGenreList(value);
  } else if (name == "year") {
    if (const auto years = ParseYearRange(value)) options.years = years;
  } else if (name == "length") {
    if (const auto lengths = ParseLengthRange(value)) options.lengthSeconds = lengths;
  } else if (name == "added-within") {
    if (const std::optional<int> days = WholeNumber(value, INT_MAX / 86400))
      options.addedWithinDays = *days;
  } else if (name == "skip-duplicates") {
    if (value == "0" || value == "1") options.skipDuplicates = value == "1";
  } else {
    return false;
  }
  return true;
}

}  // namespace sorvina::engine
