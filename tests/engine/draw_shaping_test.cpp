// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/draw_shaping.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/draw/random_generator.h"
#include "engine/draw/song_draw.h"
#include "engine/draw/weighted_draw.h"

namespace sorvina::engine {
namespace {

using ::testing::ElementsAre;

struct Song {
  std::string path;
  double weight = 1.0;
  media::DrawTags tags;
};

// One artist with half the songs, ten more with six each; stars 0 to 5 in turn, and the
// big artist's folder weighted twice.
std::vector<Song> Library() {
  std::vector<Song> songs;
  for (int i = 0; i < 60; ++i) {
    media::DrawTags tags;
    tags.artist = i % 2 == 0 ? "Big Artist" : " big ARTIST ";  // one artist, however spelt
    tags.rating = i % 6;
    songs.push_back({"/lib/big/" + std::to_string(i) + ".mp3", 2.0, tags});
  }
  for (int a = 0; a < 10; ++a) {
    for (int i = 0; i < 6; ++i) {
      media::DrawTags tags;
      // Two of the small artists are named only as album artists.
      (a < 2 ? tags.albumArtist : tags.artist) = "Artist " + std::to_string(a);
      tags.rating = (a + i) % 6;
      songs.push_back({"/lib/a" + std::to_string(a) + "/" + std::to_string(i) + ".mp3", 1.0, tags});
    }
  }
  return songs;
}

struct Shaping {
  std::uint32_t seed = 0;
  int files = 0;  // the amount in files of 1,000 bytes; 0: all
  int maxPerArtist = 0;
  bool spread = false;
  std::optional<std::array<double, 6>> ratingWeights;
};

struct Drawn {
  std::vector<Candidate> drawOrder;
  std::vector<Candidate> playOrder;
};

// Draws from the library through the run's own SongDraw, with these options.
Drawn Draw(const Shaping& shaping, const std::vector<Song>& songs) {
  CandidatePool pool;
  DrawTagTable tags;
  for (const Song& song : songs) {
    pool.Add(song.path, 1000, song.weight);
    tags.Add(song.path, song.tags);
  }
  ExtraOptions options;
  options.maxPerArtist = shaping.maxPerArtist;
  options.spread = shaping.spread;
  options.ratingWeights = shaping.ratingWeights;
  SongDraw draw(options, &tags);
  EXPECT_TRUE(draw.Weigh(pool));
  DrawLimit limit;
  if (shaping.files > 0) limit = {DrawLimit::Kind::kBytes, shaping.files * 1000};
  RandomGenerator random;
  random.Seed(shaping.seed);
  std::vector<PooledCandidate> chosen =
      draw.Draw(pool, random, draw.Shaped(limit), {}, nullptr, false);
  Drawn drawn;
  drawn.drawOrder = ToCandidates(chosen);
  draw.OrderForPlay(chosen);
  drawn.playOrder = ToCandidates(chosen);
  return drawn;
}

std::vector<std::string> PathsOf(const std::vector<Candidate>& candidates) {
  std::vector<std::string> paths;
  for (const Candidate& candidate : candidates)
    paths.push_back(candidate.path);
  return paths;
}

TEST(DrawShapingTest, SeededDrawsKeepTheirPromises) {
  const std::vector<Song> songs = Library();
  std::map<std::string, Song> byPath;
  for (const Song& song : songs)
    byPath[song.path] = song;
  const auto artistOf = [&byPath](const Candidate& candidate) {
    return ArtistKey(candidate.path, byPath.at(candidate.path).tags);
  };
  const std::array<double, 6> favourites = {1, 0.2, 0.5, 1, 2, 4};
  const std::array<double, 6> noUnrated = {0, 1, 1, 1, 0, 1};
  const Shaping cases[] = {
      {1, 0, 0, true, std::nullopt},  // the big artist's 60 of 120 can just be spread
      {2, 30, 0, true, std::nullopt}, {3, 40, 0, true, favourites},
      {4, 0, 3, false, std::nullopt}, {5, 25, 2, true, favourites},
      {6, 0, 1, true, std::nullopt},  {7, 0, 5, true, noUnrated},
      {8, 50, 4, false, noUnrated},   {9, 12, 0, true, {{1, 1, 1, 1, 1, 1}}},
  };
  for (const Shaping& shaping : cases) {
    SCOPED_TRACE(shaping.seed);
    const Drawn drawn = Draw(shaping, songs);
    std::map<std::string, int> perArtist;
    std::map<std::string, std::vector<std::string>> drawnByArtist;
    for (const Candidate& candidate : drawn.drawOrder) {
      ++perArtist[artistOf(candidate)];
      drawnByArtist[artistOf(candidate)].push_back(candidate.path);
      // Songs whose stars weigh 0 are never drawn.
      if (shaping.ratingWeights) {
        EXPECT_GT((*shaping.ratingWeights)[byPath.at(candidate.path).tags.rating], 0);
      }
    }
    // The cap holds, and the draw goes on past refused songs until the amount is reached
    // or no artist may add more: a draw of everything takes every artist up to it.
    std::map<std::string, int> available;
    for (const Song& song : songs)
      if (!shaping.ratingWeights || (*shaping.ratingWeights)[song.tags.rating] > 0)
        ++available[ArtistKey(song.path, song.tags)];
    int admissible = 0;
    for (const auto& [artist, count] : available) {
      const int limit = shaping.maxPerArtist > 0 ? std::min(shaping.maxPerArtist, count) : count;
      EXPECT_LE(perArtist[artist], limit) << artist;
      if (shaping.files == 0) {
        EXPECT_EQ(perArtist[artist], limit) << artist;
      }
      admissible += limit;
    }
    EXPECT_EQ(static_cast<int>(drawn.drawOrder.size()),
              shaping.files > 0 ? std::min(shaping.files, admissible) : admissible);

    if (!shaping.spread) {
      EXPECT_EQ(PathsOf(drawn.playOrder), PathsOf(drawn.drawOrder));
      continue;
    }
    // Spread: the same songs, each artist's in draw order, and no neighbours of one artist
    // beyond what the largest artist's share forces.
    std::map<std::string, std::vector<std::string>> playedByArtist;
    int neighbours = 0;
    for (std::size_t i = 0; i < drawn.playOrder.size(); ++i) {
      playedByArtist[artistOf(drawn.playOrder[i])].push_back(drawn.playOrder[i].path);
      if (i > 0 && artistOf(drawn.playOrder[i]) == artistOf(drawn.playOrder[i - 1])) ++neighbours;
    }
    EXPECT_EQ(playedByArtist, drawnByArtist);
    int largest = 0;
    for (const auto& [artist, count] : perArtist)
      largest = std::max(largest, count);
    const int others = static_cast<int>(drawn.playOrder.size()) - largest;
    EXPECT_EQ(neighbours, std::max(0, largest - others - 1));
  }

  // Weights of 1 for every star change nothing: the draw is the plain one, seed for seed.
  EXPECT_EQ(PathsOf(Draw({9, 12, 0, false, {{1, 1, 1, 1, 1, 1}}}, songs).drawOrder),
            PathsOf(Draw({9, 12, 0, false, std::nullopt}, songs).drawOrder));
  // Ties go to the artist drawn first; a lone artist's songs end up together.
  EXPECT_THAT(SpreadOrder({"b", "a", "a", "b", "c"}), ElementsAre(0, 1, 3, 2, 4));
  EXPECT_THAT(SpreadOrder({"a", "a", "a", "b"}), ElementsAre(0, 3, 1, 2));
}

TEST(DrawShapingTest, StarsWeighTheDrawAsAsked) {
  // Six songs, unrated to five stars, one folder weighted 2: each is drawn first as often
  // as the product of the two weights says.
  const std::array<double, 6> weights = {1, 0.2, 0.5, 1, 2, 4};
  const double folder[6] = {1, 1, 2, 1, 1, 1};
  CandidatePool pool;
  DrawTagTable tags;
  double total = 0;
  for (int stars = 0; stars < 6; ++stars) {
    const std::string path = "/lib/" + std::to_string(stars) + ".mp3";
    pool.Add(path, 1000, folder[stars]);
    media::DrawTags read;
    read.rating = stars;
    tags.Add(pool[static_cast<CandidatePool::Index>(stars)].path, read);  // the pool's path
    total += folder[stars] * weights[stars];
  }
  WeighByRating(pool, tags, weights);
  EXPECT_DOUBLE_EQ(pool.totalWeight(), total);

  constexpr int kDraws = 100000;
  int drawn[6] = {};
  RandomGenerator random;
  random.Seed(2024);
  for (int i = 0; i < kDraws; ++i) {
    const CandidatePool::Index index = WalkToTarget(pool, random.NextDouble() * pool.totalWeight());
    ASSERT_NE(index, CandidatePool::kNone);
    ++drawn[index];  // added in order of their stars
  }
  for (int stars = 0; stars < 6; ++stars) {
    const double expected = folder[stars] * weights[stars] / total;
    EXPECT_NEAR(static_cast<double>(drawn[stars]) / kDraws, expected, 0.01) << stars;
  }
}

// Albums of 8 to 14 tracks: five by one artist in one folder (the last on two discs),
// ten more of six tracks each in folders of their own, and a folder of eight untagged
// songs weighted twice. Songs are added out of their track order.
std::vector<Song> AlbumLibrary() {
  std::vector<Song> songs;
  const int bigAlbums[] = {8, 10, 12, 14, 9};
  for (int album = 0; album < 5; ++album) {
    for (int track = bigAlbums[album]; track >= 1; --track) {
      media::DrawTags tags;
      tags.artist = "Big";
      tags.album = "Big " + std::to_string(album);
      tags.disc = album == 4 ? 1 + track % 2 : 0;
      tags.track = track;
      songs.push_back(
          {"/lib/big/" + std::to_string(album) + "-" + std::to_string(track) + ".mp3", 1.0, tags});
    }
  }
  for (int artist = 0; artist < 10; ++artist) {
    for (int track = 6; track >= 1; --track) {
      media::DrawTags tags;
      tags.artist = "A" + std::to_string(artist);
      tags.album = "Only";
      tags.track = track;
      songs.push_back(
          {"/lib/a" + std::to_string(artist) + "/" + std::to_string(track) + ".mp3", 1.0, tags});
    }
  }
  for (int i = 0; i < 8; ++i)
    songs.push_back({"/lib/loose/" + std::to_string(i) + ".mp3", 2.0, {}});
  return songs;
}

// 2,000 seeded draws of one song each give every artist, album or folder its share, the
// mean weight of its songs, whatever its number of songs: a chi-squared test at 1 %.
TEST(DrawShapingTest, BalancedDrawsGiveEachGroupItsShare) {
  const std::vector<Song> songs = AlbumLibrary();
  for (const DrawBalance balance :
       {DrawBalance::kArtist, DrawBalance::kAlbum, DrawBalance::kFolder}) {
    SCOPED_TRACE(static_cast<int>(balance));
    std::map<std::string, int> drawn;
    DrawGroups groups;
    for (std::uint32_t seed = 1; seed <= 2000; ++seed) {
      CandidatePool pool;
      DrawTagTable tags;
      for (const Song& song : songs) {
        pool.Add(song.path, 1000, song.weight);
        tags.Add(song.path, song.tags);
      }
      groups = GroupsOf(pool, balance, &tags);
      RandomGenerator random;
      random.Seed(seed);
      const std::vector<PooledCandidate> one =
          DrawGrouped(pool, random, {DrawLimit::Kind::kBytes, 1000}, groups);
      ASSERT_EQ(one.size(), 1u);
      ++drawn[balance == DrawBalance::kArtist ? tags.ArtistOf(one[0].path)
              : balance == DrawBalance::kAlbum
                  ? tags.AlbumOf(one[0].path)
                  : std::string(one[0].path.substr(0, one[0].path.rfind('/')))];
    }
    // Every group but the loose folder (weight 2) has a mean weight of 1.
    const double units = static_cast<double>(groups.count) + 1;
    ASSERT_EQ(drawn.size(), groups.count);
    double chiSquared = 0;
    for (const auto& [group, count] : drawn) {
      const bool loose = group.find("loose") != std::string::npos;
      const double expected = 2000 * (loose ? 2 : 1) / units;
      chiSquared += (count - expected) * (count - expected) / expected;
    }
    // Critical values at 1 % for 11 and 15 degrees of freedom.
    EXPECT_LT(chiSquared, groups.count == 12 ? 24.725 : 30.578) << groups.count << " groups";
  }
  // A balanced draw of everything still draws every song once.
  CandidatePool pool;
  for (const Song& song : songs)
    pool.Add(song.path, 1000, song.weight);
  RandomGenerator random;
  random.Seed(7);
  EXPECT_EQ(DrawGrouped(pool, random, {}, GroupsOf(pool, DrawBalance::kFolder, nullptr)).size(),
            songs.size());
}

// Whole albums are drawn in disc and track order; a draw that keeps filling tops the
// amount up with single songs once albums no longer fit, and one that does not stops.
TEST(DrawShapingTest, WholeAlbumsComeInTrackOrderAndSinglesTopUp) {
  const std::vector<Song> songs = AlbumLibrary();
  struct Case {
    std::uint32_t seed;
    int files;  // 0: all
    bool fill;
  };
  for (const Case& shape : {Case{1, 0, false}, Case{2, 30, false}, Case{3, 30, true},
                            Case{4, 47, true}, Case{5, 9, true}}) {
    SCOPED_TRACE(shape.seed);
    CandidatePool pool;
    DrawTagTable tags;
    std::map<std::string, media::DrawTags> tagsOf;
    for (const Song& song : songs) {
      pool.Add(song.path, 1000, song.weight);
      tags.Add(song.path, song.tags);
      tagsOf[song.path] = song.tags;
    }
    const AlbumList albums = AlbumsOf(pool, tags);
    ASSERT_EQ(albums.size(), 16u);
    std::map<std::string, std::size_t> albumSize;
    for (const auto& album : albums)
      albumSize[tags.AlbumOf(pool[album.front()].path)] = album.size();
    DrawLimit limit;
    if (shape.files > 0) limit = {DrawLimit::Kind::kBytes, shape.files * 1000, shape.fill};
    RandomGenerator random;
    random.Seed(shape.seed);
    const std::vector<Candidate> chosen = ToCandidates(DrawAlbums(pool, random, limit, albums));

    // The chosen songs are runs of whole albums in play order, then (filling) singles.
    std::size_t i = 0;
    std::size_t albumSongs = 0;
    while (i < chosen.size()) {
      const std::string album = tags.AlbumOf(chosen[i].path);
      std::size_t end = i;
      while (end < chosen.size() && tags.AlbumOf(chosen[end].path) == album)
        ++end;
      if (end - i != albumSize[album]) break;  // the singles begin
      for (std::size_t k = i + 1; k < end; ++k) {
        EXPECT_LT(std::pair(tags.PlaceOf(chosen[k - 1].path), chosen[k - 1].path),
                  std::pair(tags.PlaceOf(chosen[k].path), chosen[k].path));
      }
      albumSongs += end - i;
      i = end;
    }
    const std::size_t total = chosen.size();
    if (shape.files == 0) {
      EXPECT_EQ(albumSongs, songs.size());
    } else if (shape.fill) {
      EXPECT_EQ(total, static_cast<std::size_t>(shape.files));  // topped up exactly
    } else {
      EXPECT_EQ(albumSongs, total);
      EXPECT_LE(total, static_cast<std::size_t>(shape.files));
      EXPECT_GT(total + 14, static_cast<std::size_t>(shape.files));
    }
  }
}

}  // namespace
}  // namespace sorvina::engine
