// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_record.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "platform/content_fingerprint.h"

namespace sorvina::engine {
namespace {

constexpr std::string_view kFirstVersionLine = "sorvina-fills 1";
constexpr std::string_view kSecondVersionLine = "sorvina-fills 2";
constexpr std::string_view kVersionLine = "sorvina-fills 3";
constexpr std::string_view kEndPrefix = "end\t";
constexpr std::string_view kFirstJournalVersionLine = "sorvina-journal 1";
constexpr std::string_view kSecondJournalVersionLine = "sorvina-journal 2";
constexpr std::string_view kJournalVersionLine = "sorvina-journal 3";
// The digest field of a file that has none (an entry of a playlist).
constexpr std::string_view kNoDigest = "-";

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '%';
}

void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    } else {
      out.push_back(c);
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The text `field` stands for; nothing for a malformed escape or a raw byte that should
// have been escaped.
std::optional<std::string> Unescaped(std::string_view field) {
  std::string text;
  text.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c != '%') {
      if (NeedsEscape(static_cast<unsigned char>(c))) return std::nullopt;
      text.push_back(c);
      continue;
    }
    const int high = i + 1 < field.size() ? HexDigit(field[i + 1]) : -1;
    const int low = i + 2 < field.size() ? HexDigit(field[i + 2]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    text.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return text;
}

// A whole decimal number, with a sign only where `mayBeNegative`.
template <typename Number>
std::optional<Number> NumberOf(std::string_view text, bool mayBeNegative = false) {
  if (text.empty() || (text.front() == '-' && !mayBeNegative) || text.front() == '+')
    return std::nullopt;
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Splits `line` at tabs into exactly `count` fields; false for any other number.
bool SplitFields(std::string_view line, std::string_view* fields, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t tab = line.find('\t');
    if ((tab == std::string_view::npos) != (i + 1 == count)) return false;
    fields[i] = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
  }
  return true;
}

// "seconds.nanoseconds", nine digits after the point.
std::optional<platform::FileTime> TimeOf(std::string_view text) {
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos || text.size() - point - 1 != 9) return std::nullopt;
  const auto seconds = NumberOf<std::int64_t>(text.substr(0, point), true);
  const auto nanoseconds = NumberOf<std::int32_t>(text.substr(point + 1));
  if (!seconds || !nanoseconds) return std::nullopt;
  return platform::FileTime{*seconds, *nanoseconds};
}

std::string TimeText(const platform::FileTime& time) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%09d", static_cast<long long>(time.seconds),
                static_cast<int>(time.nanoseconds));
  return text;
}

// Reads the lines of a record one by one; a record's last line ends in a line feed too.
class Lines {
 public:
  explicit Lines(std::string_view bytes) : rest_(bytes) {}
  bool Next(std::string_view& line) {
    const std::size_t feed = rest_.find('\n');
    if (feed == std::string_view::npos) return false;
    line = rest_.substr(0, feed);
    rest_.remove_prefix(feed + 1);
    return true;
  }
  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

enum class LineResult { kTaken, kDamaged, kUnsafe };

// A path below the destination: fails as damaged where it is no text as written, as
// unsafe where it leads out of the destination.
LineResult ReadRelative(std::string_view field, std::string& relative) {
  std::optional<std::string> text = Unescaped(field);
  if (!text) return LineResult::kDamaged;
  if (!platform::ContainedFolder::IsContainedPath(*text)) return LineResult::kUnsafe;
  relative = std::move(*text);
  return LineResult::kTaken;
}

// How a file line lays out its fields after its kind: "size<TAB>time", then where
// `digest` "<TAB>digest", then "<TAB>relative", then where `source` "<TAB>source". An
// empty relative path is taken only where `mayBeListed` (an entry of a playlist, which
// lies nowhere in the destination).
struct FileLine {
  bool digest = true;
  bool source = true;
  bool mayBeListed = false;
  std::size_t FieldCount() const { return 3 + (digest ? 1 : 0) + (source ? 1 : 0); }
};

LineResult ReadFileFields(const std::string_view* fields, FileLine layout, RecordedFile& file) {
  const auto size = NumberOf<std::int64_t>(fields[0]);
  const auto modified = TimeOf(fields[1]);
  if (!size || !modified || modified->nanoseconds > 999'999'999) return LineResult::kDamaged;
  file.sizeBytes = *size;
  file.modified = *modified;
  std::size_t next = 2;
  if (layout.digest) {
    const std::string_view digest = fields[next++];
    if (digest != kNoDigest) {
      file.digest = platform::DigestFromText(digest);
      if (!file.digest) return LineResult::kDamaged;
    }
  }
  const std::string_view relative = fields[next++];
  if (layout.source) {
    std::optional<std::string> source = Unescaped(fields[next]);
    if (!source || source->find('\0') != std::string::npos) return LineResult::kDamaged;
    file.source = std::move(*source);
  }
  if (layout.mayBeListed && relative.empty()) return LineResult::kTaken;
  return ReadRelative(relative, file.relative);
}

// A file line of `kind` with `layout` in `line`: nothing where it is another line.
std::optional<LineResult> ReadFileLine(std::string_view line, std::string_view kind,
                                       FileLine layout, RecordedFile& file) {
  std::string_view fields[6];
  if (!SplitFields(line, fields, layout.FieldCount() + 1) || fields[0] != kind) return std::nullopt;
  return ReadFileFields(fields + 1, layout, file);
}

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

void AppendFileLine(std::string& out, std::string_view kind, const RecordedFile& file,
                    bool withSource) {
  out.append(kind).append("\t").append(std::to_string(file.sizeBytes)).append("\t");
  out.append(TimeText(file.modified)).append("\t");
  out.append(file.digest ? platform::DigestText(*file.digest) : std::string(kNoDigest));
  out.push_back('\t');
  AppendEscaped(out, file.relative);
  if (withSource) {
    out.push_back('\t');
    AppendEscaped(out, file.source);
  }
  out.push_back('\n');
}

// The worse of two results: a path that leads out of the destination outweighs damage.
LineResult Worse(LineResult a, LineResult b) {
  if (a == LineResult::kUnsafe || b == LineResult::kUnsafe) return LineResult::kUnsafe;
  return a == LineResult::kTaken ? b : a;
}

// One line of a journal of `version`; damaged for anything not as written.
LineResult ReadJournalLine(std::string_view line, int version, JournalEntry& entry) {
  const bool digests = version >= 2;
  RecordedFile file;
  std::optional<LineResult> result;
  if ((result = ReadFileLine(line, "place", {digests, true, false}, file))) {
    entry.kind = JournalEntry::Kind::kPlace;
    if (file.source.empty()) result = LineResult::kDamaged;
  } else if ((result = ReadFileLine(line, "placed", {digests, false, false}, file))) {
    entry.kind = JournalEntry::Kind::kPlaced;
  } else if (digests && (result = ReadFileLine(line, "playlist", {true, false, false}, file))) {
    entry.kind = JournalEntry::Kind::kPlaylist;
  }
  if (result) {
    if (*result == LineResult::kTaken) {
      entry.relative = std::move(file.relative);
      entry.sizeBytes = file.sizeBytes;
      entry.modified = file.modified;
      entry.source = std::move(file.source);
      entry.digest = file.digest;
    }
    return *result;
  }
  std::string_view fields[3];
  if (SplitFields(line, fields, 2) && fields[0] == "folder") {
    entry.kind = JournalEntry::Kind::kFolder;
    return ReadRelative(fields[1], entry.relative);
  }
  if (SplitFields(line, fields, 2) && fields[0] == "gap") {
    entry.kind = JournalEntry::Kind::kGap;
    return ReadRelative(fields[1], entry.relative);
  }
  if (SplitFields(line, fields, 3) && fields[0] == "move") {
    entry.kind = JournalEntry::Kind::kMove;
    return Worse(ReadRelative(fields[1], entry.relative), ReadRelative(fields[2], entry.to));
  }
  if (SplitFields(line, fields, 3) && (fields[0] == "arrange" || fields[0] == "arranged")) {
    // "arrange FOLDER TEMPORARY"; an empty folder is the destination itself.
    entry.kind =
        fields[0] == "arrange" ? JournalEntry::Kind::kArrange : JournalEntry::Kind::kArranged;
    return Worse(fields[1].empty() ? LineResult::kTaken : ReadRelative(fields[1], entry.to),
                 ReadRelative(fields[2], entry.relative));
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

std::string FormatJournalStart(std::int64_t time, bool replacing,
                               const std::optional<FileDigest>& seal) {
  std::string out(seal ? kJournalVersionLine : kSecondJournalVersionLine);
  out += "\nbegin\t" + std::to_string(time) + "\t" + (replacing ? "1" : "0");
  if (seal) out += "\t" + platform::DigestText(*seal);
  out.push_back('\n');
  return out;
}

std::string FormatJournalLine(const JournalEntry& entry) {
  std::string out;
  const RecordedFile file{entry.relative, entry.sizeBytes, entry.modified, entry.source,
                          entry.digest};
  switch (entry.kind) {
    case JournalEntry::Kind::kPlace:
      AppendFileLine(out, "place", file, true);
      break;
    case JournalEntry::Kind::kPlaced:
      AppendFileLine(out, "placed", file, false);
      break;
    case JournalEntry::Kind::kPlaylist:
      AppendFileLine(out, "playlist", file, false);
      break;
    case JournalEntry::Kind::kFolder:
    case JournalEntry::Kind::kGap:
      out = entry.kind == JournalEntry::Kind::kFolder ? "folder\t" : "gap\t";
      AppendEscaped(out, entry.relative);
      out.push_back('\n');
      break;
    case JournalEntry::Kind::kMove:
      out = "move\t";
      AppendEscaped(out, entry.relative);
      out.push_back('\t');
      AppendEscaped(out, entry.to);
      out.push_back('\n');
      break;
    case JournalEntry::Kind::kArrange:
    case JournalEntry::Kind::kArranged:
      out = entry.kind == JournalEntry::Kind::kArrange ? "arrange\t" : "arranged\t";
      AppendEscaped(out, entry.to);
      out.push_back('\t');
      AppendEscaped(out, entry.relative);
      out.push_back('\n');
      break;
  }
  return out;
}

ParsedJournal ParseFillJournal(std::string_view bytes) {
  ParsedJournal parsed;
  const auto fail = [&parsed](RecordProblem problem) {
    parsed.journal = {};
    parsed.problem = problem;
    return parsed;
  };
  if (bytes.size() > kMaxRecordBytes) return fail(RecordProblem::kTooLarge);
  // Cut off before its first two lines were whole, it tells of nothing done: the fill
  // waits for them to reach the device before its first step.
  const std::string start = std::string(kJournalVersionLine) + "\nbegin\t";
  if (bytes.size() < start.size()
          ? start.starts_with(bytes)
          : bytes.starts_with(start) && bytes.find('\n', start.size()) == std::string_view::npos)
    return parsed;
  Lines lines(bytes);
  std::string_view line;
  std::string_view fields[4];
  if (!lines.Next(line)) return fail(RecordProblem::kForeign);
  const int version = line == kJournalVersionLine         ? 3
                      : line == kSecondJournalVersionLine ? 2
                      : line == kFirstJournalVersionLine  ? 1
                                                          : 0;
  // The third version seals its beginning.
  const std::size_t beginFields = version >= 3 ? 4 : 3;
  if (version == 0 || !lines.Next(line) || !SplitFields(line, fields, beginFields) ||
      fields[0] != "begin" || (fields[2] != "0" && fields[2] != "1"))
    return fail(RecordProblem::kForeign);
  const auto time = NumberOf<std::int64_t>(fields[1], true);
  if (!time) return fail(RecordProblem::kForeign);
  parsed.journal.time = *time;
  parsed.journal.replacing = fields[2] == "1";
  if (version >= 3 && !(parsed.journal.seal = platform::DigestFromText(fields[3])))
    return fail(RecordProblem::kForeign);
  std::size_t count = 2;
  // A line cut short has no line feed: Next leaves it, and what follows a damaged line is
  // not taken either.
  while (lines.Next(line)) {
    if (++count > kMaxRecordLines) return fail(RecordProblem::kTooLarge);
    JournalEntry entry;
    const LineResult result = ReadJournalLine(line, version, entry);
    if (result == LineResult::kUnsafe) return fail(RecordProblem::kUnsafePath);
    if (result == LineResult::kDamaged) break;
    parsed.journal.entries.push_back(std::move(entry));
  }
  return parsed;
}

}  // namespace sorvina::engine
