// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/draw_shaping.h"

#include <algorithm>
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
std::string FolderKey(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? std::string_view("/")
                                                     : path.substr(0, slash + 1));
}

}  // namespace

bool ShapesTheDraw(const ExtraOptions& options) {
  return options.maxPerArtist > 0 || options.spread || options.ratingWeights.has_value();
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

DrawTagTable DrawTagTable::Read(const CandidatePool& pool, const DrawTagsReader& read) {
  std::vector<std::string> paths;
  paths.reserve(pool.count());
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    paths.emplace_back(pool[i].path);
  const std::vector<std::optional<media::DrawTags>> tags = read(paths);
  DrawTagTable table;
  for (std::size_t i = 0; i < paths.size(); ++i)
    table.Add(paths[i], i < tags.size() ? tags[i] : std::nullopt);
  return table;
}

void DrawTagTable::Add(std::string_view path, const std::optional<media::DrawTags>& tags) {
  Entry entry{ArtistKey(path, tags), tags ? std::clamp(tags->rating, 0, 5) : 0};
  entries_.insert_or_assign(std::string(path), std::move(entry));
}

std::string DrawTagTable::ArtistOf(std::string_view path) const {
  const auto found = entries_.find(path);
  return found != entries_.end() ? found->second.artist : FolderKey(path);
}

int DrawTagTable::RatingOf(std::string_view path) const {
  const auto found = entries_.find(path);
  return found != entries_.end() ? found->second.rating : 0;
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
  if (found != chosen_.end() && found->second >= maxPerArtist_) return false;
  return next_ == nullptr || next_->Admits(candidate);
}

void ArtistCap::Chosen(const Candidate& candidate) {
  ++chosen_[tags_.ArtistOf(candidate.path)];
  if (next_ != nullptr) next_->Chosen(candidate);
}

std::vector<std::size_t> SpreadOrder(const std::vector<std::string>& artists) {
  // Artists numbered as they first appear, each with its songs' positions in draw order.
  std::unordered_map<std::string_view, std::size_t> numberOf;
  std::vector<std::vector<std::size_t>> songs;
  for (std::size_t i = 0; i < artists.size(); ++i) {
    const auto [found, added] = numberOf.try_emplace(artists[i], songs.size());
    if (added) songs.emplace_back();
    songs[found->second].push_back(i);
  }
  // Most songs left first, then the artist drawn first.
  std::set<std::pair<std::size_t, std::size_t>, std::greater<>> waiting;  // (left, ~number)
  for (std::size_t number = 0; number < songs.size(); ++number)
    waiting.emplace(songs[number].size(), ~number);
  std::vector<std::size_t> taken(songs.size(), 0);
  std::vector<std::size_t> order;
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

void SpreadArtists(std::vector<Candidate>& chosen, const DrawTagTable& tags) {
  std::vector<std::string> artists;
  artists.reserve(chosen.size());
  for (const Candidate& candidate : chosen)
    artists.push_back(tags.ArtistOf(candidate.path));
  std::vector<Candidate> spread;
  spread.reserve(chosen.size());
  for (const std::size_t i : SpreadOrder(artists))
    spread.push_back(std::move(chosen[i]));
  chosen = std::move(spread);
}

}  // namespace sorvina::engine
