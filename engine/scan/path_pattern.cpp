// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/path_pattern.h"

#include <algorithm>

namespace sorvina::engine {
namespace {

char Folded(char c) {
  if (c == '\\') return '/';
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The bytes of the UTF-8 character that starts at `at`: one for anything that is not a
// lead byte, so that damaged text still advances.
std::size_t CharacterBytes(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t bytes = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  bytes = std::min(bytes, text.size() - at);
  for (std::size_t i = 1; i < bytes; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return i;
  }
  return bytes;
}

}  // namespace

std::optional<PathPattern> PathPattern::Parse(std::string_view text, std::string* why) {
  const auto refuse = [why](std::string reason) {
    if (why != nullptr) *why = std::move(reason);
    return std::nullopt;
  };
  PathPattern pattern;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == '*') {
      std::size_t end = at;
      while (end < text.size() && text[end] == '*')
        ++end;
      Kind kind = end - at == 1 ? Kind::kStar : Kind::kStars;
      if (kind == Kind::kStars && end < text.size() && Folded(text[end]) == '/') {
        kind = Kind::kStarsSlash;
        ++end;
      }
      pattern.tokens_.push_back({kind, 0});
      at = end;
    } else if (text[at] == '?') {
      pattern.tokens_.push_back({Kind::kAnyOne, 0});
      ++at;
    } else {
      pattern.tokens_.push_back({Kind::kLiteral, Folded(text[at])});
      ++at;
    }
  }
  if (pattern.tokens_.empty()) return refuse("an empty pattern would leave out every song");
  if (pattern.tokens_.size() > kMaxPatternBytes)
    return refuse("a pattern may be no longer than " + std::to_string(kMaxPatternBytes) +
                  " characters");
  pattern.perName_ =
      std::none_of(text.begin(), text.end(), [](char c) { return Folded(c) == '/'; }) &&
      std::none_of(pattern.tokens_.begin(), pattern.tokens_.end(), [](const Token& token) {
        return token.kind == Kind::kStars || token.kind == Kind::kStarsSlash;
      });
  return pattern;
}

bool PathPattern::Matches(std::string_view path) const {
  if (!perName_) return MatchesWhole(path);
  std::size_t begin = 0;
  for (std::size_t end = 0; end <= path.size(); ++end) {
    if (end < path.size() && Folded(path[end]) != '/') continue;
    if (end > begin && MatchesWhole(path.substr(begin, end - begin))) return true;
    begin = end + 1;
  }
  return false;
}

// Which ends of `text` the tokens so far can reach, one flag per position, token by token:
// the pattern's length times the text's, with no backtracking.
bool PathPattern::MatchesWhole(std::string_view text) const {
  const std::size_t size = text.size();
  // Kept from one match to the next: a library's paths are matched one after another.
  thread_local std::vector<char> reached;
  thread_local std::vector<char> next;
  reached.assign(size + 1, 0);
  next.assign(size + 1, 0);
  reached[0] = 1;
  for (const Token& token : tokens_) {
    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    switch (token.kind) {
      case Kind::kLiteral:
        for (std::size_t i = 0; i < size; ++i)
          next[i + 1] = reached[i] && Folded(text[i]) == token.literal;
        break;
      case Kind::kAnyOne:
        for (std::size_t i = 0; i < size; ++i) {
          if (reached[i] && Folded(text[i]) != '/') next[i + CharacterBytes(text, i)] = 1;
        }
        break;
      case Kind::kStar: {
        bool open = false;  // a reached position with no '/' since
        for (std::size_t i = 0; i <= size; ++i) {
          if (i > 0 && Folded(text[i - 1]) == '/') open = false;
          open = open || reached[i];
          next[i] = open;
        }
        break;
      }
      case Kind::kStars: {
        bool open = false;
        for (std::size_t i = 0; i <= size; ++i) {
          open = open || reached[i];
          next[i] = open;
        }
        break;
      }
      case Kind::kStarsSlash: {
        // Nothing at all, or anything that ends in '/'.
        bool open = false;
        for (std::size_t i = 0; i <= size; ++i) {
          next[i] = reached[i] || (open && i > 0 && Folded(text[i - 1]) == '/');
          open = open || reached[i];
        }
        break;
      }
    }
    for (const char flag : next)
      any = any || flag;
    if (!any) return false;
    reached.swap(next);
  }
  return reached[size] != 0;
}

bool MatchesAny(const std::vector<PathPattern>& patterns, std::string_view path) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [path](const PathPattern& pattern) { return pattern.Matches(path); });
}

}  // namespace sorvina::engine
