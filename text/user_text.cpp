// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/user_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>

namespace sorvina::text {

TextArgument::TextArgument(UserText text)
    : value(std::make_shared<const UserText>(std::move(text))) {}

UserText Verbatim(std::string text) {
  // "%1" is no text of ours: nothing translates it, so the value shows as it is.
  return UserText("%1", {TextArgument(std::move(text))});
}

UserText Concatenated(std::vector<TextArgument> parts) {
  static constexpr std::array<const char*, 10> kPatterns = {
      "",           "%1",           "%1%2",           "%1%2%3",           "%1%2%3%4",
      "%1%2%3%4%5", "%1%2%3%4%5%6", "%1%2%3%4%5%6%7", "%1%2%3%4%5%6%7%8", "%1%2%3%4%5%6%7%8%9"};
  // Past nine parts the rest goes into the ninth, so that no part is lost.
  constexpr std::size_t kLast = kPatterns.size() - 2;
  if (parts.size() > kLast + 1) {
    std::vector<TextArgument> rest(std::make_move_iterator(parts.begin() + kLast),
                                   std::make_move_iterator(parts.end()));
    parts.erase(parts.begin() + kLast, parts.end());
    parts.emplace_back(Concatenated(std::move(rest)));
  }
  const char* pattern = kPatterns[parts.size()];
  return UserText(pattern, std::move(parts));
}

UserText Counted(const char* source, std::int64_t count, std::vector<TextArgument> arguments) {
  UserText text(source, std::move(arguments));
  text.count = count;
  return text;
}

std::string EnglishPluralForm(std::string_view source, std::int64_t count) {
  constexpr std::string_view kPlural = "(s)";
  std::string written;
  written.reserve(source.size());
  for (std::size_t at = 0; at < source.size();) {
    if (source.substr(at, kPlural.size()) == kPlural) {
      if (count != 1) written += 's';
      at += kPlural.size();
    } else {
      written += source[at++];
    }
  }
  return written;
}

// `pattern` with each %n and %Ln (the count in the reader's digits) replaced by `count`.
static std::string WithCount(std::string_view pattern, std::int64_t count) {
  std::string written;
  written.reserve(pattern.size());
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    const std::string_view rest = pattern.substr(at);
    if (rest.starts_with("%n") || rest.starts_with("%Ln")) {
      written += std::to_string(count);
      at += rest[1] == 'L' ? 2 : 1;
    } else {
      written += pattern[at];
    }
  }
  return written;
}

std::string FillPlaceholders(std::string_view pattern, const std::vector<std::string>& values) {
  std::string filled;
  filled.reserve(pattern.size());
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern[at] == '%' && at + 1 < pattern.size() && pattern[at + 1] >= '1' &&
        pattern[at + 1] <= '9') {
      const std::size_t index = static_cast<std::size_t>(pattern[at + 1] - '1');
      if (index < values.size()) {
        filled += values[index];
        ++at;
        continue;
      }
    }
    filled += pattern[at];
  }
  return filled;
}

std::string EnglishNumber(const DecimalNumber& number) {
  char text[400];  // "%.*f" of the largest double has 309 digits before the point
  std::snprintf(text, sizeof text, "%.*f", std::clamp(number.decimals, 0, 17), number.value);
  return text;
}

std::string English(const UserText& text) {
  std::vector<std::string> values;
  values.reserve(text.arguments.size());
  for (const TextArgument& argument : text.arguments) {
    if (const auto* verbatim = std::get_if<std::string>(&argument.value)) {
      values.push_back(*verbatim);
    } else if (const auto* integer = std::get_if<std::int64_t>(&argument.value)) {
      values.push_back(std::to_string(*integer));
    } else if (const auto* decimal = std::get_if<DecimalNumber>(&argument.value)) {
      values.push_back(EnglishNumber(*decimal));
    } else {
      values.push_back(English(*std::get<std::shared_ptr<const UserText>>(argument.value)));
    }
  }
  if (text.count)
    return FillPlaceholders(WithCount(EnglishPluralForm(text.source, *text.count), *text.count),
                            values);
  return FillPlaceholders(text.source, values);
}

}  // namespace sorvina::text
