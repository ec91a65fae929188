// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/caption.h"

#include <utility>

namespace sorvina::media {
namespace {

// A caption is one line of a playlist: a line break, tab or other control character in
// a tag would split or garble the entry, so each becomes a space.
std::string OneLine(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return text;
}

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string CaptionFromTexts(std::string title, const std::string& artist) {
  if (title.empty()) return {};
  if (!artist.empty()) title = artist + " - " + title;
  return OneLine(std::move(title));
}

std::string FileNameCaption(std::string_view path, text::PathStyle style,
                            std::size_t endingLength) {
  std::size_t nameStart = path.size();
  while (nameStart > 0 && !text::IsSeparator(path[nameStart - 1], style))
    --nameStart;
  std::string_view name = path.substr(nameStart);
  for (std::size_t dropped = 0; dropped < endingLength && !name.empty(); ++dropped) {
    std::size_t end = name.size() - 1;
    // Up to three continuation bytes belong to the character before them.
    for (int i = 0; i < 3 && end > 0 && IsUtf8Continuation(name[end]); ++i)
      --end;
    name = name.substr(0, end);
  }
  return OneLine(std::string(name));
}

}  // namespace sorvina::media
