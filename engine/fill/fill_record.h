// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/contained_folder.h"

namespace sorvina::engine {

// The keyed hash of a file's two ends (platform::ContentFingerprint's digest): with the
// size, what proves a file on the destination to be what a fill wrote there.
using FileDigest = std::array<std::uint8_t, 32>;

// One file a fill put into its destination, or one entry of a playlist it wrote.
struct RecordedFile {
  // Below the destination, names separated by '/'; empty for a playlist's entry.
  std::string relative;
  // As the destination reported them right after the fill.
  std::int64_t sizeBytes = 0;
  platform::FileTime modified;
  // The file it was copied from, or that the playlist names; empty for a playlist the
  // fill wrote onto the destination (RecordedFill::playlists).
  std::string source;
  // Its fingerprint as the fill wrote it: only a file that still matches it is the fill's
  // own. None in records of the versions before fingerprints, and for a playlist's entry.
  std::optional<FileDigest> digest = std::nullopt;
  friend bool operator==(const RecordedFile&, const RecordedFile&) = default;
};

struct RecordedFill {
  std::int64_t time = 0;  // seconds since 1970
  // The songs it put there (or a playlist listed), each with its source.
  std::vector<RecordedFile> files;
  // The playlists it wrote onto the destination, which it may replace again.
  std::vector<RecordedFile> playlists = {};
  // Folders below the destination that fills made and that were there after this one: no
  // others are ever removed.
  std::vector<std::string> folders = {};
  friend bool operator==(const RecordedFill&, const RecordedFill&) = default;
};

// The fills of one destination, the oldest first.
struct FillHistory {
  std::vector<RecordedFill> fills;
  friend bool operator==(const FillHistory&, const FillHistory&) = default;
};

// Adds to `sources` the source of every file the last `fills` fills of `history` chose.
void AddRecentSources(const FillHistory& history, std::size_t fills,
                      std::unordered_set<std::string_view>& sources);

// How many fills a record keeps; older ones are dropped as new ones come.
inline constexpr std::size_t kKeptFills = 20;
// A record larger than this, or of more lines, is none that was written here.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxRecordLines = 1'000'000;

// Why a record's bytes were not taken.
enum class RecordProblem {
  kNone,
  kTooLarge,   // more bytes or lines than any record written here
  kForeign,    // not a record of fills, or one of a version this one cannot read
  kDamaged,    // cut short, changed by hand or otherwise not as written
  kUnsafePath  // it names a file outside the destination
};

struct ParsedRecord {
  FillHistory history;  // empty unless the record was taken
  RecordProblem problem = RecordProblem::kNone;
};

// The record as written: a version line, per fill a line with its time and the number of
// lines that follow for it: one per song (size, modification time, fingerprint digest or
// "-", path below the destination, source path), per playlist written (the same without a
// source) and per folder made (its path); and a last line with a checksum of everything
// before it. Fields are separated by tabs; tabs, line ends, '%' and other control bytes in
// paths are written as "%XX". Only the newest kKeptFills fills are written. Records of the
// versions before fingerprints are read too: of the first (songs and playlists alike as
// file lines, a playlist's with no source) and the second (no digests).
//
// The checksum finds damage, not edits: anyone can write a record that reads. What a fill
// may do to a file it names rests on the file's fingerprint alone (engine/fill/ownership.h).
std::string FormatFillRecord(const FillHistory& history);

// A hash of `bytes` in 16 hexadecimal digits (FNV-1a, 64 bits): the record's checksum,
// and a file name that stands for a path.
std::string TextHash(std::string_view bytes);

// Reads what FormatFillRecord wrote, trusting nothing: a record that is too large, of
// another kind or version, cut short or edited (its checksum), or that names a path
// outside the destination (absolute, with "..", "." or empty names, or a NUL byte) is
// not taken at all, and the problem says why.
ParsedRecord ParseFillRecord(std::string_view bytes);

}  // namespace sorvina::engine
