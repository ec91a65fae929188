// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/player/player_profile.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <span>

#include "media/file_types.h"
#include "text/user_text.h"

namespace sorvina::engine {
namespace {

using media::AudioFormat;

constexpr std::string_view kBlanks = " \t\r";

// Why a profile file is refused: what ProfileError::reason holds, marked for translation.
constexpr const char* kNotWholeNumberReason = SORVINA_TEXT("sorvina", "not a whole number");
constexpr const char* kTooLargeReason = SORVINA_TEXT("sorvina", "too large");
constexpr const char* kAtLeastOneReason = SORVINA_TEXT("sorvina", "must be at least 1");
constexpr const char* kAtLeastEightReason = SORVINA_TEXT("sorvina", "must be at least 8");
constexpr const char* kNotTrueOrFalseReason = SORVINA_TEXT("sorvina", "not true or false");
constexpr const char* kNotTextReason = SORVINA_TEXT("sorvina", "not text");
constexpr const char* kNoGroupEndReason = SORVINA_TEXT("sorvina", "a group name without ]");
constexpr const char* kNoLineKindReason =
    SORVINA_TEXT("sorvina", "not a group, a key=value line or a comment");
constexpr const char* kNoKeyReason = SORVINA_TEXT("sorvina", "a value without a key");
constexpr const char* kReasons[] = {kNotWholeNumberReason, kTooLargeReason,       kAtLeastOneReason,
                                    kAtLeastEightReason,   kNotTrueOrFalseReason, kNotTextReason,
                                    kNoGroupEndReason,     kNoLineKindReason,     kNoKeyReason};
constexpr int kMaxInt = std::numeric_limits<int>::max();

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

// `text` without one pair of double quotes around it, as the older `.is_audio_player`
// files quote names with blanks.
std::string_view Unquoted(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return Trimmed(text.substr(1, text.size() - 2));
  return text;
}

// The items of a list split at any of `separators`, each trimmed; empty items (a
// trailing ';') are left out.
std::vector<std::string> ListItems(std::string_view value, std::string_view separators) {
  std::vector<std::string> items;
  while (!value.empty()) {
    const std::size_t end = value.find_first_of(separators);
    const std::string_view item = Unquoted(Trimmed(value.substr(0, end)));
    if (!item.empty()) items.emplace_back(item);
    value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
  }
  return items;
}

// The file's name without its folders and without ".mpi".
std::string BaseName(std::string_view fileName) {
  const std::size_t slash = fileName.rfind('/');
  std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  if (name.size() > 4 && name.ends_with(".mpi")) name.remove_suffix(4);
  return std::string(name);
}

// A whole number without sign, at least `minimum` and at most `maximum`; else why not.
template <typename Number>
const char* ReadNumber(std::string_view text, Number minimum, Number maximum, Number& out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
    return kNotWholeNumberReason;
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range || (error == std::errc() && value > maximum))
    return kTooLargeReason;
  if (error != std::errc() || end != text.data() + text.size()) return kNotWholeNumberReason;
  if (value < minimum) return minimum == 1 ? kAtLeastOneReason : kAtLeastEightReason;
  out = value;
  return nullptr;
}

template <typename Number>
const char* ReadOptional(std::string_view text, Number minimum, std::optional<Number>& out) {
  if (text.empty()) {
    out.reset();
    return nullptr;
  }
  Number value{};
  if (const char* reason = ReadNumber(text, minimum, std::numeric_limits<Number>::max(), value))
    return reason;
  out = value;
  return nullptr;
}

const char* ReadBool(std::string_view text, bool& out) {
  if (text.empty() || EqualsNoCase(text, "false") || text == "0") {
    out = false;
  } else if (EqualsNoCase(text, "true") || text == "1") {
    out = true;
  } else {
    return kNotTrueOrFalseReason;
  }
  return nullptr;
}

const char* ReadRates(std::string_view text, std::vector<int>& out) {
  std::vector<int> rates;
  for (const std::string& item : ListItems(text, ";,")) {
    int rate = 0;
    if (const char* reason = ReadNumber(item, 1, kMaxInt, rate)) return reason;
    rates.push_back(rate);
  }
  out = std::move(rates);
  return nullptr;
}

enum class Group { kNone, kDevice, kMedia, kPlaylist, kStorage, kLimits, kOther };

Group GroupNamed(std::string_view name) {
  if (EqualsNoCase(name, "Device")) return Group::kDevice;
  if (EqualsNoCase(name, "Media")) return Group::kMedia;
  if (EqualsNoCase(name, "Playlist") || EqualsNoCase(name, "Playlists")) return Group::kPlaylist;
  if (EqualsNoCase(name, "storage")) return Group::kStorage;
  if (EqualsNoCase(name, "Limits")) return Group::kLimits;
  return Group::kOther;
}

// What one file says, gathered line by line.
class Reader {
 public:
  explicit Reader(std::string_view fileName) : fileName_(fileName) {}

  // Takes one line (without its line feed); false when it is refused, with error() set.
  bool Line(std::string_view raw) {
    ++line_;
    if (!IsProfileText(raw)) return Refuse({}, kNotTextReason);
    const std::string_view text = Trimmed(raw);
    if (text.empty() || text.front() == '#' || text.front() == ';') return true;
    if (text.front() == '[') {
      if (text.back() != ']') return Refuse({}, kNoGroupEndReason);
      group_ = GroupNamed(Trimmed(text.substr(1, text.size() - 2)));
      return true;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return Refuse({}, kNoLineKindReason);
    const std::string_view key = Trimmed(text.substr(0, equals));
    if (key.empty()) return Refuse({}, kNoKeyReason);
    const char* reason = Take(key, Trimmed(text.substr(equals + 1)));
    return reason == nullptr || Refuse(key, reason);
  }

  const std::optional<ProfileError>& error() const { return error_; }

  PlayerProfile Profile() && {
    profile_.name = BaseName(fileName_);
    const std::string& product = !product_.empty() ? product_ : model_;
    if (!legacyName_.empty()) {
      profile_.displayName = legacyName_;
    } else if (!product.empty()) {
      profile_.displayName = vendor_.empty() ? product : vendor_ + " " + product;
    } else {
      profile_.displayName = !profile_.name.empty() ? profile_.name : vendor_;
    }
    return std::move(profile_);
  }

 private:
  bool Refuse(std::string_view key, const char* reason) {
    error_ = ProfileError{std::string(fileName_),
                          static_cast<int>(std::min<std::size_t>(line_, kMaxInt)), std::string(key),
                          reason};
    return false;
  }

  // Takes the value of `key` in the current group; why it is refused, or nothing.
  const char* Take(std::string_view key, std::string_view value) {
    const auto is = [key](std::string_view name) { return EqualsNoCase(key, name); };
    switch (group_) {
      case Group::kNone:
        return TakeLegacy(key, value);
      case Group::kDevice:
        if (is("Vendor")) vendor_ = value;
        if (is("Product")) product_ = value;
        if (is("Model")) model_ = value;
        return nullptr;
      case Group::kMedia:
        if (is("OutputFormats")) profile_.outputFormats = ListItems(value, ";,");
        return TakeStorage(key, value);
      case Group::kPlaylist:
        if (is("Formats")) profile_.playlistFormats = ListItems(value, ";,");
        if (is("PlaylistPath")) return TakeStorage(key, value);
        return nullptr;
      case Group::kStorage:
        return TakeStorage(key, value);
      case Group::kLimits:
        return TakeLimit(key, value);
      case Group::kOther:
        return nullptr;
    }
    return nullptr;
  }

  // The keys that say where music and playlists go, in [storage] or in [Media].
  const char* TakeStorage(std::string_view key, std::string_view value) {
    if (EqualsNoCase(key, "AudioFolders")) profile_.audioFolders = ListItems(value, ";");
    if (EqualsNoCase(key, "PlaylistPath")) {
      // A few players list several folders; playlists go into the first.
      const std::vector<std::string> paths = ListItems(value, ";");
      profile_.playlistPath = paths.empty() ? std::string() : paths.front();
    }
    if (EqualsNoCase(key, "FolderDepth")) return ReadOptional(value, 0, profile_.folderDepth);
    return nullptr;
  }

  const char* TakeLimit(std::string_view key, std::string_view value) {
    PlayerLimits& limits = profile_.limits;
    const auto is = [key](std::string_view name) { return EqualsNoCase(key, name); };
    if (is("FilesPerFolder")) return ReadOptional(value, 1, limits.filesPerFolder);
    if (is("Folders")) return ReadOptional(value, 1, limits.folders);
    if (is("NameLength")) return ReadOptional(value, 8, limits.nameLength);
    if (is("AsciiNames")) return ReadBool(value, limits.asciiNames);
    if (is("MaxBitrate")) return ReadOptional(value, 1, limits.maxBitrate);
    if (is("SampleRates")) return ReadRates(value, limits.sampleRates);
    if (is("MaxFileSize")) return ReadOptional<std::int64_t>(value, 1, limits.maxFileSize);
    if (is("Id3v23")) return ReadBool(value, limits.id3v23);
    // 0: the player shows no covers, and songs go without them.
    if (is("MaxPictureSide")) return ReadOptional(value, 0, limits.maxPictureSide);
    if (is("SplitChapters")) return ReadBool(value, limits.splitChapters);
    return nullptr;
  }

  // Keys before any group, as the older `.is_audio_player` files write them (no groups,
  // lists split at commas).
  const char* TakeLegacy(std::string_view key, std::string_view value) {
    value = Unquoted(value);
    if (key == "name") legacyName_ = value;
    if (key == "audio_folders") profile_.audioFolders = ListItems(value, ",;");
    if (key == "output_formats") profile_.outputFormats = ListItems(value, ",;");
    if (key == "playlist_formats") profile_.playlistFormats = ListItems(value, ",;");
    if (key == "playlist_path") return TakeStorage("PlaylistPath", value);
    if (key == "folder_depth") return TakeStorage("FolderDepth", value);
    return nullptr;
  }

  std::string_view fileName_;
  std::size_t line_ = 0;
  Group group_ = Group::kNone;
  PlayerProfile profile_;
  std::string vendor_, product_, model_, legacyName_;
  std::optional<ProfileError> error_;
};

// The MIME types the media-player-info database gives for each format.
constexpr std::string_view kMpegTypes[] = {"audio/mpeg",  "audio/mp3",     "audio/x-mp3",
                                           "audio/mpeg3", "audio/x-mpeg3", "audio/x-mpeg",
                                           "audio/mpg",   "audio/x-mpg",   "audio/mpg3"};
constexpr std::string_view kFlacTypes[] = {"audio/flac", "audio/x-flac"};
constexpr std::string_view kOggTypes[] = {"application/ogg", "audio/ogg",
                                          "audio/x-ogg",     "audio/vorbis",
                                          "audio/x-vorbis",  "audio/x-vorbis+ogg"};
constexpr std::string_view kOpusTypes[] = {"audio/opus", "audio/x-opus+ogg"};
constexpr std::string_view kMp4Types[] = {"audio/mp4",   "audio/aac",      "audio/x-m4a",
                                          "audio/x-aac", "audio/m4a",      "audio/x-m4b",
                                          "audio/m4b",   "audio/mp4a-latm"};
constexpr std::string_view kAsfTypes[] = {"audio/x-ms-wma", "audio/wma", "audio/x-ms-asf"};
constexpr std::string_view kWavTypes[] = {"audio/x-wav", "audio/wav", "audio/wave",
                                          "audio/vnd.wave"};
constexpr std::string_view kAiffTypes[] = {"audio/x-aiff", "audio/aiff"};

std::span<const std::string_view> MimeTypesOf(AudioFormat format) {
  switch (format) {
    case AudioFormat::kMpeg:
      return kMpegTypes;
    case AudioFormat::kFlac:
      return kFlacTypes;
    case AudioFormat::kOgg:
      return kOggTypes;
    case AudioFormat::kOpus:
      return kOpusTypes;
    case AudioFormat::kMp4:
      return kMp4Types;
    case AudioFormat::kAsf:
      return kAsfTypes;
    case AudioFormat::kWav:
      return kWavTypes;
    case AudioFormat::kAiff:
      return kAiffTypes;
  }
  return {};
}

}  // namespace

std::optional<PlayerProfile> BuiltInProfile(std::string_view name) {
  if (name != "any" && name != "car") return std::nullopt;
  PlayerProfile profile;
  profile.name = name;
  profile.displayName = name;
  if (name == "any") return profile;
  PlayerProfile& car = profile;
  car.outputFormats = {"audio/mpeg"};
  car.folderDepth = 8;
  car.limits = PlayerLimits{.filesPerFolder = 255,
                            .folders = 255,
                            .nameLength = 64,
                            .asciiNames = false,
                            .maxBitrate = 320,
                            .sampleRates = {44100, 48000},
                            .maxFileSize = 4294967295,
                            .id3v23 = true,
                            .maxPictureSide = 500,
                            .splitChapters = true};
  return profile;
}

std::vector<std::string> BuiltInProfileNames() {
  return {"any", "car"};
}

ProfileParse ParsePlayerProfile(std::string_view text, std::string_view fileName) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  Reader reader(fileName);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (!reader.Line(text.substr(0, end))) return {std::nullopt, reader.error()};
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return {std::move(reader).Profile(), std::nullopt};
}

bool IsProfileText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && (byte < '\t' || byte > '\r')) || byte == 0x7F;
  });
}

bool TakesAnything(const PlayerProfile& player) {
  return player.outputFormats.empty() && player.audioFolders.empty() && !player.folderDepth &&
         player.limits == PlayerLimits{};
}

text::UserText ProfileErrorReason(const ProfileError& error) {
  for (const char* reason : kReasons)
    if (error.reason == reason) return text::UserText(reason);
  return text::Verbatim(error.reason);
}

bool PlaysFileType(const PlayerProfile& profile, std::string_view type) {
  if (profile.outputFormats.empty()) return true;
  const media::FileType* fileType = media::FindFileType(type);
  if (fileType == nullptr) return false;
  const std::span<const std::string_view> types = MimeTypesOf(fileType->format);
  return std::any_of(profile.outputFormats.begin(), profile.outputFormats.end(),
                     [types](const std::string& played) {
                       return std::any_of(types.begin(), types.end(), [&](std::string_view mime) {
                         return EqualsNoCase(played, mime);
                       });
                     });
}

}  // namespace sorvina::engine
