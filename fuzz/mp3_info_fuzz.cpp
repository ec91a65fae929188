// SPDX-License-Identifier: GPL-3.0-or-later
// The MPEG analysis over any bytes: the frame search, the ID3v2 skips, the Xing, Info and
// VBRI headers, the ID3v1 test, the look at later frames and the frame walk, as Mp3Info
// applies them to a file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "fuzz/fuzz_support.h"
#include "media/mp3_info.h"

using sorvina::media::Mp3Info;

namespace {

// The size a caller may hand in (the collection passes the size it listed): any 64-bit
// value, taken from the input's first eight bytes.
std::int64_t CallerSize(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  std::memcpy(&value, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof value));
  return static_cast<std::int64_t>(value);
}

void CheckResult(const Mp3Info& info, Mp3Info::Status status, std::size_t size,
                 std::int64_t knownSize) {
  FUZZ_CHECK(status == Mp3Info::Status::kOk || status == Mp3Info::Status::kNoFrame);
  const std::int64_t seconds = info.GetLengthSeconds();
  FUZZ_CHECK(seconds >= 0);
  if (status != Mp3Info::Status::kOk) {
    FUZZ_CHECK(seconds == 0);
    return;
  }
  const auto fileSize = static_cast<std::int64_t>(size);
  FUZZ_CHECK(info.IsValidHeader());
  FUZZ_CHECK(info.GetFirstFrameOffset() >= 0 && info.GetFirstFrameOffset() + 4 <= fileSize);
  FUZZ_CHECK(info.GetFileSize() == (knownSize > 0 ? knownSize : fileSize));
  FUZZ_CHECK(info.GetAudioEnd() == info.GetFileSize() - (info.HasId3v1Tag() ? 128 : 0));
  FUZZ_CHECK(info.GetHeaderBitrate() > 0 && info.GetSampleRate() > 0);
  FUZZ_CHECK(info.GetSamplesPerFrame() > 0);
  FUZZ_CHECK(info.GetAverageBitrate() >= 0.0 || info.GetAudioEnd() < info.GetFirstFrameOffset());
  FUZZ_CHECK(info.GetStreamBitrate() >= 0 && info.GetStreamBitrate() <= 1000000);
  using Source = Mp3Info::LengthSource;
  if (info.GetCountHeader() == Mp3Info::CountHeader::kNone) FUZZ_CHECK(info.GetFrameCount() == -1);
  if (info.GetLengthSource() == Source::kStatedFrames) FUZZ_CHECK(info.GetFrameCount() >= 0);
  if (info.GetLengthSource() == Source::kCountedFrames) {
    // Never more frames than the bytes after the first frame's start could hold (the
    // smallest frame has 24 bytes); none when the first frame does not end in the audio.
    FUZZ_CHECK(info.GetCountedFrames() >= 0);
    FUZZ_CHECK(info.GetCountedFrames() <=
               static_cast<double>(fileSize - info.GetFirstFrameOffset()) / 24 + 1);
  } else {
    FUZZ_CHECK(info.GetCountedFrames() == -1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> bytes(data, size);
  // One object for both analyses, as the probe reuses it over a loop of files.
  Mp3Info info;
  const Mp3Info::Status status = info.OpenBytes(bytes, 0);
  CheckResult(info, status, size, 0);
  const std::uint32_t header = info.GetHeader();
  const std::int64_t offset = info.GetFirstFrameOffset();
  const std::int64_t frames = info.GetFrameCount();

  // The caller's size moves the end of the audio, never what the search found.
  const std::int64_t knownSize = CallerSize(bytes);
  FUZZ_CHECK(info.OpenBytes(bytes, knownSize) == status);
  CheckResult(info, status, size, knownSize);
  if (status == Mp3Info::Status::kOk) {
    FUZZ_CHECK(info.GetHeader() == header && info.GetFirstFrameOffset() == offset);
    FUZZ_CHECK(info.GetFrameCount() == frames);
  }
  return 0;
}
