// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/mp3_fixtures.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace sorvina::test {
namespace {

// The standard's tables, written out again here so that the analysis is checked against
// an independent copy.
constexpr std::array<int, 15> kMpeg1LayerI = {0,   32,  64,  96,  128, 160, 192, 224,
                                              256, 288, 320, 352, 384, 416, 448};
constexpr std::array<int, 15> kMpeg1LayerII = {0,   32,  48,  56,  64,  80,  96, 112,
                                               128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int, 15> kMpeg1LayerIII = {0,   32,  40,  48,  56,  64,  80, 96,
                                                112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 15> kMpeg2LayerI = {0,   32,  48,  56,  64,  80,  96, 112,
                                              128, 144, 160, 176, 192, 224, 256};
constexpr std::array<int, 15> kMpeg2LayersIIAndIII = {0,  8,  16, 24,  32,  40,  48, 56,
                                                      64, 80, 96, 112, 128, 144, 160};

const std::array<int, 15>& BitrateRow(const FrameFormat& format) {
  if (format.version == MpegVersion::kMpeg1) {
    if (format.layer == MpegLayer::kI) return kMpeg1LayerI;
    return format.layer == MpegLayer::kII ? kMpeg1LayerII : kMpeg1LayerIII;
  }
  return format.layer == MpegLayer::kI ? kMpeg2LayerI : kMpeg2LayersIIAndIII;
}

std::uint32_t BitrateIndex(const FrameFormat& format) {
  const auto& row = BitrateRow(format);
  const auto found = std::find(row.begin() + 1, row.end(), format.bitrateKbps);
  if (found == row.end()) throw std::invalid_argument("bitrate not allowed for this frame");
  return static_cast<std::uint32_t>(found - row.begin());
}

int BaseSampleRate(const FrameFormat& format) {
  switch (format.version) {
    case MpegVersion::kMpeg1:
      return 44100;
    case MpegVersion::kMpeg2:
      return 22050;
    case MpegVersion::kMpeg25:
      return 11025;
  }
  return 0;
}

std::uint32_t SampleRateIndex(const FrameFormat& format) {
  const int base = BaseSampleRate(format);
  // Each version offers its base rate, 48/44.1 of it rounded, and 32/44.1 of it.
  const std::array<int, 3> rates = {base, base * 480 / 441, base * 320 / 441};
  const auto found = std::find(rates.begin(), rates.end(), format.sampleRateHz);
  if (found == rates.end()) throw std::invalid_argument("sample rate not allowed");
  return static_cast<std::uint32_t>(found - rates.begin());
}

std::uint32_t VersionBits(MpegVersion version) {
  switch (version) {
    case MpegVersion::kMpeg1:
      return 3;
    case MpegVersion::kMpeg2:
      return 2;
    case MpegVersion::kMpeg25:
      return 0;
  }
  return 1;
}

std::uint32_t LayerBits(MpegLayer layer) {
  switch (layer) {
    case MpegLayer::kI:
      return 3;
    case MpegLayer::kII:
      return 2;
    case MpegLayer::kIII:
      return 1;
  }
  return 0;
}

std::string BigEndianBytes(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

void AddTextFrame(TagLib::ID3v2::Tag& tag, const char* id, std::string_view text,
                  TagLib::String::Type encoding) {
  if (text.empty()) return;
  auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, encoding);
  frame->setText(TagLib::String(std::string(text), TagLib::String::UTF8));
  tag.addFrame(frame);  // the tag owns the frame from here on
}

}  // namespace

std::uint32_t FrameHeader(const FrameFormat& format) {
  const std::uint32_t channelMode = format.mono ? 3 : 0;
  return 0xFFE00000u | (VersionBits(format.version) << 19) | (LayerBits(format.layer) << 17) |
         (1u << 16) /* no CRC */ | (BitrateIndex(format) << 12) | (SampleRateIndex(format) << 10) |
         (channelMode << 6);
}

std::string HeaderBytes(std::uint32_t header) {
  return BigEndianBytes(header);
}

std::size_t FrameLength(const FrameFormat& format) {
  const int bitsPerSecond = format.bitrateKbps * 1000;
  if (format.layer == MpegLayer::kI)
    return static_cast<std::size_t>(12 * bitsPerSecond / format.sampleRateHz * 4);
  const int coefficient =
      format.layer == MpegLayer::kIII && format.version != MpegVersion::kMpeg1 ? 72 : 144;
  return static_cast<std::size_t>(coefficient * bitsPerSecond / format.sampleRateHz);
}

std::string ConstantBitrateMp3(int seconds) {
  std::string bytes = HeaderBytes(FrameHeader({}));
  bytes.resize(static_cast<std::size_t>(seconds) * 16000, '\0');
  return bytes;
}

std::string SilentFrames(const FrameFormat& format, int count) {
  std::string frame = HeaderBytes(FrameHeader(format));
  frame.resize(FrameLength(format), '\0');
  std::string frames;
  frames.reserve(frame.size() * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    frames += frame;
  return frames;
}

std::string XingHeader(std::optional<std::uint32_t> frameCount, std::string_view magic) {
  return std::string(magic) + BigEndianBytes(frameCount ? 1 : 0) +
         BigEndianBytes(frameCount.value_or(0));
}

std::string XingFrame(const FrameFormat& format, std::optional<std::uint32_t> frameCount,
                      std::string_view magic) {
  std::string frame = SilentFrames(format, 1);
  const std::size_t sideInformation =
      format.version == MpegVersion::kMpeg1 ? (format.mono ? 17 : 32) : (format.mono ? 9 : 17);
  frame.replace(4 + sideInformation, 12, XingHeader(frameCount, magic));
  return frame;
}

std::string VbriFrame(const FrameFormat& format, std::uint32_t streamBytes,
                      std::uint32_t frameCount) {
  std::string frame = SilentFrames(format, 1);
  // Version 1 and a delay of 1105 samples, quality 75, then the two counts.
  const std::string vbri = "VBRI" + BigEndianBytes(0x00010451) + std::string("\0\x4B", 2) +
                           BigEndianBytes(streamBytes) + BigEndianBytes(frameCount);
  frame.replace(4 + 32, vbri.size(), vbri);
  return frame;
}

std::string SynchsafeBytes(std::uint32_t size) {
  return {static_cast<char>((size >> 21) & 0x7F), static_cast<char>((size >> 14) & 0x7F),
          static_cast<char>((size >> 7) & 0x7F), static_cast<char>(size & 0x7F)};
}

std::string Id3v2Header(std::uint32_t size) {
  return std::string("ID3\x04\x00\x00", 6) + SynchsafeBytes(size);
}

std::string Id3v2Footer(std::uint32_t size) {
  return std::string("3DI\x04\x00\x10", 6) + SynchsafeBytes(size);
}

std::string Id3v2Tag(std::uint32_t size, bool withFooter) {
  std::string tag = Id3v2Header(size);
  if (withFooter) tag[5] = 0x10;  // the footer-present flag
  tag.append(size, '\0');
  if (withFooter) tag += Id3v2Footer(size);
  return tag;
}

std::string Id3v1Tag(std::string_view title, std::string_view artist) {
  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, std::min<std::size_t>(title.size(), 30), title.substr(0, 30));
  tag.replace(33, std::min<std::size_t>(artist.size(), 30), artist.substr(0, 30));
  tag[127] = static_cast<char>(255);  // no genre
  return tag;
}

void WriteId3v2Texts(const std::string& path, std::string_view title, std::string_view artist,
                     int version, std::size_t pictureBytes) {
  TagLib::MPEG::File file(path.c_str(), false);
  if (!file.isOpen()) throw std::runtime_error("TagLib cannot open " + path);
  const TagLib::String::Type encoding = version == 4 ? TagLib::String::UTF8 : TagLib::String::UTF16;
  TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
  AddTextFrame(*tag, "TIT2", title, encoding);
  AddTextFrame(*tag, "TPE1", artist, encoding);
  if (pictureBytes > 0) {
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setMimeType("image/jpeg");
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setPicture(TagLib::ByteVector(static_cast<unsigned>(pictureBytes), '\x5A'));
    tag->addFrame(picture);
  }
  const auto id3Version = version == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3;
  if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, id3Version,
                 TagLib::File::DoNotDuplicate)) {
    throw std::runtime_error("TagLib cannot save " + path);
  }
}

}  // namespace sorvina::test
