// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace sorvina::media {

// What a draw that spreads artists, balances groups, takes whole albums or weighs
// favourites needs to know of a song, from its tags.
struct DrawTags {
  std::string artist;
  std::string albumArtist;
  std::string album;
  int track = 0;   // 0: none
  int disc = 0;    // 0: none
  int rating = 0;  // 0: unrated; 1 to 5 stars
  friend bool operator==(const DrawTags&, const DrawTags&) = default;
};

// The draw tags of the file at `path`, read by the format its name's ending gives;
// nothing when the file cannot be read. Fields a file does not carry stay empty or 0.
std::optional<DrawTags> ReadDrawTags(const std::string& path);

}  // namespace sorvina::media
