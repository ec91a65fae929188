// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/decimal.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cstddef>
#include <string>

namespace sorvina::text {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at]))
    ++at;
  return at;
}

// Length of the longest prefix of `text` that is an unsigned decimal number, 0 if none.
std::size_t DecimalLength(std::string_view text) {
  const std::size_t integerEnd = SkipDigits(text, 0);
  std::size_t end = integerEnd;
  bool anyDigit = integerEnd > 0;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fractionEnd = SkipDigits(text, end + 1);
    anyDigit = anyDigit || fractionEnd > end + 1;
    end = fractionEnd;
  }
  if (!anyDigit) return 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const std::size_t exponentEnd = SkipDigits(text, exponent);
    if (exponentEnd > exponent) end = exponentEnd;
  }
  return end;
}

// The C library's conversion in the "C" locale, for the rare number that from_chars finds
// out of range: it tells overflow (HUGE_VAL) from underflow (0 or a denormal).
double ConvertOutOfRange(std::string_view number) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string terminated(number);
  return strtod_l(terminated.c_str(), nullptr, cLocale);
}

}  // namespace

double ParseLeadingDecimal(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && IsSpace(text[at]))
    ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  const std::string_view number = text.substr(at, DecimalLength(text.substr(at)));
  if (number.empty()) return 0.0;
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) value = ConvertOutOfRange(number);
  return negative ? -value : value;
}

}  // namespace sorvina::text
