// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/fill/fill_record.h"
#include "platform/contained_folder.h"

// The line format that the record of fills and the journal of a fill share: tab-separated
// fields, paths escaped as "%XX" where a byte would break a line, times to the nanosecond,
// file lines of a size, a time, a digest, a path and a source. For the readers and writers
// of the two, nobody else.
namespace sorvina::engine::record_lines {

// The digest field of a file that has none (an entry of a playlist).
inline constexpr std::string_view kNoDigest = "-";

// Appends `text` with tabs, line ends, '%' and other control bytes written as "%XX".
void AppendEscaped(std::string& out, std::string_view text);
// The text `field` stands for; nothing for a malformed escape or a raw byte that should
// have been escaped.
std::optional<std::string> Unescaped(std::string_view field);

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
bool SplitFields(std::string_view line, std::string_view* fields, std::size_t count);

// "seconds.nanoseconds", nine digits after the point.
std::optional<platform::FileTime> TimeOf(std::string_view text);
std::string TimeText(const platform::FileTime& time);

// Reads lines one by one; the last line ends in a line feed too.
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

// The worse of two results: a path that leads out of the destination outweighs damage.
LineResult Worse(LineResult a, LineResult b);

// A path below the destination: fails as damaged where it is no text as written, as
// unsafe where it leads out of the destination.
LineResult ReadRelative(std::string_view field, std::string& relative);

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

// A file line of `kind` with `layout` in `line`: nothing where it is another line.
std::optional<LineResult> ReadFileLine(std::string_view line, std::string_view kind,
                                       FileLine layout, RecordedFile& file);
// Appends the file line of `kind` for `file`, with its source where `withSource`.
void AppendFileLine(std::string& out, std::string_view kind, const RecordedFile& file,
                    bool withSource);

}  // namespace sorvina::engine::record_lines
