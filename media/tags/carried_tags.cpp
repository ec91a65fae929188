// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/carried_tags.h"

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "media/tags/tag_input.h"
#include "media/tags/tag_number.h"

namespace sorvina::media {
namespace {

constexpr const char* kItunesFreeForm = "----:com.apple.iTunes:";

// The tags that are carried, as TagLib's property names.
constexpr const char* kCarriedTags[] = {"ARTIST",
                                        "TITLE",
                                        "ALBUM",
                                        "ALBUMARTIST",
                                        "TRACKNUMBER",
                                        "DISCNUMBER",
                                        "DATE",
                                        "GENRE",
                                        "COMPOSER",
                                        "COMMENT",
                                        "REPLAYGAIN_TRACK_GAIN",
                                        "REPLAYGAIN_TRACK_PEAK",
                                        "REPLAYGAIN_ALBUM_GAIN",
                                        "REPLAYGAIN_ALBUM_PEAK"};

std::string Utf8(const TagLib::String& text) {
  return text.to8Bit(true);
}

TagLib::String FromUtf8(const std::string& text) {
  return TagLib::String(text, TagLib::String::UTF8);
}

std::string BytesOf(const TagLib::ByteVector& bytes) {
  return {bytes.data(), bytes.size()};
}

TagLib::ByteVector ByteVectorOf(const std::string& bytes) {
  return {bytes.data(), static_cast<unsigned int>(bytes.size())};
}

std::vector<std::string> Utf8List(const TagLib::StringList& values) {
  std::vector<std::string> list;
  for (const TagLib::String& value : values)
    list.push_back(Utf8(value));
  return list;
}

TagLib::PropertyMap PropertyMapOf(const TagProperties& properties) {
  TagLib::PropertyMap map;
  for (const auto& [name, values] : properties) {
    TagLib::StringList list;
    for (const std::string& value : values)
      list.append(FromUtf8(value));
    map.insert(FromUtf8(name), list);
  }
  return map;
}

// The front cover among pictures of any kind, else the first.
template <class List, class Convert>
std::optional<Picture> PickCover(const List& pictures, Convert convert) {
  std::optional<Picture> first;
  for (const auto& item : pictures) {
    auto [picture, front] = convert(item);
    if (picture.data.empty()) continue;
    if (front) return picture;
    if (!first) first = std::move(picture);
  }
  return first;
}

std::optional<Picture> CoverOfId3(TagLib::ID3v2::Tag* tag) {
  if (tag == nullptr) return std::nullopt;
  return PickCover(tag->frameList("APIC"), [](const TagLib::ID3v2::Frame* frame) {
    const auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (apic == nullptr) return std::pair(Picture{}, false);
    return std::pair(Picture{BytesOf(apic->picture()), Utf8(apic->mimeType())},
                     apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover);
  });
}

std::optional<Picture> CoverOfFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& list) {
  return PickCover(list, [](const TagLib::FLAC::Picture* picture) {
    return std::pair(Picture{BytesOf(picture->data()), Utf8(picture->mimeType()), picture->width(),
                             picture->height()},
                     picture->type() == TagLib::FLAC::Picture::FrontCover);
  });
}

std::string MimeOfMp4(TagLib::MP4::CoverArt::Format format) {
  switch (format) {
    case TagLib::MP4::CoverArt::JPEG:
      return "image/jpeg";
    case TagLib::MP4::CoverArt::PNG:
      return "image/png";
    case TagLib::MP4::CoverArt::GIF:
      return "image/gif";
    case TagLib::MP4::CoverArt::BMP:
      return "image/bmp";
    default:
      return "";
  }
}

// The first front cover (else the first picture) in the tags of each format TagLib reads.
std::optional<Picture> CoverOf(TagLib::File& file) {
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file))
    return mpeg->hasID3v2Tag() ? CoverOfId3(mpeg->ID3v2Tag()) : std::nullopt;
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file))
    return CoverOfFlacPictures(flac->pictureList());
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
    if (mp4->tag() == nullptr || !mp4->tag()->contains("covr")) return std::nullopt;
    return PickCover(
        mp4->tag()->item("covr").toCoverArtList(), [](const TagLib::MP4::CoverArt& art) {
          return std::pair(Picture{BytesOf(art.data()), MimeOfMp4(art.format())}, true);
        });
  }
  if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file)) {
    if (asf->tag() == nullptr) return std::nullopt;
    return PickCover(asf->tag()->attribute("WM/Picture"), [](const TagLib::ASF::Attribute& a) {
      const TagLib::ASF::Picture picture = a.toPicture();
      return std::pair(Picture{BytesOf(picture.picture()), Utf8(picture.mimeType())},
                       picture.type() == TagLib::ASF::Picture::FrontCover);
    });
  }
  if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file))
    return wav->hasID3v2Tag() ? CoverOfId3(wav->ID3v2Tag()) : std::nullopt;
  if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(&file))
    return aiff->hasID3v2Tag() ? CoverOfId3(aiff->tag()) : std::nullopt;
  // Vorbis, Opus, FLAC in Ogg and Speex all keep their pictures in the Xiph comment.
  if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag()))
    return CoverOfFlacPictures(xiph->pictureList());
  return std::nullopt;
}

// `value` with `decimals` decimals, signed where it has a unit; nothing for a value that
// is no number or too large to write so.
std::optional<std::string> FixedText(double value, int decimals, std::string_view unit = {}) {
  std::array<char, 64> buffer{};
  const auto [stop, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                           std::chars_format::fixed, decimals);
  if (!std::isfinite(value) || error != std::errc()) return std::nullopt;
  std::string text(buffer.data(), stop);
  if (value >= 0 && !unit.empty()) text.insert(0, "+");
  return text + std::string(unit);
}

// The first value of a ReplayGain property as a number.
std::optional<double> FirstNumber(const std::vector<std::string>& values, std::string_view unit) {
  return values.empty() ? std::nullopt : TagNumber(values.front(), unit);
}

TagLib::MP4::CoverArt::Format Mp4FormatOf(const std::string& mime) {
  if (mime == "image/png") return TagLib::MP4::CoverArt::PNG;
  if (mime == "image/gif") return TagLib::MP4::CoverArt::GIF;
  if (mime == "image/bmp") return TagLib::MP4::CoverArt::BMP;
  if (mime == "image/jpeg" || mime == "image/jpg") return TagLib::MP4::CoverArt::JPEG;
  return TagLib::MP4::CoverArt::Unknown;
}

bool WriteTags(TagLib::IOStream& stream, AudioFormat format, bool id3v23, const CarriedTags& tags) {
  const TagLib::PropertyMap properties = PropertyMapOf(tags.properties);
  const std::optional<Picture>& cover = tags.cover;
  switch (format) {
    case AudioFormat::kMpeg: {
      TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
      if (!file.isValid()) return false;
      TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
      tag->setProperties(properties);
      if (cover) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setMimeType(FromUtf8(cover->mime));
        frame->setPicture(ByteVectorOf(cover->data));
        tag->addFrame(frame);
      }
      return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                       id3v23 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                       TagLib::File::DoNotDuplicate);
    }
    case AudioFormat::kMp4: {
      TagLib::MP4::File file(&stream, false);
      if (!file.isValid() || file.tag() == nullptr) return false;
      // TagLib has MP4 names for the common tags only; ReplayGain goes into iTunes's
      // free-form items, where players look for it.
      const TagLib::PropertyMap unnamed = file.tag()->setProperties(properties);
      for (const auto& [key, values] : unnamed)
        file.tag()->setItem(kItunesFreeForm + key, values);
      if (cover) {
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(Mp4FormatOf(cover->mime), ByteVectorOf(cover->data)));
        file.tag()->setItem("covr", covers);
      }
      return file.save();
    }
    case AudioFormat::kOpus: {
      TagLib::Ogg::Opus::File file(&stream, false);
      if (!file.isValid() || file.tag() == nullptr) return false;
      file.tag()->setProperties(properties);
      if (cover) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType(FromUtf8(cover->mime));
        picture->setData(ByteVectorOf(cover->data));
        picture->setWidth(cover->width);
        picture->setHeight(cover->height);
        file.tag()->addPicture(picture);
      }
      return file.save();
    }
    default:
      return false;
  }
}

}  // namespace

std::span<const char* const> CarriedTagNames() {
  return kCarriedTags;
}

CarriedTags ReadCarriedTags(const std::string& path) {
  CarriedTags tags;
  const TagInput input(path);
  if (!input) return tags;
  const TagLib::FileRef ref(&*input, false);
  if (ref.isNull() || !ref.file()->isValid()) return tags;
  TagLib::PropertyMap all = ref.file()->properties();
  // TagLib names only the common MP4 items; ReplayGain is in iTunes's free-form ones.
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(ref.file()); mp4 != nullptr && mp4->tag()) {
    const TagLib::String prefix = kItunesFreeForm;
    for (const auto& [name, item] : mp4->tag()->itemMap()) {
      if (!name.startsWith(prefix)) continue;
      const TagLib::String key = name.substr(prefix.size()).upper();
      if (!all.contains(key)) all.insert(key, item.toStringList());
    }
  }
  for (const char* key : kCarriedTags) {
    if (all.contains(key)) tags.properties[key] = Utf8List(all[key]);
  }
  tags.cover = CoverOf(*ref.file());
  return tags;
}

void CorrectReplayGain(TagProperties& properties, double appliedDb) {
  if (appliedDb == 0) return;
  for (const char* key : {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_ALBUM_GAIN"}) {
    const auto found = properties.find(key);
    if (found == properties.end()) continue;
    const std::optional<double> gain = FirstNumber(found->second, "dB");
    properties.erase(found);
    if (!gain) continue;
    if (std::optional<std::string> text = FixedText(*gain - appliedDb, 2, " dB"))
      properties[key] = {std::move(*text)};
  }
  for (const char* key : {"REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_PEAK"}) {
    const auto found = properties.find(key);
    if (found == properties.end()) continue;
    const std::optional<double> peak = FirstNumber(found->second, {});
    properties.erase(found);
    if (!peak) continue;
    if (std::optional<std::string> text = FixedText(*peak * std::pow(10.0, appliedDb / 20), 6))
      properties[key] = {std::move(*text)};
  }
}

bool WriteCarriedTags(std::string& bytes, AudioFormat format, bool id3v23,
                      const CarriedTags& tags) {
  if (bytes.size() > std::numeric_limits<unsigned int>::max()) return false;
  TagLib::ByteVectorStream stream(ByteVectorOf(bytes));
  std::string().swap(bytes);  // the bytes are TagLib's now
  if (!WriteTags(stream, format, id3v23, tags)) return false;
  bytes = BytesOf(*stream.data());
  return true;
}

}  // namespace sorvina::media
