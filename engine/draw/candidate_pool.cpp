// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/candidate_pool.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "platform/memory_advice.h"

namespace sorvina::engine {

using text::PathStyle;

std::vector<Candidate> ToCandidates(std::span<const PooledCandidate> records) {
  std::vector<Candidate> candidates;
  candidates.reserve(records.size());
  for (const PooledCandidate& record : records)
    candidates.push_back(ToCandidate(record));
  return candidates;
}

std::size_t ComponentHash::operator()(std::string_view name) const {
  if (style == PathStyle::kPosix) return std::hash<std::string_view>{}(name);
  // FNV-1a over the ASCII-lower-cased bytes, so that names equal without regard to
  // letter case hash alike.
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(text::AsciiLower(c))) * 1099511628211ULL;
  }
  return static_cast<std::size_t>(hash);
}

DirectoryNode::DirectoryNode(PathStyle style, std::pmr::memory_resource* memory)
    : children(0, ComponentHash{style}, ComponentEqual{style}, memory),
      files(0, ComponentHash{style}, ComponentEqual{style}, memory) {}

namespace {

// The first block of a BlockMemory; each next one is twice as large, up to the largest.
constexpr std::size_t kFirstBlockSize = 64 * 1024;
constexpr std::size_t kLargestBlockSize = std::size_t{2} << 20;

char* NewBlock(std::size_t size) {
  return static_cast<char*>(::operator new(size));
}

void DeleteBlock(char* data, std::size_t size) {
  ::operator delete(data, size);
}

// A copy of `text` in `memory`, which lives as long as that memory.
std::string_view CopyInto(std::pmr::memory_resource& memory, std::string_view text) {
  char* const copy = static_cast<char*>(memory.allocate(text.size(), 1));
  std::copy(text.begin(), text.end(), copy);
  return {copy, text.size()};
}

// The end of the component of `text` that begins at `begin`: the next separator, or the
// end of the text.
std::size_t ComponentEnd(std::string_view text, std::size_t begin, PathStyle style) {
  while (begin < text.size() && !text::IsSeparator(text[begin], style))
    ++begin;
  return begin;
}

}  // namespace

void* BlockMemory::do_allocate(std::size_t bytes, std::size_t alignment) {
  if (!blocks_.empty() && blocks_.back().data != nullptr) {
    const Block& last = blocks_.back();
    const auto at = reinterpret_cast<std::uintptr_t>(last.data) + used_;
    const std::uintptr_t aligned = (at + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    if (aligned + bytes <= reinterpret_cast<std::uintptr_t>(last.data) + last.size) {
      used_ = aligned + bytes - reinterpret_cast<std::uintptr_t>(last.data);
      return reinterpret_cast<void*>(aligned);
    }
  }
  std::size_t size =
      blocks_.empty() ? kFirstBlockSize : std::min(blocks_.back().size * 2, kLargestBlockSize);
  // A piece larger than that has a block of its own.
  size = std::max(size, bytes + alignment);
  // Room for the block is made before it is taken, so that a failure loses nothing.
  blocks_.reserve(blocks_.size() + 1);
  blocks_.push_back({NewBlock(size), size});
  used_ = 0;
  return do_allocate(bytes, alignment);
}

void BlockMemory::release() {
  for (const Block& block : blocks_)
    if (block.data != nullptr) DeleteBlock(block.data, block.size);
  blocks_.clear();
  used_ = 0;
}

std::vector<std::span<const char>> BlockMemory::blocks() const {
  std::vector<std::span<const char>> spans;
  spans.reserve(blocks_.size());
  for (const Block& block : blocks_)
    spans.emplace_back(block.data, block.data == nullptr ? 0 : block.size);
  return spans;
}

void BlockMemory::ReleaseBlock(std::size_t index) {
  Block& block = blocks_.at(index);
  if (block.data == nullptr) return;
  DeleteBlock(block.data, block.size);
  block.data = nullptr;
}

DuplicateFilter::DuplicateFilter(PathStyle style) : style_(style) {
  nodes_.emplace_back(style_, memory_.get());
}

DuplicateFilter& DuplicateFilter::operator=(DuplicateFilter&& other) noexcept {
  if (this != &other) {
    // The nodes go before the memory their maps were given.
    nodes_ = std::move(other.nodes_);
    memory_ = std::move(other.memory_);
    style_ = other.style_;
  }
  return *this;
}

std::string_view DuplicateFilter::Keep(std::string_view name) {
  return CopyInto(*memory_, name);
}

DirectoryNode& DuplicateFilter::Child(DirectoryNode& folder, std::string_view name) {
  auto found = folder.children.find(name);
  if (found == folder.children.end()) {
    DirectoryNode& child = nodes_.emplace_back(style_, memory_.get());
    found = folder.children.emplace(Keep(name), &child).first;
  }
  return *found->second;
}

const DirectoryNode* DuplicateFilter::RegisterPath(std::string_view path) {
  const std::vector<std::string_view> components = text::SplitComponents(path, style_);
  if (components.empty()) return nullptr;
  DirectoryNode* node = &Root();
  for (std::size_t i = 0; i + 1 < components.size(); ++i)
    node = &Child(*node, components[i]);
  // Look before inserting: the name is kept only for a new file.
  if (node->files.contains(components.back())) return nullptr;
  node->files.insert(Keep(components.back()));
  return node;
}

DirectoryNode& DuplicateFilter::FolderNode(std::string_view path) {
  DirectoryNode* node = &Root();
  for (const std::string_view component : text::SplitComponents(path, style_))
    node = &Child(*node, component);
  return *node;
}

DirectoryNode& DuplicateFilter::Subfolder(DirectoryNode& folder, std::string_view relative) {
  // Every separator ends a folder name, and so does the end of `relative`, which names a
  // folder: in Windows style "a\" is the folder "a" and within it the folder with the empty
  // name, as the path "C:\x\a\\f.mp3" has them.
  DirectoryNode* node = &folder;
  for (std::size_t begin = 0;;) {
    const std::size_t end = ComponentEnd(relative, begin, style_);
    node = &Child(*node, relative.substr(begin, end - begin));
    if (end == relative.size()) return *node;
    begin = end + 1;
  }
}

const DirectoryNode* DuplicateFilter::RegisterFile(DirectoryNode& folder,
                                                   std::string_view relative) {
  if (relative.empty()) return nullptr;
  DirectoryNode* node = &folder;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = ComponentEnd(relative, begin, style_);
    // The last name is the file's; a separator at the very end adds no empty name, as
    // SplitComponents adds none after a path's final separator.
    if (end == relative.size() || end + 1 == relative.size()) {
      const std::string_view name = relative.substr(begin, end - begin);
      if (node->files.contains(name)) return nullptr;
      node->files.insert(Keep(name));
      return node;
    }
    node = &Child(*node, relative.substr(begin, end - begin));
    begin = end + 1;
  }
}

void DuplicateFilter::ReleaseAll() {
  nodes_.clear();
  memory_->release();
  nodes_.emplace_back(style_, memory_.get());
}

void CandidatePool::Add(std::string_view path, std::int64_t sizeBytes, double weight) {
  const Index index = candidates_.size();
  totalWeight_ += weight;
  if (index == 0) firstWeight_ = weight;
  sameWeights_ = sameWeights_ &&
                 std::bit_cast<std::uint64_t>(weight) == std::bit_cast<std::uint64_t>(firstWeight_);
  weights_.push_back(weight);
  candidates_.push_back({CopyInto(*paths_, path), sizeBytes, weight, source_});
  if (index % 64 == 0) live_.push_back(0);
  live_[index / 64] |= std::uint64_t{1} << (index % 64);
  head_ = index;
  ++count_;
}

std::vector<Candidate> CandidatePool::TakeCandidates(std::span<const PooledCandidate> records) {
  ReleaseAllButPaths();
  const std::vector<std::span<const char>> blocks = paths_->blocks();
  if (blocks.empty() || records.size() > std::numeric_limits<std::uint32_t>::max()) {
    std::vector<Candidate> candidates = ToCandidates(records);
    paths_->release();
    return candidates;
  }
  std::vector<Candidate> candidates(records.size());
  // The blocks by address, to find each path's block; then the records of each block in
  // turn, by a count of the records per block.
  std::vector<std::uint32_t> byAddress(blocks.size());
  for (std::uint32_t b = 0; b < byAddress.size(); ++b)
    byAddress[b] = b;
  std::sort(byAddress.begin(), byAddress.end(),
            [&](std::uint32_t a, std::uint32_t b) { return blocks[a].data() < blocks[b].data(); });
  const auto blockOf = [&](std::string_view path) {
    // The last block that begins at or before the path (an empty path may lie anywhere;
    // it is copied with whichever block it falls to).
    const auto after = std::upper_bound(byAddress.begin(), byAddress.end(), path.data(),
                                        [&](const char* at, std::uint32_t b) {
                                          return std::less<const char*>{}(at, blocks[b].data());
                                        });
    return after == byAddress.begin() ? byAddress.front() : *(after - 1);
  };
  std::vector<std::uint32_t> block(records.size());
  std::vector<std::size_t> start(blocks.size() + 1, 0);
  for (std::size_t i = 0; i < records.size(); ++i) {
    block[i] = blockOf(records[i].path);
    ++start[block[i] + 1];
  }
  for (std::size_t b = 0; b < blocks.size(); ++b)
    start[b + 1] += start[b];
  std::vector<std::uint32_t> order(records.size());
  {
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < records.size(); ++i)
      order[next[block[i]]++] = static_cast<std::uint32_t>(i);
  }
  std::vector<std::uint32_t>().swap(block);
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    for (std::size_t k = start[b]; k < start[b + 1]; ++k)
      candidates[order[k]] = ToCandidate(records[order[k]]);
    paths_->ReleaseBlock(b);
  }
  paths_->release();
  return candidates;
}

void CandidatePool::Remove(Index index) {
  live_[index / 64] &= ~(std::uint64_t{1} << (index % 64));
  if (index == head_) head_ = next(index);
  totalWeight_ -= sameWeights_ ? firstWeight_ : weights_[index];
  --count_;
}

void CandidatePool::RecomputeTotalWeight() {
  double sum = 0.0;
  FindInOrder([&](Index index) {
    sum += weights_[index];
    return false;
  });
  totalWeight_ = sum;
}

bool CandidatePool::RemoveWhere(const std::function<bool(Index)>& leaves) {
  bool anyLeft = false;
  for (Index index = head_; index != kNone;) {
    const Index older = next(index);
    if (leaves(index)) {
      Remove(index);
      anyLeft = true;
    }
    index = older;
  }
  // What was subtracted may have left the running total off the exact sum.
  if (anyLeft) RecomputeTotalWeight();
  return anyLeft;
}

void CandidatePool::Reweigh(const std::function<double(Index)>& weigh) {
  for (Index index = head_; index != kNone;) {
    const Index older = next(index);
    const double weight = weigh(index);
    weights_[index] = weight;
    candidates_[index].weight = weight;
    if (!(weight > 0.0)) {
      live_[index / 64] &= ~(std::uint64_t{1} << (index % 64));
      if (index == head_) head_ = older;
      --count_;
    }
    index = older;
  }
  // Removal may now need each candidate's own weight.
  firstWeight_ = weights_.empty() ? 0.0 : weights_.front();
  sameWeights_ = std::all_of(weights_.begin(), weights_.end(), [this](double weight) {
    return std::bit_cast<std::uint64_t>(weight) == std::bit_cast<std::uint64_t>(firstWeight_);
  });
  RecomputeTotalWeight();
}

void CandidatePool::ReleaseAll() {
  ReleaseAllButPaths();
  paths_->release();
}

void CandidatePool::ReleaseAllButPaths() {
  // Swapped with empty arrays, which free their memory, as clear() would not.
  std::pmr::vector<PooledCandidate>(platform::LargePageMemory()).swap(candidates_);
  std::pmr::vector<double>(platform::LargePageMemory()).swap(weights_);
  std::pmr::vector<std::uint64_t>(platform::LargePageMemory()).swap(live_);
  head_ = kNone;
  count_ = 0;
  totalWeight_ = 0.0;
  sameWeights_ = true;
  firstWeight_ = 0.0;
  source_ = 0;
  filter_.ReleaseAll();
}

}  // namespace sorvina::engine
