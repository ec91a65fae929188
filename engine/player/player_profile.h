// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/user_text.h"

namespace sorvina::engine {

// What a player can take beyond what it plays. Absent: no limit.
struct PlayerLimits {
  std::optional<int> filesPerFolder;
  std::optional<int> folders;
  std::optional<int> nameLength;  // bytes of one name, extension included
  bool asciiNames = false;
  std::optional<int> maxBitrate;            // kbit/s
  std::vector<int> sampleRates;             // Hz; empty: any
  std::optional<std::int64_t> maxFileSize;  // bytes
  // Tags written as ID3v2.3, and pictures no larger than this square (pixels).
  bool id3v23 = false;
  std::optional<int> maxPictureSide;
  // A long file with chapter marks (an audiobook) goes on as one file per chapter.
  bool splitChapters = false;
  friend bool operator==(const PlayerLimits&, const PlayerLimits&) = default;
};

// A music player as a fill sees it: what it plays, where its music goes and what it takes.
struct PlayerProfile {
  // How it is named on the command line and in settings ("any", "car", a database name
  // such as "sandisk_sansa-clip", or a file's path).
  std::string name;
  // How it is shown: "SanDisk Sansa Clip"; the name for built-in profiles.
  std::string displayName;
  // MIME types it plays ("audio/mpeg", "audio/flac"); empty: it plays anything.
  std::vector<std::string> outputFormats;
  // Folders below its root that it reads music from ("MUSIC/"), first the main one.
  std::vector<std::string> audioFolders;
  // How many folder levels below the music folder it reads; none: any.
  std::optional<int> folderDepth;
  // Playlist MIME types it reads, and the folder below its root they go into.
  std::vector<std::string> playlistFormats;
  std::string playlistPath;
  PlayerLimits limits;
  friend bool operator==(const PlayerProfile&, const PlayerProfile&) = default;
};

// A profile file that could not be read: where, and why.
struct ProfileError {
  std::string file;
  int line = 0;  // 0: the file as a whole (could not be read)
  std::string key;
  std::string reason;
};

// `error`'s reason as a text to translate ("not a whole number"); one no reader gives
// stays as it is.
text::UserText ProfileErrorReason(const ProfileError& error);

// The built-in profile named `name` ("any", "car"); nothing for another name.
std::optional<PlayerProfile> BuiltInProfile(std::string_view name);
// The names of the built-in profiles, in the order they are offered.
std::vector<std::string> BuiltInProfileNames();

// Reads a profile in the media-player-info format (.mpi, an INI file: groups [Device],
// [Media], [Playlist], [storage]) with our own optional [Limits] group. Unknown groups and
// keys are ignored; a bad value gives an error naming `fileName`, the line and the key, and
// so does a line that is no text (IsProfileText). An empty value leaves the key unset.
// Keys before any group are those of the older `.is_audio_player` files (name,
// audio_folders, output_formats, folder_depth, playlist_formats, playlist_path). Of
// several playlist paths, the first is taken. The profile's name is the file's, without its
// folders and ".mpi".
struct ProfileParse {
  std::optional<PlayerProfile> profile;
  std::optional<ProfileError> error;
};
ProfileParse ParsePlayerProfile(std::string_view text, std::string_view fileName);

// Whether `text` can be a profile at all: binary junk holds NUL bytes or other control
// characters, a profile none but tabs, line ends and page breaks.
bool IsProfileText(std::string_view text);

// Whether `player` takes anything as it comes, as any folder does ("any").
bool TakesAnything(const PlayerProfile& player);

// Whether the player plays a file of type `type` (a name from media/file_types: "mp3",
// "flac", ...): some MIME type it plays is one of that type's.
bool PlaysFileType(const PlayerProfile& profile, std::string_view type);

}  // namespace sorvina::engine
