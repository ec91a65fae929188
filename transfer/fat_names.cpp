#include "transfer/fat_names.h"

#include <cstddef>

#include "platform/path_style.h"

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

bool IsReservedDeviceName(std::string_view base) {
  std::string upper(base);
  for (char& c : upper)
    c = platform::AsciiUpper(c);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

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
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' '))
    safe.pop_back();
  const std::size_t baseEnd = safe.find('.');
  const std::size_t baseLength = baseEnd == std::string::npos ? safe.size() : baseEnd;
  if (IsReservedDeviceName(std::string_view(safe).substr(0, baseLength))) {
    safe.insert(baseLength, 1, kReplacement);
  }
  if (safe.empty()) safe.push_back(kReplacement);
  return safe;
}

}  // namespace sorvina::transfer
