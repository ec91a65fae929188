// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/user_text.h"

// The texts the engine shows the user, word for word, as the command line shows them and
// as the wizard looks up their translations.
namespace sorvina::engine {

inline constexpr const char* kNoSourcesMessage =
    SORVINA_TEXT("sorvina", "Please select at least one source folder or play list");
inline constexpr const char* kInvalidDestinationFolderMessage =
    SORVINA_TEXT("sorvina", "Please select a valid destination folder");
inline constexpr const char* kNoPlaylistFileMessage =
    SORVINA_TEXT("sorvina", "Please select a play list file");
inline constexpr const char* kNoMegabytesMessage =
    SORVINA_TEXT("sorvina", "Please enter a number of MB to select");
inline constexpr const char* kNoHoursMessage =
    SORVINA_TEXT("sorvina", "Please enter a number of hours to select");
inline constexpr const char* kNoMp3sFoundMessage = SORVINA_TEXT("sorvina", "No MP3s found");
// Draws shaped by the songs' tags.
inline constexpr const char* kNoStarWeightMessage = SORVINA_TEXT(
    "sorvina", "Every song found weighs 0 by its stars; please give more stars a weight above 0");
inline constexpr const char* kAlbumsWithBalanceMessage =
    SORVINA_TEXT("sorvina",
                 "Whole albums cannot be drawn with an equal chance per artist, album or "
                 "folder; please choose one of the two");
inline constexpr const char* kAlbumsWithArtistCapMessage =
    SORVINA_TEXT("sorvina",
                 "Whole albums cannot be drawn with at most so many songs per artist; please "
                 "choose one of the two");
inline constexpr const char* kCannotOpenPlaylistMessage =
    SORVINA_TEXT("sorvina", "Can't open play list for writing");
inline constexpr const char* kCannotWritePlaylistMessage =
    SORVINA_TEXT("sorvina", "Can't write play list");
inline constexpr const char* kCannotOpenSettingsMessage =
    SORVINA_TEXT("sorvina", "Can't open settings file for writing");
inline constexpr const char* kCannotWriteSettingsMessage =
    SORVINA_TEXT("sorvina", "Can't write settings file");

// Filling the copy destination's free space ("free" as the amount of MB).
inline constexpr const char* kFreeSpaceNeedsCopyMessage =
    SORVINA_TEXT("sorvina", "Free space can only be filled when copying files");
inline constexpr const char* kFreeSpaceUnknownMessage = SORVINA_TEXT(
    "sorvina", "The destination does not tell its free space; please enter a number of MB");
// The copied files could not all be written out to the device.
inline constexpr const char* kWritingToDeviceFailedMessage = SORVINA_TEXT(
    "sorvina", "Writing to the device failed; the copied files may not all be complete");

// Fills of one destination that follow one another.
inline constexpr const char* kFillUnderWayMessage = SORVINA_TEXT(
    "sorvina", "Another fill of this destination is under way; please try again when it is done");
inline constexpr const char* kDevicePlaylistNameMessage = SORVINA_TEXT(
    "sorvina",
    "Please give the playlist on the device a name ending in .m3u8, inside the destination "
    "folder");

// A copy destination that went away part-way: unmounted, lazily too, or pulled out.
inline constexpr const char* kDestinationGoneMessage = SORVINA_TEXT(
    "sorvina", "The destination %1 went away during the copy; nothing more was copied to it");
// Replacing the previous fill of a player that holds no record of one.
inline constexpr const char* kNoEarlierFillMessage =
    SORVINA_TEXT("sorvina", "This player has no record of an earlier fill");

// Songs drawn by their plays, where no play history could be read.
inline constexpr const char* kNoPlayHistoryMessage = SORVINA_TEXT(
    "sorvina", "No play history was found; the songs are chosen as if none had been played");
// Every song left was played in the last days that are to be left out.
inline constexpr const char* kAllPlayedLatelyMessage =
    SORVINA_TEXT("sorvina", "Every file found was played in the last %1 days; nothing was chosen");

// Shown while the copied files are written out to the device.
inline constexpr const char* kWritingToDeviceText =
    SORVINA_TEXT("sorvina", "Writing to the device…");

// Title of the progress window while a playlist is written.
inline constexpr const char* kCreatingPlaylistTitle = SORVINA_TEXT("sorvina", "Creating Playlist");

}  // namespace sorvina::engine
