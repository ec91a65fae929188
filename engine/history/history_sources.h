// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/history/history_readers.h"

// The play histories of this computer's music programs, named by the user as files: each
// is told apart by its content, opened for reading only and never through a link; the
// databases through SQLite, read-only and as immutable, so that a program that has one
// open is never disturbed.
namespace sorvina::engine::history {

enum class SourceKind {
  kBeetsLibrary,  // SQLite: items (path blob, play_count, last_played), item_attributes
  kMpdStickers,   // SQLite: sticker(type, uri, name, value), playCount and lastPlayed
  kStrawberry,    // SQLite: songs(url, playcount, lastplayed, ...)
  kSongXml,       // XML: <entry type="song"> with <play-count>, <last-played>
  kListens,       // JSON listens
  kScrobblerLog,  // a player's scrobbler log, copied to this computer
};

// Whether a source gives single listens (which add up across readings) or tallies (which
// replace what the same source gave before).
bool GivesListens(SourceKind kind);

// A short name of the kind, which keys what each source gave in the store.
const char* KindName(SourceKind kind);

// How much of a source file is read at most: text sources are read whole or streamed, and
// a database's rows are bounded by ReadLimits.
inline constexpr std::uint64_t kLargestTextSource = 128ULL << 20;
inline constexpr std::uint64_t kLargestXmlSource = 512ULL << 20;

// The kind of the file at `path`; nothing, with the reason in `error`, where it cannot be
// opened as a regular file or is none of the kinds above.
std::optional<SourceKind> KindOfFile(const std::string& path, std::string& error);

// Reads the source at `path` as `kind`; nothing, with the reason in `error`, where it cannot
// be read at all (what is damaged inside is counted in the result instead).
std::optional<SourceRead> ReadSourceFile(SourceKind kind, const std::string& path, std::int64_t now,
                                         const ReadLimits& limits, std::string& error);

}  // namespace sorvina::engine::history
