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
#include <taglib/tfilestream.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "media/ffmpeg_support.h"
#include "media/tags/asf_header.h"

namespace sorvina::media {
namespace {

constexpr int kJpegQuality = 3;  // as "-q:v 3": small, and no visible loss on a player
constexpr int kMaxPicturePixels = 64 * 1024 * 1024;

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

// The front cover among pictures of any kind, else the first.
template <class List, class Convert>
std::optional<Picture> PickCover(const List& pictures, Convert convert) {
  std::optional<Picture> first;
  for (const auto& item : pictures) {
    auto [picture, front] = convert(item);
    if (picture.data.isEmpty()) continue;
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
    return std::pair(Picture{apic->picture(), apic->mimeType()},
                     apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover);
  });
}

std::optional<Picture> CoverOfFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& list) {
  return PickCover(list, [](const TagLib::FLAC::Picture* picture) {
    return std::pair(
        Picture{picture->data(), picture->mimeType(), picture->width(), picture->height()},
        picture->type() == TagLib::FLAC::Picture::FrontCover);
  });
}

TagLib::String MimeOfMp4(TagLib::MP4::CoverArt::Format format) {
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
    return PickCover(mp4->tag()->item("covr").toCoverArtList(),
                     [](const TagLib::MP4::CoverArt& art) {
                       return std::pair(Picture{art.data(), MimeOfMp4(art.format())}, true);
                     });
  }
  if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file)) {
    if (asf->tag() == nullptr) return std::nullopt;
    return PickCover(asf->tag()->attribute("WM/Picture"), [](const TagLib::ASF::Attribute& a) {
      const TagLib::ASF::Picture picture = a.toPicture();
      return std::pair(Picture{picture.picture(), picture.mimeType()},
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

// The number a ReplayGain value starts with ("-6.50 dB", "+1.2 dB", "0.988").
std::optional<double> LeadingNumber(const TagLib::StringList& values) {
  if (values.isEmpty()) return std::nullopt;
  const std::string text = values.front().to8Bit(true);
  const char* begin = text.c_str();
  const char* end = begin + text.size();
  while (begin != end && *begin == ' ')
    ++begin;
  if (begin != end && *begin == '+') ++begin;
  double number = 0;
  const auto [stop, error] = std::from_chars(begin, end, number);
  if (error != std::errc() || stop == begin || !std::isfinite(number)) return std::nullopt;
  return number;
}

TagLib::String FixedText(double value, int decimals, std::string_view unit = {}) {
  std::array<char, 64> buffer{};
  const auto [stop, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                           std::chars_format::fixed, decimals);
  std::string text = error == std::errc() ? std::string(buffer.data(), stop) : "0";
  if (value >= 0 && !unit.empty()) text.insert(0, "+");
  return TagLib::String(text + std::string(unit), TagLib::String::UTF8);
}

AVCodecID ImageCodecOf(const TagLib::ByteVector& data) {
  if (data.startsWith(TagLib::ByteVector("\xFF\xD8\xFF", 3))) return AV_CODEC_ID_MJPEG;
  if (data.startsWith(TagLib::ByteVector("\x89PNG\r\n\x1A\n", 8))) return AV_CODEC_ID_PNG;
  if (data.startsWith("GIF8")) return AV_CODEC_ID_GIF;
  if (data.startsWith("BM")) return AV_CODEC_ID_BMP;
  if (data.startsWith("RIFF") && data.containsAt("WEBP", 8)) return AV_CODEC_ID_WEBP;
  return AV_CODEC_ID_NONE;
}

ffmpeg::FramePtr DecodeImage(const TagLib::ByteVector& data) {
  const AVCodec* decoder = avcodec_find_decoder(ImageCodecOf(data));
  if (decoder == nullptr || data.size() > static_cast<unsigned>(std::numeric_limits<int>::max()))
    return nullptr;
  ffmpeg::CodecContextPtr context(avcodec_alloc_context3(decoder));
  ffmpeg::PacketPtr packet(av_packet_alloc());
  ffmpeg::FramePtr frame(av_frame_alloc());
  if (!context || !packet || !frame) return nullptr;
  context->max_pixels = kMaxPicturePixels;
  context->thread_count = 1;
  if (avcodec_open2(context.get(), decoder, nullptr) < 0) return nullptr;
  if (av_new_packet(packet.get(), static_cast<int>(data.size())) < 0) return nullptr;
  std::memcpy(packet->data, data.data(), data.size());
  if (avcodec_send_packet(context.get(), packet.get()) < 0) return nullptr;
  avcodec_send_packet(context.get(), nullptr);
  if (avcodec_receive_frame(context.get(), frame.get()) < 0 || frame->width <= 0 ||
      frame->height <= 0) {
    return nullptr;
  }
  return frame;
}

std::optional<TagLib::ByteVector> EncodeJpeg(const AVFrame& image, int width, int height) {
  ffmpeg::ScalerPtr scaler(
      sws_getContext(image.width, image.height, static_cast<AVPixelFormat>(image.format), width,
                     height, AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
  ffmpeg::FramePtr scaled(av_frame_alloc());
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (!scaler || !scaled || encoder == nullptr) return std::nullopt;
  scaled->format = AV_PIX_FMT_YUVJ420P;
  scaled->width = width;
  scaled->height = height;
  if (av_frame_get_buffer(scaled.get(), 0) < 0) return std::nullopt;
  if (sws_scale(scaler.get(), image.data, image.linesize, 0, image.height, scaled->data,
                scaled->linesize) != height) {
    return std::nullopt;
  }
  ffmpeg::CodecContextPtr context(avcodec_alloc_context3(encoder));
  ffmpeg::PacketPtr packet(av_packet_alloc());
  if (!context || !packet) return std::nullopt;
  context->width = width;
  context->height = height;
  context->pix_fmt = AV_PIX_FMT_YUVJ420P;
  context->time_base = {1, 1};
  context->flags |= AV_CODEC_FLAG_QSCALE;
  context->global_quality = kJpegQuality * FF_QP2LAMBDA;
  scaled->quality = context->global_quality;
  scaled->pts = 0;
  if (avcodec_open2(context.get(), encoder, nullptr) < 0 ||
      avcodec_send_frame(context.get(), scaled.get()) < 0 ||
      avcodec_send_frame(context.get(), nullptr) < 0 ||
      avcodec_receive_packet(context.get(), packet.get()) < 0) {
    return std::nullopt;
  }
  return TagLib::ByteVector(reinterpret_cast<const char*>(packet->data),
                            static_cast<unsigned>(packet->size));
}

// TagLib trusts the sizes and counts of an ASF header: one that claims more than it holds
// is not handed to it (AsfHeaderHoldsWhatItClaims).
bool SafeForTagLib(TagLib::IOStream& stream) {
  stream.seek(0);
  const TagLib::ByteVector first = stream.readBlock(30);
  const std::uint64_t size = AsfHeaderSize(std::string_view(first.data(), first.size()));
  bool safe = size == 0;  // no ASF header
  if (!safe && size <= kMaxAsfHeaderBytes &&
      size <= static_cast<std::uint64_t>(std::max<long>(stream.length(), 0))) {
    stream.seek(0);
    const TagLib::ByteVector header = stream.readBlock(static_cast<unsigned long>(size));
    safe = AsfHeaderHoldsWhatItClaims(std::string_view(header.data(), header.size()));
  }
  stream.seek(0);
  return safe;
}

TagLib::MP4::CoverArt::Format Mp4FormatOf(const TagLib::String& mime) {
  if (mime == "image/png") return TagLib::MP4::CoverArt::PNG;
  if (mime == "image/gif") return TagLib::MP4::CoverArt::GIF;
  if (mime == "image/bmp") return TagLib::MP4::CoverArt::BMP;
  if (mime == "image/jpeg" || mime == "image/jpg") return TagLib::MP4::CoverArt::JPEG;
  return TagLib::MP4::CoverArt::Unknown;
}

}  // namespace

CarriedTags ReadCarriedTags(const std::string& path) {
  CarriedTags tags;
  TagLib::FileStream stream(path.c_str(), true);
  if (!stream.isOpen() || !SafeForTagLib(stream)) return tags;
  TagLib::FileRef ref(&stream, false);
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
    if (all.contains(key)) tags.properties.insert(key, all[key]);
  }
  tags.cover = CoverOf(*ref.file());
  return tags;
}

void CorrectReplayGain(TagLib::PropertyMap& properties, double appliedDb) {
  if (appliedDb == 0) return;
  for (const char* key : {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_ALBUM_GAIN"}) {
    if (!properties.contains(key)) continue;
    const std::optional<double> gain = LeadingNumber(properties[key]);
    properties.erase(key);
    if (gain) properties.insert(key, FixedText(*gain - appliedDb, 2, " dB"));
  }
  for (const char* key : {"REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_PEAK"}) {
    if (!properties.contains(key)) continue;
    const std::optional<double> peak = LeadingNumber(properties[key]);
    properties.erase(key);
    if (peak) properties.insert(key, FixedText(*peak * std::pow(10.0, appliedDb / 20), 6));
  }
}

std::optional<Picture> FittedCover(std::optional<Picture> cover, std::optional<int> maxSide) {
  if (!cover || !maxSide) return cover;
  if (*maxSide == 0) return std::nullopt;
  const ffmpeg::FramePtr image = DecodeImage(cover->data);
  if (!image) return std::nullopt;
  const int longest = std::max(image->width, image->height);
  const auto side = static_cast<std::uint64_t>(*maxSide);
  if (longest <= *maxSide && cover->data.size() <= side * side) {
    cover->width = image->width;
    cover->height = image->height;
    return cover;
  }
  const double scale = std::min(1.0, static_cast<double>(*maxSide) / longest);
  const int width = std::clamp(static_cast<int>(std::lround(image->width * scale)), 1, *maxSide);
  const int height = std::clamp(static_cast<int>(std::lround(image->height * scale)), 1, *maxSide);
  std::optional<TagLib::ByteVector> jpeg = EncodeJpeg(*image, width, height);
  if (!jpeg) return std::nullopt;
  return Picture{*jpeg, "image/jpeg", width, height};
}

bool WriteCarriedTags(TagLib::IOStream& stream, TargetCodec codec, bool id3v23,
                      const CarriedTags& tags) {
  const TagLib::PropertyMap& properties = tags.properties;
  const std::optional<Picture>& cover = tags.cover;
  switch (codec) {
    case TargetCodec::kMp3: {
      TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
      if (!file.isValid()) return false;
      TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
      tag->setProperties(properties);
      if (cover) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setMimeType(cover->mime);
        frame->setPicture(cover->data);
        tag->addFrame(frame);
      }
      return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                       id3v23 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                       TagLib::File::DoNotDuplicate);
    }
    case TargetCodec::kAac: {
      TagLib::MP4::File file(&stream, false);
      if (!file.isValid() || file.tag() == nullptr) return false;
      // TagLib has MP4 names for the common tags only; ReplayGain goes into iTunes's
      // free-form items, where players look for it.
      const TagLib::PropertyMap unnamed = file.tag()->setProperties(properties);
      for (const auto& [key, values] : unnamed)
        file.tag()->setItem(kItunesFreeForm + key, values);
      if (cover) {
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(Mp4FormatOf(cover->mime), cover->data));
        file.tag()->setItem("covr", covers);
      }
      return file.save();
    }
    case TargetCodec::kOpus: {
      TagLib::Ogg::Opus::File file(&stream, false);
      if (!file.isValid() || file.tag() == nullptr) return false;
      file.tag()->setProperties(properties);
      if (cover) {
        auto* picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType(cover->mime);
        picture->setData(cover->data);
        picture->setWidth(cover->width);
        picture->setHeight(cover->height);
        file.tag()->addPicture(picture);
      }
      return file.save();
    }
  }
  return false;
}

}  // namespace sorvina::media
