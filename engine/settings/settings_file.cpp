// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/settings_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include <climits>

#include "engine/settings/conversion_choice.h"
#include "engine/settings/filter_options.h"
#include "engine/settings/folder_weights.h"
#include "media/file_types.h"
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

// One option's "name=value" line: its name, its value as written (nothing at its
// default, so that the line is left out), and how a value is read back (false for one
// the option cannot take, which leaves it as it was).
struct OptionLine {
  std::string_view name;
  std::optional<std::string> (*write)(const ExtraOptions& options);
  bool (*read)(std::string_view value, ExtraOptions& options);
};

std::optional<std::string> FlagText(bool value) {
  return value ? std::optional<std::string>("1") : std::nullopt;
}

bool ReadFlag(std::string_view value, bool& flag) {
  if (value != "0" && value != "1") return false;
  flag = value == "1";
  return true;
}

// A count from 0 up, in decimal digits only.
bool ReadCount(std::string_view value, int& count) {
  int read = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), read);
  if (error != std::errc() || end != value.data() + value.size() || read < 0) return false;
  count = read;
  return true;
}

// "mp3,flac": names in lower case, blanks around them dropped; an empty list is none to
// read. Names no type has are kept as written: the collection passes them over.
bool ReadTypes(std::string_view value, std::vector<std::string>& types) {
  std::vector<std::string> read = media::ParseTypeList(value);
  if (read.empty()) return false;
  types = std::move(read);
  return true;
}

// A loudness target as written: "-16", "-14.5" (one decimal at most, a point always).
std::string LoudnessText(double lufs) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", lufs);
  std::string written = text;
  if (written.ends_with(".0")) written.resize(written.size() - 2);
  return written;
}

// A decimal as written: the shortest text that reads back the same ("5", "0.25").
std::string DecimalText(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string();
}

// A loudness target from -40 to -5 LUFS, in decimal with a point.
bool ReadLoudness(std::string_view value, std::optional<double>& loudness) {
  double read = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), read);
  if (error != std::errc() || end != value.data() + value.size() || !(read >= -40 && read <= -5))
    return false;
  loudness = read;
  return true;
}

// The option lines in the order they are written.
constexpr std::array<OptionLine, 23> kOptionLines = {{
    {"fill", [](const ExtraOptions& o) { return FlagText(o.fill); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.fill); }},
    {"keep-folders", [](const ExtraOptions& o) { return FlagText(o.keepFolders); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.keepFolders); }},
    {"replace-previous", [](const ExtraOptions& o) { return FlagText(o.replacePrevious); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.replacePrevious); }},
    // "heard": only the previous fill's songs played since are replaced; "all": every one.
    {"replace",
     [](const ExtraOptions& o) {
       return o.replacePrevious && o.replaceHeard ? std::optional<std::string>("heard")
                                                  : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) {
       if (v != "heard" && v != "all") return false;
       o.replaceHeard = v == "heard";
       o.replacePrevious = true;
       return true;
     }},
    {"avoid-last",
     [](const ExtraOptions& o) {
       return o.avoidLast > 0 ? std::optional<std::string>(std::to_string(o.avoidLast))
                              : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) { return ReadCount(v, o.avoidLast); }},
    {"device-playlist",
     [](const ExtraOptions& o) {
       return o.devicePlaylist.empty() ? std::nullopt
                                       : std::optional<std::string>(o.devicePlaylist);
     },
     [](std::string_view v, ExtraOptions& o) {
       o.devicePlaylist = v;
       return true;
     }},
    {"relative", [](const ExtraOptions& o) { return FlagText(o.relative); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.relative); }},
    {"types",
     [](const ExtraOptions& o) {
       return o.fileTypes == ExtraOptions().fileTypes
                  ? std::nullopt
                  : std::optional<std::string>(media::JoinTypeList(o.fileTypes));
     },
     [](std::string_view v, ExtraOptions& o) { return ReadTypes(v, o.fileTypes); }},
    {"player",
     [](const ExtraOptions& o) {
       return o.player.empty() || o.player == "any" ? std::nullopt
                                                    : std::optional<std::string>(o.player);
     },
     [](std::string_view v, ExtraOptions& o) {
       o.player = v == "any" ? std::string() : std::string(v);
       return true;
     }},
    {"order", [](const ExtraOptions& o) { return FlagText(o.order); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.order); }},
    {"number", [](const ExtraOptions& o) { return FlagText(o.number); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.number); }},
    {"convert",
     [](const ExtraOptions& o) {
       return o.convert.empty() ? std::nullopt : std::optional<std::string>(o.convert);
     },
     [](std::string_view v, ExtraOptions& o) {
       if (!ParseConversionChoice(v)) return false;
       o.convert = v;
       return true;
     }},
    {"bitrate",
     [](const ExtraOptions& o) {
       return o.bitrate > 0 ? std::optional<std::string>(std::to_string(o.bitrate)) : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) { return ReadCount(v, o.bitrate); }},
    {"loudness",
     [](const ExtraOptions& o) {
       return o.loudness ? std::optional<std::string>(LoudnessText(*o.loudness)) : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) { return ReadLoudness(v, o.loudness); }},
    {"max-per-artist",
     [](const ExtraOptions& o) {
       return o.maxPerArtist > 0 ? std::optional<std::string>(std::to_string(o.maxPerArtist))
                                 : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) { return ReadCount(v, o.maxPerArtist); }},
    {"spread", [](const ExtraOptions& o) { return FlagText(o.spread); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.spread); }},
    {"rating-weights",
     [](const ExtraOptions& o) {
       return o.ratingWeights ? std::optional<std::string>(RatingWeightsText(*o.ratingWeights))
                              : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) {
       const std::optional<std::array<double, 6>> weights = ParseRatingWeights(v);
       if (!weights) return false;
       o.ratingWeights = weights;
       return true;
     }},
    {"balance",
     [](const ExtraOptions& o) {
       return o.balance == DrawBalance::kNone
                  ? std::nullopt
                  : std::optional<std::string>(DrawBalanceName(o.balance));
     },
     [](std::string_view v, ExtraOptions& o) {
       const std::optional<DrawBalance> balance = ParseDrawBalance(v);
       if (!balance) return false;
       o.balance = *balance;
       return true;
     }},
    {"albums", [](const ExtraOptions& o) { return FlagText(o.albums); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.albums); }},
    {"prefer-unplayed", [](const ExtraOptions& o) { return FlagText(o.preferUnplayed); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.preferUnplayed); }},
    {"avoid-played",
     [](const ExtraOptions& o) {
       return o.avoidPlayedDays > 0 ? std::optional<std::string>(std::to_string(o.avoidPlayedDays))
                                    : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) { return ReadCount(v, o.avoidPlayedDays); }},
    {"split-chapters", [](const ExtraOptions& o) { return FlagText(o.splitChapters); },
     [](std::string_view v, ExtraOptions& o) { return ReadFlag(v, o.splitChapters); }},
    {"books-ahead",
     [](const ExtraOptions& o) {
       return o.booksAheadHours != ExtraOptions{}.booksAheadHours
                  ? std::optional<std::string>(DecimalText(o.booksAheadHours))
                  : std::nullopt;
     },
     [](std::string_view v, ExtraOptions& o) {
       double hours = 0;
       const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), hours);
       if (error != std::errc() || end != v.data() + v.size() || !(hours > 0) || hours > 10000)
         return false;
       o.booksAheadHours = hours;
       return true;
     }},
}};

// The play history's files, one "history=FILE" line each, after the other options.
constexpr std::string_view kHistoryName = "history";
// The folders of books, one "books=FOLDER" line each, after the history's.
constexpr std::string_view kBooksName = "books";

// "name=value" lines of the options that differ from their defaults.
std::vector<std::string> OptionLines(const ExtraOptions& options) {
  std::vector<std::string> lines;
  for (const OptionLine& option : kOptionLines) {
    if (const std::optional<std::string> value = option.write(options))
      lines.push_back(std::string(option.name) + '=' + *value);
  }
  for (const std::string& source : options.historySources)
    lines.push_back(std::string(kHistoryName) + '=' + source);
  for (const std::string& folder : options.bookFolders)
    lines.push_back(std::string(kBooksName) + '=' + folder);
  for (std::string& line : FilterOptionLines(options))
    lines.push_back(std::move(line));
  return lines;
}

// The entered state's lines: each field that holds something, in this order.
constexpr std::string_view kCopyName = "copy";
constexpr std::string_view kMegabytesName = "mb";
constexpr std::string_view kHoursName = "hours";

std::vector<std::string> EnteredLines(const EnteredState& entered) {
  std::vector<std::string> lines;
  if (entered.copyToFolder)
    lines.push_back(std::string(kCopyName) + '=' + (*entered.copyToFolder ? "1" : "0"));
  if (entered.megabytesText)
    lines.push_back(std::string(kMegabytesName) + '=' + *entered.megabytesText);
  if (entered.hoursText) lines.push_back(std::string(kHoursName) + '=' + *entered.hoursText);
  return lines;
}

// Sets the option or entered field that `line` names; any other line is passed over.
void ReadOptionLine(std::string_view line, SettingsFileContents& contents) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view name = line.substr(0, equals);
  const std::string_view value = line.substr(equals + 1);
  for (const OptionLine& option : kOptionLines) {
    if (name == option.name) option.read(value, contents.settings.options);
  }
  if (name == kHistoryName && !value.empty())
    contents.settings.options.historySources.emplace_back(value);
  if (name == kBooksName && !value.empty())
    contents.settings.options.bookFolders.emplace_back(value);
  (void)ReadFilterOptionLine(name, value, contents.settings.options);
  if (name == kCopyName) {
    bool copy = false;
    if (ReadFlag(value, copy)) contents.entered.copyToFolder = copy;
  } else if (name == kMegabytesName) {
    contents.entered.megabytesText = std::string(value);
  } else if (name == kHoursName) {
    contents.entered.hoursText = std::string(value);
  }
}

}  // namespace

std::optional<std::array<double, 6>> ParseRatingWeights(std::string_view text, std::string* why) {
  const auto refuse = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return std::nullopt;
  };
  std::array<double, 6> weights{};
  std::size_t count = 0;
  bool anyAbove = false;
  for (std::size_t begin = 0;; ++count) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    std::string_view field = text.substr(begin, comma - begin);
    while (!field.empty() && IsSpace(field.front()))
      field.remove_prefix(1);
    while (!field.empty() && IsSpace(field.back()))
      field.remove_suffix(1);
    if (count == weights.size())
      return refuse("expected six weights (unrated, then 1 to 5 stars), got more");
    double weight = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), weight,
                                              std::chars_format::general);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() ||
        !std::isfinite(weight))
      return refuse("'" + std::string(field) + "' is not a decimal number");
    if (weight < 0) return refuse("a weight may not be negative: '" + std::string(field) + "'");
    // Times a folder's weight, the product must stay a finite number.
    if (weight >= kWeightLimit)
      return refuse("a weight must be below 1e96: '" + std::string(field) + "'");
    weights[count] = weight;
    anyAbove = anyAbove || weight > 0;
    if (comma == text.size()) break;
    begin = comma + 1;
  }
  if (count + 1 != weights.size())
    return refuse("expected six weights (unrated, then 1 to 5 stars), got " +
                  std::to_string(count + 1));
  if (!anyAbove) return refuse("at least one weight must be above 0");
  return weights;
}

namespace {
constexpr std::array<std::pair<DrawBalance, std::string_view>, 4> kBalanceNames = {{
    {DrawBalance::kNone, "none"},
    {DrawBalance::kArtist, "artist"},
    {DrawBalance::kAlbum, "album"},
    {DrawBalance::kFolder, "folder"},
}};
}  // namespace

std::optional<DrawBalance> ParseDrawBalance(std::string_view text) {
  for (const auto& [balance, name] : kBalanceNames)
    if (text == name) return balance;
  return std::nullopt;
}

std::string_view DrawBalanceName(DrawBalance balance) {
  for (const auto& [known, name] : kBalanceNames)
    if (known == balance) return name;
  return "none";
}

std::string RatingWeightsText(const std::array<double, 6>& weights) {
  std::string text;
  for (const double weight : weights) {
    char number[32];
    const auto written = std::to_chars(number, number + sizeof number, weight);
    if (!text.empty()) text += ',';
    text.append(number, written.ptr);
  }
  return text;
}

SettingsWriteResult WriteSettingsFile(const std::string& path, const SettingsText& settings,
                                      const EnteredState* entered) {
  std::vector<std::string_view> values;
  const std::string sourceCount = std::to_string(settings.sources.size());
  const std::string weightCount = std::to_string(settings.weightEntries.size());
  const std::string limitLine = LimitLine(settings.limitMode, settings.amountText);
  values.push_back(sourceCount);
  for (const std::string& source : settings.sources)
    values.push_back(source);
  values.push_back(settings.destination);
  values.push_back(weightCount);
  for (const std::string& entry : settings.weightEntries)
    values.push_back(entry);
  values.push_back(limitLine);
  const std::vector<std::string> optionLines = OptionLines(settings.options);
  for (const std::string& line : optionLines)
    values.push_back(line);
  const std::vector<std::string> enteredLines =
      entered ? EnteredLines(*entered) : std::vector<std::string>();
  for (const std::string& line : enteredLines)
    values.push_back(line);
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
  SettingsText& settings = contents.settings;
  std::string line;
  // Counts come from the file and may be absurd: entries are added as lines arrive, never
  // reserved ahead, and the end of the file ends every list. A line missing at the end
  // reads as empty (Next empties `line` when there is none), so a missing count is 0.
  reader.Next(line);
  const int sourceCount = CountOf(line);
  for (int i = 0; i < sourceCount && reader.Next(line); ++i)
    settings.sources.push_back(line);
  reader.Next(line);
  settings.destination = line;
  settings.copyToFolder = !DestinationIsPlaylist(settings.destination);
  reader.Next(line);
  const int weightCount = CountOf(line);
  for (int i = 0; i < weightCount && reader.Next(line); ++i)
    settings.weightEntries.push_back(line);
  if (reader.Next(line)) {
    // An empty line has no first character; the terminating zero stands in for it, which
    // gives a mode that is none of the three.
    const int first = line.empty() ? 0 : static_cast<unsigned char>(line[0]);
    settings.limitMode = first - '0';
    settings.amountText = line.size() > 2 ? line.substr(2) : std::string();
  } else {
    settings.limitMode = kLimitMegabytes;
    settings.amountText.clear();
  }
  while (reader.Next(line))
    ReadOptionLine(line, contents);
  // A read error is no short file: settings made of the lines before it would replace
  // the user's with something the file does not say.
  if (reader.failed()) return std::nullopt;
  return contents;
}

}  // namespace sorvina::engine
