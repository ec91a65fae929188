// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/asf_header.h"

namespace sorvina::media {
namespace {

// A GUID as the file stores it; NUL bytes included, hence the length.
constexpr std::string_view Guid(const char (&bytes)[17]) {
  return {bytes, 16};
}

// The GUIDs of the objects that are looked into.
constexpr std::string_view kHeaderGuid =
    Guid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C");
constexpr std::string_view kContentDescriptionGuid =
    Guid("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C");
constexpr std::string_view kExtendedContentDescriptionGuid =
    Guid("\x40\xA4\xD0\xD2\x07\xE3\xD2\x11\x97\xF0\x00\xA0\xC9\x5E\xA8\x50");
constexpr std::string_view kHeaderExtensionGuid =
    Guid("\xB5\x03\xBF\x5F\x2E\xA9\xCF\x11\x8E\xE3\x00\xC0\x0C\x20\x53\x65");
constexpr std::string_view kMetadataGuid =
    Guid("\xEA\xCB\xF8\xC5\xAF\x5B\x77\x48\x84\x67\xAA\x8C\x44\xFA\x4C\xCA");
constexpr std::string_view kMetadataLibraryGuid =
    Guid("\x94\x1C\x23\x44\x98\x94\xD1\x49\xA1\x41\x1D\x13\x4E\x45\x70\x54");

constexpr std::size_t kGuidBytes = 16;
constexpr std::size_t kObjectHeaderBytes = 24;  // GUID and 64-bit size

std::uint64_t Little(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Reads fields one after another inside `bytes`, noting any that would run past its end.
class Reader {
 public:
  Reader(std::string_view bytes, std::size_t at) : bytes_(bytes), at_(at) {}
  std::uint64_t Take(std::size_t width) {
    if (!Fits(width)) return 0;
    const std::uint64_t value = Little(bytes_, at_, width);
    at_ += width;
    return value;
  }
  void Skip(std::uint64_t count) {
    if (Fits(count)) at_ += static_cast<std::size_t>(count);
  }
  bool ok() const { return ok_; }

 private:
  bool Fits(std::uint64_t count) {
    ok_ = ok_ && count <= bytes_.size() - at_;
    return ok_;
  }
  std::string_view bytes_;
  std::size_t at_;
  bool ok_ = true;
};

// What each kind of tag object counts, read from its own bytes (`object`, header first).
bool CountedPartsFit(std::string_view object) {
  const std::string_view guid = object.substr(0, kGuidBytes);
  Reader reader(object, kObjectHeaderBytes);
  if (guid == kContentDescriptionGuid) {
    std::uint64_t lengths = 0;
    for (int i = 0; i < 5; ++i)
      lengths += reader.Take(2);
    reader.Skip(lengths);
  } else if (guid == kExtendedContentDescriptionGuid) {
    for (std::uint64_t count = reader.Take(2); count > 0 && reader.ok(); --count) {
      reader.Skip(reader.Take(2));  // the name
      reader.Take(2);               // the value's type
      reader.Skip(reader.Take(2));  // the value
    }
  } else if (guid == kMetadataGuid || guid == kMetadataLibraryGuid) {
    for (std::uint64_t count = reader.Take(2); count > 0 && reader.ok(); --count) {
      reader.Take(4);  // language and stream
      const std::uint64_t name = reader.Take(2);
      reader.Take(2);  // the value's type
      const std::uint64_t value = reader.Take(4);
      reader.Skip(name);
      reader.Skip(value);
    }
  }
  return reader.ok();
}

// Whether the object at `at` lies inside `bytes`, and what it counts inside itself; a
// header extension's own objects likewise. Its size, through `size`.
bool ObjectFits(std::string_view bytes, std::size_t at, bool nested, std::uint64_t& size) {
  if (at > bytes.size() || bytes.size() - at < kObjectHeaderBytes) return false;
  size = Little(bytes, at + kGuidBytes, 8);
  if (size < kObjectHeaderBytes || size > bytes.size() - at) return false;
  const std::string_view object = bytes.substr(at, static_cast<std::size_t>(size));
  if (!CountedPartsFit(object)) return false;
  if (object.substr(0, kGuidBytes) != kHeaderExtensionGuid) return true;
  // A reserved GUID and field, then the size of the objects that follow them.
  constexpr std::size_t kDataAt = kObjectHeaderBytes + kGuidBytes + 2 + 4;
  if (nested || object.size() < kDataAt) return false;
  const std::uint64_t data = Little(object, kDataAt - 4, 4);
  if (data > object.size() - kDataAt) return false;
  const std::string_view extension = object.substr(0, kDataAt + static_cast<std::size_t>(data));
  for (std::size_t inner = kDataAt; inner < extension.size();) {
    std::uint64_t innerSize = 0;
    if (!ObjectFits(extension, inner, true, innerSize)) return false;
    inner += static_cast<std::size_t>(innerSize);
  }
  return true;
}

}  // namespace

std::uint64_t AsfHeaderSize(std::string_view first30) {
  if (first30.size() < 30 || first30.substr(0, kGuidBytes) != kHeaderGuid) return 0;
  return Little(first30, kGuidBytes, 8);
}

bool AsfHeaderHoldsWhatItClaims(std::string_view header) {
  if (AsfHeaderSize(header) != header.size()) return false;
  // The header's own fields: GUID, size, the count of its objects, two reserved bytes.
  std::size_t at = 30;
  for (std::uint64_t count = Little(header, 24, 4); count > 0; --count) {
    std::uint64_t size = 0;
    if (!ObjectFits(header, at, false, size)) return false;
    at += static_cast<std::size_t>(size);
  }
  return true;
}

}  // namespace sorvina::media
