// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/mp3_gain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "media/mp3_info.h"

namespace sorvina::media {
namespace {

constexpr std::uint32_t kStreamBits = 0xFFFE0C00u;  // sync, version, layer, sample rate
constexpr std::uint32_t kVersionMpeg1 = 3;
constexpr std::uint32_t kLayerIII = 1;
constexpr std::uint32_t kChannelModeSingle = 3;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kCrcSize = 2;
constexpr std::size_t kTagHeaderSize = 10;  // ID3v2 header and footer alike
constexpr std::size_t kApeFooterSize = 32;
constexpr int kLengthBits = 12;
constexpr int kGainBits = 8;
constexpr int kMaxGain = 255;

std::uint32_t BigEndian32(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
         (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

bool StartsWith(std::span<const unsigned char> bytes, std::size_t pos, const char* magic) {
  const std::size_t length = std::strlen(magic);
  return pos + length <= bytes.size() && std::memcmp(bytes.data() + pos, magic, length) == 0;
}

std::string At(std::size_t pos) {
  return " at byte " + std::to_string(pos);
}

// Where a Layer III frame's side information lies, and its global gains within it. The
// side information opens with the main data pointer and the private bits (and, in MPEG-1,
// the scale factor selection of each channel); then come the granules, each with one block
// per channel that starts with a 12-bit length and a 9-bit count before the global gain.
// MPEG-1 frames have two granules of 59-bit blocks, MPEG-2 and 2.5 frames one of 63 bits.
struct SideInformation {
  explicit SideInformation(std::uint32_t header) {
    const bool mpeg1 = ((header >> 19) & 3) == kVersionMpeg1;
    const bool mono = ((header >> 6) & 3) == kChannelModeSingle;
    const bool protectedByCrc = ((header >> 16) & 1) == 0;
    offset = kHeaderSize + (protectedByCrc ? kCrcSize : 0);
    channels = mono ? 1 : 2;
    granules = mpeg1 ? 2 : 1;
    if (mpeg1) {
      size = mono ? 17 : 32;
      firstBlockBit = 9 + (mono ? 5 : 3) + 4 * channels;
      blockBits = 59;
    } else {
      size = mono ? 9 : 17;
      firstBlockBit = 8 + (mono ? 1 : 2);
      blockBits = 63;
    }
  }

  std::size_t end() const { return offset + size; }
  // The first bit of the block of `granule` and `channel`, which opens with the length of
  // its coded data, and of its global gain, from the side information's start.
  int LengthBit(int granule, int channel) const {
    return firstBlockBit + (granule * channels + channel) * blockBits;
  }
  int GainBit(int granule, int channel) const { return LengthBit(granule, channel) + 21; }

  std::size_t offset = 0;
  std::size_t size = 0;
  int channels = 0;
  int granules = 0;
  int firstBlockBit = 0;
  int blockBits = 0;
};

int ReadBits(const unsigned char* bytes, int bit, int count) {
  int value = 0;
  for (int i = bit; i < bit + count; ++i)
    value = (value << 1) | ((bytes[i / 8] >> (7 - i % 8)) & 1);
  return value;
}

void WriteBits(unsigned char* bytes, int bit, int count, int value) {
  for (int i = bit + count - 1; i >= bit; --i, value >>= 1) {
    const auto mask = static_cast<unsigned char>(1u << (7 - i % 8));
    bytes[i / 8] =
        static_cast<unsigned char>((value & 1) != 0 ? bytes[i / 8] | mask : bytes[i / 8] & ~mask);
  }
}

// The CRC-16 (polynomial x^16 + x^15 + x^2 + 1, register starting at all ones) that a
// protected frame carries right after its header. It covers the header's last two bytes
// and, in Layer III, the whole side information.
std::uint16_t FrameCrc(const unsigned char* frame, const SideInformation& side) {
  std::uint16_t crc = 0xFFFF;
  const auto add = [&crc](unsigned char byte) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x8005 : crc << 1);
  };
  add(frame[2]);
  add(frame[3]);
  for (std::size_t i = 0; i < side.size; ++i)
    add(frame[side.offset + i]);
  return crc;
}

bool CrcHolds(const unsigned char* frame, const SideInformation& side) {
  return side.offset == kHeaderSize ||
         FrameCrc(frame, side) == ((frame[kHeaderSize] << 8) | frame[kHeaderSize + 1]);
}

// Where the audio ends: before an ID3v1 tag and an APE tag that end the file.
std::size_t AudioEnd(std::span<const unsigned char> bytes, const Mp3Info& info) {
  auto end = static_cast<std::size_t>(info.GetAudioEnd());
  if (end >= kApeFooterSize && StartsWith(bytes, end - kApeFooterSize, "APETAGEX")) {
    const unsigned char* footer = bytes.data() + end - kApeFooterSize;
    const bool hasHeader = (footer[23] & 0x80) != 0;
    const std::size_t size = LittleEndian32(footer + 12) + (hasHeader ? kApeFooterSize : 0);
    if (size <= end) end -= size;
  }
  return end;
}

// The offsets of the audio frames, checked from first to last before anything changes;
// nothing, with the reason, for a file that cannot be changed whole.
std::optional<std::vector<std::size_t>> AudioFrames(std::span<const unsigned char> bytes,
                                                    std::string& reason) {
  Mp3Info info;
  if (info.OpenBytes(bytes, 0) != Mp3Info::Status::kOk) {
    reason = "no MPEG audio frame found";
    return std::nullopt;
  }
  const std::uint32_t first = info.GetHeader();
  const std::uint32_t layer = (first >> 17) & 3;
  if (layer != kLayerIII) {
    reason = std::string("MPEG Layer ") + (layer == 3 ? "I" : "II") + " audio, not Layer III";
    return std::nullopt;
  }
  const std::size_t end = AudioEnd(bytes, info);
  std::vector<std::size_t> frames;
  auto pos = static_cast<std::size_t>(info.GetFirstFrameOffset());
  // A frame that states the frame count holds no audio; it keeps its bytes.
  if (info.GetCountHeader() != Mp3Info::CountHeader::kNone)
    pos += static_cast<std::size_t>(Mp3Info::FrameLength(first));
  while (pos < end) {
    const std::uint32_t header = pos + kHeaderSize <= end ? BigEndian32(bytes.data() + pos) : 0;
    if (Mp3Info::IsValidHeader(header)) {
      if ((header & kStreamBits) != (first & kStreamBits)) {
        reason = "the MPEG version, layer or sample rate changes" + At(pos);
        return std::nullopt;
      }
      const SideInformation side(header);
      // A last frame may be cut short: its volume is set like the others' as long as its
      // side information is whole.
      const auto length = static_cast<std::size_t>(Mp3Info::FrameLength(header));
      if (length < side.end() || pos + side.end() > end) {
        reason = "damaged: the frame" + At(pos) + " is cut short";
        return std::nullopt;
      }
      if (!CrcHolds(bytes.data() + pos, side)) {
        reason = "damaged: the frame" + At(pos) + " fails its CRC check";
        return std::nullopt;
      }
      frames.push_back(pos);
      pos += length;
    } else if (StartsWith(bytes, pos, "ID3") && pos + kTagHeaderSize <= end) {
      const unsigned char* tag = bytes.data() + pos;
      const std::size_t size = (std::size_t{tag[6] & 0x7Fu} << 21) |
                               (std::size_t{tag[7] & 0x7Fu} << 14) |
                               (std::size_t{tag[8] & 0x7Fu} << 7) | std::size_t{tag[9] & 0x7Fu};
      const bool hasFooter = (tag[5] & 0x10) != 0;
      pos += kTagHeaderSize + size + (hasFooter ? kTagHeaderSize : 0);
    } else if (StartsWith(bytes, pos, "APETAGEX") || StartsWith(bytes, pos, "LYRICSBEGIN") ||
               std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                           bytes.begin() + static_cast<std::ptrdiff_t>(end),
                           [](unsigned char byte) { return byte == 0; })) {
      break;  // tags, or padding, up to the end
    } else {
      reason = "damaged: no MPEG frame" + At(pos) + ", where the previous frame ends";
      return std::nullopt;
    }
  }
  if (frames.empty()) {
    reason = "no MPEG audio frame found";
    return std::nullopt;
  }
  return frames;
}

// Adds `steps` to the global gains of the frame at `frame`, keeping its CRC true.
void ChangeFrame(unsigned char* frame, int steps, Mp3GainChange& change) {
  const SideInformation side(BigEndian32(frame));
  unsigned char* fields = frame + side.offset;
  for (int granule = 0; granule < side.granules; ++granule) {
    for (int channel = 0; channel < side.channels; ++channel) {
      const int bit = side.GainBit(granule, channel);
      // A block that codes no data decodes to silence whatever its gain: it keeps it.
      if (ReadBits(fields, side.LengthBit(granule, channel), kLengthBits) == 0) continue;
      const int wanted = ReadBits(fields, bit, kGainBits) + steps;
      const int gain = std::clamp(wanted, 0, kMaxGain);
      if (gain != wanted) ++change.clampedFields;
      WriteBits(fields, bit, kGainBits, gain);
    }
  }
  if (side.offset != kHeaderSize) {
    const std::uint16_t crc = FrameCrc(frame, side);
    frame[kHeaderSize] = static_cast<unsigned char>(crc >> 8);
    frame[kHeaderSize + 1] = static_cast<unsigned char>(crc);
  }
  ++change.frames;
}

}  // namespace

int Mp3GainSteps(double gainDb) {
  if (std::isnan(gainDb)) return 0;
  // 256 steps take any gain field across its whole range.
  constexpr double kWholeRange = (kMaxGain + 1) * kMp3GainStepDb;
  return static_cast<int>(
      std::lround(std::clamp(gainDb, -kWholeRange, kWholeRange) / kMp3GainStepDb));
}

bool ApplyMp3Gain(std::string& bytes, int steps, std::string* reason, Mp3GainChange* change) {
  auto* data = reinterpret_cast<unsigned char*>(bytes.data());
  std::string why;
  const std::optional<std::vector<std::size_t>> frames =
      AudioFrames(std::span<const unsigned char>(data, bytes.size()), why);
  if (!frames) {
    if (reason != nullptr) *reason = std::move(why);
    return false;
  }
  // Beyond a field's whole range every gain ends at 0 or 255 (and counts as held there)
  // alike; this keeps the sums small.
  steps = std::clamp(steps, -kMaxGain - 1, kMaxGain + 1);
  Mp3GainChange done;
  for (const std::size_t frame : *frames)
    ChangeFrame(data + frame, steps, done);
  if (change != nullptr) *change = done;
  return true;
}

}  // namespace sorvina::media
