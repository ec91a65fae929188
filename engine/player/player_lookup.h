// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/player/player_profile.h"
#include "engine/settings/conversion_choice.h"
#include "media/codecs.h"
#include "text/user_text.h"

namespace sorvina::engine {

// Where profiles are found: the media-player-info database, and the user's own folder
// ($XDG_CONFIG_HOME/sorvina/players). Tests point these elsewhere.
struct ProfileFolders {
  std::string database = "/usr/share/media-player-info";
  std::string user;  // empty: $XDG_CONFIG_HOME/sorvina/players
  // What DetectPlayer reads of the system: the mounts, udev's properties of the block
  // devices (files b<major>:<minor>), and the block devices by number (to find the disk a
  // partition is on).
  std::string mountInfo = "/proc/self/mountinfo";
  std::string udevData = "/run/udev/data";
  std::string sysBlock = "/sys/dev/block";
};

// A player choice resolved into a profile, or why it could not be.
struct FoundPlayer {
  std::optional<PlayerProfile> profile;
  // Names the file and what is wrong with it: the line and key of a bad value, or why it
  // cannot be read at all.
  std::optional<text::UserText> error;
};

// Resolves what `--player` or the settings' `player=` give:
//   ""/"any", "car"    the built-in profiles;
//   "auto"             the player the destination lies on (DetectPlayer), else "any"; a
//                      profile file that DetectPlayer passes over as bad or unreadable is
//                      an error here, with no profile: the volume says it is a player,
//                      but not which, and a fill for any player could miss what it plays;
//   a path to a file   (holding a '/', or ending in ".mpi") that profile file, links
//                      followed; an error says why a missing or unreadable one is no profile;
//   NAME               NAME.mpi in the user's folder, then in the database.
FoundPlayer FindPlayerProfile(std::string_view choice, const std::string& destination,
                              const ProfileFolders& folders = {});

// The player whose volume holds `destination`: the `.is_audio_player` file at the volume's
// root, else the database profile that the udev property ID_MEDIA_PLAYER of the volume's
// block device (or of the whole disk, for a partition) names. Nothing when neither says,
// or when the profile it names is bad or cannot be read. The `.is_audio_player` file is
// read only where it is a regular file of text, not through a link, and never waited on.
std::optional<PlayerProfile> DetectPlayer(const std::string& destination,
                                          const ProfileFolders& folders = {});

// The names of the profiles in the user's folder (without ".mpi"), sorted.
std::vector<std::string> UserProfileNames(const ProfileFolders& folders = {});

// "SanDisk Sansa Clip (plays MP3, Ogg, FLAC)": the name shown, and the file types it
// plays among those Sorvina chooses; "any" plays everything.
text::UserText DescribeProfile(const PlayerProfile& profile);

// Whether `profile` plays what a conversion to `codec` writes (MP3, AAC in .m4a, Opus);
// a profile that names no formats plays them all.
bool PlaysConversionTarget(const PlayerProfile& profile, media::TargetCodec codec);
// The conversion targets `profile` plays, in the order they are offered (MP3, AAC, Opus).
std::vector<media::TargetCodec> PlayedConversionTargets(const PlayerProfile& profile);
// How a target is named in settings and on the command line: "mp3", "aac", "opus".
std::string_view ConversionTargetName(media::TargetCodec codec);

// Why songs converted as `choice` asks would not play on `profile`: "The player car plays
// only MP3; please convert to one of: mp3". Nothing when the player plays the target.
std::optional<text::UserText> RefusedConversion(const PlayerProfile& profile,
                                                const ConversionChoice& choice);

}  // namespace sorvina::engine
