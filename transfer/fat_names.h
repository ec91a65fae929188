// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace sorvina::transfer {

// `name` (one file name, no folder) made legal on a FAT or exFAT volume, which players
// and memory cards use and which refuse many names that Linux file systems accept:
//   - the characters : ? * " < > | \ and control characters become "_", and so does each
//     byte that is not part of valid UTF-8 (the volume keeps names as UTF-16 text);
//   - trailing dots and blanks are dropped;
//   - a reserved device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, in any case) as
//     the part before the first dot gets a "_" appended to that part: "con.mp3" gives
//     "con_.mp3", so that the file can be opened where such names stand for devices;
//   - an empty result becomes "_".
// A name that is legal already comes back unchanged.
std::string FatSafeName(std::string_view name);

// What a FAT or exFAT volume compares when it looks for a name: such volumes keep the
// letter case a name was given but take "Song.mp3" and "SONG.MP3" for one name. The key
// has every letter of the Latin, Greek and Cyrillic scripts in capitals; names with equal
// keys are one name there.
std::string FatNameKey(std::string_view name);

}  // namespace sorvina::transfer
