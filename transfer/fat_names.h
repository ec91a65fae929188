// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sorvina::transfer {

// The longest name a volume takes, and what it counts. Linux file systems take names of
// up to 255 bytes; FAT and exFAT take 255 UTF-16 code units, where a character beyond the
// Basic Multilingual Plane (four bytes in UTF-8) counts two and every other character one.
// No character counts more units than it has bytes, so the default fits every volume.
struct NameLimit {
  std::size_t length = 255;
  bool utf16 = false;  // counted in UTF-16 code units, else in bytes
};

// The limit of a volume that keeps FAT names (`fat`: 255 UTF-16 code units), or of any
// other (255 bytes).
NameLimit NameLimitFor(bool fat);

// How long `name` is as `limit` counts. A run of bytes that is no UTF-8 character counts
// a unit for each byte.
std::size_t NameLength(std::string_view name, NameLimit limit);

// `stem` followed by `tail`, with as many characters dropped from the end of `stem` as it
// takes to fit `limit`, never part of one; `tail` is kept whole, and alone where it leaves
// no room. What fits comes back as it is.
std::string FitStem(std::string_view stem, std::string_view tail, NameLimit limit);

// `name` (one file name) fitted into `limit` (FitStem): a longer one loses the end of the
// part before its extension ("Song.mp3" keeps ".mp3"; a leading dot starts none). An
// extension that would leave the rest fewer than 8 units counts as part of the name.
std::string FitName(std::string_view name, NameLimit limit = {});

// `name` (one file name, no folder) made legal on a FAT or exFAT volume, which players
// and memory cards use and which refuse many names that Linux file systems accept:
//   - the characters : ? * " < > | \ and control characters become "_", and so does each
//     byte that is not part of valid UTF-8 (the volume keeps names as UTF-16 text);
//   - trailing dots and blanks are dropped;
//   - a reserved device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, in any case) as
//     the part before the first dot gets a "_" appended to that part: "con.mp3" gives
//     "con_.mp3", so that the file can be opened where such names stand for devices;
//   - a name longer than the volume takes (NameLimitFor) is shortened (FitName);
//   - an empty result becomes "_".
// A name that is legal already comes back unchanged.
std::string FatSafeName(std::string_view name);

// What a FAT or exFAT volume compares when it looks for a name: such volumes keep the
// letter case a name was given but take "Song.mp3" and "SONG.MP3" for one name. The key
// has every letter of the Latin, Greek and Cyrillic scripts in capitals; names with equal
// keys are one name there.
std::string FatNameKey(std::string_view name);

}  // namespace sorvina::transfer
