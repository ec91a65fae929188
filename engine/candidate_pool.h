#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/path_style.h"

namespace sorvina::engine {

// One MP3 file that may be drawn.
struct Candidate {
  std::string path;
  std::int64_t sizeBytes = 0;
  double weight = 1.0;
};

// Hashing and equality of path components as the path style compares them, usable with
// string_view keys so that lookups need no copies.
struct ComponentHash {
  using is_transparent = void;
  platform::PathStyle style;
  std::size_t operator()(std::string_view name) const;
};
struct ComponentEqual {
  using is_transparent = void;
  platform::PathStyle style;
  bool operator()(std::string_view a, std::string_view b) const {
    return platform::NamesEqual(a, b, style);
  }
};

// One folder of the duplicate filter: its subfolders and the file names registered in it,
// each spelled as in the first path that named it.
struct DirectoryNode {
  explicit DirectoryNode(platform::PathStyle style);

  std::unordered_map<std::string, std::unique_ptr<DirectoryNode>, ComponentHash, ComponentEqual>
      children;
  std::unordered_set<std::string, ComponentHash, ComponentEqual> files;
};

// Keeps the same file from entering the pool twice in one run. Two paths name the same
// file when their components are equal in order, compared as the path style compares
// names (letter case ignored in Windows style); a leading separator is the root. Paths
// that spell one file differently ("..", a link) count as different files.
class DuplicateFilter {
 public:
  explicit DuplicateFilter(platform::PathStyle style = platform::NativePathStyle());

  // Registers `path` and returns the folder node it now belongs to, or nullptr when the
  // path was registered before.
  const DirectoryNode* RegisterPath(std::string_view path);

  // Forgets every path.
  void ReleaseAll();

 private:
  platform::PathStyle style_;
  DirectoryNode root_;
};

// The candidates of one run. Candidates are added at the head, so the pool is walked from
// the most recently collected to the first collected:
//   for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) ...
// Indices stay valid until ReleaseAll. `totalWeight` is kept up to date by Add and Remove
// and never recomputed, so it may drift from the exact sum through rounding.
class CandidatePool {
 public:
  using Index = std::size_t;
  static constexpr Index kNone = std::numeric_limits<Index>::max();

  explicit CandidatePool(platform::PathStyle style = platform::NativePathStyle())
      : filter_(style) {}

  void Add(Candidate candidate);
  // Takes the candidate at `index` out of the pool and hands it back.
  Candidate Remove(Index index);
  // Empties the pool and the filter for the next run.
  void ReleaseAll();
  // Sets `totalWeight` to the sum of the remaining weights, added up in pool order: the
  // cure for drift once a walk has found nothing to draw.
  void RecomputeTotalWeight();

  std::size_t count() const { return count_; }
  double totalWeight() const { return totalWeight_; }
  Index head() const { return head_; }
  Index next(Index index) const { return links_[index].older; }
  const Candidate& operator[](Index index) const { return candidates_[index]; }

  DuplicateFilter& filter() { return filter_; }

 private:
  struct Links {
    Index newer = kNone;
    Index older = kNone;
  };

  std::vector<Candidate> candidates_;  // in collection order, by index
  std::vector<Links> links_;           // the live candidates, doubly linked
  Index head_ = kNone;
  std::size_t count_ = 0;
  double totalWeight_ = 0.0;
  DuplicateFilter filter_;
};

}  // namespace sorvina::engine
