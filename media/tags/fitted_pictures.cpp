// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/fitted_pictures.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "media/tags/tag_input.h"

namespace sorvina::media {
namespace {

unsigned Byte(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]);
}

unsigned BigEndian16(std::string_view bytes, std::size_t at) {
  return (Byte(bytes, at) << 8) | Byte(bytes, at + 1);
}

std::optional<PictureSize> Sized(std::uint64_t width, std::uint64_t height) {
  constexpr std::uint64_t kMost = std::numeric_limits<int>::max();
  if (width == 0 || height == 0 || width > kMost || height > kMost) return std::nullopt;
  return PictureSize{static_cast<int>(width), static_cast<int>(height)};
}

// The first start-of-frame segment, reached from segment to segment after the start of
// the image; the markers of other kinds that share its range (DHT, JPG, DAC) are passed.
std::optional<PictureSize> JpegSize(std::string_view jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size()) {
    if (Byte(jpeg, at) != 0xFF) return std::nullopt;
    const unsigned marker = Byte(jpeg, at + 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const std::size_t length = BigEndian16(jpeg, at + 2);
    const bool startOfFrame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (startOfFrame) {
      if (length < 7 || at + 9 > jpeg.size()) return std::nullopt;
      return Sized(BigEndian16(jpeg, at + 7), BigEndian16(jpeg, at + 5));
    }
    if (marker == 0xD9 || marker == 0xDA || length < 2) return std::nullopt;
    at += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PictureSize> PictureSizeOf(std::string_view image) {
  if (image.starts_with("\xFF\xD8")) return JpegSize(image);
  if (image.starts_with("\x89PNG\r\n\x1A\n") && image.size() >= 24 &&
      image.substr(12, 4) == "IHDR") {
    const auto word = [&](std::size_t at) {
      return (std::uint64_t{BigEndian16(image, at)} << 16) | BigEndian16(image, at + 2);
    };
    return Sized(word(16), word(20));
  }
  if ((image.starts_with("GIF87a") || image.starts_with("GIF89a")) && image.size() >= 10)
    return Sized(Byte(image, 6) | (Byte(image, 7) << 8), Byte(image, 8) | (Byte(image, 9) << 8));
  return std::nullopt;
}

namespace {

std::string_view View(const TagLib::ByteVector& bytes) {
  return {bytes.data(), bytes.size()};
}

// Whether a player that shows pictures of at most `maxSide` pixels a side takes `picture`.
bool Fits(std::string_view picture, int maxSide) {
  if (maxSide == 0) return false;
  const std::optional<PictureSize> size = PictureSizeOf(picture);
  return size && std::max(size->width, size->height) <= maxSide;
}

std::vector<TagLib::ID3v2::AttachedPictureFrame*> PicturesOf(TagLib::MPEG::File& file) {
  std::vector<TagLib::ID3v2::AttachedPictureFrame*> pictures;
  if (!file.isValid() || !file.hasID3v2Tag()) return pictures;
  for (TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList("APIC"))
    if (auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
      pictures.push_back(apic);
  return pictures;
}

}  // namespace

bool HasPictureBeyond(const std::string& path, int maxSide) {
  const TagInput input(path);
  if (!input) return false;
  TagLib::MPEG::File file(&*input, TagLib::ID3v2::FrameFactory::instance(), false);
  const std::vector<TagLib::ID3v2::AttachedPictureFrame*> pictures = PicturesOf(file);
  return std::any_of(pictures.begin(), pictures.end(), [maxSide](const auto* picture) {
    return !Fits(View(picture->picture()), maxSide);
  });
}

bool FitMp3Pictures(std::string& bytes, int maxSide, const PictureFitter& fit,
                    std::string* reason) {
  const auto fail = [reason](const char* why) {
    if (reason != nullptr) *reason = why;
    return false;
  };
  if (bytes.size() > std::numeric_limits<unsigned int>::max()) return fail("the song is too large");
  TagLib::ByteVectorStream stream(
      TagLib::ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size())));
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  // Only a tag at the start is rewritten: it alone lies wholly before the audio.
  if (!std::string_view(bytes).starts_with("ID3") || !file.isValid() || !file.hasID3v2Tag())
    return fail("its tag cannot be read");
  TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
  const TagLib::ID3v2::Version version =
      tag->header()->majorVersion() == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
  for (TagLib::ID3v2::AttachedPictureFrame* picture : PicturesOf(file)) {
    if (Fits(View(picture->picture()), maxSide)) continue;
    if (maxSide == 0) {
      tag->removeFrame(picture);
      continue;
    }
    const std::optional<Picture> fitted = fit(
        Picture{std::string(View(picture->picture())), picture->mimeType().to8Bit(true)}, maxSide);
    if (!fitted) return fail("its cover cannot be scaled");
    picture->setPicture(
        TagLib::ByteVector(fitted->data.data(), static_cast<unsigned int>(fitted->data.size())));
    picture->setMimeType(TagLib::String(fitted->mime, TagLib::String::UTF8));
  }
  // The new tag takes the old one's place, and every byte after it is kept: TagLib's own
  // save would drop a tag that holds no title or artist, pictures and all.
  const std::size_t oldSize = tag->header()->completeTagSize();
  if (oldSize > bytes.size()) return fail("its tag cannot be read");
  std::string fitted;
  if (!tag->frameList().isEmpty()) {
    const TagLib::ByteVector rendered = tag->render(version);
    fitted.assign(rendered.data(), rendered.size());
  }
  fitted.append(bytes, oldSize);
  bytes = std::move(fitted);
  return true;
}

}  // namespace sorvina::media
