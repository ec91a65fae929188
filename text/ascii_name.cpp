// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/ascii_name.h"

#include <array>

namespace sorvina::text {
namespace {

// The ASCII letter of each character from U+0100 to U+017F (Latin Extended-A), which
// come in pairs of capital and small letter: "Ā" gives "A", "ł" "l".
constexpr std::string_view kExtendedA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRr"
    "SsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(kExtendedA.size() == 0x80);

// What each character from U+00C0 to U+00FF gives in ASCII.
constexpr std::array<std::string_view, 0x40> kLatin1 = {
    "A", "A", "A", "A", "Ae", "A", "AE", "C", "E", "E", "E", "E", "I",  "I", "I",  "I",
    "D", "N", "O", "O", "O",  "O", "Oe", "x", "O", "U", "U", "U", "Ue", "Y", "Th", "ss",
    "a", "a", "a", "a", "ae", "a", "ae", "c", "e", "e", "e", "e", "i",  "i", "i",  "i",
    "d", "n", "o", "o", "o",  "o", "oe", "_", "o", "u", "u", "u", "ue", "y", "th", "y"};

// The code point of the UTF-8 sequence at `at`, and its length; U+FFFD for a byte that
// starts no valid sequence (length 1).
char32_t DecodeAt(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  length = 1;
  if (lead < 0x80) return lead;
  const std::size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (expected == 0 || lead > 0xF4 || at + expected > text.size()) return 0xFFFD;
  char32_t code = lead & (0x7F >> expected);
  for (std::size_t i = 1; i < expected; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0xFFFD;
    code = code << 6 | (byte(i) & 0x3F);
  }
  length = expected;
  return code;
}

std::string_view AsciiOf(char32_t code) {
  if (code >= 0xC0 && code <= 0xFF) return kLatin1[code - 0xC0];
  if (code >= 0x100 && code <= 0x17F) return kExtendedA.substr(code - 0x100, 1);
  if (code >= 0x300 && code <= 0x36F) return "";  // an accent written after its letter
  switch (code) {
    case 0x2018:
    case 0x2019:
      return "'";
    case 0x2013:
    case 0x2014:
      return "-";
    default:
      return "_";
  }
}

}  // namespace

std::string AsciiName(std::string_view name) {
  std::string ascii;
  ascii.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    std::size_t length = 1;
    const char32_t code = DecodeAt(name, at, length);
    if (code < 0x80) {
      ascii.push_back(static_cast<char>(code));
    } else {
      ascii.append(AsciiOf(code));
    }
    at += length;
  }
  return ascii;
}

}  // namespace sorvina::text
