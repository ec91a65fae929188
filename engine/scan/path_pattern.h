// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvina::engine {

// A shell-style pattern for paths below a source, as "--exclude" takes them:
//   *    any run of characters within one name (never a '/')
//   ?    any one character but '/'
//   **   any run of characters, '/' included; "**/" also matches nothing at all, so
//        "**/Live/*" matches "Live/a.mp3" as well as "x/y/Live/a.mp3"
// Letters are compared without regard to ASCII letter case, as FAT compares names; '\'
// and '/' both separate names. A pattern without any '/' is matched against each name in
// the path on its own, so "*.m4b" leaves out every such file and "Christmas" everything in
// any folder of that name. A match takes time in proportion to the pattern's length times
// the path's, whatever the pattern: runs of stars count as one.
class PathPattern {
 public:
  // Nothing, with the reason in `why` where given, for a pattern that is empty or longer
  // than kMaxPatternBytes once runs of stars are counted as one.
  static std::optional<PathPattern> Parse(std::string_view text, std::string* why = nullptr);

  bool Matches(std::string_view path) const;

  static constexpr std::size_t kMaxPatternBytes = 1000;

 private:
  enum class Kind : unsigned char { kLiteral, kAnyOne, kStar, kStars, kStarsSlash };
  struct Token {
    Kind kind;
    char literal;  // folded to lower case
  };
  bool MatchesWhole(std::string_view text) const;

  std::vector<Token> tokens_;
  bool perName_ = false;  // no '/' in the pattern: matched against each name
};

// Whether `path` (below its source) matches any of `patterns`.
bool MatchesAny(const std::vector<PathPattern>& patterns, std::string_view path);

}  // namespace sorvina::engine
