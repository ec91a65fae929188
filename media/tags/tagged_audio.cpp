// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/tagged_audio.h"

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
#include <taglib/oggpageheader.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tiostream.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <optional>

#include "media/caption.h"
#include "media/tags/container_reading.h"
#include "media/tags/tag_input.h"

namespace sorvina::media {
namespace {

constexpr auto kQuickest = TagLib::AudioProperties::Fast;

std::string CaptionFromTag(const TagLib::Tag& tag) {
  return CaptionFromTexts(tag.title().to8Bit(true), tag.artist().to8Bit(true));
}

std::int64_t NearestSecond(std::int64_t milliseconds) {
  return milliseconds > 0 ? (milliseconds + 500) / 1000 : 0;
}

// Time and caption of a file that TagLib has read; nothing when it found the file invalid.
std::optional<TaggedAudio> Summarise(const TagLib::File& file) {
  if (!file.isValid()) return std::nullopt;
  TaggedAudio audio;
  if (const TagLib::AudioProperties* properties = file.audioProperties()) {
    audio.seconds = NearestSecond(properties->lengthInMilliseconds());
    audio.holdsAudio = properties->lengthInMilliseconds() > 0;
  }
  if (const TagLib::Tag* tag = file.tag()) audio.caption = CaptionFromTag(*tag);
  return audio;
}

// MPEG audio: the caption alone, from the ID3v2 tag, else the ID3v1 tag. TagLib hands out
// empty tag objects for tags the file lacks, so it is asked first.
TaggedAudio ReadMpegCaption(TagLib::IOStream& stream) {
  TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  TaggedAudio audio;
  if (mpeg.hasID3v2Tag()) audio.caption = CaptionFromTag(*mpeg.ID3v2Tag());
  if (audio.caption.empty() && mpeg.hasID3v1Tag()) audio.caption = CaptionFromTag(*mpeg.ID3v1Tag());
  return audio;
}

template <class File>
std::optional<TaggedAudio> ReadAs(TagLib::IOStream& stream) {
  stream.seek(0);
  return Summarise(File(&stream, true, kQuickest));
}

// A WAV file's common tag is its ID3v2 tag alone; its RIFF INFO list, which most tools
// write, is the fallback.
std::optional<TaggedAudio> ReadWav(TagLib::IOStream& stream) {
  TagLib::RIFF::WAV::File wav(&stream, true, kQuickest);
  std::optional<TaggedAudio> audio = Summarise(wav);
  if (audio && audio->caption.empty() && wav.hasInfoTag())
    audio->caption = CaptionFromTag(*wav.InfoTag());
  return audio;
}

// An AIFF file's common tag is its ID3 chunk alone; the native NAME and AUTH chunks,
// which some tools write instead, are the fallback.
std::optional<TaggedAudio> ReadAiff(TagLib::IOStream& stream) {
  std::optional<TaggedAudio> audio = ReadAs<TagLib::RIFF::AIFF::File>(stream);
  if (audio && audio->caption.empty()) audio->caption = AiffTextChunkCaption(stream);
  return audio;
}

// FLAC in Ogg written by a streaming muxer states no sample count in its header; the
// last page's position, in samples, gives the time then.
std::optional<TaggedAudio> ReadOggFlac(TagLib::IOStream& stream) {
  stream.seek(0);
  TagLib::Ogg::FLAC::File flac(&stream, true, kQuickest);
  std::optional<TaggedAudio> audio = Summarise(flac);
  const TagLib::AudioProperties* properties = flac.audioProperties();
  if (audio && audio->seconds == 0 && properties && properties->sampleRate() > 0) {
    if (const TagLib::Ogg::PageHeader* last = flac.lastPageHeader())
      audio->seconds =
          NearestSecondOfSamples(last->absoluteGranularPosition(), properties->sampleRate());
    audio->holdsAudio = audio->seconds > 0;
  }
  return audio;
}

// TagLib times Opus by the last page header it finds, even that of a page cut short by
// an interrupted download, whose position counts audio the file does not hold; the last
// whole page's position is what plays.
std::optional<TaggedAudio> ReadOpus(TagLib::IOStream& stream) {
  std::optional<TaggedAudio> audio = ReadAs<TagLib::Ogg::Opus::File>(stream);
  if (audio) {
    if (const std::optional<std::int64_t> seconds = OpusSecondsToLastWholePage(stream))
      audio->seconds = *seconds;
  }
  return audio;
}

// An Ogg file's first packet names its codec; TagLib's reader for another codec finds the
// file invalid, so the readers are tried in turn, the likeliest for the ending first.
std::optional<TaggedAudio> ReadOgg(TagLib::IOStream& stream, bool opusFirst) {
  std::optional<TaggedAudio> audio =
      opusFirst ? ReadOpus(stream) : ReadAs<TagLib::Ogg::Vorbis::File>(stream);
  if (!audio) audio = opusFirst ? ReadAs<TagLib::Ogg::Vorbis::File>(stream) : ReadOpus(stream);
  if (!audio) audio = ReadOggFlac(stream);
  if (!audio) audio = ReadAs<TagLib::Ogg::Speex::File>(stream);
  return audio;
}

// TagLib refuses an MP4 file whose movie box claims more than the file holds, as when a
// download with the movie box last was cut short; its whole boxes still tell the time
// and the tags.
std::optional<TaggedAudio> ReadMp4(TagLib::IOStream& stream) {
  if (std::optional<TaggedAudio> audio = ReadAs<TagLib::MP4::File>(stream)) return audio;
  std::optional<Mp4Boxes> boxes = ReadMp4Boxes(stream);
  if (!boxes) return std::nullopt;
  return TaggedAudio{boxes->seconds, std::move(boxes->caption), boxes->seconds > 0};
}

// A FLAC stream written as it was encoded (to a pipe) may state no sample count: its
// length is unknown, not zero.
std::optional<TaggedAudio> ReadFlac(TagLib::IOStream& stream) {
  const TagLib::FLAC::File flac(&stream, TagLib::ID3v2::FrameFactory::instance(), true, kQuickest);
  std::optional<TaggedAudio> audio = Summarise(flac);
  const TagLib::FLAC::Properties* properties = flac.audioProperties();
  if (audio && properties != nullptr && properties->sampleFrames() == 0 &&
      properties->sampleRate() > 0)
    audio->holdsAudio = true;
  return audio;
}

std::optional<TaggedAudio> ReadStream(TagLib::IOStream& stream, AudioFormat format) {
  switch (format) {
    case AudioFormat::kFlac:
      return ReadFlac(stream);
    case AudioFormat::kOgg:
      return ReadOgg(stream, false);
    case AudioFormat::kOpus:
      return ReadOgg(stream, true);
    case AudioFormat::kMp4:
      return ReadMp4(stream);
    case AudioFormat::kAsf:
      return ReadAs<TagLib::ASF::File>(stream);
    case AudioFormat::kWav:
      return ReadWav(stream);
    case AudioFormat::kAiff:
      return ReadAiff(stream);
    case AudioFormat::kMpeg:
      return ReadMpegCaption(stream);
  }
  return std::nullopt;
}

TaggedAudio ReadFrom(const TagInput& input, AudioFormat format) {
  return input ? ReadStream(*input, format).value_or(TaggedAudio{}) : TaggedAudio{};
}

}  // namespace

TaggedAudio ReadTaggedAudio(const std::string& path, AudioFormat format) {
  return ReadFrom(TagInput(path), format);
}

TaggedAudio ReadTaggedAudio(const platform::ReadOnlyFile& file, AudioFormat format) {
  return ReadFrom(TagInput(file), format);
}

TaggedAudio ReadTaggedAudio(std::span<const unsigned char> bytes, AudioFormat format) {
  return ReadFrom(TagInput(bytes), format);
}

}  // namespace sorvina::media
