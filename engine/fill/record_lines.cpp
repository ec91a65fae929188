// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/record_lines.h"

#include <cstdio>

#include "platform/content_fingerprint.h"

namespace sorvina::engine::record_lines {
namespace {

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '%';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

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

}  // namespace

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

// A path below the destination: fails as damaged where it is no text as written, as
// unsafe where it leads out of the destination.
LineResult ReadRelative(std::string_view field, std::string& relative) {
  std::optional<std::string> text = Unescaped(field);
  if (!text) return LineResult::kDamaged;
  if (!platform::ContainedFolder::IsContainedPath(*text)) return LineResult::kUnsafe;
  relative = std::move(*text);
  return LineResult::kTaken;
}

// A file line of `kind` with `layout` in `line`: nothing where it is another line.
std::optional<LineResult> ReadFileLine(std::string_view line, std::string_view kind,
                                       FileLine layout, RecordedFile& file) {
  std::string_view fields[6];
  if (!SplitFields(line, fields, layout.FieldCount() + 1) || fields[0] != kind) return std::nullopt;
  return ReadFileFields(fields + 1, layout, file);
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

}  // namespace sorvina::engine::record_lines
