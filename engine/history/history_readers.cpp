// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/history/history_readers.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>

namespace sorvina::engine::history {
namespace {

constexpr std::int64_t kDaySeconds = 86'400;

// A whole number of `text`, nothing else around it; nothing for a negative or overlong one.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < 0) return std::nullopt;
  return value;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// Reads `count` digits at `at` into `value`.
bool Digits(std::string_view text, std::size_t& at, std::size_t count, unsigned& value) {
  if (text.size() - at < count) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  at += count;
  return true;
}

// Splits `text` at each `separator`, at most `most` parts (the last keeps the rest).
std::vector<std::string_view> Split(std::string_view text, char separator, std::size_t most) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < most) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  parts.push_back(text);
  return parts;
}

// Calls `line` with each whole line of `bytes` (line feed removed, and a carriage return
// before it) that is neither too long nor holds a NUL byte; counts those as damaged. Stops
// before a last line without its line feed, which may still be being written.
template <class LineFunction>
void ForEachLine(std::string_view bytes, const ReadLimits& limits, SourceRead& read,
                 LineFunction line) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) break;
    std::string_view text = bytes.substr(at, end - at);
    at = end + 1;
    read.consumed = at;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text.empty()) continue;
    if (text.size() > limits.maxLineBytes || text.find('\0') != std::string_view::npos) {
      ++read.damaged;
      continue;
    }
    if (read.entries.size() >= limits.maxEntries) {
      read.cut = true;
      return;
    }
    line(text);
  }
}

// A listen of one song at `at`: a play, or a skip.
HeardEntry Listen(bool played, std::optional<std::int64_t> at) {
  HeardEntry entry;
  if (played) {
    entry.playCount = 1;
    entry.lastPlayed = at;
  } else {
    entry.lastSkipped = at;
  }
  return entry;
}

// The offset of local time from UTC at `seconds`.
std::int64_t LocalOffset(std::int64_t seconds) {
  const auto time = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

std::string Bounded(std::string_view text, const ReadLimits& limits) {
  return std::string(text.substr(0, limits.maxLineBytes));
}

}  // namespace

std::optional<std::int64_t> PlausibleDate(std::int64_t seconds, std::int64_t now) {
  if (seconds < kEarliestPlayDate || seconds > now + kDaySeconds) return std::nullopt;
  return seconds;
}

std::optional<std::int64_t> ParseDate(std::string_view text) {
  if (text.empty() || text.size() > 40) return std::nullopt;
  if (text.find('-') == std::string_view::npos) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    if (point != std::string_view::npos &&
        text.find_first_not_of("0123456789", point + 1) != std::string_view::npos)
      return std::nullopt;
    return WholeNumber(whole);
  }
  std::size_t at = 0;
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, at, 4, year) || at >= text.size() || text[at++] != '-' ||
      !Digits(text, at, 2, month) || at >= text.size() || text[at++] != '-' ||
      !Digits(text, at, 2, day))
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  std::int64_t offset = 0;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != ' ') return std::nullopt;
    ++at;
    if (!Digits(text, at, 2, hour) || at >= text.size() || text[at++] != ':' ||
        !Digits(text, at, 2, minute))
      return std::nullopt;
    if (at < text.size() && text[at] == ':') {
      ++at;
      if (!Digits(text, at, 2, second)) return std::nullopt;
    }
    if (at < text.size() && text[at] == '.') {
      ++at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        ++at;
    }
    if (at < text.size() && text[at] == 'Z') {
      ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
      const bool ahead = text[at++] == '+';
      unsigned offsetHours = 0, offsetMinutes = 0;
      if (!Digits(text, at, 2, offsetHours)) return std::nullopt;
      if (at < text.size() && text[at] == ':') ++at;
      if (!Digits(text, at, 2, offsetMinutes)) return std::nullopt;
      offset = (offsetHours * 60 + offsetMinutes) * 60;
      if (ahead) offset = -offset;
    }
    if (at != text.size() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  }
  const std::int64_t seconds =
      DaysFromCivil(year, month, day) * kDaySeconds + hour * 3600 + minute * 60 + second + offset;
  if (seconds < 0) return std::nullopt;
  return seconds;
}

bool CountsAsPlay(std::int64_t elapsedMs, std::int64_t lengthMs) {
  if (lengthMs <= 0) return elapsedMs >= 30'000;
  return elapsedMs >= 240'000 || elapsedMs * 2 >= lengthMs;
}

SourceRead ParsePlaybackLog(std::string_view bytes, std::int64_t now, const ReadLimits& limits) {
  SourceRead read;
  ForEachLine(bytes, limits, read, [&](std::string_view line) {
    if (line.front() == '#') return;
    const std::vector<std::string_view> fields = Split(line, ':', 4);
    const auto time = fields.size() == 4 ? WholeNumber(fields[0]) : std::nullopt;
    const auto elapsed = fields.size() == 4 ? WholeNumber(fields[1]) : std::nullopt;
    const auto length = fields.size() == 4 ? WholeNumber(fields[2]) : std::nullopt;
    if (!time || !elapsed || !length || fields[3].empty() || fields[3].front() != '/') {
      ++read.damaged;
      return;
    }
    HeardEntry entry = Listen(CountsAsPlay(*elapsed, *length), PlausibleDate(*time, now));
    entry.path = std::string(fields[3]);
    entry.seconds = *length / 1000;
    read.entries.push_back(std::move(entry));
  });
  return read;
}

SourceRead ParseScrobblerLog(std::string_view bytes, std::int64_t now, const ReadLimits& limits) {
  SourceRead read;
  bool utc = false;
  ForEachLine(bytes, limits, read, [&](std::string_view line) {
    if (line.front() == '#') {
      if (line == "#TZ/UTC") utc = true;
      return;
    }
    const std::vector<std::string_view> fields = Split(line, '\t', 9);
    if (fields.size() < 7 || fields.size() > 8 || (fields[5] != "L" && fields[5] != "S")) {
      ++read.damaged;
      return;
    }
    const auto length = WholeNumber(fields[4]);
    auto time = WholeNumber(fields[6]);
    if (!length || !time || fields[2].empty()) {
      ++read.damaged;
      return;
    }
    if (!utc) *time -= LocalOffset(*time);
    HeardEntry entry = Listen(fields[5] == "L", PlausibleDate(*time, now));
    entry.artist = std::string(fields[0]);
    entry.title = std::string(fields[2]);
    entry.seconds = *length;
    if (fields.size() == 8) entry.recordingId = LowerAscii(fields[7]);
    read.entries.push_back(std::move(entry));
  });
  return read;
}

namespace {

using Json = nlohmann::json;

// Listens are taken out of the document as soon as each is parsed, and dropped from it,
// so that a large export is never held whole; values nested deeper than any listen's
// fields are dropped unread.
constexpr int kDeepestListenValue = 8;

// Thrown to stop the parser once enough listens were read.
struct EnoughListens {};

std::string TextOf(const Json& object, const char* key, const ReadLimits& limits) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return {};
  return Bounded(found->get_ref<const std::string&>(), limits);
}

std::optional<std::int64_t> NumberOf(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return std::nullopt;
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<std::int64_t>(value);
  }
  if (found->is_number_integer()) {
    const auto value = found->get<std::int64_t>();
    return value < 0 ? std::nullopt : std::optional(value);
  }
  if (found->is_number_float()) {
    const double value = found->get<double>();
    if (!(value >= 0 && value < 9e15)) return std::nullopt;
    return static_cast<std::int64_t>(value);
  }
  if (found->is_string()) return ParseDate(found->get_ref<const std::string&>());
  return std::nullopt;
}

// Takes the listen `value` where it is one: true when it was (read or damaged).
bool TakeListen(const Json& value, std::int64_t now, const ReadLimits& limits, SourceRead& read) {
  if (!value.is_object() || !value.contains("listened_at")) return false;
  const auto at = NumberOf(value, "listened_at");
  const auto metadata = value.find("track_metadata");
  if (!at || metadata == value.end() || !metadata->is_object()) {
    ++read.damaged;
    return true;
  }
  if (read.entries.size() >= limits.maxEntries) {
    read.cut = true;
    throw EnoughListens();
  }
  HeardEntry entry = Listen(true, PlausibleDate(*at, now));
  entry.artist = TextOf(*metadata, "artist_name", limits);
  entry.title = TextOf(*metadata, "track_name", limits);
  const auto info = metadata->find("additional_info");
  if (info != metadata->end() && info->is_object()) {
    entry.recordingId = LowerAscii(TextOf(*info, "recording_mbid", limits));
    if (const auto ms = NumberOf(*info, "duration_ms")) {
      entry.seconds = *ms / 1000;
    } else if (const auto seconds = NumberOf(*info, "duration")) {
      entry.seconds = *seconds;
    }
  }
  const auto mapping = value.find("mbid_mapping");
  if (entry.recordingId.empty() && mapping != value.end() && mapping->is_object())
    entry.recordingId = LowerAscii(TextOf(*mapping, "recording_mbid", limits));
  if (entry.title.empty()) {
    ++read.damaged;
    return true;
  }
  read.entries.push_back(std::move(entry));
  return true;
}

// Parses one JSON document of `text`, taking the listens in it; false where it is no
// well-formed document (the listens before the damage are kept).
bool ParseListenDocument(std::string_view text, std::int64_t now, const ReadLimits& limits,
                         SourceRead& read) {
  const Json::parser_callback_t take = [&](int depth, Json::parse_event_t event, Json& parsed) {
    if (depth > kDeepestListenValue) return false;
    if (event != Json::parse_event_t::object_end) return true;
    return !TakeListen(parsed, now, limits, read);
  };
  try {
    [[maybe_unused]] const Json rest = Json::parse(text.begin(), text.end(), take);
    return true;
  } catch (const Json::exception&) {
    return false;
  }
}

}  // namespace

SourceRead ParseListens(std::string_view bytes, std::int64_t now, const ReadLimits& limits) {
  SourceRead read;
  try {
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return read;
    if (ParseListenDocument(bytes, now, limits, read)) return read;
    if (bytes[first] != '{') {
      ++read.damaged;
      return read;
    }
    // One listen per line: each line its own document.
    read = {};
    ReadLimits lines = limits;
    lines.maxLineBytes = 64 * 1024;
    ForEachLine(std::string(bytes) + "\n", lines, read, [&](std::string_view line) {
      if (!ParseListenDocument(line, now, limits, read)) ++read.damaged;
    });
    read.consumed = 0;
  } catch (const EnoughListens&) {
  }
  return read;
}

// ---- Songs kept as XML ----

struct SongXmlReader::State {
  std::int64_t now;
  ReadLimits limits;
  XML_Parser parser = nullptr;
  SourceRead read;
  bool stopped = false;
  int depth = 0;
  int entryDepth = 0;  // the depth of the song being read; 0 outside one
  bool entryDamaged = false;
  std::string field;  // the name of the field being read; empty outside one
  std::string text;
  HeardEntry entry;
  std::optional<std::int64_t> playCount;

  void Stop() {
    stopped = true;
    XML_StopParser(parser, XML_FALSE);
  }
};

namespace {

constexpr int kDeepestXml = 64;
const char* const kSongFields[] = {"location",   "title",       "artist",    "duration",
                                   "play-count", "last-played", "mb-trackid"};

void XMLCALL StartElement(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& state = *static_cast<SongXmlReader::State*>(data);
  if (++state.depth > kDeepestXml) {
    ++state.read.damaged;
    state.Stop();
    return;
  }
  const std::string_view element(name);
  if (state.entryDepth == 0) {
    if (element != "entry") return;
    for (const XML_Char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
      if (std::string_view(attribute[0]) == "type" && std::string_view(attribute[1]) == "song") {
        state.entryDepth = state.depth;
        state.entry = {};
        state.playCount.reset();
        state.entryDamaged = false;
      }
    }
    return;
  }
  state.field.clear();
  if (state.depth != state.entryDepth + 1) return;
  for (const char* field : kSongFields) {
    if (element == field) state.field = field;
  }
  state.text.clear();
}

void XMLCALL Characters(void* data, const XML_Char* text, int length) {
  auto& state = *static_cast<SongXmlReader::State*>(data);
  if (state.field.empty() || length <= 0) return;
  if (state.text.size() + static_cast<std::size_t>(length) > state.limits.maxLineBytes) {
    state.entryDamaged = true;
    return;
  }
  state.text.append(text, static_cast<std::size_t>(length));
}

void EndSong(SongXmlReader::State& state) {
  state.entryDepth = 0;
  HeardEntry& entry = state.entry;
  // Songs never played are of no interest.
  const bool heard = state.playCount.value_or(0) > 0 || entry.lastPlayed;
  if (!state.entryDamaged && !heard) return;
  if (state.entryDamaged || (entry.path.empty() && entry.title.empty())) {
    ++state.read.damaged;
    return;
  }
  if (state.read.entries.size() >= state.limits.maxEntries) {
    state.read.cut = true;
    state.Stop();
    return;
  }
  entry.playCount = state.playCount.value_or(0);
  state.read.entries.push_back(std::move(entry));
}

void XMLCALL EndElement(void* data, const XML_Char* /*name*/) {
  auto& state = *static_cast<SongXmlReader::State*>(data);
  if (state.entryDepth != 0 && state.depth == state.entryDepth) {
    EndSong(state);
  } else if (!state.field.empty()) {
    const std::string& text = state.text;
    HeardEntry& entry = state.entry;
    const std::string_view field = state.field;
    if (field == "location") {
      // Streams and other places than files name no song of the library by path.
      entry.path = PathOfFileUri(text).value_or("");
    } else if (field == "title") {
      entry.title = text;
    } else if (field == "artist") {
      entry.artist = text;
    } else if (field == "mb-trackid") {
      entry.recordingId = LowerAscii(text);
    } else if (field == "duration") {
      entry.seconds = WholeNumber(text).value_or(0);
    } else if (field == "play-count") {
      state.playCount = WholeNumber(text);
      if (!state.playCount) state.entryDamaged = true;
    } else if (field == "last-played") {
      const auto at = WholeNumber(text);
      if (!at) state.entryDamaged = true;
      if (at) entry.lastPlayed = PlausibleDate(*at, state.now);
    }
    state.field.clear();
  }
  --state.depth;
}

// A document that declares entities could make a small file expand without bound.
void XMLCALL EntityDeclared(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                            const XML_Char*, const XML_Char*, const XML_Char*) {
  auto& state = *static_cast<SongXmlReader::State*>(data);
  ++state.read.damaged;
  state.Stop();
}

}  // namespace

SongXmlReader::SongXmlReader(std::int64_t now, const ReadLimits& limits)
    : state_(std::make_unique<State>()) {
  state_->now = now;
  state_->limits = limits;
  state_->parser = XML_ParserCreate(nullptr);
  if (state_->parser == nullptr) {
    state_->stopped = true;
    return;
  }
  XML_SetUserData(state_->parser, state_.get());
  XML_SetElementHandler(state_->parser, StartElement, EndElement);
  XML_SetCharacterDataHandler(state_->parser, Characters);
  XML_SetEntityDeclHandler(state_->parser, EntityDeclared);
}

SongXmlReader::~SongXmlReader() {
  if (state_->parser != nullptr) XML_ParserFree(state_->parser);
}

bool SongXmlReader::Feed(std::string_view piece, bool last) {
  if (state_->stopped) return false;
  while (!piece.empty() || last) {
    const std::size_t size = std::min<std::size_t>(piece.size(), 1 << 20);
    const bool final = last && size == piece.size();
    if (XML_Parse(state_->parser, piece.data(), static_cast<int>(size), final) ==
        XML_STATUS_ERROR) {
      if (!state_->stopped) ++state_->read.damaged;
      state_->stopped = true;
      return false;
    }
    piece.remove_prefix(size);
    if (final) break;
  }
  return !state_->stopped;
}

SourceRead SongXmlReader::Take() {
  return std::move(state_->read);
}

SourceRead ParseSongXml(std::string_view bytes, std::int64_t now, const ReadLimits& limits) {
  SongXmlReader reader(now, limits);
  reader.Feed(bytes, true);
  return reader.Take();
}

std::optional<std::string> PathOfFileUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size() || LowerAscii(uri.substr(0, kScheme.size())) != kScheme)
    return std::nullopt;
  uri.remove_prefix(kScheme.size());
  // "file://localhost/..." names this computer too.
  if (uri.starts_with("localhost/")) uri.remove_prefix(9);
  if (uri.empty() || uri.front() != '/') return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] != '%') {
      path += uri[i];
      continue;
    }
    unsigned value = 0;
    const auto [stop, error] =
        i + 2 < uri.size() ? std::from_chars(uri.data() + i + 1, uri.data() + i + 3, value, 16)
                           : std::from_chars_result{nullptr, std::errc::invalid_argument};
    if (error != std::errc() || stop != uri.data() + i + 3) return std::nullopt;
    path += static_cast<char>(value);
    i += 2;
  }
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace sorvina::engine::history
