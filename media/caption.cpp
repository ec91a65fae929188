#include "media/caption.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevector.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfilestream.h>
#include <taglib/tiostream.h>
#include <taglib/tstring.h>
#include <unistd.h>

#include <limits>
#include <optional>

#include "platform/read_only_file.h"

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

std::string CaptionFromTag(const TagLib::Tag& tag) {
  const std::string title = tag.title().to8Bit(true);
  if (title.empty()) return {};
  const std::string artist = tag.artist().to8Bit(true);
  return artist.empty() ? title : artist + " - " + title;
}

std::string CaptionFromStream(TagLib::IOStream& stream) {
  // TagLib hands out empty tag objects for tags the file lacks, so ask first.
  TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  std::string caption;
  if (mpeg.hasID3v2Tag()) caption = CaptionFromTag(*mpeg.ID3v2Tag());
  if (caption.empty() && mpeg.hasID3v1Tag()) caption = CaptionFromTag(*mpeg.ID3v1Tag());
  return OneLine(std::move(caption));
}

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string ReadTagCaption(const std::string& path) {
  // Our own open refuses FIFOs and folders without blocking; TagLib gets the descriptor
  // read-only (its default would ask for write access too).
  std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(path);
  if (!file) return {};
  const int fd = file->Release();
  TagLib::FileStream stream(fd, true);
  if (!stream.isOpen()) {
    close(fd);
    return {};
  }
  return CaptionFromStream(stream);
}

std::string ReadTagCaption(std::span<const unsigned char> bytes) {
  // TagLib counts bytes in unsigned int; a longer buffer would be cut short and its end,
  // where an ID3v1 tag sits, misread, so it is refused rather than truncated.
  if (bytes.size() > std::numeric_limits<unsigned int>::max()) return {};
  const TagLib::ByteVector content(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<unsigned int>(bytes.size()));
  TagLib::ByteVectorStream stream(content);
  return CaptionFromStream(stream);
}

std::string FileNameCaption(std::string_view path, platform::PathStyle style) {
  std::size_t nameStart = path.size();
  while (nameStart > 0 && !platform::IsSeparator(path[nameStart - 1], style))
    --nameStart;
  std::string_view name = path.substr(nameStart);
  for (int dropped = 0; dropped < 4 && !name.empty(); ++dropped) {
    std::size_t end = name.size() - 1;
    // Up to three continuation bytes belong to the character before them.
    for (int i = 0; i < 3 && end > 0 && IsUtf8Continuation(name[end]); ++i)
      --end;
    name = name.substr(0, end);
  }
  return OneLine(std::string(name));
}

std::string ReadCaption(const std::string& path, platform::PathStyle style) {
  std::string caption = ReadTagCaption(path);
  return caption.empty() ? FileNameCaption(path, style) : caption;
}

}  // namespace sorvina::media
