// SPDX-License-Identifier: GPL-3.0-or-later
// Player profiles (.mpi files and `.is_audio_player` files) as anyone may write them: a
// profile or an error naming a line of the input, never both; what is taken is trimmed,
// within its limits, and the same with CR LF line ends or a byte-order mark.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/player/player_lookup.h"
#include "engine/player/player_profile.h"
#include "fuzz/fuzz_support.h"
#include "media/file_types.h"

namespace {

using namespace sorvina::engine;

constexpr std::string_view kFileName = "players/fuzzed.mpi";

bool SameParse(const ProfileParse& a, const ProfileParse& b) {
  if (a.profile != b.profile || a.error.has_value() != b.error.has_value()) return false;
  return !a.error || (a.error->file == b.error->file && a.error->line == b.error->line &&
                      a.error->key == b.error->key && a.error->reason == b.error->reason);
}

// No item is empty, starts or ends with a blank, or holds a separator of its list.
void CheckItems(const std::vector<std::string>& items, std::string_view separators) {
  for (const std::string& item : items) {
    FUZZ_CHECK(!item.empty());
    FUZZ_CHECK(item.front() != ' ' && item.front() != '\t' && item.back() != ' ' &&
               item.back() != '\t' && item.back() != '\r');
    FUZZ_CHECK(item.find_first_of(separators) == std::string::npos);
    FUZZ_CHECK(item.find('\n') == std::string::npos);
  }
}

void CheckProfile(const PlayerProfile& profile) {
  FUZZ_CHECK(profile.name == "fuzzed");
  FUZZ_CHECK(!profile.displayName.empty());
  FUZZ_CHECK(profile.displayName.find('\n') == std::string::npos);
  CheckItems(profile.outputFormats, ";,");
  CheckItems(profile.playlistFormats, ";,");
  CheckItems(profile.audioFolders, ";");
  FUZZ_CHECK(profile.playlistPath.find_first_of(";\n") == std::string::npos);
  FUZZ_CHECK(!profile.folderDepth || *profile.folderDepth >= 0);
  const PlayerLimits& limits = profile.limits;
  FUZZ_CHECK(!limits.filesPerFolder || *limits.filesPerFolder >= 1);
  FUZZ_CHECK(!limits.folders || *limits.folders >= 1);
  FUZZ_CHECK(!limits.nameLength || *limits.nameLength >= 8);
  FUZZ_CHECK(!limits.maxBitrate || *limits.maxBitrate >= 1);
  FUZZ_CHECK(!limits.maxFileSize || *limits.maxFileSize >= 1);
  // 0 pictures: the player shows none, and copies go without them.
  FUZZ_CHECK(!limits.maxPictureSide || *limits.maxPictureSide >= 0);
  FUZZ_CHECK(std::all_of(limits.sampleRates.begin(), limits.sampleRates.end(),
                         [](int rate) { return rate >= 1; }));
  // A profile that names no format plays every type; one that does, only its types.
  for (const sorvina::media::FileType& type : sorvina::media::AllFileTypes())
    FUZZ_CHECK(PlaysFileType(profile, type.name) || !profile.outputFormats.empty());
  FUZZ_CHECK(!PlaysFileType(profile, "no-such-type") || profile.outputFormats.empty());
  const std::string described = sorvina::text::English(DescribeProfile(profile));
  FUZZ_CHECK(described.starts_with(profile.displayName + " (plays "));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = sorvina::fuzz::AsText(data, size);
  const ProfileParse parsed = ParsePlayerProfile(text, kFileName);
  FUZZ_CHECK(parsed.profile.has_value() != parsed.error.has_value());
  if (parsed.error) {
    const ProfileError& error = *parsed.error;
    FUZZ_CHECK(error.file == kFileName);
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    FUZZ_CHECK(error.line >= 1 && error.line <= lines);
    FUZZ_CHECK(!error.reason.empty());
    FUZZ_CHECK(error.key.find('=') == std::string::npos);
  } else {
    CheckProfile(*parsed.profile);
  }

  // The same with CR LF line ends, and behind a byte-order mark.
  std::string crlf;
  crlf.reserve(text.size() * 2);
  for (const char c : text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  FUZZ_CHECK(SameParse(ParsePlayerProfile(crlf, kFileName), parsed));
  if (!text.starts_with("\xEF\xBB\xBF"))
    FUZZ_CHECK(
        SameParse(ParsePlayerProfile("\xEF\xBB\xBF" + std::string(text), kFileName), parsed));
  return 0;
}
