#include "engine/summary_line.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace sorvina::engine {
namespace {

std::string FilesText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files");
}

// "(1.93 GB)", "(1.93 GB, 3 h 02 min)"; a playlist shows only the time where it is known.
std::string AmountText(const RunSummary& summary) {
  if (!summary.copy && summary.doneSeconds) return "(" + DurationText(*summary.doneSeconds) + ")";
  std::string text = "(" + SizeText(summary.doneBytes);
  if (summary.doneSeconds) text += ", " + DurationText(*summary.doneSeconds);
  return text + ")";
}

std::string NothingChosenText(const NothingFits& why) {
  std::string text = "Nothing chosen: ";
  // On the destination a file takes more than its size: what it needs is said as such.
  if (why.freeSpace) {
    return text + (why.smallestFile ? "the smallest file" : "the first file drawn") + " needs " +
           SizeText(why.fileAmount) + ", more than the free space (" + SizeText(why.limit) + ")";
  }
  if (why.smallestFile) {
    text += why.inSeconds ? "the shortest file (" : "the smallest file (";
  } else {
    text += "the first file drawn (";
  }
  if (why.inSeconds) {
    return text + DurationText(why.fileAmount) + ") is longer than " + DurationText(why.limit);
  }
  return text + SizeText(why.fileAmount) + ") is larger than " + SizeText(why.limit);
}

// ", 38 replaced, 5 kept, 2 left in place": what became of the previous fill's files.
std::string ReplacementText(const Replacement& replacement, bool dryRun) {
  if (!replacement.anyPrevious) return ", no earlier fill to replace";
  std::string text =
      ", " + std::to_string(replacement.removed) + (dryRun ? " to replace" : " replaced");
  if (replacement.kept > 0)
    text += ", " + std::to_string(replacement.kept) + (dryRun ? " to keep" : " kept");
  if (replacement.left > 0) text += ", " + std::to_string(replacement.left) + " left in place";
  return text;
}

}  // namespace

std::string SizeText(std::int64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static constexpr std::array<const char*, 4> kUnits = {"MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1048576.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < kUnits.size()) {
    value /= 1024.0;
    ++unit;
  }
  // Three significant digits, however small the part of an MB.
  const int decimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(value))));
  char number[64];
  std::snprintf(number, sizeof number, "%.*f", decimals, value);
  std::string text(number);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0')
      text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text + " " + kUnits[unit];
}

std::string DurationText(std::int64_t seconds) {
  if (seconds >= 3600) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60));
    return text;
  }
  if (seconds >= 60) {
    std::string text = std::to_string(seconds / 60) + " min";
    if (seconds % 60 != 0) text += " " + std::to_string(seconds % 60) + " s";
    return text;
  }
  return std::to_string(seconds) + " s";
}

std::string SummaryLine(const RunSummary& summary) {
  // Chosen files that stay on the destination from the previous fill are not copied.
  const std::size_t kept = summary.replacement ? summary.replacement->kept : 0;
  if (summary.cancelled) {
    return "Cancelled after " + std::to_string(summary.doneFiles) + " of " +
           FilesText(summary.chosenFiles - std::min(kept, summary.chosenFiles));
  }
  if (summary.chosenFiles == 0) {
    return summary.nothingFits ? NothingChosenText(*summary.nothingFits) : "Nothing chosen";
  }
  std::string line;
  if (summary.copy) {
    line = summary.dryRun ? "Would copy " : "Copied ";
    line += FilesText(summary.doneFiles);
  } else {
    line = summary.dryRun ? "Would write a playlist of " : "Wrote a playlist of ";
    line += FilesText(summary.doneFiles);
  }
  line += " " + AmountText(summary) + " to " + summary.destination;
  if (summary.copy && summary.replacement)
    line += ReplacementText(*summary.replacement, summary.dryRun);
  if (summary.skippedFiles > 0) line += ", " + std::to_string(summary.skippedFiles) + " skipped";
  if (summary.failedFiles > 0) line += ", " + std::to_string(summary.failedFiles) + " failed";
  return line;
}

}  // namespace sorvina::engine
