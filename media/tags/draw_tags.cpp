// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/draw_tags.h"

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1genres.h>
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
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include <climits>

#include "media/file_types.h"
#include "media/tags/tag_input.h"
#include "media/tags/tag_number.h"

namespace sorvina::media {
namespace {

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// `bytes` cut to kMaxTagTextBytes, without blanks around it (also where the cut left one).
std::string TrimmedBytes(std::string_view bytes) {
  while (!bytes.empty() && IsBlank(bytes.front()))
    bytes.remove_prefix(1);
  std::string text = CutToBytes(std::string(bytes.substr(0, kMaxTagTextBytes + 1)));
  while (!text.empty() && IsBlank(text.back()))
    text.pop_back();
  return text;
}

std::string Trimmed(const TagLib::String& text) {
  return TrimmedBytes(text.to8Bit(true));
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Adds the names of `values` (ID3 genre values where `id3`) to `genres`, trimmed, each
// once (ASCII letter case aside), no more than kMaxGenres in all.
void AddGenres(std::vector<std::string>& genres, const TagLib::StringList& values, bool id3) {
  for (const TagLib::String& value : values) {
    // A value longer than any kept name is cut first: what is past the cut is dropped anyway.
    const std::string bytes = CutToBytes(value.to8Bit(true), 2 * kMaxTagTextBytes);
    const std::vector<std::string> names =
        id3 ? Id3GenreNames(bytes) : std::vector<std::string>{bytes};
    for (const std::string& written : names) {
      if (genres.size() >= kMaxGenres) return;
      std::string name = TrimmedBytes(written);
      const auto same = [&name](const std::string& known) {
        return SameNameIgnoringCase(known, name);
      };
      if (!name.empty() && std::none_of(genres.begin(), genres.end(), same))
        genres.push_back(std::move(name));
    }
  }
}

// The playing time and bitrate of `file`, where its properties were read.
void ReadLength(DrawTags& tags, const TagLib::File& file, bool withLength) {
  if (!withLength) return;
  const TagLib::AudioProperties* properties = file.audioProperties();
  tags.seconds = properties != nullptr ? std::max(0, properties->lengthInSeconds()) : 0;
  tags.bitrate = properties != nullptr ? std::max(0, properties->bitrate()) : 0;
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
  tags.title = Id3Text(tag, "TIT2");
  if (const auto found = frames.find("TCON"); found != frames.end() && !found->second.isEmpty()) {
    for (const TagLib::ID3v2::Frame* frame : found->second) {
      if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame))
        AddGenres(tags.genres, text->fieldList(), true);
    }
  }
  // ID3v2.3's year frame is read as the date frame of ID3v2.4; a tag may hold either.
  tags.year = YearOfDate(Id3Text(tag, "TDRC"));
  if (tags.year == 0) tags.year = YearOfDate(Id3Text(tag, "TYER"));
  tags.isrc = Id3Text(tag, "TSRC");
  if (const auto* ufid =
          TagLib::ID3v2::UniqueFileIdentifierFrame::findByOwner(&tag, "http://musicbrainz.org")) {
    const TagLib::ByteVector id = ufid->identifier();
    tags.recordingId = Trimmed(TagLib::String(id, TagLib::String::Latin1));
  }
  if (const auto found = frames.find("TXXX"); tags.recordingId.empty() && found != frames.end()) {
    for (const TagLib::ID3v2::Frame* frame : found->second) {
      const auto* text = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(frame);
      if (text != nullptr && text->description().upper() == "MUSICBRAINZ TRACK ID" &&
          text->fieldList().size() > 1)
        tags.recordingId = Trimmed(text->fieldList()[1]);
    }
  }
  return tags;
}

// Fills what `tags` lacks from a tag that knows artist, album and track alone.
void FillFromBasicTag(DrawTags& tags, const TagLib::Tag& tag) {
  if (tags.artist.empty()) tags.artist = Trimmed(tag.artist());
  if (tags.album.empty()) tags.album = Trimmed(tag.album());
  if (tags.track == 0) tags.track = static_cast<int>(std::min<unsigned>(tag.track(), 1u << 30));
  if (tags.title.empty()) tags.title = Trimmed(tag.title());
  if (tags.genres.empty()) AddGenres(tags.genres, TagLib::StringList(tag.genre()), false);
  if (tags.year == 0) tags.year = static_cast<int>(std::min<unsigned>(tag.year(), 9999));
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
  tags.title = XiphText(comment, "TITLE");
  const TagLib::Ogg::FieldListMap& fields = comment.fieldListMap();
  if (const auto found = fields.find("GENRE"); found != fields.end())
    AddGenres(tags.genres, found->second, false);
  tags.year = YearOfDate(XiphText(comment, "DATE"));
  if (tags.year == 0) tags.year = YearOfDate(XiphText(comment, "YEAR"));
  tags.recordingId = XiphText(comment, "MUSICBRAINZ_TRACKID");
  tags.isrc = XiphText(comment, "ISRC");
  return tags;
}

std::optional<DrawTags> ReadMpeg(TagLib::IOStream& stream, bool withLength) {
  TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), withLength);
  if (!mpeg.isValid()) return std::nullopt;
  DrawTags tags;
  if (mpeg.hasID3v2Tag()) tags = FromId3v2(*mpeg.ID3v2Tag());
  if (mpeg.hasID3v1Tag()) FillFromBasicTag(tags, *mpeg.ID3v1Tag());
  ReadLength(tags, mpeg, withLength);
  return tags;
}

std::optional<DrawTags> ReadFlac(TagLib::IOStream& stream, bool withLength) {
  TagLib::FLAC::File flac(&stream, TagLib::ID3v2::FrameFactory::instance(), withLength);
  if (!flac.isValid()) return std::nullopt;
  DrawTags tags;
  if (flac.hasXiphComment())
    tags = FromXiph(*flac.xiphComment());
  else if (flac.hasID3v2Tag())
    tags = FromId3v2(*flac.ID3v2Tag());
  ReadLength(tags, flac, withLength);
  return tags;
}

template <class File>
std::optional<DrawTags> ReadXiphIn(TagLib::IOStream& stream, bool withLength) {
  stream.seek(0);
  File file(&stream, withLength);
  if (!file.isValid()) return std::nullopt;
  const TagLib::Ogg::XiphComment* comment = file.tag();
  DrawTags tags = comment != nullptr ? FromXiph(*comment) : DrawTags{};
  ReadLength(tags, file, withLength);
  return tags;
}

// An Ogg file's first packet names its codec; the readers are tried in turn, the
// likeliest for the ending first.
std::optional<DrawTags> ReadOgg(TagLib::IOStream& stream, bool opusFirst, bool withLength) {
  std::optional<DrawTags> tags = opusFirst
                                     ? ReadXiphIn<TagLib::Ogg::Opus::File>(stream, withLength)
                                     : ReadXiphIn<TagLib::Ogg::Vorbis::File>(stream, withLength);
  if (!tags)
    tags = opusFirst ? ReadXiphIn<TagLib::Ogg::Vorbis::File>(stream, withLength)
                     : ReadXiphIn<TagLib::Ogg::Opus::File>(stream, withLength);
  if (!tags) tags = ReadXiphIn<TagLib::Ogg::FLAC::File>(stream, withLength);
  if (!tags) tags = ReadXiphIn<TagLib::Ogg::Speex::File>(stream, withLength);
  return tags;
}

std::string Mp4Text(const TagLib::MP4::Tag& tag, const char* key) {
  if (!tag.contains(key)) return {};
  const TagLib::StringList values = tag.item(key).toStringList();
  return values.isEmpty() ? std::string() : Trimmed(values.front());
}

std::optional<DrawTags> ReadMp4(TagLib::IOStream& stream, bool withLength) {
  TagLib::MP4::File mp4(&stream, withLength);
  if (!mp4.isValid()) return std::nullopt;
  DrawTags tags;
  ReadLength(tags, mp4, withLength);
  const TagLib::MP4::Tag* tag = mp4.tag();
  if (tag == nullptr) return tags;
  tags.artist = Mp4Text(*tag, "\251ART");
  tags.albumArtist = Mp4Text(*tag, "aART");
  tags.album = Mp4Text(*tag, "\251alb");
  if (tag->contains("trkn")) tags.track = std::max(0, tag->item("trkn").toIntPair().first);
  if (tag->contains("disk")) tags.disc = std::max(0, tag->item("disk").toIntPair().first);
  tags.rating = StarsOfPercent(Mp4Text(*tag, "rate"));
  tags.title = Mp4Text(*tag, "\251nam");
  if (tag->contains("\251gen")) AddGenres(tags.genres, tag->item("\251gen").toStringList(), false);
  // The older numeric genre: an ID3v1 genre's number plus 1.
  if (tags.genres.empty() && tag->contains("gnre")) {
    const int number = tag->item("gnre").toInt() - 1;
    if (number >= 0)
      AddGenres(tags.genres, TagLib::StringList(TagLib::ID3v1::genre(number)), false);
  }
  tags.year = YearOfDate(Mp4Text(*tag, "\251day"));
  tags.recordingId = Mp4Text(*tag, "----:com.apple.iTunes:MusicBrainz Track Id");
  tags.isrc = Mp4Text(*tag, "----:com.apple.iTunes:ISRC");
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

std::optional<DrawTags> ReadAsf(TagLib::IOStream& stream, bool withLength) {
  TagLib::ASF::File asf(&stream, withLength);
  if (!asf.isValid()) return std::nullopt;
  DrawTags tags;
  ReadLength(tags, asf, withLength);
  const TagLib::ASF::Tag* tag = asf.tag();
  if (tag == nullptr) return tags;
  tags.artist = Trimmed(tag->artist());
  tags.albumArtist = AsfText(*tag, "WM/AlbumArtist");
  tags.album = AsfText(*tag, "WM/AlbumTitle");
  tags.track = PositionNumber(AsfText(*tag, "WM/TrackNumber"));
  tags.disc = PositionNumber(AsfText(*tag, "WM/PartOfSet"));
  tags.title = Trimmed(tag->title());
  const TagLib::ASF::AttributeListMap& attributes = tag->attributeListMap();
  if (const auto found = attributes.find("WM/Genre"); found != attributes.end()) {
    TagLib::StringList values;
    for (const TagLib::ASF::Attribute& value : found->second) {
      if (value.type() == TagLib::ASF::Attribute::UnicodeType) values.append(value.toString());
    }
    AddGenres(tags.genres, values, false);
  }
  tags.year = YearOfDate(AsfText(*tag, "WM/Year"));
  tags.recordingId = AsfText(*tag, "MusicBrainz/Track Id");
  tags.isrc = AsfText(*tag, "WM/ISRC");
  return tags;
}

// WAV: the ID3v2 tag, what it lacks from the RIFF INFO list.
std::optional<DrawTags> ReadWav(TagLib::IOStream& stream, bool withLength) {
  TagLib::RIFF::WAV::File wav(&stream, withLength);
  if (!wav.isValid()) return std::nullopt;
  DrawTags tags;
  if (wav.hasID3v2Tag()) tags = FromId3v2(*wav.ID3v2Tag());
  if (wav.hasInfoTag()) FillFromBasicTag(tags, *wav.InfoTag());
  ReadLength(tags, wav, withLength);
  return tags;
}

std::optional<DrawTags> ReadAiff(TagLib::IOStream& stream, bool withLength) {
  TagLib::RIFF::AIFF::File aiff(&stream, withLength);
  if (!aiff.isValid()) return std::nullopt;
  DrawTags tags = aiff.hasID3v2Tag() ? FromId3v2(*aiff.tag()) : DrawTags{};
  ReadLength(tags, aiff, withLength);
  return tags;
}

std::optional<DrawTags> ReadStream(TagLib::IOStream& stream, AudioFormat format, bool withLength) {
  switch (format) {
    case AudioFormat::kMpeg:
      return ReadMpeg(stream, withLength);
    case AudioFormat::kFlac:
      return ReadFlac(stream, withLength);
    case AudioFormat::kOgg:
      return ReadOgg(stream, false, withLength);
    case AudioFormat::kOpus:
      return ReadOgg(stream, true, withLength);
    case AudioFormat::kMp4:
      return ReadMp4(stream, withLength);
    case AudioFormat::kAsf:
      return ReadAsf(stream, withLength);
    case AudioFormat::kWav:
      return ReadWav(stream, withLength);
    case AudioFormat::kAiff:
      return ReadAiff(stream, withLength);
  }
  return std::nullopt;
}

}  // namespace

std::optional<DrawTags> ReadDrawTags(const std::string& path, bool withLength) {
  const TypedName typed = TypeOfName(path);
  if (typed.type == nullptr) return std::nullopt;
  const TagInput input(path);
  if (!input) return std::nullopt;
  return ReadStream(*input, typed.type->format, withLength);
}

std::string CutToBytes(std::string text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  // Back to the first byte of the character the cut would split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
  return text;
}

int YearOfDate(std::string_view date) {
  while (!date.empty() && IsBlank(date.front()))
    date.remove_prefix(1);
  if (date.size() < 4) return 0;
  int year = 0;
  for (const char c : date.substr(0, 4)) {
    if (c < '0' || c > '9') return 0;
    year = year * 10 + (c - '0');
  }
  return year;
}

std::vector<std::string> Id3GenreNames(std::string_view value) {
  const auto numbered = [](std::string_view digits) -> std::optional<std::string> {
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    const std::string name = TagLib::ID3v1::genre(std::stoi(std::string(digits))).to8Bit(true);
    return name.empty() ? std::nullopt : std::optional<std::string>(name);
  };
  std::vector<std::string> names;
  if (const std::optional<std::string> name = numbered(value)) return {*name};
  // "(17)(18)Eurodisco": each number in brackets, then the text after them; "((" starts
  // a text that begins with a bracket.
  while (value.size() > 2 && value.front() == '(' && value[1] != '(') {
    const std::size_t close = value.find(')');
    if (close == std::string_view::npos) break;
    const std::string_view inside = value.substr(1, close - 1);
    if (const std::optional<std::string> name = numbered(inside))
      names.push_back(*name);
    else if (inside == "RX")
      names.emplace_back("Remix");
    else if (inside == "CR")
      names.emplace_back("Cover");
    else
      break;
    value.remove_prefix(close + 1);
  }
  if (value.starts_with("((")) value.remove_prefix(1);
  if (!value.empty()) names.emplace_back(value);
  return names;
}

}  // namespace sorvina::media
