// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Draws shaped by the songs' tags: favourites weighted by their stars, a cap on the songs
// of one artist, and artists spread out over the play order. None of this is used, and no
// tag is read, unless one of those options is set.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/draw/album_draw.h"
#include "engine/draw/candidate_pool.h"
#include "engine/draw/grouped_pick.h"
#include "engine/draw/weighted_draw.h"
#include "engine/settings/extra_options.h"
#include "media/tags/draw_tags.h"

namespace sorvina::engine {

// Whether `options` ask for anything that needs the songs' tags.
bool ShapesTheDraw(const ExtraOptions& options);

// The tags of files, one for each path in order; nothing for a file that cannot be read.
using DrawTagsReader =
    std::function<std::vector<std::optional<media::DrawTags>>(const std::vector<std::string>&)>;

// What a song counts as by: its artist, else its album artist, compared without regard to
// ASCII letter case or blanks around it; a song with neither counts as by its folder, so
// that untagged albums are still told apart.
std::string ArtistKey(std::string_view path, const std::optional<media::DrawTags>& tags);

// What a song belongs to as an album: its album tag together with its album artist (else
// its artist), compared as ArtistKey compares names; a song without an album tag belongs
// to its folder.
std::string AlbumKey(std::string_view path, const std::optional<media::DrawTags>& tags);

// The artist, album, place on the album and stars of every candidate a draw may take, by
// path. Artist and album names are kept once each, however many songs share them; the
// paths are not copied: each must stay readable, where it is, as long as the table.
class DrawTagTable {
 public:
  // The tags of every candidate still in `pool`, read with `read` in pool order, a part
  // of the pool at a time; the paths are the pool's.
  static DrawTagTable Read(const CandidatePool& pool, const DrawTagsReader& read);

  // Adds or replaces the tags of the file at `path`, which must outlive the table.
  void Add(std::string_view path, const std::optional<media::DrawTags>& tags);
  // ArtistKey of the file at `path`; its folder for a path never added.
  std::string ArtistOf(std::string_view path) const;
  // AlbumKey of the file at `path`; its folder for a path never added.
  std::string AlbumOf(std::string_view path) const;
  // Disc and track numbers (0: none) as one number that sorts in play order.
  std::uint32_t PlaceOf(std::string_view path) const;
  // 0 (unrated) to 5 stars; 0 for a path never added.
  int RatingOf(std::string_view path) const;

  // What the table holds of a song: equal numbers mean equal names.
  struct Entry {
    std::uint32_t artist = 0;  // the artist's number, below nameCount()
    std::uint32_t album = 0;   // the album's number, below nameCount()
    std::uint32_t place = 0;   // as PlaceOf
    int rating = 0;
  };
  // The entry of the file at `path`; none for a path never added.
  const Entry* Find(std::string_view path) const;
  // How many names the entries number.
  std::size_t nameCount() const { return names_.size(); }

 private:
  // A library's worth of these is held while a draw is shaped: a row and a slot take 40
  // bytes a song, where a map of paths would take several times that.
  struct Row {
    std::string_view path;
    Entry entry;
  };
  std::uint32_t Intern(std::string name);
  // The slot that holds `path`'s row, or the empty one where it would go.
  std::size_t SlotOf(std::string_view path) const;

  std::vector<Row> rows_;
  std::vector<std::uint32_t> slots_;  // open addressing by path: row number + 1, or 0
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::uint32_t> nameNumbers_;
};

// Multiplies the weight of every candidate in `pool` by the weight its stars have in
// `weights` (unrated first); those that come to 0 leave the pool.
void WeighByRating(CandidatePool& pool, const DrawTagTable& tags,
                   const std::array<double, 6>& weights);

// Admits no more than `maxPerArtist` songs of one artist; a song refused leaves the pool
// and the draw goes on. Where `next` is given, a song must be admitted by it as well, and
// it hears of every song chosen.
class ArtistCap : public CandidateGate {
 public:
  ArtistCap(const DrawTagTable& tags, int maxPerArtist, CandidateGate* next)
      : tags_(tags), maxPerArtist_(maxPerArtist), next_(next) {}

  bool Admits(const Candidate& candidate) override;
  void Chosen(const Candidate& candidate) override;

  int maxPerArtist() const { return maxPerArtist_; }
  // The artists chosen from, and how many songs the cap itself refused.
  std::size_t artists() const { return chosen_.size(); }
  std::size_t refused() const { return refused_; }

 private:
  const DrawTagTable& tags_;
  int maxPerArtist_;
  CandidateGate* next_;
  std::unordered_map<std::string, int> chosen_;  // by artist key
  std::size_t refused_ = 0;
};

// The order that keeps songs of the same artist apart, for songs of `artists` (in draw
// order): as positions into it. Repeatedly takes the artist with the most songs left that
// is not the one just placed (ties go to the artist drawn first), and each artist's songs
// in their draw order. No two neighbours share an artist unless one artist has more than
// half of the songs, rounded up; then as few do as can.
std::vector<std::size_t> SpreadOrder(const std::vector<std::string>& artists);

// Puts `chosen` (in draw order) into the SpreadOrder of their artists. With `keepAlbums`,
// songs of one album that follow one another move as one, by the artist of the first.
void SpreadArtists(std::vector<Candidate>& chosen, const DrawTagTable& tags,
                   bool keepAlbums = false);
void SpreadArtists(std::vector<PooledCandidate>& chosen, const DrawTagTable& tags,
                   bool keepAlbums = false);

// The groups that `balance` gives every candidate of `pool` an equal chance by: their
// artists or albums by `tags`, or their folders (which need no tags).
DrawGroups GroupsOf(const CandidatePool& pool, DrawBalance balance, const DrawTagTable* tags);

// The albums of the candidates of `pool` by `tags`, each in play order: by disc, then
// track, then path.
AlbumList AlbumsOf(const CandidatePool& pool, const DrawTagTable& tags);

}  // namespace sorvina::engine
