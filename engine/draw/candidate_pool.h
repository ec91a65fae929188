// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <memory_resource>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/memory_advice.h"
#include "text/path_style.h"

namespace sorvina::engine {

// One MP3 file that may be drawn, as a draw hands it over.
struct Candidate {
  std::string path;
  std::int64_t sizeBytes = 0;
  double weight = 1.0;
  // The position, in the settings' list, of the source it was collected from.
  std::size_t source = 0;
};

// A candidate as its pool holds it: the path is the pool's, readable until ReleaseAll.
struct PooledCandidate {
  std::string_view path;
  std::int64_t sizeBytes = 0;
  double weight = 1.0;
  std::size_t source = 0;
};

// The candidate `record` names, with a copy of its path of its own.
inline Candidate ToCandidate(const PooledCandidate& record) {
  return Candidate{std::string(record.path), record.sizeBytes, record.weight, record.source};
}

// The same for each of `records`.
std::vector<Candidate> ToCandidates(std::span<const PooledCandidate> records);

// Memory handed out piece after piece and let go all at once, for a library's worth of
// small texts and table entries, in blocks that grow to 2 MiB. The blocks take ordinary
// pages rather than large ones: the system backs a large page whole as soon as any of it
// is touched, so that each part-filled block would hold up to 2 MiB for nothing, and
// large pages made no run measurably faster here.
class BlockMemory final : public std::pmr::memory_resource {
 public:
  BlockMemory() = default;
  BlockMemory(const BlockMemory&) = delete;
  BlockMemory& operator=(const BlockMemory&) = delete;
  ~BlockMemory() override { release(); }

  // Lets go of every block: whatever was handed out may no longer be used.
  void release();

  // The blocks, each as the range of memory it spans, the oldest first.
  std::vector<std::span<const char>> blocks() const;
  // Lets go of the block numbered `index` in blocks() before the others: nothing in it
  // may be used any more, and nothing more may be asked for until release().
  void ReleaseBlock(std::size_t index);

 private:
  struct Block {
    char* data;
    std::size_t size;
  };

  void* do_allocate(std::size_t bytes, std::size_t alignment) override;
  void do_deallocate(void*, std::size_t, std::size_t) override {}
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }

  std::vector<Block> blocks_;  // the oldest first
  std::size_t used_ = 0;       // of the newest block
};

// Hashing and equality of path components as the path style compares them, usable with
// string_view keys so that lookups need no copies.
struct ComponentHash {
  using is_transparent = void;
  text::PathStyle style;
  std::size_t operator()(std::string_view name) const;
};
struct ComponentEqual {
  using is_transparent = void;
  text::PathStyle style;
  bool operator()(std::string_view a, std::string_view b) const {
    return text::NamesEqual(a, b, style);
  }
};

// One folder of the duplicate filter: its subfolders and the file names registered in it,
// each spelled as in the first path that named it. Nodes belong to their filter, which
// keeps them, the names they hold and the memory of their maps until it forgets
// everything; the maps hold plain pointers, so tearing a tree of any depth down takes no
// recursion.
struct DirectoryNode {
  DirectoryNode(text::PathStyle style, std::pmr::memory_resource* memory);

  std::pmr::unordered_map<std::string_view, DirectoryNode*, ComponentHash, ComponentEqual> children;
  std::pmr::unordered_set<std::string_view, ComponentHash, ComponentEqual> files;
};

// Keeps the same file from entering the pool twice in one run. Two paths name the same
// file when their components are equal in order, compared as the path style compares
// names (letter case ignored in Windows style); a leading separator is the root. Paths
// that spell one file differently ("..", a link) count as different files.
//
// A scan need not hand over whole paths: it asks once for the node of the folder it
// starts from (FolderNode) and goes on by name from the nodes it holds (Subfolder,
// RegisterFile), which gives the same nodes and the same answers as RegisterPath would.
class DuplicateFilter {
 public:
  explicit DuplicateFilter(text::PathStyle style = text::NativePathStyle());
  // Nodes point at each other and into the filter's memory: a copy would share them.
  DuplicateFilter(const DuplicateFilter&) = delete;
  DuplicateFilter& operator=(const DuplicateFilter&) = delete;
  // A filter moved from may only be destroyed or assigned to.
  DuplicateFilter(DuplicateFilter&& other) noexcept = default;
  DuplicateFilter& operator=(DuplicateFilter&& other) noexcept;

  // Registers `path` and returns the folder node it now belongs to, or nullptr when the
  // path was registered before.
  const DirectoryNode* RegisterPath(std::string_view path);

  // The node of the folder `path` (not empty), every component of it taken as a folder;
  // made, with the nodes above it, where new. A trailing separator changes nothing.
  DirectoryNode& FolderNode(std::string_view path);

  // The node FolderNode gives for the path that led to `folder`, a separator where that
  // does not end in one, `relative`, and a separator: the folder a scan enters by the name
  // `relative` and whose files it names with that path as their prefix.
  DirectoryNode& Subfolder(DirectoryNode& folder, std::string_view relative);

  // The same as RegisterPath of the path that led to `folder`, a separator where that does
  // not end in one, and `relative`, which is not empty: usually one name, as a folder
  // listing gives it.
  const DirectoryNode* RegisterFile(DirectoryNode& folder, std::string_view relative);

  // For a scan that keeps the names itself: whether the file `name` (one name, as a folder
  // listing gives it) is registered in `folder`; and registering it there, when it is not,
  // with no copy of it: `name` must stay readable until the filter forgets everything.
  bool HasFile(const DirectoryNode& folder, std::string_view name) const {
    return folder.files.contains(name);
  }
  void RegisterKeptFile(DirectoryNode& folder, std::string_view name) { folder.files.insert(name); }
  // A hint that about `count` more files will be registered in `folder`: its table is
  // sized once rather than grown step by step, each step leaving its old table unused.
  void ExpectFiles(DirectoryNode& folder, std::size_t count) {
    folder.files.reserve(folder.files.size() + count);
  }

  // Forgets every path.
  void ReleaseAll();

 private:
  DirectoryNode& Root() { return nodes_.front(); }
  DirectoryNode& Child(DirectoryNode& folder, std::string_view name);
  // A copy of `name` that lives as long as the filter's nodes.
  std::string_view Keep(std::string_view name);

  text::PathStyle style_;
  // The names and every map entry are taken from large blocks, one after another, rather
  // than allocated one by one: a library's worth of them is made and let go at once. Held
  // by pointer, so that the maps' hold on it survives a move of the filter.
  std::unique_ptr<BlockMemory> memory_ = std::make_unique<BlockMemory>();
  std::deque<DirectoryNode> nodes_;  // the root first; a deque never moves its elements
};

// The candidates of one run. Candidates are added at the head, so the pool is walked from
// the most recently collected to the first collected:
//   for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) ...
// Indices stay valid until ReleaseAll. `totalWeight` is kept up to date by Add and
// Remove and never recomputed, so it may drift from the exact sum through rounding.
// A pool moved from may only be destroyed or assigned to; the records it held keep their
// paths in the pool they moved to.
class CandidatePool {
 public:
  using Index = std::size_t;
  static constexpr Index kNone = std::numeric_limits<Index>::max();

  explicit CandidatePool(text::PathStyle style = text::NativePathStyle()) : filter_(style) {}

  // Adds the file at `path` as one of the source that BeginSource named last (0 before).
  void Add(std::string_view path, std::int64_t sizeBytes, double weight);
  // The candidates added from now on come from source number `source`.
  void BeginSource(std::size_t source) { source_ = source; }
  // Takes the candidate at `index` out of the pool. Its record stays, readable through
  // operator[], until ReleaseAll.
  void Remove(Index index);
  // Takes out every candidate for which `leaves(index)` is true, then adds `totalWeight` up
  // anew (as RecomputeTotalWeight does) where any went; whether any went.
  bool RemoveWhere(const std::function<bool(Index)>& leaves);
  // Empties the pool, as ReleaseAll, and returns the candidates that `records`, taken
  // out of it (a draw's), name, with paths of their own: for a run that needs nothing more
  // of the pool. Its records go first, and the paths are copied block by block, each block
  // let go once its paths are copied, so that they are held twice over only a block at a
  // time.
  std::vector<Candidate> TakeCandidates(std::span<const PooledCandidate> records);
  // A hint that the record at `index` will be read soon.
  void PrefetchRecord(Index index) const {
    const char* record = reinterpret_cast<const char*>(&candidates_[index]);
    __builtin_prefetch(record);
    __builtin_prefetch(record + sizeof(PooledCandidate) - 1);
  }
  // Empties the pool and the filter for the next run.
  void ReleaseAll();
  // Sets `totalWeight` to the sum of the remaining weights, added up in pool order: the
  // cure for drift once a walk has found nothing to draw.
  void RecomputeTotalWeight();
  // Gives every candidate in the pool the weight `weigh(index)` returns for it; one given
  // a weight not above 0 leaves the pool. `totalWeight` is then added up anew in pool
  // order, as RecomputeTotalWeight does.
  void Reweigh(const std::function<double(Index)>& weigh);

  std::size_t count() const { return count_; }
  double totalWeight() const { return totalWeight_; }
  Index head() const { return head_; }
  // The next candidate in pool order: the newest one collected before `index` that is
  // still in the pool.
  Index next(Index index) const {
    std::size_t word = index / 64;
    std::uint64_t older = live_[word] & ((std::uint64_t{1} << (index % 64)) - 1);
    while (older == 0) {
      if (word == 0) return kNone;
      older = live_[--word];
    }
    return word * 64 + 63 - static_cast<std::size_t>(std::countl_zero(older));
  }
  // The first candidate in pool order for which `test(index)` holds, or kNone; the
  // candidates before it are tested one by one in pool order. Faster than a loop over
  // next(), for walks over the whole pool.
  template <typename Test>
  Index FindInOrder(const Test& test) const {
    if (head_ == kNone) return kNone;
    std::size_t word = head_ / 64;
    for (std::uint64_t bits = live_[word];; bits = live_[--word]) {
      while (bits != 0) {
        const auto bit = static_cast<std::size_t>(63 - std::countl_zero(bits));
        if (test(word * 64 + bit)) return word * 64 + bit;
        bits &= ~(std::uint64_t{1} << bit);
      }
      if (word == 0) return kNone;
    }
  }
  const PooledCandidate& operator[](Index index) const { return candidates_[index]; }
  // Whether the candidate at `index` is still in the pool.
  bool contains(Index index) const { return (live_[index / 64] >> (index % 64) & 1) != 0; }
  // The same as operator[](index).weight, from a dense array that walks read quickly.
  double weight(Index index) const { return weights_[index]; }
  // The weights of the candidates `low` to `high` (neither beyond the newest), by index.
  std::span<const double> weights(Index low, Index high) const {
    return std::span<const double>(weights_).subspan(low, high - low + 1);
  }

  DuplicateFilter& filter() { return filter_; }

 private:
  // Empties the pool and the filter but keeps the paths.
  void ReleaseAllButPaths();
  // Every candidate keeps its index, so the pool order is the order of the indices
  // reversed, and the pool itself is a bit per candidate: set while it is in the pool.
  // Taking one out touches one bit rather than two neighbours' links, and the walk to the
  // next one skips 64 that have left at a time.
  // The arrays take large pages once they are large: collecting a library fills them in
  // one go, and a draw reads them all over.
  std::pmr::vector<PooledCandidate> candidates_{platform::LargePageMemory()};  // by index
  std::pmr::vector<double> weights_{platform::LargePageMemory()};  // the weights, by index
  // Bit i of word i / 64: candidate i is in the pool.
  std::pmr::vector<std::uint64_t> live_{platform::LargePageMemory()};
  // The paths, one after another in blocks that never move. Held by pointer, so that
  // the records' views of it survive a move of the pool.
  std::unique_ptr<BlockMemory> paths_ = std::make_unique<BlockMemory>();
  Index head_ = kNone;
  std::size_t count_ = 0;
  double totalWeight_ = 0.0;
  // Whether every weight added is the first one, bit for bit (the default weights): then a
  // candidate leaving needs no look at its weight, which may be far away in memory.
  bool sameWeights_ = true;
  double firstWeight_ = 0.0;
  std::size_t source_ = 0;
  DuplicateFilter filter_;
};

}  // namespace sorvina::engine
