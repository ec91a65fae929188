// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/container_reading.h"

#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>
#include <taglib/tstring.h>

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "media/caption.h"

namespace sorvina::media {
namespace {

std::int64_t StreamLength(TagLib::IOStream& stream) {
  return std::max<long>(stream.length(), 0);
}

// Up to `count` bytes at `offset`; fewer where the stream ends.
TagLib::ByteVector ReadAt(TagLib::IOStream& stream, std::int64_t offset, std::int64_t count) {
  stream.seek(static_cast<long>(offset));
  return stream.readBlock(static_cast<unsigned long>(std::max<std::int64_t>(count, 0)));
}

// --- AIFF -------------------------------------------------------------------------------

constexpr int kMaxAiffChunks = 4096;  // files hold a handful
constexpr std::int64_t kMaxAiffText = 4096;

// AIFF text is ASCII or ISO-8859-1, whose bytes are the first 256 code points. Control
// characters are dropped, among them the NUL that some writers end a text with.
std::string Latin1ToUtf8(const TagLib::ByteVector& bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) continue;
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

// --- Ogg --------------------------------------------------------------------------------

constexpr std::size_t kOggHeaderBytes = 27;
constexpr std::int64_t kMaxOggPage = kOggHeaderBytes + 255 + 255 * 255;
// Checksums are what costs; a real file's last whole page is among the first few
// candidates from its end, even when a cut page holds bytes that look like a header.
constexpr int kMaxOggChecksums = 8;
constexpr std::int64_t kOpusRate = 48000;

std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::int64_t LittleEndian64(std::string_view bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (std::size_t i = 8; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<std::int64_t>(value);
}

struct OggPage {
  std::uint32_t serial = 0;
  std::int64_t granule = 0;  // -1 when no packet ends on the page
  std::size_t length = 0;
};

// The page at `at` in `bytes` when its header and body lie whole inside them.
std::optional<OggPage> WholePageAt(std::string_view bytes, std::size_t at) {
  const std::string_view rest = bytes.substr(at);
  if (rest.size() < kOggHeaderBytes || !rest.starts_with("OggS") || rest[4] != 0)
    return std::nullopt;
  const std::size_t segments = static_cast<unsigned char>(rest[26]);
  std::size_t length = kOggHeaderBytes + segments;
  if (rest.size() < length) return std::nullopt;
  for (std::size_t i = 0; i < segments; ++i)
    length += static_cast<unsigned char>(rest[kOggHeaderBytes + i]);
  if (rest.size() < length) return std::nullopt;
  return OggPage{LittleEndian32(rest, 14), LittleEndian64(rest, 6), length};
}

// Whether the page's checksum, taken with its own field as zero, is the one it states.
bool OggChecksumHolds(const TagLib::ByteVector& bytes, std::size_t at, std::size_t length) {
  TagLib::ByteVector page =
      bytes.mid(static_cast<unsigned int>(at), static_cast<unsigned int>(length));
  const unsigned int stated = page.toUInt(22U, false);
  for (unsigned int i = 22; i < 26; ++i)
    page[i] = 0;
  return page.checksum() == stated;
}

// The granule position of the last whole, intact page of stream `serial` that starts
// within the last `window` bytes, and ends a packet.
std::optional<std::int64_t> LastWholePageGranule(TagLib::IOStream& stream, std::uint32_t serial,
                                                 std::int64_t window) {
  const std::int64_t length = StreamLength(stream);
  const std::int64_t start = std::max<std::int64_t>(0, length - window);
  const TagLib::ByteVector tail = ReadAt(stream, start, length - start);
  const std::string_view bytes(tail.data(), tail.size());
  int checksums = 0;
  for (std::size_t at = bytes.rfind("OggS"); at != std::string_view::npos;
       at = at == 0 ? std::string_view::npos : bytes.rfind("OggS", at - 1)) {
    const std::optional<OggPage> page = WholePageAt(bytes, at);
    if (!page || page->serial != serial || page->granule < 0) continue;
    if (OggChecksumHolds(tail, at, page->length)) return page->granule;
    if (++checksums == kMaxOggChecksums) break;
  }
  return std::nullopt;
}

// --- MP4 --------------------------------------------------------------------------------

constexpr int kMaxMp4Boxes = 4096;  // a movie box of a song holds a few dozen
constexpr int kMaxMp4Depth = 8;     // moov trak mdia mdhd, moov udta meta ilst item data
constexpr std::int64_t kMaxMp4Text = 65536;

using BoxType = std::array<char, 4>;

constexpr std::string_view kTitleItem = "\251nam";  // © is 0xA9 in item types
constexpr std::string_view kArtistItem = "\251ART";

bool Is(const BoxType& type, std::string_view name) {
  return std::string_view(type.data(), type.size()) == name;
}

struct Box {
  BoxType type{};
  std::int64_t content = 0;  // where its content starts
  std::int64_t end = 0;      // where it ends, or its parent (the file) ends when sooner
  bool whole = false;        // false when it claims more than its parent holds
};

class Mp4BoxReader {
 public:
  explicit Mp4BoxReader(TagLib::IOStream& stream)
      : stream_(stream), length_(StreamLength(stream)) {}

  std::optional<Mp4Boxes> Read() {
    for (std::optional<Box> box = BoxAt(0, length_); box; box = BoxAt(box->end, length_)) {
      if (Is(box->type, "moov")) {
        Walk(*box, 0);
        return Mp4Boxes{movieSeconds_ > 0 ? movieSeconds_ : mediaSeconds_,
                        CaptionFromTexts(title_, artist_)};
      }
      if (!box->whole) break;  // cut short before any movie box
    }
    return std::nullopt;
  }

 private:
  // The box whose header is at `offset` inside a parent that ends at `limit`.
  std::optional<Box> BoxAt(std::int64_t offset, std::int64_t limit) {
    if (limit - offset < 8 || ++boxes_ > kMaxMp4Boxes) return std::nullopt;
    const TagLib::ByteVector header = ReadAt(stream_, offset, 16);
    if (header.size() < 8) return std::nullopt;
    Box box;
    std::copy_n(header.data() + 4, 4, box.type.begin());
    std::uint64_t size = header.toUInt(0U, true);
    std::int64_t headerBytes = 8;
    if (size == 1) {  // a 64-bit size follows the type
      if (header.size() < 16) return std::nullopt;
      size = static_cast<std::uint64_t>(header.toLongLong(8U, true));
      headerBytes = 16;
    } else if (size == 0) {  // to the end of its parent
      size = static_cast<std::uint64_t>(limit - offset);
    }
    if (size < static_cast<std::uint64_t>(headerBytes)) return std::nullopt;
    box.content = offset + headerBytes;
    box.whole = size <= static_cast<std::uint64_t>(limit - offset);
    box.end = box.whole ? offset + static_cast<std::int64_t>(size) : limit;
    return box;
  }

  // Reads the boxes inside `parent`, as far as they go whole; a box cut short still has
  // its whole boxes read when it is one that holds others.
  void Walk(const Box& parent, int depth) {
    if (depth == kMaxMp4Depth) return;
    std::int64_t offset = parent.content;
    if (Is(parent.type, "meta")) {
      // ISO's meta box starts with a version and flags, zero; QuickTime's has none.
      const TagLib::ByteVector versionAndFlags = ReadAt(stream_, offset, 4);
      if (versionAndFlags == TagLib::ByteVector(4, '\0')) offset += 4;
    }
    for (std::optional<Box> box = BoxAt(offset, parent.end); box;
         box = BoxAt(box->end, parent.end)) {
      const BoxType& type = box->type;
      if (Is(type, "trak") || Is(type, "mdia") || Is(type, "udta") || Is(type, "meta") ||
          Is(type, "ilst")) {
        Walk(*box, depth + 1);
      } else if (box->whole && Is(type, "mvhd") && movieSeconds_ == 0) {
        movieSeconds_ = HeaderSeconds(*box);
      } else if (box->whole && Is(type, "mdhd") && mediaSeconds_ == 0) {
        mediaSeconds_ = HeaderSeconds(*box);
      } else if (Is(parent.type, "ilst") && Is(type, kTitleItem)) {
        title_ = ItemText(*box);
      } else if (Is(parent.type, "ilst") && Is(type, kArtistItem)) {
        artist_ = ItemText(*box);
      }
      if (!box->whole) break;
    }
  }

  // The duration over the time scale of a movie or media header (versions 0 and 1).
  std::int64_t HeaderSeconds(const Box& box) {
    const TagLib::ByteVector header = ReadAt(stream_, box.content, 32);
    const bool wide = !header.isEmpty() && header[0] == 1;
    const unsigned int scaleAt = wide ? 20 : 12;
    const unsigned int needed = wide ? 32 : 20;
    if (header.size() < needed || box.end - box.content < std::int64_t{needed}) return 0;
    const std::uint32_t scale = header.toUInt(scaleAt, true);
    const std::uint64_t duration =
        wide ? static_cast<std::uint64_t>(header.toLongLong(24U, true)) : header.toUInt(16U, true);
    // All ones: a duration the writer did not know.
    if (duration > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ||
        (!wide && duration == std::numeric_limits<std::uint32_t>::max())) {
      return 0;
    }
    return NearestSecondOfSamples(static_cast<std::int64_t>(duration), scale);
  }

  // The UTF-8 text of an item's first whole data box.
  std::string ItemText(const Box& item) {
    for (std::optional<Box> box = BoxAt(item.content, item.end); box && box->whole;
         box = BoxAt(box->end, item.end)) {
      if (!Is(box->type, "data")) continue;
      // A version byte and a three-byte type (1: UTF-8), a locale, then the text.
      const std::int64_t textBytes = box->end - box->content - 8;
      if (textBytes < 0 || textBytes > kMaxMp4Text) return {};
      const TagLib::ByteVector data = ReadAt(stream_, box->content, 8 + textBytes);
      if (data.size() < 8 || data.toUInt(0U, true) != 1) return {};
      return TagLib::String(data.mid(8), TagLib::String::UTF8).to8Bit(true);
    }
    return {};
  }

  TagLib::IOStream& stream_;
  const std::int64_t length_;
  int boxes_ = 0;
  std::int64_t movieSeconds_ = 0;
  std::int64_t mediaSeconds_ = 0;
  std::string title_;
  std::string artist_;
};

}  // namespace

std::int64_t NearestSecondOfSamples(std::int64_t samples, std::int64_t rate) {
  if (samples <= 0 || rate <= 0) return 0;
  // Without a sum that a forged count could overflow.
  return samples / rate + (samples % rate >= (rate + 1) / 2 ? 1 : 0);
}

std::string AiffTextChunkCaption(TagLib::IOStream& stream) {
  const TagLib::ByteVector form = ReadAt(stream, 0, 12);
  if (form.size() < 12 || !form.startsWith("FORM") ||
      !(form.containsAt("AIFF", 8) || form.containsAt("AIFC", 8))) {
    return {};
  }
  // The chunks end with the FORM chunk, or with the file when it claims more.
  const std::int64_t end =
      std::min<std::int64_t>(8 + std::int64_t{form.toUInt(4U, true)}, StreamLength(stream));
  std::optional<std::string> name;
  std::optional<std::string> author;
  std::int64_t offset = 12;
  for (int chunk = 0; chunk < kMaxAiffChunks && end - offset >= 8 && !(name && author); ++chunk) {
    const TagLib::ByteVector header = ReadAt(stream, offset, 8);
    if (header.size() < 8) break;
    const std::int64_t size = header.toUInt(4U, true);
    const std::int64_t data = offset + 8;
    // A chunk cut short, or claiming more than there is: nothing after it can be found.
    if (size > end - data) break;
    std::optional<std::string>* text = header.startsWith("NAME")   ? &name
                                       : header.startsWith("AUTH") ? &author
                                                                   : nullptr;
    if (text != nullptr && !*text)
      *text = Latin1ToUtf8(ReadAt(stream, data, std::min(size, kMaxAiffText)));
    offset = data + size;
    // Odd data is followed by a zero pad byte, which some writers leave out: then the
    // next chunk's name, never starting with a zero, is there instead.
    if (size % 2 == 1 && offset < end && ReadAt(stream, offset, 1) == TagLib::ByteVector(1, '\0'))
      ++offset;
  }
  return CaptionFromTexts(name.value_or(""), author.value_or(""));
}

std::optional<std::int64_t> OpusSecondsToLastWholePage(TagLib::IOStream& stream) {
  // The first page: the stream's serial number, and its identification header with the
  // count of samples that the decoder drops at the start.
  const TagLib::ByteVector first = ReadAt(stream, 0, kOggHeaderBytes + 255 + 12);
  const std::string_view firstBytes(first.data(), first.size());
  if (firstBytes.size() < kOggHeaderBytes || !firstBytes.starts_with("OggS")) return std::nullopt;
  const std::uint32_t serial = LittleEndian32(firstBytes, 14);
  const std::string_view head = firstBytes.substr(
      std::min(firstBytes.size(), kOggHeaderBytes + static_cast<unsigned char>(firstBytes[26])));
  if (head.size() < 12 || !head.starts_with("OpusHead")) return std::nullopt;
  const std::int64_t preSkip =
      static_cast<unsigned char>(head[10]) | static_cast<unsigned char>(head[11]) << 8;
  // A whole file's last page lies in its last page length; a cut one ends inside at most
  // one page, after the last whole one.
  std::optional<std::int64_t> granule = LastWholePageGranule(stream, serial, kMaxOggPage);
  if (!granule && StreamLength(stream) > kMaxOggPage)
    granule = LastWholePageGranule(stream, serial, 2 * kMaxOggPage);
  if (!granule) return std::nullopt;
  return NearestSecondOfSamples(*granule - preSkip, kOpusRate);
}

std::optional<Mp4Boxes> ReadMp4Boxes(TagLib::IOStream& stream) {
  return Mp4BoxReader(stream).Read();
}

}  // namespace sorvina::media
