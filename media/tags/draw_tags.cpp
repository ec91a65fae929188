// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/draw_tags.h"

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/speexfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include <climits>

#include "media/file_types.h"
#include "media/tags/tag_input.h"
#include "media/tags/tag_number.h"

namespace sorvina::media {
namespace {

// No audio properties are read: the draw needs none, and they cost most of the time.
constexpr bool kNoProperties = false;

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string Trimmed(const TagLib::String& text) {
  std::string bytes = text.to8Bit(true);
  const auto end = std::find_if_not(bytes.rbegin(), bytes.rend(), IsBlank).base();
  const auto begin = std::find_if_not(bytes.begin(), end, IsBlank);
  return {begin, end};
}

// The number a position starts with, as in "3/12" or "03"; 0 for none or one out of range.
int PositionNumber(std::string_view text) {
  return WholeTagNumber(text.substr(0, text.find('/')), 1, INT_MAX).value_or(0);
}

// Stars from a rating out of 100 (1 to 20 is one star, 81 to 100 five), or from 1 to 5
// stars stated directly; 0 for anything else.
int StarsOfPercent(std::string_view text) {
  const int value = WholeTagNumber(text, 1, 100).value_or(0);
  return value <= 5 ? value : (value + 19) / 20;
}

// Stars from a rating between 0 and 1, as FMPS_RATING states it; 0 and below is unrated.
int StarsOfFraction(std::string_view text) {
  const double value = TagNumber(text).value_or(0);
  return value > 0 ? static_cast<int>(std::lround(std::min(value, 1.0) * 5)) : 0;
}

// Stars from an ID3 popularimeter's 0 to 255, by the mapping most players share.
int StarsOfPopularimeter(int value) {
  if (value <= 0) return 0;
  if (value < 32) return 1;
  if (value < 96) return 2;
  if (value < 160) return 3;
  if (value < 224) return 4;
  return 5;
}

// The first value of an ID3v2 text frame (a frame may hold several, which toString would
// join).
std::string Id3Text(const TagLib::ID3v2::Tag& tag, const char* id) {
  const TagLib::ID3v2::FrameListMap& frames = tag.frameListMap();
  const auto found = frames.find(id);
  if (found == frames.end() || found->second.isEmpty()) return {};
  const TagLib::ID3v2::Frame* frame = found->second.front();
  if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
    const TagLib::StringList values = text->fieldList();
    return values.isEmpty() ? std::string() : Trimmed(values.front());
  }
  return Trimmed(frame->toString());
}

DrawTags FromId3v2(const TagLib::ID3v2::Tag& tag) {
  DrawTags tags;
  tags.artist = Id3Text(tag, "TPE1");
  tags.albumArtist = Id3Text(tag, "TPE2");
  tags.album = Id3Text(tag, "TALB");
  tags.track = PositionNumber(Id3Text(tag, "TRCK"));
  tags.disc = PositionNumber(Id3Text(tag, "TPOS"));
  const TagLib::ID3v2::FrameListMap& frames = tag.frameListMap();
  if (const auto found = frames.find("POPM"); found != frames.end() && !found->second.isEmpty()) {
    if (const auto* popularimeter =
            dynamic_cast<const TagLib::ID3v2::PopularimeterFrame*>(found->second.front()))
      tags.rating = StarsOfPopularimeter(popularimeter->rating());
  }
  return tags;
}

// Fills what `tags` lacks from a tag that knows artist, album and track alone.
void FillFromBasicTag(DrawTags& tags, const TagLib::Tag& tag) {
  if (tags.artist.empty()) tags.artist = Trimmed(tag.artist());
  if (tags.album.empty()) tags.album = Trimmed(tag.album());
  if (tags.track == 0) tags.track = static_cast<int>(std::min<unsigned>(tag.track(), 1u << 30));
}

std::string XiphText(const TagLib::Ogg::XiphComment& comment, const char* key) {
  const TagLib::Ogg::FieldListMap& fields = comment.fieldListMap();
  const auto found = fields.find(key);
  return found == fields.end() || found->second.isEmpty() ? std::string()
                                                          : Trimmed(found->second.front());
}

DrawTags FromXiph(const TagLib::Ogg::XiphComment& comment) {
  DrawTags tags;
  tags.artist = XiphText(comment, "ARTIST");
  tags.albumArtist = XiphText(comment, "ALBUMARTIST");
  tags.album = XiphText(comment, "ALBUM");
  tags.track = PositionNumber(XiphText(comment, "TRACKNUMBER"));
  tags.disc = PositionNumber(XiphText(comment, "DISCNUMBER"));
  // FMPS_RATING where it is set, else RATING.
  if (const std::string fraction = XiphText(comment, "FMPS_RATING"); !fraction.empty())
    tags.rating = StarsOfFraction(fraction);
  else
    tags.rating = StarsOfPercent(XiphText(comment, "RATING"));
  return tags;
}

std::optional<DrawTags> ReadMpeg(TagLib::IOStream& stream) {
  TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), kNoProperties);
  if (!mpeg.isValid()) return std::nullopt;
  DrawTags tags;
  if (mpeg.hasID3v2Tag()) tags = FromId3v2(*mpeg.ID3v2Tag());
  if (mpeg.hasID3v1Tag()) FillFromBasicTag(tags, *mpeg.ID3v1Tag());
  return tags;
}

std::optional<DrawTags> ReadFlac(TagLib::IOStream& stream) {
  TagLib::FLAC::File flac(&stream, TagLib::ID3v2::FrameFactory::instance(), kNoProperties);
  if (!flac.isValid()) return std::nullopt;
  if (flac.hasXiphComment()) return FromXiph(*flac.xiphComment());
  if (flac.hasID3v2Tag()) return FromId3v2(*flac.ID3v2Tag());
  return DrawTags{};
}

template <class File>
std::optional<DrawTags> ReadXiphIn(TagLib::IOStream& stream) {
  stream.seek(0);
  File file(&stream, kNoProperties);
  if (!file.isValid()) return std::nullopt;
  const TagLib::Ogg::XiphComment* comment = file.tag();
  return comment != nullptr ? FromXiph(*comment) : DrawTags{};
}

// An Ogg file's first packet names its codec; the readers are tried in turn, the
// likeliest for the ending first.
std::optional<DrawTags> ReadOgg(TagLib::IOStream& stream, bool opusFirst) {
  std::optional<DrawTags> tags = opusFirst ? ReadXiphIn<TagLib::Ogg::Opus::File>(stream)
                                           : ReadXiphIn<TagLib::Ogg::Vorbis::File>(stream);
  if (!tags)
    tags = opusFirst ? ReadXiphIn<TagLib::Ogg::Vorbis::File>(stream)
                     : ReadXiphIn<TagLib::Ogg::Opus::File>(stream);
  if (!tags) tags = ReadXiphIn<TagLib::Ogg::FLAC::File>(stream);
  if (!tags) tags = ReadXiphIn<TagLib::Ogg::Speex::File>(stream);
  return tags;
}

std::string Mp4Text(const TagLib::MP4::Tag& tag, const char* key) {
  if (!tag.contains(key)) return {};
  const TagLib::StringList values = tag.item(key).toStringList();
  return values.isEmpty() ? std::string() : Trimmed(values.front());
}

std::optional<DrawTags> ReadMp4(TagLib::IOStream& stream) {
  TagLib::MP4::File mp4(&stream, kNoProperties);
  if (!mp4.isValid()) return std::nullopt;
  DrawTags tags;
  const TagLib::MP4::Tag* tag = mp4.tag();
  if (tag == nullptr) return tags;
  tags.artist = Mp4Text(*tag, "\251ART");
  tags.albumArtist = Mp4Text(*tag, "aART");
  tags.album = Mp4Text(*tag, "\251alb");
  if (tag->contains("trkn")) tags.track = std::max(0, tag->item("trkn").toIntPair().first);
  if (tag->contains("disk")) tags.disc = std::max(0, tag->item("disk").toIntPair().first);
  tags.rating = StarsOfPercent(Mp4Text(*tag, "rate"));
  return tags;
}

std::string AsfText(const TagLib::ASF::Tag& tag, const char* name) {
  const TagLib::ASF::AttributeListMap& attributes = tag.attributeListMap();
  const auto found = attributes.find(name);
  if (found == attributes.end() || found->second.isEmpty()) return {};
  const TagLib::ASF::Attribute& value = found->second.front();
  if (value.type() == TagLib::ASF::Attribute::UnicodeType) return Trimmed(value.toString());
  if (value.type() == TagLib::ASF::Attribute::DWordType) return std::to_string(value.toUInt());
  return {};
}

std::optional<DrawTags> ReadAsf(TagLib::IOStream& stream) {
  TagLib::ASF::File asf(&stream, kNoProperties);
  if (!asf.isValid()) return std::nullopt;
  DrawTags tags;
  const TagLib::ASF::Tag* tag = asf.tag();
  if (tag == nullptr) return tags;
  tags.artist = Trimmed(tag->artist());
  tags.albumArtist = AsfText(*tag, "WM/AlbumArtist");
  tags.album = AsfText(*tag, "WM/AlbumTitle");
  tags.track = PositionNumber(AsfText(*tag, "WM/TrackNumber"));
  tags.disc = PositionNumber(AsfText(*tag, "WM/PartOfSet"));
  return tags;
}

// WAV: the ID3v2 tag, what it lacks from the RIFF INFO list.
std::optional<DrawTags> ReadWav(TagLib::IOStream& stream) {
  TagLib::RIFF::WAV::File wav(&stream, kNoProperties);
  if (!wav.isValid()) return std::nullopt;
  DrawTags tags;
  if (wav.hasID3v2Tag()) tags = FromId3v2(*wav.ID3v2Tag());
  if (wav.hasInfoTag()) FillFromBasicTag(tags, *wav.InfoTag());
  return tags;
}

std::optional<DrawTags> ReadAiff(TagLib::IOStream& stream) {
  TagLib::RIFF::AIFF::File aiff(&stream, kNoProperties);
  if (!aiff.isValid()) return std::nullopt;
  return aiff.hasID3v2Tag() ? FromId3v2(*aiff.tag()) : DrawTags{};
}

std::optional<DrawTags> ReadStream(TagLib::IOStream& stream, AudioFormat format) {
  switch (format) {
    case AudioFormat::kMpeg:
      return ReadMpeg(stream);
    case AudioFormat::kFlac:
      return ReadFlac(stream);
    case AudioFormat::kOgg:
      return ReadOgg(stream, false);
    case AudioFormat::kOpus:
      return ReadOgg(stream, true);
    case AudioFormat::kMp4:
      return ReadMp4(stream);
    case AudioFormat::kAsf:
      return ReadAsf(stream);
    case AudioFormat::kWav:
      return ReadWav(stream);
    case AudioFormat::kAiff:
      return ReadAiff(stream);
  }
  return std::nullopt;
}

}  // namespace

std::optional<DrawTags> ReadDrawTags(const std::string& path) {
  const TypedName typed = TypeOfName(path);
  if (typed.type == nullptr) return std::nullopt;
  const TagInput input(path);
  if (!input) return std::nullopt;
  return ReadStream(*input, typed.type->format);
}

}  // namespace sorvina::media
