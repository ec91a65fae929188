// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/draw_shaping.h"

#include <algorithm>
#include <bit>
#include <set>
#include <utility>

#include "text/path_style.h"

namespace sorvina::engine {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// `name` without blanks around it, ASCII letters in lower case.
std::string Folded(std::string_view name) {
  while (!name.empty() && IsBlank(name.front()))
    name.remove_prefix(1);
  while (!name.empty() && IsBlank(name.back()))
    name.remove_suffix(1);
  std::string folded(name);
  for (char& c : folded)
    c = text::AsciiLower(c);
  return folded;
}

// The folder of `path`, separator included: the key of a song without an artist.
// Folders never end without a separator, and no folded artist name begins with one, so
// the two kinds of key cannot meet.
std::string_view FolderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string_view("/") : path.substr(0, slash + 1);
}
std::string FolderKey(std::string_view path) {
  return std::string(FolderOf(path));
}

}  // namespace

bool ShapesTheDraw(const ExtraOptions& options) {
  return options.maxPerArtist > 0 || options.spread || options.ratingWeights.has_value() ||
         options.albums || options.balance == DrawBalance::kArtist ||
         options.balance == DrawBalance::kAlbum;
}

std::string ArtistKey(std::string_view path, const std::optional<media::DrawTags>& tags) {
  if (tags) {
    std::string key = Folded(tags->artist);
    if (key.empty()) key = Folded(tags->albumArtist);
    // A blank name is no name; a key beginning with a separator would pass for a folder.
    if (!key.empty() && key.front() != '/') return key;
  }
  return FolderKey(path);
}

std::string AlbumKey(std::string_view path, const std::optional<media::DrawTags>& tags) {
  if (tags) {
    std::string album = Folded(tags->album);
    if (!album.empty()) {
      std::string by = Folded(tags->albumArtist);
      if (by.empty()) by = Folded(tags->artist);
      // The line break keeps "a" + "bc" from meeting "ab" + "c"; names never hold one.
      std::string key = by + '\n' + album;
      if (key.front() != '/') return key;
    }
  }
  return FolderKey(path);
}

DrawTagTable DrawTagTable::Read(const CandidatePool& pool, const DrawTagsReader& read) {
  // A part at a time, so that the paths and tags in hand stay few whatever the library.
  constexpr std::size_t kPart = 4096;
  DrawTagTable table;
  table.rows_.reserve(pool.count());
  std::vector<CandidatePool::Index> part;
  std::vector<std::string> paths;
  CandidatePool::Index next = pool.head();
  while (next != CandidatePool::kNone) {
    part.clear();
    paths.clear();
    for (; next != CandidatePool::kNone && part.size() < kPart; next = pool.next(next)) {
      part.push_back(next);
      paths.emplace_back(pool[next].path);
    }
    const std::vector<std::optional<media::DrawTags>> tags = read(paths);
    for (std::size_t i = 0; i < part.size(); ++i)
      table.Add(pool[part[i]].path, i < tags.size() ? tags[i] : std::nullopt);
  }
  return table;
}

std::uint32_t DrawTagTable::Intern(std::string name) {
  const auto found = nameNumbers_.find(name);
  if (found != nameNumbers_.end()) return found->second;
  const auto number = static_cast<std::uint32_t>(names_.size());
  names_.push_back(name);
  nameNumbers_.emplace(std::move(name), number);
  return number;
}

std::size_t DrawTagTable::SlotOf(std::string_view path) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = std::hash<std::string_view>{}(path)&mask;
  while (slots_[slot] != 0 && rows_[slots_[slot] - 1].path != path)
    slot = (slot + 1) & mask;
  return slot;
}

void DrawTagTable::Add(std::string_view path, const std::optional<media::DrawTags>& tags) {
  Entry entry;
  entry.artist = Intern(ArtistKey(path, tags));
  entry.album = Intern(AlbumKey(path, tags));
  if (tags) {
    entry.place = static_cast<std::uint32_t>(std::clamp(tags->disc, 0, 0xffff)) << 16 |
                  static_cast<std::uint32_t>(std::clamp(tags->track, 0, 0xffff));
    entry.rating = std::clamp(tags->rating, 0, 5);
  }
  // Slots at most half full keep probes short.
  if (slots_.size() < 2 * (rows_.size() + 1)) {
    slots_.assign(std::bit_ceil(std::max<std::size_t>(rows_.capacity(), rows_.size() + 1) * 2), 0);
    for (std::size_t row = 0; row < rows_.size(); ++row)
      slots_[SlotOf(rows_[row].path)] = static_cast<std::uint32_t>(row + 1);
  }
  std::uint32_t& slot = slots_[SlotOf(path)];
  if (slot != 0) {
    rows_[slot - 1].entry = entry;
    return;
  }
  rows_.push_back({path, entry});
  slot = static_cast<std::uint32_t>(rows_.size());
}

const DrawTagTable::Entry* DrawTagTable::Find(std::string_view path) const {
  if (slots_.empty()) return nullptr;
  const std::uint32_t slot = slots_[SlotOf(path)];
  return slot != 0 ? &rows_[slot - 1].entry : nullptr;
}

std::string DrawTagTable::ArtistOf(std::string_view path) const {
  const Entry* entry = Find(path);
  return entry != nullptr ? names_[entry->artist] : FolderKey(path);
}

std::string DrawTagTable::AlbumOf(std::string_view path) const {
  const Entry* entry = Find(path);
  return entry != nullptr ? names_[entry->album] : FolderKey(path);
}

std::uint32_t DrawTagTable::PlaceOf(std::string_view path) const {
  const Entry* entry = Find(path);
  return entry != nullptr ? entry->place : 0;
}

int DrawTagTable::RatingOf(std::string_view path) const {
  const Entry* entry = Find(path);
  return entry != nullptr ? entry->rating : 0;
}

void WeighByRating(CandidatePool& pool, const DrawTagTable& tags,
                   const std::array<double, 6>& weights) {
  pool.Reweigh([&](CandidatePool::Index index) {
    const PooledCandidate& candidate = pool[index];
    return candidate.weight * weights[static_cast<std::size_t>(tags.RatingOf(candidate.path))];
  });
}

bool ArtistCap::Admits(const Candidate& candidate) {
  const auto found = chosen_.find(tags_.ArtistOf(candidate.path));
  if (found != chosen_.end() && found->second >= maxPerArtist_) {
    ++refused_;
    return false;
  }
  return next_ == nullptr || next_->Admits(candidate);
}

void ArtistCap::Chosen(const Candidate& candidate) {
  ++chosen_[tags_.ArtistOf(candidate.path)];
  if (next_ != nullptr) next_->Chosen(candidate);
}

namespace {

// SpreadOrder in 32-bit positions: spreading a library's worth of songs holds several
// lists of them at once.
std::vector<std::uint32_t> SpreadPositions(const std::vector<std::uint32_t>& artists) {
  // Artists numbered as they first appear, each with its songs' positions in draw order.
  std::unordered_map<std::uint32_t, std::uint32_t> numberOf;
  std::vector<std::vector<std::uint32_t>> songs;
  for (std::size_t i = 0; i < artists.size(); ++i) {
    const auto [found, added] =
        numberOf.try_emplace(artists[i], static_cast<std::uint32_t>(songs.size()));
    if (added) songs.emplace_back();
    songs[found->second].push_back(static_cast<std::uint32_t>(i));
  }
  // Most songs left first, then the artist drawn first.
  std::set<std::pair<std::size_t, std::size_t>, std::greater<>> waiting;  // (left, ~number)
  for (std::size_t number = 0; number < songs.size(); ++number)
    waiting.emplace(songs[number].size(), ~number);
  std::vector<std::size_t> taken(songs.size(), 0);
  std::vector<std::uint32_t> order;
  order.reserve(artists.size());
  std::size_t previous = ~std::size_t{0};
  while (!waiting.empty()) {
    auto next = waiting.begin();
    if (~next->second == previous && waiting.size() > 1) ++next;
    const auto [left, inverted] = *next;
    const std::size_t number = ~inverted;
    waiting.erase(next);
    order.push_back(songs[number][taken[number]++]);
    if (left > 1) waiting.emplace(left - 1, inverted);
    previous = number;
  }
  return order;
}

}  // namespace

std::vector<std::size_t> SpreadOrder(const std::vector<std::string>& artists) {
  std::unordered_map<std::string_view, std::uint32_t> numbers;
  std::vector<std::uint32_t> numbered;
  numbered.reserve(artists.size());
  for (const std::string& artist : artists)
    numbered.push_back(
        numbers.try_emplace(artist, static_cast<std::uint32_t>(numbers.size())).first->second);
  const std::vector<std::uint32_t> order = SpreadPositions(numbered);
  return {order.begin(), order.end()};
}

namespace {

// Where each of `songs` (in draw order) goes to keep artists apart: the new order, as
// positions in the old one.
template <typename Song>
std::vector<std::uint32_t> SpreadPlaces(const std::vector<Song>& songs, const DrawTagTable& tags,
                                        bool keepAlbums) {
  // Runs of songs that move as one: each song alone, or an album's songs together. Songs
  // the table lacks count by their folder, numbered after its names.
  std::unordered_map<std::string, std::uint32_t> folders;
  const auto numbers = [&](std::string_view path) {
    if (const DrawTagTable::Entry* entry = tags.Find(path))
      return std::pair(entry->artist, entry->album);
    const auto number = static_cast<std::uint32_t>(tags.nameCount() + folders.size());
    const std::uint32_t folder = folders.try_emplace(FolderKey(path), number).first->second;
    return std::pair(folder, folder);
  };
  std::vector<std::uint32_t> runStarts;
  std::vector<std::uint32_t> artists;
  std::uint32_t previousAlbum = 0;
  for (std::size_t i = 0; i < songs.size(); ++i) {
    const auto [artist, album] = numbers(songs[i].path);
    if (keepAlbums && i > 0 && album == previousAlbum) continue;
    previousAlbum = album;
    runStarts.push_back(static_cast<std::uint32_t>(i));
    artists.push_back(artist);
  }
  runStarts.push_back(static_cast<std::uint32_t>(songs.size()));
  std::vector<std::uint32_t> from;
  from.reserve(songs.size());
  for (const std::uint32_t run : SpreadPositions(artists)) {
    for (std::uint32_t i = runStarts[run]; i < runStarts[run + 1]; ++i)
      from.push_back(i);
  }
  return from;
}

// Puts `items` in the order `from` gives (the new order as positions in the old one), in
// place, following each cycle of the permutation.
template <typename Item>
void Reorder(std::vector<Item>& items, std::vector<std::uint32_t> from) {
  constexpr std::uint32_t kPlaced = ~std::uint32_t{0};
  for (std::uint32_t start = 0; start < from.size(); ++start) {
    if (from[start] == start || from[start] == kPlaced) continue;
    Item first = std::move(items[start]);
    std::uint32_t at = start;
    while (from[at] != start) {
      items[at] = std::move(items[from[at]]);
      const std::uint32_t next = from[at];
      from[at] = kPlaced;
      at = next;
    }
    items[at] = std::move(first);
    from[at] = kPlaced;
  }
}

template <typename Song>
void SpreadSongs(std::vector<Song>& chosen, const DrawTagTable& tags, bool keepAlbums) {
  Reorder(chosen, SpreadPlaces(chosen, tags, keepAlbums));
}

}  // namespace

void SpreadArtists(std::vector<Candidate>& chosen, const DrawTagTable& tags, bool keepAlbums) {
  SpreadSongs(chosen, tags, keepAlbums);
}

void SpreadArtists(std::vector<PooledCandidate>& chosen, const DrawTagTable& tags,
                   bool keepAlbums) {
  SpreadSongs(chosen, tags, keepAlbums);
}

namespace {

// Numbers the groups of the candidates in pool order, each distinct group as it first
// comes. `keyOf(path)` gives a song's group as a name number of `tags` (below
// tags.nameCount()) where it has one, else as a text; `onEach(index, entry)` hears of
// every candidate with its tag entry (null for none).
template <typename NumberOf, typename OnEach>
DrawGroups NumberGroups(const CandidatePool& pool, const DrawTagTable* tags,
                        const NumberOf& numberOf, const OnEach& onEach) {
  DrawGroups groups;
  std::size_t size = 0;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    size = std::max(size, i + 1);
  groups.groupOf.assign(size, 0);
  constexpr std::uint32_t kUnnumbered = ~std::uint32_t{0};
  std::vector<std::uint32_t> byName(tags != nullptr ? tags->nameCount() : 0, kUnnumbered);
  std::unordered_map<std::string, std::uint32_t> byText;
  std::string_view lastFolder;
  std::uint32_t lastGroup = 0;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const std::string_view path = pool[i].path;
    const DrawTagTable::Entry* entry = tags != nullptr ? tags->Find(path) : nullptr;
    std::uint32_t group = 0;
    if (entry != nullptr) {
      std::uint32_t& number = byName[numberOf(*entry)];
      if (number == kUnnumbered) number = groups.count++;
      group = number;
    } else if (const std::string_view folder = FolderOf(path); folder == lastFolder) {
      group = lastGroup;  // a folder's songs mostly come one after another
    } else {
      const auto [found, added] = byText.try_emplace(std::string(folder), groups.count);
      if (added) ++groups.count;
      group = lastGroup = found->second;
      lastFolder = folder;
    }
    groups.groupOf[i] = group;
    onEach(i, entry);
  }
  return groups;
}

}  // namespace

DrawGroups GroupsOf(const CandidatePool& pool, DrawBalance balance, const DrawTagTable* tags) {
  const auto none = [](CandidatePool::Index, const DrawTagTable::Entry*) {};
  if (balance == DrawBalance::kArtist && tags != nullptr)
    return NumberGroups(
        pool, tags, [](const auto& entry) { return entry.artist; }, none);
  if (balance == DrawBalance::kAlbum && tags != nullptr)
    return NumberGroups(
        pool, tags, [](const auto& entry) { return entry.album; }, none);
  return NumberGroups(
      pool, nullptr, [](const auto& entry) { return entry.album; }, none);
}

AlbumList AlbumsOf(const CandidatePool& pool, const DrawTagTable& tags) {
  // Each song's place is looked up with its album, not at every comparison.
  std::vector<std::uint32_t> placeOf;
  const DrawGroups groups = NumberGroups(
      pool, &tags, [](const auto& entry) { return entry.album; },
      [&placeOf](CandidatePool::Index index, const DrawTagTable::Entry* entry) {
        if (placeOf.size() <= index) placeOf.resize(index + 1);
        placeOf[index] = entry != nullptr ? entry->place : 0;
      });
  AlbumList albums(groups.count);
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    albums[groups.groupOf[i]].push_back(i);
  for (std::vector<CandidatePool::Index>& album : albums) {
    std::sort(album.begin(), album.end(), [&](CandidatePool::Index a, CandidatePool::Index b) {
      return placeOf[a] != placeOf[b] ? placeOf[a] < placeOf[b] : pool[a].path < pool[b].path;
    });
  }
  return albums;
}

}  // namespace sorvina::engine
