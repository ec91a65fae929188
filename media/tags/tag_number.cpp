// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/tag_number.h"

#include <charconv>
#include <cmath>
#include <string>

namespace sorvina::media {
namespace {

constexpr std::string_view kMinusSign = "\xE2\x88\x92";  // U+2212 in UTF-8

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  if (end.size() > text.size()) return false;
  text.remove_prefix(text.size() - end.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (Lower(text[i]) != Lower(end[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<double> TagNumber(std::string_view text, std::string_view unit) {
  text = Trimmed(text);
  if (!unit.empty() && EndsWithIgnoringCase(text, unit))
    text = Trimmed(text.substr(0, text.size() - unit.size()));
  // The number as from_chars reads it, which knows neither a plus sign nor a comma.
  std::string plain;
  if (text.starts_with('+')) {
    text.remove_prefix(1);
  } else if (text.starts_with('-')) {
    text.remove_prefix(1);
    plain += '-';
  } else if (text.starts_with(kMinusSign)) {
    text.remove_prefix(kMinusSign.size());
    plain += '-';
  }
  bool digits = false;
  bool separator = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digits = true;
      plain += c;
    } else if ((c == '.' || c == ',') && !separator) {
      separator = true;
      plain += '.';
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  double value = 0;
  const char* end = plain.data() + plain.size();
  const auto [stop, error] = std::from_chars(plain.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> WholeTagNumber(std::string_view text, int least, int most) {
  const std::optional<double> value = TagNumber(text);
  if (!value || *value != std::trunc(*value) || *value < least || *value > most)
    return std::nullopt;
  return static_cast<int>(*value);
}

}  // namespace sorvina::media
