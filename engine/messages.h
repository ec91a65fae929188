#pragma once

// The texts the engine shows the user, word for word; both front ends show exactly these.
namespace sorvina::engine {

inline constexpr char kNoSourcesMessage[] = "Please select at least one source folder or play list";
inline constexpr char kInvalidDestinationFolderMessage[] =
    "Please select a valid destination folder";
inline constexpr char kNoPlaylistFileMessage[] = "Please select a play list file";
inline constexpr char kNoMegabytesMessage[] = "Please enter a number of MB to select";
inline constexpr char kNoHoursMessage[] = "Please enter a number of hours to select";
inline constexpr char kNoMp3sFoundMessage[] = "No MP3s found";
inline constexpr char kCannotOpenPlaylistMessage[] = "Can't open play list for writing";
inline constexpr char kCannotWritePlaylistMessage[] = "Can't write play list";
inline constexpr char kCannotOpenSettingsMessage[] = "Can't open settings file for writing";
inline constexpr char kCannotWriteSettingsMessage[] = "Can't write settings file";

// Filling the copy destination's free space ("free" as the amount of MB).
inline constexpr char kFreeSpaceNeedsCopyMessage[] =
    "Free space can only be filled when copying files";
inline constexpr char kFreeSpaceUnknownMessage[] =
    "The destination does not tell its free space; please enter a number of MB";
// The copied files could not all be written out to the device.
inline constexpr char kWritingToDeviceFailedMessage[] =
    "Writing to the device failed; the copied files may not all be complete";

// Fills of one destination that follow one another.
inline constexpr char kFillUnderWayMessage[] =
    "Another fill of this destination is under way; please try again when it is done";
inline constexpr char kDevicePlaylistNameMessage[] =
    "Please give the playlist on the device a name ending in .m3u8, inside the destination "
    "folder";

// Shown while the copied files are written out to the device.
inline constexpr char kWritingToDeviceText[] = "Writing to the device\u2026";

// Title of the progress window while a playlist is written.
inline constexpr char kCreatingPlaylistTitle[] = "Creating Playlist";

}  // namespace sorvina::engine
