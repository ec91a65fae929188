// The caption over any bytes: TagLib reads the tags from memory through the program's own
// caption logic (ID3v2 title and artist, then ID3v1), and the file-name fallback takes the
// same bytes as a path in both styles.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "media/caption.h"

namespace {

using sorvina::platform::PathStyle;

// A caption is one line of a playlist entry: no control character may reach it.
bool IsOneLine(std::string_view caption) {
  for (char c : caption) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// Whether `text` is well-formed UTF-8: no stray continuation byte, no cut sequence, no
// overlong form, no surrogate, nothing beyond U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

void CheckFileNameCaption(std::string_view path, PathStyle style) {
  const std::string caption = sorvina::media::FileNameCaption(path, style);
  FUZZ_CHECK(IsOneLine(caption));
  // The name less its ending: never longer than the name, never more than four characters
  // (of up to four bytes each) shorter, and taken from its start.
  std::size_t nameStart = path.size();
  while (nameStart > 0 && !sorvina::platform::IsSeparator(path[nameStart - 1], style))
    --nameStart;
  const std::string_view name = path.substr(nameStart);
  FUZZ_CHECK(caption.size() <= name.size());
  FUZZ_CHECK(name.size() - caption.size() <= 16);
  FUZZ_CHECK(caption.empty() || caption.size() + 4 <= name.size());
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char c = name[i];
    const auto byte = static_cast<unsigned char>(c);
    FUZZ_CHECK(caption[i] == c || (caption[i] == ' ' && (byte < 0x20 || byte == 0x7F)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string caption = sorvina::media::ReadTagCaption(std::span(data, size));
  FUZZ_CHECK(IsOneLine(caption));
  FUZZ_CHECK(IsUtf8(caption));  // whatever text encoding the tag declares

  const std::string_view text = sorvina::fuzz::AsText(data, size);
  CheckFileNameCaption(text, PathStyle::kPosix);
  CheckFileNameCaption(text, PathStyle::kWindows);
  return 0;
}
