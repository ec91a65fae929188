// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorvina::test {

// MP3 bytes built by hand, for tests that must know exactly where everything lies.

enum class MpegVersion { kMpeg1, kMpeg2, kMpeg25 };
enum class MpegLayer { kI, kII, kIII };

// One frame's format. Bitrate and sample rate are given in kbit/s and Hz and must be
// values the version and layer allow; the writer finds their table indexes itself.
struct FrameFormat {
  MpegVersion version = MpegVersion::kMpeg1;
  MpegLayer layer = MpegLayer::kIII;
  int bitrateKbps = 128;
  int sampleRateHz = 44100;
  bool mono = false;
};

// The four header bytes of a frame of `format`, the first byte first.
std::uint32_t FrameHeader(const FrameFormat& format);
std::string HeaderBytes(std::uint32_t header);

// The length in bytes of one frame of `format` without padding.
std::size_t FrameLength(const FrameFormat& format);

// MP3 bytes that last `seconds` by the constant-bitrate estimate: one 128 kbit/s frame
// header followed by zeros, 16,000 bytes a second.
std::string ConstantBitrateMp3(int seconds);

// `count` whole frames of `format` whose payload is zeros.
std::string SilentFrames(const FrameFormat& format, int count);

// A frame of `format` that carries a Xing header where decoders look for it, stating
// `frameCount` when given (the frame-count flag is clear otherwise). `magic` "Info" makes
// it the header that encoders put before constant-bitrate streams.
std::string XingFrame(const FrameFormat& format, std::optional<std::uint32_t> frameCount,
                      std::string_view magic = "Xing");

// The bytes "Xing" (or `magic`), the flags and the frame count, to be placed by hand.
std::string XingHeader(std::optional<std::uint32_t> frameCount, std::string_view magic = "Xing");

// A frame of `format` that carries a VBRI header 32 bytes after its frame header, as
// Fraunhofer encoders write it, stating the stream's bytes and frames.
std::string VbriFrame(const FrameFormat& format, std::uint32_t streamBytes,
                      std::uint32_t frameCount);

// The seven-bits-per-byte size field of an ID3v2 header or footer.
std::string SynchsafeBytes(std::uint32_t size);
// An ID3v2.4 tag header ("ID3") or footer ("3DI") whose size field states `size`.
std::string Id3v2Header(std::uint32_t size);
std::string Id3v2Footer(std::uint32_t size);
// A whole ID3v2 tag of `size` payload bytes of padding, with a footer when asked.
std::string Id3v2Tag(std::uint32_t size, bool withFooter = false);

// A 128-byte ID3v1 tag ("TAG") with the texts cut to their 30-byte fields.
std::string Id3v1Tag(std::string_view title, std::string_view artist);

// Writes a TagLib-made ID3v2 tag of the given version (3 or 4) into the MP3 file at
// `path`, keeping whatever else the file holds. Version 4 stores the texts as UTF-8,
// version 3 as UTF-16. An empty text is left out. `pictureBytes` adds a front cover of
// that many bytes, as music libraries carry them.
void WriteId3v2Texts(const std::string& path, std::string_view title, std::string_view artist,
                     int version = 4, std::size_t pictureBytes = 0);

}  // namespace sorvina::test
