#include "engine/candidate_pool.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <iterator>
#include <memory>
#include <utility>

#include "platform/memory_advice.h"

namespace sorvina::engine {

using platform::PathStyle;

std::size_t ComponentHash::operator()(std::string_view name) const {
  if (style == PathStyle::kPosix) return std::hash<std::string_view>{}(name);
  // FNV-1a over the ASCII-lower-cased bytes, so that names equal without regard to
  // letter case hash alike.
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(platform::AsciiLower(c))) * 1099511628211ULL;
  }
  return static_cast<std::size_t>(hash);
}

DirectoryNode::DirectoryNode(PathStyle style, std::pmr::memory_resource* memory)
    : children(0, ComponentHash{style}, ComponentEqual{style}, memory),
      files(0, ComponentHash{style}, ComponentEqual{style}, memory) {}

namespace {

// Appends `value`, growing the array as std::vector does, but into memory advised to be
// held in large pages once it is large.
template <typename T>
void PushBackLarge(std::vector<T>& array, T value) {
  constexpr std::size_t kLargeBytes = std::size_t{4} << 20;
  if (array.size() == array.capacity() && array.size() * sizeof(T) >= kLargeBytes / 2) {
    std::vector<T> larger;
    larger.reserve(array.size() * 2);
    platform::AdviseLargePages(larger.data(), larger.capacity() * sizeof(T));
    std::move(array.begin(), array.end(), std::back_inserter(larger));
    array = std::move(larger);
  }
  array.push_back(std::move(value));
}

// The first block of a filter's memory; later ones grow from there.
constexpr std::size_t kFirstBlockSize = 64 * 1024;

// The end of the component of `text` that begins at `begin`: the next separator, or the
// end of the text.
std::size_t ComponentEnd(std::string_view text, std::size_t begin, PathStyle style) {
  while (begin < text.size() && !platform::IsSeparator(text[begin], style))
    ++begin;
  return begin;
}

}  // namespace

DuplicateFilter::DuplicateFilter(PathStyle style)
    : style_(style),
      memory_(std::make_unique<std::pmr::monotonic_buffer_resource>(kFirstBlockSize)) {
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
  char* const copy = static_cast<char*>(memory_->allocate(name.size(), 1));
  std::copy(name.begin(), name.end(), copy);
  return {copy, name.size()};
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
  const std::vector<std::string_view> components = platform::SplitComponents(path, style_);
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
  for (const std::string_view component : platform::SplitComponents(path, style_))
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

void CandidatePool::Add(Candidate candidate) {
  const Index index = candidates_.size();
  totalWeight_ += candidate.weight;
  if (index == 0) firstWeight_ = candidate.weight;
  sameWeights_ = sameWeights_ && std::bit_cast<std::uint64_t>(candidate.weight) ==
                                     std::bit_cast<std::uint64_t>(firstWeight_);
  PushBackLarge(weights_, candidate.weight);
  candidate.source = source_;
  PushBackLarge(candidates_, std::move(candidate));
  if (index % 64 == 0) PushBackLarge(live_, std::uint64_t{0});
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

void CandidatePool::ReleaseAll() {
  candidates_ = {};
  weights_ = {};
  live_ = {};
  head_ = kNone;
  count_ = 0;
  totalWeight_ = 0.0;
  sameWeights_ = true;
  firstWeight_ = 0.0;
  source_ = 0;
  filter_.ReleaseAll();
}

}  // namespace sorvina::engine
