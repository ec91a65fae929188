#include "engine/settings_file.h"

#include <string_view>

#include <climits>

#include "platform/text_lines.h"

namespace sorvina::engine {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The count at the start of a line: leading white space, an optional sign and the digits
// up to the first other character; 0 without digits. Counts beyond the range of int are
// held at its ends rather than wrapping.
int CountOf(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && IsSpace(line[at]))
    ++at;
  bool negative = false;
  if (at < line.size() && (line[at] == '+' || line[at] == '-')) {
    negative = line[at] == '-';
    ++at;
  }
  long long value = 0;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
    value = value * 10 + (line[at] - '0');
    if (value > INT_MAX) {
      value = static_cast<long long>(INT_MAX) + 1;  // enough to clamp either way
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// The limit line: the mode as one character, a blank, the amount. A mode the reader could
// not take back from one digit (only a hand-edited file gives one) is written as '-',
// which reads as no valid mode, so that the amount after it still reads as it was.
std::string LimitLine(int limitMode, const std::string& amountText) {
  const char mode = limitMode >= 0 && limitMode <= 9 ? static_cast<char>('0' + limitMode) : '-';
  return std::string(1, mode) + ' ' + amountText;
}

}  // namespace

SettingsWriteResult WriteSettingsFile(const std::string& path, const SelectionSettings& settings) {
  std::vector<std::string_view> values;
  const std::string sourceCount = std::to_string(settings.sources.size());
  const std::string weightCount = std::to_string(settings.folderWeights.size());
  const std::string limitLine = LimitLine(settings.limitMode, settings.amountText);
  values.push_back(sourceCount);
  for (const std::string& source : settings.sources)
    values.push_back(source);
  values.push_back(settings.destination);
  values.push_back(weightCount);
  for (const FolderWeight& weight : settings.folderWeights)
    values.push_back(weight.entryText);
  values.push_back(limitLine);
  // A line feed inside a value would end its line early and shift every field after it;
  // such a file would read back as something else, so none is written.
  for (std::string_view value : values) {
    if (value.find('\n') != std::string_view::npos) return SettingsWriteResult::kCannotWrite;
  }

  platform::LineWriter writer;
  if (!writer.Open(path)) return SettingsWriteResult::kCannotOpen;
  for (std::string_view value : values) {
    if (!writer.WriteLine(value)) return SettingsWriteResult::kCannotWrite;
  }
  return writer.Commit() ? SettingsWriteResult::kWritten : SettingsWriteResult::kCannotWrite;
}

std::optional<SettingsFileContents> ReadSettingsFile(const std::string& path) {
  platform::LineReader reader;
  if (!reader.Open(path)) return std::nullopt;
  SettingsFileContents contents;
  std::string line;
  // Counts come from the file and may be absurd: entries are added as lines arrive, never
  // reserved ahead, and the end of the file ends every list. A line missing at the end
  // reads as empty (Next empties `line` when there is none), so a missing count is 0.
  reader.Next(line);
  const int sourceCount = CountOf(line);
  for (int i = 0; i < sourceCount && reader.Next(line); ++i)
    contents.sources.push_back(line);
  reader.Next(line);
  contents.destination = line;
  reader.Next(line);
  const int weightCount = CountOf(line);
  for (int i = 0; i < weightCount && reader.Next(line); ++i)
    contents.folderWeights.push_back(FolderWeight{line, {}, 1.0});
  if (reader.Next(line)) {
    // An empty line has no first character; the terminating zero stands in for it, which
    // gives a mode that is none of the three.
    const int first = line.empty() ? 0 : static_cast<unsigned char>(line[0]);
    contents.limitMode = first - '0';
    contents.amountText = line.size() > 2 ? line.substr(2) : std::string();
  } else {
    contents.limitMode = kLimitMegabytes;
    contents.amountText.clear();
  }
  // A read error is no short file: settings made of the lines before it would replace
  // the user's with something the file does not say.
  if (reader.failed()) return std::nullopt;
  return contents;
}

}  // namespace sorvina::engine
