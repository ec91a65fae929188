// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/report/summary_line.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace sorvina::engine {
namespace {

using text::DecimalNumber;
using text::TextArgument;
using text::UserText;

UserText FilesText(std::size_t count) {
  return text::Counted(SORVINA_PLURAL_TEXT("sorvina", "%Ln file(s)"),
                       static_cast<std::int64_t>(count));
}

// "(1.93 GB)", "(1.93 GB, 3 h 02 min)"; a playlist shows only the time where it is known.
// The brackets are no text to translate.
UserText AmountText(const RunSummary& summary) {
  if (!summary.copy && summary.doneSeconds) return {"(%1)", {DurationText(*summary.doneSeconds)}};
  if (summary.doneSeconds)
    return {"(%1, %2)", {SizeText(summary.doneBytes), DurationText(*summary.doneSeconds)}};
  return {"(%1)", {SizeText(summary.doneBytes)}};
}

UserText NothingChosenText(const NothingFits& why) {
  // On the destination a file takes more than its size: what it needs is said as such.
  if (why.freeSpace) {
    return {why.smallestFile ? SORVINA_TEXT("sorvina",
                                            "Nothing chosen: the smallest file needs %1, more "
                                            "than the free space (%2)")
                             : SORVINA_TEXT("sorvina",
                                            "Nothing chosen: the first file drawn needs %1, more "
                                            "than the free space (%2)"),
            {SizeText(why.fileAmount), SizeText(why.limit)}};
  }
  if (why.inSeconds) {
    return {
        why.smallestFile
            ? SORVINA_TEXT("sorvina", "Nothing chosen: the shortest file (%1) is longer than %2")
            : SORVINA_TEXT("sorvina",
                           "Nothing chosen: the first file drawn (%1) is longer than %2"),
        {DurationText(why.fileAmount), DurationText(why.limit)}};
  }
  return {
      why.smallestFile
          ? SORVINA_TEXT("sorvina", "Nothing chosen: the smallest file (%1) is larger than %2")
          : SORVINA_TEXT("sorvina", "Nothing chosen: the first file drawn (%1) is larger than %2"),
      {SizeText(why.fileAmount), SizeText(why.limit)}};
}

// ", 38 replaced, 5 kept, 2 left in place": what became of the previous fill's files.
void AddReplacement(const Replacement& replacement, bool dryRun, std::vector<TextArgument>& parts) {
  if (!replacement.anyPrevious) {
    parts.emplace_back(UserText(SORVINA_TEXT("sorvina", ", no earlier fill to replace")));
    return;
  }
  if (replacement.unheardKept) {
    // ", 31 played since the last fill replaced, 180 not yet played kept".
    const auto count = [](std::size_t n) { return static_cast<std::int64_t>(n); };
    parts.emplace_back(text::Counted(
        dryRun ? SORVINA_PLURAL_TEXT("sorvina", ", %Ln played since the last fill to replace")
               : SORVINA_PLURAL_TEXT("sorvina", ", %Ln played since the last fill replaced"),
        count(replacement.removed)));
    parts.emplace_back(
        text::Counted(dryRun ? SORVINA_PLURAL_TEXT("sorvina", ", %Ln not yet played to keep")
                             : SORVINA_PLURAL_TEXT("sorvina", ", %Ln not yet played kept"),
                      count(*replacement.unheardKept)));
  } else {
    parts.emplace_back(UserText(dryRun ? SORVINA_TEXT("sorvina", ", %1 to replace")
                                       : SORVINA_TEXT("sorvina", ", %1 replaced"),
                                {replacement.removed}));
  }
  if (replacement.kept > 0) {
    parts.emplace_back(UserText(
        dryRun ? SORVINA_TEXT("sorvina", ", %1 to keep") : SORVINA_TEXT("sorvina", ", %1 kept"),
        {replacement.kept}));
  }
  if (replacement.left > 0)
    parts.emplace_back(UserText(SORVINA_TEXT("sorvina", ", %1 left in place"), {replacement.left}));
}

UserText DoneText(const RunSummary& summary) {
  const char* pattern = nullptr;
  if (summary.copy) {
    pattern = summary.dryRun ? SORVINA_TEXT("sorvina", "Would copy %1 %2 to %3")
                             : SORVINA_TEXT("sorvina", "Copied %1 %2 to %3");
  } else {
    pattern = summary.dryRun ? SORVINA_TEXT("sorvina", "Would write a playlist of %1 %2 to %3")
                             : SORVINA_TEXT("sorvina", "Wrote a playlist of %1 %2 to %3");
  }
  return {pattern, {FilesText(summary.doneFiles), AmountText(summary), summary.destination}};
}

}  // namespace

UserText SizeText(std::int64_t bytes) {
  if (bytes < 1024) {
    return {bytes == 1 ? SORVINA_TEXT("sorvina", "%1 byte") : SORVINA_TEXT("sorvina", "%1 bytes"),
            {bytes}};
  }
  static constexpr std::array<const char*, 4> kUnits = {
      SORVINA_TEXT("sorvina", "%1 MB"), SORVINA_TEXT("sorvina", "%1 GB"),
      SORVINA_TEXT("sorvina", "%1 TB"), SORVINA_TEXT("sorvina", "%1 PB")};
  double value = static_cast<double>(bytes) / 1048576.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < kUnits.size()) {
    value /= 1024.0;
    ++unit;
  }
  // Three significant digits, however small the part of an MB, without trailing zeros:
  // fewer decimals then round to the very same digits.
  int decimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(value))));
  const std::string written = text::EnglishNumber({value, decimals});
  for (auto digit = written.rbegin(); decimals > 0 && *digit == '0'; ++digit)
    --decimals;
  return {kUnits[unit], {DecimalNumber{value, decimals}}};
}

UserText DurationText(std::int64_t seconds) {
  if (seconds >= 3600) {
    char minutes[8];
    std::snprintf(minutes, sizeof minutes, "%02d", static_cast<int>(seconds % 3600 / 60));
    return {SORVINA_TEXT("sorvina", "%1 h %2 min"), {seconds / 3600, std::string(minutes)}};
  }
  if (seconds >= 60) {
    if (seconds % 60 == 0) return {SORVINA_TEXT("sorvina", "%1 min"), {seconds / 60}};
    return {SORVINA_TEXT("sorvina", "%1 min %2 s"), {seconds / 60, seconds % 60}};
  }
  return {SORVINA_TEXT("sorvina", "%1 s"), {seconds}};
}

// "; 12 FLAC files left out: the player does not play them" for each reason.
static UserText LeftOutText(const LeftOutFiles& files) {
  using Reason = LeftOutFiles::Reason;
  const bool one = files.count == 1;
  switch (files.reason) {
    case Reason::kNotPlayed:
      return {
          one ? SORVINA_TEXT("sorvina", "; %1 %2 file left out: the player does not play it")
              : SORVINA_TEXT("sorvina", "; %1 %2 files left out: the player does not play them"),
          {files.count, files.type}};
    case Reason::kTooLarge:
      return {SORVINA_TEXT("sorvina", "; %1 left out: larger than the player takes (%2)"),
              {FilesText(files.count), SizeText(files.limit)}};
    case Reason::kBitrate:
      return {SORVINA_TEXT("sorvina", "; %1 left out: over the player's %2 kbit/s"),
              {FilesText(files.count), files.limit}};
    case Reason::kSampleRate:
      return {SORVINA_TEXT("sorvina", "; %1 left out: a sample rate the player does not play"),
              {FilesText(files.count)}};
    case Reason::kNoFolderLeft:
      return text::Counted(
          SORVINA_PLURAL_TEXT("sorvina",
                              "; %1 left out: the player reads no more than %Ln folder(s)"),
          files.limit, {FilesText(files.count)});
    case Reason::kNotPlayable:
      return {SORVINA_TEXT("sorvina", "; %1 left out: not playable"), {FilesText(files.count)}};
  }
  return {""};
}

// "; 3 converted: over the player's 320 kbit/s" for each reason the player gave.
static UserText ConvertedForText(const LeftOutFiles& files) {
  using Reason = LeftOutFiles::Reason;
  switch (files.reason) {
    case Reason::kNotPlayed:
      return {
          files.count == 1
              ? SORVINA_TEXT("sorvina", "; %1 %2 file converted: the player does not play it")
              : SORVINA_TEXT("sorvina", "; %1 %2 files converted: the player does not play them"),
          {files.count, files.type}};
    case Reason::kBitrate:
      return {SORVINA_TEXT("sorvina", "; %1 converted: over the player's %2 kbit/s"),
              {files.count, files.limit}};
    default:
      return {SORVINA_TEXT("sorvina", "; %1 converted: a sample rate the player does not play"),
              {files.count}};
  }
}

static UserText SummaryWithoutLeftOut(const RunSummary& summary);

UserText FilteredText(const FilteredSongs& filtered) {
  // Each filter's count, the first with the words the others share.
  struct Part {
    std::size_t count;
    const char* first;
    const char* next;
  };
  const Part parts[] = {
      {filtered.byPattern, SORVINA_PLURAL_TEXT("sorvina", "; %Ln song(s) left out by pattern"),
       SORVINA_TEXT("sorvina", ", %1 by pattern")},
      {filtered.byDateChanged,
       SORVINA_PLURAL_TEXT("sorvina", "; %Ln song(s) left out by date changed"),
       SORVINA_TEXT("sorvina", ", %1 by date changed")},
      {filtered.byGenre, SORVINA_PLURAL_TEXT("sorvina", "; %Ln song(s) left out by genre"),
       SORVINA_TEXT("sorvina", ", %1 by genre")},
      {filtered.byYear, SORVINA_PLURAL_TEXT("sorvina", "; %Ln song(s) left out by year"),
       SORVINA_TEXT("sorvina", ", %1 by year")},
      {filtered.byLength, SORVINA_PLURAL_TEXT("sorvina", "; %Ln song(s) left out by length"),
       SORVINA_TEXT("sorvina", ", %1 by length")},
  };
  std::vector<TextArgument> texts;
  for (const Part& part : parts) {
    if (part.count == 0) continue;
    if (texts.empty())
      texts.emplace_back(text::Counted(part.first, static_cast<std::int64_t>(part.count)));
    else
      texts.emplace_back(UserText(part.next, {part.count}));
  }
  if (filtered.duplicates > 0) {
    texts.emplace_back(text::Counted(SORVINA_PLURAL_TEXT("sorvina", "; %Ln duplicate(s) set aside"),
                                     static_cast<std::int64_t>(filtered.duplicates)));
  }
  return text::Concatenated(std::move(texts));
}

UserText NothingPassesText(const FilteredSongs& filtered) {
  return text::Concatenated(
      {UserText(SORVINA_TEXT("sorvina", "No song passes the filters")), FilteredText(filtered)});
}

UserText SummaryText(const RunSummary& summary) {
  const std::size_t converted = summary.encoded + summary.convertedBefore;
  if (summary.leftOut.empty() && converted == 0 && !summary.stoppedByArtistLimit &&
      summary.coversFitted == 0 && summary.filtered == FilteredSongs{})
    return SummaryWithoutLeftOut(summary);
  std::vector<TextArgument> parts = {SummaryWithoutLeftOut(summary)};
  if (summary.stoppedByArtistLimit) {
    parts.emplace_back(text::Counted(
        SORVINA_PLURAL_TEXT("sorvina", "; stopped at %Ln song(s): at most %1 per artist, %2"),
        static_cast<std::int64_t>(summary.chosenFiles),
        {summary.stoppedByArtistLimit->maxPerArtist,
         text::Counted(SORVINA_PLURAL_TEXT("sorvina", "%Ln artist(s)"),
                       static_cast<std::int64_t>(summary.stoppedByArtistLimit->artists))}));
  }
  if (converted > 0) {
    parts.emplace_back(UserText(SORVINA_TEXT("sorvina", "; %1 converted (%2 encoded now)"),
                                {converted, summary.encoded}));
  }
  for (const LeftOutFiles& files : summary.convertedFor)
    parts.emplace_back(ConvertedForText(files));
  if (summary.coversFitted > 0) {
    parts.emplace_back(
        text::Counted(SORVINA_PLURAL_TEXT("sorvina", "; %Ln cover(s) made smaller for the player"),
                      static_cast<std::int64_t>(summary.coversFitted)));
  }
  for (const LeftOutFiles& files : summary.leftOut)
    parts.emplace_back(LeftOutText(files));
  if (summary.filtered != FilteredSongs{}) parts.emplace_back(FilteredText(summary.filtered));
  return text::Concatenated(std::move(parts));
}

static UserText SummaryWithoutLeftOut(const RunSummary& summary) {
  // Chosen files that stay on the destination from the previous fill are not copied.
  const std::size_t kept = summary.replacement ? summary.replacement->kept : 0;
  if (summary.cancelled) {
    return {
        SORVINA_TEXT("sorvina", "Cancelled after %1 of %2"),
        {summary.doneFiles, FilesText(summary.chosenFiles - std::min(kept, summary.chosenFiles))}};
  }
  if (summary.chosenFiles == 0) {
    if (summary.nothingFits) return NothingChosenText(*summary.nothingFits);
    if (summary.notConverted > 0) {
      return {summary.notConverted == 1
                  ? SORVINA_TEXT("sorvina", "Nothing chosen: %1 song could not be converted (%2)")
                  : SORVINA_TEXT("sorvina", "Nothing chosen: %1 songs could not be converted (%2)"),
              {summary.notConverted, text::Verbatim(summary.notConvertedReason)}};
    }
    return UserText(SORVINA_TEXT("sorvina", "Nothing chosen"));
  }
  std::vector<TextArgument> parts = {DoneText(summary)};
  if (summary.copy && summary.replacement)
    AddReplacement(*summary.replacement, summary.dryRun, parts);
  if (summary.skippedFiles > 0)
    parts.emplace_back(UserText(SORVINA_TEXT("sorvina", ", %1 skipped"), {summary.skippedFiles}));
  if (summary.failedFiles > 0)
    parts.emplace_back(UserText(SORVINA_TEXT("sorvina", ", %1 failed"), {summary.failedFiles}));
  return text::Concatenated(std::move(parts));
}

std::string SummaryLine(const RunSummary& summary) {
  return text::English(SummaryText(summary));
}

}  // namespace sorvina::engine
