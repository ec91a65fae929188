// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorvina::engine {

// What each draw gives an equal chance to before a song is drawn from it.
enum class DrawBalance { kNone, kArtist, kAlbum, kFolder };

// Choices beyond the classic run. Every default keeps the classic behaviour, so settings
// that leave them alone select, copy, write and save exactly as before.
struct ExtraOptions {
  // Keep drawing past a file that does not fit the remaining amount.
  bool fill = false;
  // Copy each file to its path relative to the source it was found under.
  bool keepFolders = false;
  // Remove the unchanged files of the destination's previous fill before copying.
  bool replacePrevious = false;
  // Leave out the files that the last N fills (or playlists) of the destination chose.
  int avoidLast = 0;
  // A playlist written into the copy destination; empty: none.
  std::string devicePlaylist;
  // Playlist entries relative to the playlist's folder.
  bool relative = false;
  // The file types to choose, by name in lower case ("mp3", "flac", ...).
  std::vector<std::string> fileTypes = {"mp3"};
  // The player copied to: "any" (empty), a built-in profile's name, "auto", a profile
  // file's path or a profile's name (see FindPlayerProfile).
  std::string player;
  // After a copy, every folder lists the fill's files in play order (also when replacing).
  bool order = false;
  // Copied files are named "001 Artist - Title.mp3" in play order.
  bool number = false;
  // Songs converted for the player: "auto" (what it cannot play, to MP3), "auto:aac",
  // "auto:opus", or "mp3", "aac", "opus" (every song not in that format); empty: none.
  std::string convert = {};
  // The constant bitrate of conversions, kbit/s; 0: the format's own quality.
  int bitrate = 0;
  // Every song brought to this integrated loudness (LUFS, EBU R128), from -40 to -5;
  // none: as it is.
  std::optional<double> loudness = std::nullopt;
  // No more than this many songs of one artist; 0: any number.
  int maxPerArtist = 0;
  // Songs of the same artist kept apart in the play order wherever their numbers allow.
  bool spread = false;
  // Each song's chance multiplied by the weight of its stars: unrated, then 1 to 5 stars;
  // none: stars count for nothing.
  std::optional<std::array<double, 6>> ratingWeights = std::nullopt;
  // First an artist, album or folder is drawn, then one of its songs; none: songs alone.
  DrawBalance balance = DrawBalance::kNone;
  // Whole albums are drawn, copied and listed in disc and track order.
  bool albums = false;

  // Play history read from these files of the players of this computer (a beets library,
  // an MPD sticker database, a Strawberry database, a Rhythmbox rhythmdb.xml, a
  // ListenBrainz export), besides the player's own logs; empty: only the player's logs,
  // and only where an option below asks for a history.
  std::vector<std::string> historySources = {};
  // Replacing the previous fill: only its songs played or skipped since are replaced.
  bool replaceHeard = false;
  // Each song's chance grows with the time since it was last played.
  bool preferUnplayed = false;
  // Songs played in the last N days are left out; 0: none.
  int avoidPlayedDays = 0;

  // Songs whose path below their source matches one of these shell-style patterns are
  // left out (letter case ignored).
  std::vector<std::string> excludePatterns = {};
  // Only songs with one of these genres; songs with none of those: empty lists leave all.
  std::vector<std::string> genres = {};
  std::vector<std::string> notGenres = {};
  // Only songs from these years, of these lengths (seconds), or changed in the last N days;
  // none or 0: all.
  std::optional<std::pair<int, int>> years = std::nullopt;
  std::optional<std::pair<int, int>> lengthSeconds = std::nullopt;
  int addedWithinDays = 0;
  // One file of each recording is a candidate.
  bool skipDuplicates = false;

  // Folders of audiobooks and podcasts: each sub-folder (or long file directly inside) is a
  // book, played in order and never drawn at random. Each copy fill brings the next
  // booksAheadHours of them, in order, before the random songs.
  std::vector<std::string> bookFolders = {};
  double booksAheadHours = 5;
  // A book that is one long file with chapter marks goes on as one file per chapter (also
  // where the player's profile does not ask for it).
  bool splitChapters = false;

  friend bool operator==(const ExtraOptions&, const ExtraOptions&) = default;
};

// "W0,W1,W2,W3,W4,W5" read as rating weights: six decimals, none negative and at least
// one above 0, blanks around them allowed. Nothing, with the reason in `why` where given,
// for any other text.
std::optional<std::array<double, 6>> ParseRatingWeights(std::string_view text,
                                                        std::string* why = nullptr);

// "artist", "album", "folder" or "none" as a balance; nothing for any other text.
std::optional<DrawBalance> ParseDrawBalance(std::string_view text);
// The name ParseDrawBalance reads back.
std::string_view DrawBalanceName(DrawBalance balance);

// Rating weights as ParseRatingWeights reads them back, each in its shortest form: "1,0.2,4".
std::string RatingWeightsText(const std::array<double, 6>& weights);

}  // namespace sorvina::engine
