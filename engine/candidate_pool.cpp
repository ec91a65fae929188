#include "engine/candidate_pool.h"

#include <functional>
#include <utility>

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

DirectoryNode::DirectoryNode(PathStyle style)
    : children(0, ComponentHash{style}, ComponentEqual{style}),
      files(0, ComponentHash{style}, ComponentEqual{style}) {}

DuplicateFilter::DuplicateFilter(PathStyle style) : style_(style), root_(style) {}

const DirectoryNode* DuplicateFilter::RegisterPath(std::string_view path) {
  const std::vector<std::string_view> components = platform::SplitComponents(path, style_);
  if (components.empty()) return nullptr;
  DirectoryNode* node = &root_;
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    auto found = node->children.find(components[i]);
    if (found == node->children.end()) {
      found = node->children
                  .emplace(std::string(components[i]), std::make_unique<DirectoryNode>(style_))
                  .first;
    }
    node = found->second.get();
  }
  // Look before inserting: emplace would build the string even for a duplicate.
  if (node->files.contains(components.back())) return nullptr;
  node->files.emplace(components.back());
  return node;
}

void DuplicateFilter::ReleaseAll() {
  root_ = DirectoryNode(style_);
}

void CandidatePool::Add(Candidate candidate) {
  const Index index = candidates_.size();
  totalWeight_ += candidate.weight;
  candidates_.push_back(std::move(candidate));
  links_.push_back(Links{kNone, head_});
  if (head_ != kNone) links_[head_].newer = index;
  head_ = index;
  ++count_;
}

Candidate CandidatePool::Remove(Index index) {
  Links& links = links_[index];
  if (links.newer != kNone) {
    links_[links.newer].older = links.older;
  } else {
    head_ = links.older;
  }
  if (links.older != kNone) links_[links.older].newer = links.newer;
  links = Links{};
  totalWeight_ -= candidates_[index].weight;
  --count_;
  return std::exchange(candidates_[index], Candidate{});
}

void CandidatePool::RecomputeTotalWeight() {
  double sum = 0.0;
  for (Index i = head_; i != kNone; i = next(i))
    sum += candidates_[i].weight;
  totalWeight_ = sum;
}

void CandidatePool::ReleaseAll() {
  candidates_ = {};
  links_ = {};
  head_ = kNone;
  count_ = 0;
  totalWeight_ = 0.0;
  filter_.ReleaseAll();
}

}  // namespace sorvina::engine
