// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/fat_names.h"

#include <cstddef>

#include "text/path_style.h"

namespace sorvina::transfer {
namespace {

constexpr char kReplacement = '_';

bool IsForbiddenCharacter(unsigned char c) {
  switch (c) {
    case ':':
    case '?':
    case '*':
    case '"':
    case '<':
    case '>':
    case '|':
    case '\\':
      return true;
    default:
      return c < 0x20 || c == 0x7F;
  }
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when there is none
// (a stray continuation byte, a sequence cut short, an overlong form, a surrogate, or a
// code point beyond U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondLow = 0xA0;   // overlong
    if (lead == 0xED) secondHigh = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondLow = 0x90;   // overlong
    if (lead == 0xF4) secondHigh = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const unsigned char low = i == 1 ? secondLow : 0x80;
    const unsigned char high = i == 1 ? secondHigh : 0xBF;
    if (c < low || c > high) return 0;
  }
  return length;
}

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The bytes of the character at `at`: its first byte and the continuation bytes after it.
std::size_t CharacterBytes(std::string_view text, std::size_t at) {
  std::size_t end = at + 1;
  while (end < text.size() && IsContinuation(text[end]))
    ++end;
  return end - at;
}

// What a character of `bytes` bytes counts against a limit: in UTF-16, a surrogate pair
// for four bytes, one unit for fewer; a longer run, which is no character, a unit a byte.
std::size_t UnitsOf(std::size_t bytes, bool utf16) {
  if (!utf16 || bytes > 4) return bytes;
  return bytes == 4 ? 2 : 1;
}

// The longest start of `text` that ends between characters and counts at most `room`.
std::string_view CutToFit(std::string_view text, std::size_t room, bool utf16) {
  std::size_t end = 0;
  std::size_t used = 0;
  while (end < text.size()) {
    const std::size_t bytes = CharacterBytes(text, end);
    used += UnitsOf(bytes, utf16);
    if (used > room) break;
    end += bytes;
  }
  return text.substr(0, end);
}

bool IsReservedDeviceName(std::string_view base) {
  std::string upper(base);
  for (char& c : upper)
    c = text::AsciiUpper(c);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

// The code point of the valid UTF-8 sequence of `length` bytes at the start of `text`.
char32_t DecodeUtf8(std::string_view text, std::size_t length) {
  static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t code = static_cast<unsigned char>(text[0]) & kLeadMask[length];
  for (std::size_t i = 1; i < length; ++i)
    code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The capital of `code` in the scripts that music is mostly named in (Latin, Greek,
// Cyrillic), as the volumes' tables of capitals give it; other code points as they are.
char32_t CapitalOf(char32_t code) {
  if (code >= U'a' && code <= U'z') return code - 0x20;
  if (code >= 0xE0 && code <= 0xFE && code != 0xF7) return code - 0x20;  // à..þ, not ÷
  if (code == 0xFF) return 0x178;                                        // ÿ
  // Latin Extended-A: pairs of capital and small letter, the capital first, except where
  // the small one comes first.
  const bool smallFirst = (code >= 0x139 && code <= 0x148) || (code >= 0x179 && code <= 0x17E);
  if (code >= 0x100 && code <= 0x17F && code != 0x130 && code != 0x131 && code != 0x138 &&
      code != 0x149 && code != 0x17F) {
    if (smallFirst ? (code % 2 == 0) : (code % 2 == 1)) return code - 1;
    return code;
  }
  if (code >= 0x3B1 && code <= 0x3C9 && code != 0x3C2) return code - 0x20;  // Greek
  if (code >= 0x430 && code <= 0x44F) return code - 0x20;                   // Cyrillic а..я
  if (code >= 0x450 && code <= 0x45F) return code - 0x50;                   // ѐ..џ
  return code;
}

}  // namespace

NameLimit NameLimitFor(bool fat) {
  return {255, fat};
}

std::size_t NameLength(std::string_view name, NameLimit limit) {
  if (!limit.utf16) return name.size();
  std::size_t length = 0;
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t bytes = CharacterBytes(name, at);
    length += UnitsOf(bytes, true);
    at += bytes;
  }
  return length;
}

std::string FitStem(std::string_view stem, std::string_view tail, NameLimit limit) {
  const std::size_t tailLength = NameLength(tail, limit);
  const std::size_t room = limit.length > tailLength ? limit.length - tailLength : 0;
  std::string fitted(CutToFit(stem, room, limit.utf16));
  return fitted.append(tail);
}

std::string FitName(std::string_view name, NameLimit limit) {
  constexpr std::size_t kLeastKept = 8;
  const std::size_t dot = name.rfind('.');
  std::string_view extension;
  if (dot != std::string_view::npos && dot > 0) extension = name.substr(dot);
  if (NameLength(extension, limit) + kLeastKept > limit.length) extension = {};
  return FitStem(name.substr(0, name.size() - extension.size()), extension, limit);
}

std::string FatNameKey(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  while (!name.empty()) {
    const std::size_t length = Utf8SequenceLength(name);
    if (length == 0) {
      key.push_back(name[0]);
      name.remove_prefix(1);
      continue;
    }
    AppendUtf8(key, CapitalOf(DecodeUtf8(name, length)));
    name.remove_prefix(length);
  }
  return key;
}

std::string FatSafeName(std::string_view name) {
  std::string safe;
  safe.reserve(name.size() + 1);
  while (!name.empty()) {
    const std::size_t length = Utf8SequenceLength(name);
    if (length == 0 || (length == 1 && IsForbiddenCharacter(static_cast<unsigned char>(name[0])))) {
      safe.push_back(kReplacement);
      name.remove_prefix(1);
    } else {
      safe.append(name.substr(0, length));
      name.remove_prefix(length);
    }
  }
  const auto dropTrailingDotsAndBlanks = [&safe] {
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' '))
      safe.pop_back();
  };
  dropTrailingDotsAndBlanks();
  const std::size_t baseEnd = safe.find('.');
  const std::size_t baseLength = baseEnd == std::string::npos ? safe.size() : baseEnd;
  if (IsReservedDeviceName(std::string_view(safe).substr(0, baseLength))) {
    safe.insert(baseLength, 1, kReplacement);
  }
  // Shortening keeps far more than a device name's few letters, but may end in a blank.
  if (NameLength(safe, NameLimitFor(true)) > NameLimitFor(true).length) {
    safe = FitName(safe, NameLimitFor(true));
    dropTrailingDotsAndBlanks();
  }
  if (safe.empty()) safe.push_back(kReplacement);
  return safe;
}

}  // namespace sorvina::transfer
