// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvina::media {

// Every text kept of a tag is cut to this many bytes (at a character's start), and no more
// than this many genres are kept of a song: a tag may hold megabytes.
inline constexpr std::size_t kMaxTagTextBytes = 1024;
inline constexpr std::size_t kMaxGenres = 16;

// What a draw that spreads artists, balances groups, takes whole albums, weighs favourites,
// filters by genre, year or length or keeps one copy of each recording needs to know of a
// song, from its tags.
struct DrawTags {
  std::string artist;
  std::string albumArtist;
  std::string album;
  int track = 0;   // 0: none
  int disc = 0;    // 0: none
  int rating = 0;  // 0: unrated; 1 to 5 stars
  std::string title = {};
  // Every genre the song names, in the tag's order, numeric ID3 genres as their names.
  std::vector<std::string> genres = {};
  int year = 0;  // 0: none
  // The MusicBrainz recording id and the ISRC; empty: none.
  std::string recordingId = {};
  std::string isrc = {};
  // Read only where asked (ReadDrawTags' `withLength`): the playing time in whole seconds
  // and the average bitrate in kbit/s, 0 where the file does not tell.
  std::optional<int> seconds = std::nullopt;
  int bitrate = 0;
  friend bool operator==(const DrawTags&, const DrawTags&) = default;
};

// The draw tags of the file at `path`, read by the format its name's ending gives;
// nothing when the file cannot be read. Fields a file does not carry stay empty or 0.
// The playing time and bitrate are read only `withLength`: reading them costs more than
// the tags do.
std::optional<DrawTags> ReadDrawTags(const std::string& path, bool withLength = false);

// `text` cut to no more than `bytes` bytes, at the start of a UTF-8 character.
std::string CutToBytes(std::string text, std::size_t bytes = kMaxTagTextBytes);

// The year a date tag starts with ("2001-05-02", "2001"): its first four digits when they
// lead it; 0 otherwise.
int YearOfDate(std::string_view date);

// The genres one ID3 genre value stands for: "(17)" and "17" as the ID3v1 genre of that
// number ("Rock"), "(17)(18)Eurodisco" as each of those; any other text as it is.
std::vector<std::string> Id3GenreNames(std::string_view value);

}  // namespace sorvina::media
