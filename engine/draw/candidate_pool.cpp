// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/candidate_pool.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <memory>
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

// The first block of a filter's memory, and of a pool's paths; later ones grow from there,
// soon into large pages.
constexpr std::size_t kFirstBlockSize = 64 * 1024;

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

DuplicateFilter::DuplicateFilter(PathStyle style)
    : style_(style),
      memory_(std::make_unique<std::pmr::monotonic_buffer_resource>(kFirstBlockSize,
                                                                    platform::LargePageMemory())) {
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

std::unique_ptr<std::pmr::monotonic_buffer_resource> CandidatePool::NewPathMemory() {
  return std::make_unique<std::pmr::monotonic_buffer_resource>(kFirstBlockSize,
                                                               platform::LargePageMemory());
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
  // Swapped with empty arrays, which free their memory, as clear() would not.
  std::pmr::vector<PooledCandidate>(platform::LargePageMemory()).swap(candidates_);
  std::pmr::vector<double>(platform::LargePageMemory()).swap(weights_);
  std::pmr::vector<std::uint64_t>(platform::LargePageMemory()).swap(live_);
  paths_->release();
  head_ = kNone;
  count_ = 0;
  totalWeight_ = 0.0;
  sameWeights_ = true;
  firstWeight_ = 0.0;
  source_ = 0;
  filter_.ReleaseAll();
}

}  // namespace sorvina::engine
