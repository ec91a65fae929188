// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_record.h"

#include <cstdio>
#include <optional>

#include "engine/fill/record_lines.h"

namespace sorvina::engine {
namespace {

constexpr std::string_view kFirstVersionLine = "sorvina-fills 1";
constexpr std::string_view kSecondVersionLine = "sorvina-fills 2";
constexpr std::string_view kVersionLine = "sorvina-fills 3";
constexpr std::string_view kEndPrefix = "end\t";

using record_lines::AppendEscaped;
using record_lines::AppendFileLine;
using record_lines::FileLine;
using record_lines::LineResult;
using record_lines::Lines;
using record_lines::NumberOf;
using record_lines::ReadFileLine;
using record_lines::ReadRelative;
using record_lines::SplitFields;

// One line of a fill in `fill`; `version` is the record's, whose lines differ: the first
// wrote a playlist written onto the destination as a file line without a source, the
// first two wrote no digests.
LineResult ReadFillLine(std::string_view line, int version, RecordedFill& fill) {
  const bool digests = version >= 3;
  RecordedFile file;
  if (const std::optional<LineResult> result =
          ReadFileLine(line, "file", {digests, true, true}, file)) {
    if (*result != LineResult::kTaken) return *result;
    if (file.relative.empty() && file.source.empty()) return LineResult::kDamaged;
    if (!file.source.empty()) {
      fill.files.push_back(std::move(file));
    } else if (version == 1) {
      fill.playlists.push_back(std::move(file));
    } else {
      return LineResult::kDamaged;  // every song carries its source
    }
    return LineResult::kTaken;
  }
  if (version == 1) return LineResult::kDamaged;
  if (const std::optional<LineResult> result =
          ReadFileLine(line, "playlist", {digests, false, false}, file)) {
    if (*result == LineResult::kTaken) fill.playlists.push_back(std::move(file));
    return *result;
  }
  std::string_view fields[2];
  if (SplitFields(line, fields, 2) && fields[0] == "folder") {
    std::string folder;
    const LineResult result = ReadRelative(fields[1], folder);
    if (result == LineResult::kTaken) fill.folders.push_back(std::move(folder));
    return result;
  }
  return LineResult::kDamaged;
}

}  // namespace

std::string TextHash(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string FormatFillRecord(const FillHistory& history) {
  std::string out(kVersionLine);
  out.push_back('\n');
  const std::size_t first =
      history.fills.size() > kKeptFills ? history.fills.size() - kKeptFills : 0;
  for (std::size_t i = first; i < history.fills.size(); ++i) {
    const RecordedFill& fill = history.fills[i];
    const std::size_t lines = fill.files.size() + fill.playlists.size() + fill.folders.size();
    out += "fill\t" + std::to_string(fill.time) + "\t" + std::to_string(lines) + "\n";
    for (const RecordedFile& file : fill.files)
      AppendFileLine(out, "file", file, true);
    for (const RecordedFile& playlist : fill.playlists)
      AppendFileLine(out, "playlist", playlist, false);
    for (const std::string& folder : fill.folders) {
      out += "folder\t";
      AppendEscaped(out, folder);
      out.push_back('\n');
    }
  }
  const std::string checksum = TextHash(out);
  out.append(kEndPrefix).append(checksum).push_back('\n');
  return out;
}

ParsedRecord ParseFillRecord(std::string_view bytes) {
  ParsedRecord parsed;
  const auto fail = [&parsed](RecordProblem problem) {
    parsed.history = {};
    parsed.problem = problem;
    return parsed;
  };
  if (bytes.size() > kMaxRecordBytes) return fail(RecordProblem::kTooLarge);
  Lines lines(bytes);
  std::string_view line;
  if (!lines.Next(line)) return fail(RecordProblem::kForeign);
  const int version = line == kVersionLine         ? 3
                      : line == kSecondVersionLine ? 2
                      : line == kFirstVersionLine  ? 1
                                                   : 0;
  if (version == 0) return fail(RecordProblem::kForeign);

  std::size_t count = 1;
  std::size_t endAt = line.size() + 1;  // where the line being read began
  while (true) {
    const std::size_t lineBegin = endAt;
    if (!lines.Next(line)) return fail(RecordProblem::kDamaged);  // no end line
    endAt += line.size() + 1;
    if (++count > kMaxRecordLines) return fail(RecordProblem::kTooLarge);
    if (line.starts_with(kEndPrefix)) {
      if (line.substr(kEndPrefix.size()) != TextHash(bytes.substr(0, lineBegin)) || !lines.AtEnd())
        return fail(RecordProblem::kDamaged);
      break;
    }
    std::string_view fields[3];
    if (!SplitFields(line, fields, 3) || fields[0] != "fill") return fail(RecordProblem::kDamaged);
    const auto time = NumberOf<std::int64_t>(fields[1], true);
    const auto files = NumberOf<std::size_t>(fields[2]);
    if (!time || !files) return fail(RecordProblem::kDamaged);
    if (*files > kMaxRecordLines) return fail(RecordProblem::kTooLarge);
    RecordedFill& fill = parsed.history.fills.emplace_back();
    fill.time = *time;
    for (std::size_t i = 0; i < *files; ++i) {
      if (!lines.Next(line)) return fail(RecordProblem::kDamaged);
      endAt += line.size() + 1;
      if (++count > kMaxRecordLines) return fail(RecordProblem::kTooLarge);
      switch (ReadFillLine(line, version, fill)) {
        case LineResult::kTaken:
          break;
        case LineResult::kDamaged:
          return fail(RecordProblem::kDamaged);
        case LineResult::kUnsafe:
          return fail(RecordProblem::kUnsafePath);
      }
    }
  }
  if (parsed.history.fills.size() > kKeptFills)
    parsed.history.fills.erase(parsed.history.fills.begin(),
                               parsed.history.fills.end() - kKeptFills);
  return parsed;
}

void AddRecentSources(const FillHistory& history, std::size_t fills,
                      std::unordered_set<std::string_view>& sources) {
  const std::size_t first = history.fills.size() > fills ? history.fills.size() - fills : 0;
  for (std::size_t i = first; i < history.fills.size(); ++i) {
    for (const RecordedFile& file : history.fills[i].files)
      if (!file.source.empty()) sources.insert(file.source);
  }
}

}  // namespace sorvina::engine
