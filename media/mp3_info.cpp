// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/mp3_info.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

#include "platform/read_only_file.h"

namespace sorvina::media {

// Where the analysed bytes come from: an open file, or bytes in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Copies up to buffer.size() bytes from `offset`; fewer only at the end.
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) const = 0;
};

namespace {

using platform::ReadOnlyFile;

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const ReadOnlyFile& file) : file_(file) {}
  std::uint64_t size() const override { return file_.size(); }
  std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) const override {
    return file_.ReadAt(offset, buffer);
  }

 private:
  const ReadOnlyFile& file_;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> buffer) const override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count =
        std::min<std::size_t>(buffer.size(), bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer.data(), bytes_.data() + offset, count);
    return count;
  }

 private:
  std::span<const unsigned char> bytes_;
};

// Bitrates in kbit/s by row (see BitrateRow) and bitrate index; 0 and 15 are refused.
constexpr std::array<std::array<int, 16>, 5> kBitrates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // 1, I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // 1, II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // 1, III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // 2/2.5, I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // 2/2.5, II+III
}};

// Sample rates in Hz by the two version bits and the sample-rate index.
constexpr std::array<std::array<int, 4>, 4> kSampleRates = {{
    {11025, 12000, 8000, 0},   // MPEG-2.5
    {0, 0, 0, 0},              // reserved
    {22050, 24000, 16000, 0},  // MPEG-2
    {44100, 48000, 32000, 0},  // MPEG-1
}};

constexpr std::uint32_t kVersionMpeg1 = 3;
constexpr std::uint32_t kVersionReserved = 1;
constexpr std::uint32_t kLayerI = 3;
constexpr std::uint32_t kLayerII = 2;
constexpr std::uint32_t kLayerReserved = 0;
constexpr std::uint32_t kChannelModeSingle = 3;
constexpr std::uint32_t kEmphasisReserved = 2;

constexpr std::size_t kId3v1Size = 128;
constexpr std::size_t kXingSize = 12;
constexpr std::uint64_t kVbriOffset = 32;   // from the end of the frame header
constexpr std::size_t kVbriSize = 18;       // "VBRI", version, delay, quality, bytes, frames
constexpr std::size_t kTagHeaderSize = 10;  // ID3v2 header and footer alike

std::uint32_t Version(std::uint32_t header) {
  return (header >> 19) & 3;
}
std::uint32_t Layer(std::uint32_t header) {
  return (header >> 17) & 3;
}
std::uint32_t BitrateIndex(std::uint32_t header) {
  return (header >> 12) & 15;
}
std::uint32_t SampleRateIndex(std::uint32_t header) {
  return (header >> 10) & 3;
}
std::uint32_t ChannelMode(std::uint32_t header) {
  return (header >> 6) & 3;
}
std::uint32_t Emphasis(std::uint32_t header) {
  return header & 3;
}

// MPEG-1 has rows of its own per layer; MPEG-2 and 2.5 share two rows.
int BitrateRow(std::uint32_t header) {
  const std::uint32_t layer = Layer(header);
  if (((header >> 19) & 1) != 0) return layer == kLayerI ? 0 : layer == kLayerII ? 1 : 2;
  return layer == kLayerI ? 3 : 4;
}

std::uint32_t BigEndian32(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// The size field of an ID3v2 header or footer: seven bits per byte.
std::uint32_t SynchsafeSize(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0] & 0x7Fu} << 21) | (std::uint32_t{bytes[1] & 0x7Fu} << 14) |
         (std::uint32_t{bytes[2] & 0x7Fu} << 7) | std::uint32_t{bytes[3] & 0x7Fu};
}

bool StartsWith(const unsigned char* bytes, const char* magic) {
  return std::memcmp(bytes, magic, std::strlen(magic)) == 0;
}

// Serves small reads at any offset from one buffer, refilled from the wanted offset on a
// miss: a file whose first frame lies in its first few kilobytes costs one read, a tag
// skip one more, and a walk through the stream one read per large chunk.
class BufferedReader {
 public:
  // How much a miss reads: a large chunk when it falls just past the buffered bytes (a
  // search or walk going on), else a small one; or always a small one, for a look at a
  // few frames where reading ahead would be wasted.
  enum class Fill { kByPattern, kSmall };

  BufferedReader(const ByteSource& source, std::vector<unsigned char>& buffer)
      : source_(source), buffer_(buffer) {
    buffer_.resize(kLargeFill);
  }

  // Points `bytes` at the `count` bytes at `offset`; false when the file ends before them
  // or they cannot be read. The pointer is good until the next call.
  bool Read(std::uint64_t offset, std::size_t count, const unsigned char*& bytes,
            Fill fill = Fill::kByPattern) {
    if (offset < start_ || offset + count > start_ + length_) {
      const bool sequential =
          fill == Fill::kByPattern && length_ > 0 && offset >= start_ && offset <= start_ + length_;
      const std::size_t size = std::max(count, sequential ? kLargeFill : kSmallFill);
      if (buffer_.size() < size) buffer_.resize(size);
      start_ = offset;
      length_ = source_.ReadAt(offset, std::span(buffer_.data(), size));
      if (length_ < count) return false;
    }
    bytes = buffer_.data() + (offset - start_);
    return true;
  }

  // The four bytes at `offset` as a frame header; nothing past the end.
  std::optional<std::uint32_t> Header(std::uint64_t offset, Fill fill = Fill::kByPattern) {
    const unsigned char* bytes = nullptr;
    if (!Read(offset, 4, bytes, fill)) return std::nullopt;
    return BigEndian32(bytes);
  }

 private:
  static constexpr std::size_t kSmallFill = 4 * 1024;
  static constexpr std::size_t kLargeFill = 64 * 1024;

  const ByteSource& source_;
  std::vector<unsigned char>& buffer_;
  std::uint64_t start_ = 0;
  std::size_t length_ = 0;
};

using Fill = BufferedReader::Fill;

// Offset of the first valid frame header: candidates one byte apart from offset 0,
// ID3v2 tags and footers skipped in any order and number. The position right after a
// tag is always tested, even beyond the search limit. `header` receives the last four
// bytes tested.
std::optional<std::uint64_t> FindFirstFrame(BufferedReader& reader, std::uint32_t& header) {
  std::uint64_t pos = 0;
  for (;;) {
    const unsigned char* bytes = nullptr;
    if (!reader.Read(pos, 4, bytes)) return std::nullopt;
    for (;;) {
      if (StartsWith(bytes, "ID3")) {
        const unsigned char* size = nullptr;
        if (!reader.Read(pos + 6, 4, size)) return std::nullopt;
        pos += kTagHeaderSize + SynchsafeSize(size);
      } else if (StartsWith(bytes, "3DI")) {
        pos += kTagHeaderSize;
      } else {
        break;
      }
      if (!reader.Read(pos, 4, bytes)) return std::nullopt;
    }
    header = BigEndian32(bytes);
    if (Mp3Info::IsValidHeader(header)) return pos;
    if (pos >= static_cast<std::uint64_t>(Mp3Info::kSearchLimit)) return std::nullopt;
    ++pos;
  }
}

// Bytes between the end of the frame header and a Xing header: the side information,
// whose size depends on the version and on whether the frame is single channel.
std::uint64_t SideInformationSize(std::uint32_t header) {
  const bool single = ChannelMode(header) == kChannelModeSingle;
  if (Version(header) == kVersionMpeg1) return single ? 17 : 32;
  return single ? 9 : 17;
}

int BitrateOf(std::uint32_t header) {
  if (Layer(header) == kLayerReserved) return 0;
  return kBitrates[BitrateRow(header)][BitrateIndex(header)];
}

int SampleRateOf(std::uint32_t header) {
  return kSampleRates[Version(header)][SampleRateIndex(header)];
}

int SamplesPerFrameOf(std::uint32_t header) {
  switch (Layer(header)) {
    case kLayerI:
      return 384;
    case kLayerII:
      return 1152;
    case kLayerReserved:
      return 0;
    default:
      return Version(header) == kVersionMpeg1 ? 1152 : 576;
  }
}

// Bytes from this frame's header to the next one's: a Layer I frame counts in slots of
// four bytes, the others in bytes; the padding bit adds one slot.
std::uint64_t FrameLength(std::uint32_t header) {
  const std::uint64_t bitsPerSecond = static_cast<std::uint64_t>(BitrateOf(header)) * 1000;
  const auto sampleRate = static_cast<std::uint64_t>(SampleRateOf(header));
  if (sampleRate == 0) return 0;
  const std::uint64_t padding = (header >> 9) & 1;
  if (Layer(header) == kLayerI) return (12 * bitsPerSecond / sampleRate + padding) * 4;
  const std::uint64_t bytesPerSample = static_cast<std::uint64_t>(SamplesPerFrameOf(header)) / 8;
  return bytesPerSample * bitsPerSecond / sampleRate + padding;
}

// A frame of the same stream as `first`: a valid header of the same version, layer and
// sample rate (the bitrate, the channel mode and the rest may change from frame to frame).
bool SameStream(std::uint32_t header, std::uint32_t first) {
  constexpr std::uint32_t kStreamBits = 0xFFFE0C00u;  // sync, version, layer, sample rate
  return Mp3Info::IsValidHeader(header) && (header & kStreamBits) == (first & kStreamBits);
}

// A run of frames of `first`'s stream that follow one another from `pos`.
struct FrameRun {
  int frames = 0;
  bool otherBitrate = false;  // one of them has another bitrate than `first`
};

FrameRun FramesAt(BufferedReader& reader, std::uint64_t pos, std::uint32_t first, std::uint64_t end,
                  int limit) {
  FrameRun run;
  while (run.frames < limit && pos + 4 <= end) {
    const std::optional<std::uint32_t> header = reader.Header(pos, Fill::kSmall);
    if (!header || !SameStream(*header, first)) break;
    run.otherBitrate = run.otherBitrate || BitrateIndex(*header) != BitrateIndex(first);
    pos += FrameLength(*header);
    ++run.frames;
  }
  return run;
}

// Whether the frame at `pos` is followed by a frame of its stream, or ends the file or
// the audio before an ID3v1 tag.
bool Followed(BufferedReader& reader, std::uint64_t pos, std::uint32_t header, std::uint64_t size) {
  const std::uint64_t next = pos + FrameLength(header);
  if (next == size) return true;
  const unsigned char* bytes = nullptr;
  if (!reader.Read(next, 4, bytes, Fill::kSmall)) return false;
  return SameStream(BigEndian32(bytes), header) || StartsWith(bytes, "TAG");
}

// Whether the frame at `first` is followed by another, or else some frame within the
// search limit after it: a stream that opens with a broken frame, or after junk that
// holds a header by chance, still has its sync found.
bool FrameSyncFrom(BufferedReader& reader, std::uint64_t first, std::uint32_t header,
                   std::uint64_t size) {
  if (Followed(reader, first, header, size)) return true;
  const std::uint64_t limit =
      std::min(size, first + static_cast<std::uint64_t>(Mp3Info::kSearchLimit));
  for (std::uint64_t pos = first + 1; pos + 4 <= limit; ++pos) {
    const std::optional<std::uint32_t> candidate = reader.Header(pos);
    if (!candidate) return false;
    if (Mp3Info::IsValidHeader(*candidate) && Followed(reader, pos, *candidate, size)) return true;
  }
  return false;
}

// Frames compared with the first one right after it, and at each look further on.
constexpr int kLeadFrames = 8;
constexpr int kLaterLooks = 2;
constexpr int kFramesPerLook = 3;
constexpr std::uint64_t kLookWindow = 4096;  // searched for a frame at each look

bool LeadFramesVary(BufferedReader& reader, std::uint64_t first, std::uint32_t header,
                    std::uint64_t end) {
  return FramesAt(reader, first + FrameLength(header), header, end, kLeadFrames).otherBitrate;
}

// Looks at a few frames at evenly spread places of the audio: a variable-bitrate stream
// may open with many frames of one bitrate (silence is coded at the lowest). A place
// counts only where several frames of the stream follow one another, so that bytes
// inside a frame that happen to look like a header prove nothing.
bool LaterFramesVary(BufferedReader& reader, std::uint64_t first, std::uint32_t header,
                     std::uint64_t end) {
  for (int look = 1; look <= kLaterLooks; ++look) {
    const std::uint64_t from = first + (end - first) * look / (kLaterLooks + 1);
    const std::uint64_t to = std::min(end, from + kLookWindow);
    for (std::uint64_t pos = from; pos + 4 <= to; ++pos) {
      const std::optional<std::uint32_t> candidate = reader.Header(pos, Fill::kSmall);
      if (!candidate) break;
      if (!SameStream(*candidate, header)) continue;
      const FrameRun run = FramesAt(reader, pos, header, end, kFramesPerLook);
      if (run.frames < kFramesPerLook) continue;
      if (run.otherBitrate) return true;
      break;
    }
  }
  return false;
}

// Where the audio ends when an APE tag (footer "APETAGEX", header optional) follows it.
std::uint64_t BeforeApeTag(BufferedReader& reader, std::uint64_t first, std::uint64_t end) {
  constexpr std::size_t kApeFooterSize = 32;
  const unsigned char* footer = nullptr;
  if (end < first + kApeFooterSize ||
      !reader.Read(end - kApeFooterSize, kApeFooterSize, footer, Fill::kSmall) ||
      !StartsWith(footer, "APETAGEX")) {
    return end;
  }
  const auto littleEndian = [](const unsigned char* bytes) {
    return std::uint64_t{bytes[0]} | (std::uint64_t{bytes[1]} << 8) |
           (std::uint64_t{bytes[2]} << 16) | (std::uint64_t{bytes[3]} << 24);
  };
  const bool hasHeader = (footer[23] & 0x80) != 0;
  const std::uint64_t size = littleEndian(footer + 12) + (hasHeader ? kApeFooterSize : 0);
  return size <= end - first ? end - size : end;
}

// Junk searched for the next frame before the walk gives up, and the audio walked before
// the rest is estimated: both bound the work on any file.
constexpr std::uint64_t kResyncWindow = 64 * 1024;
constexpr std::uint64_t kWalkLimit = 64 * 1024 * 1024;

// The next frame from `pos` on within the resync window: a header of the stream whose
// next frame is one too, or ends exactly at the end of the audio.
std::optional<std::uint64_t> NextFrame(BufferedReader& reader, std::uint64_t pos,
                                       std::uint32_t first, std::uint64_t end) {
  const std::uint64_t limit = std::min(end, pos + kResyncWindow);
  for (; pos + 4 <= limit; ++pos) {
    const std::optional<std::uint32_t> header = reader.Header(pos);
    if (!header) return std::nullopt;
    if (!SameStream(*header, first)) continue;
    const std::uint64_t next = pos + FrameLength(*header);
    if (next + 4 > end) {
      if (next <= end) return pos;
      continue;
    }
    const std::optional<std::uint32_t> following = reader.Header(next);
    if (following && SameStream(*following, first)) return pos;
  }
  return std::nullopt;
}

// Counts the frames from `first` to `end`, jumping over junk and ID3v2 tags between them
// and stopping at an APE or Lyrics3 tag. What the walk leaves unread (beyond its limit, or
// behind more junk than it searches) is counted at the average size of the frames read.
double CountFrames(BufferedReader& reader, std::uint64_t first, std::uint32_t header,
                   std::uint64_t end) {
  std::uint64_t frames = 0;
  std::uint64_t frameBytes = 0;
  std::uint64_t unread = 0;
  std::uint64_t pos = first;
  while (pos + 4 <= end) {
    if (pos - first >= kWalkLimit) {
      unread = end - pos;
      break;
    }
    const unsigned char* bytes = nullptr;
    if (!reader.Read(pos, 4, bytes)) break;
    const std::uint32_t candidate = BigEndian32(bytes);
    if (SameStream(candidate, header)) {
      const std::uint64_t length = FrameLength(candidate);
      if (pos + length > end) break;  // a last frame cut short
      ++frames;
      frameBytes += length;
      pos += length;
      continue;
    }
    if (StartsWith(bytes, "ID3")) {
      const unsigned char* size = nullptr;
      if (!reader.Read(pos + 6, 4, size)) break;
      pos += kTagHeaderSize + SynchsafeSize(size);
      continue;
    }
    if (StartsWith(bytes, "APET") || StartsWith(bytes, "LYRI")) break;
    const std::optional<std::uint64_t> next = NextFrame(reader, pos + 1, header, end);
    if (!next) {
      if (pos + 1 + kResyncWindow < end) unread = end - pos;
      break;
    }
    pos = *next;
  }
  double counted = static_cast<double>(frames);
  if (unread > 0 && frameBytes > 0)
    counted +=
        static_cast<double>(unread) * static_cast<double>(frames) / static_cast<double>(frameBytes);
  return counted;
}

}  // namespace

void Mp3Info::Reset() {
  countHeader_ = CountHeader::kNone;
  statedFrames_ = -1;
  statedBytes_ = -1;
  countedFrames_ = -1.0;
  hasId3v1Tag_ = false;
  firstFrameOffset_ = 0;
  audioEnd_ = 0;
  lengthSource_ = LengthSource::kNone;
  frameSync_ = false;
}

Mp3Info::Status Mp3Info::Open(const std::string& path, std::int64_t knownSize) {
  Reset();
  ReadOnlyFile::OpenError error{};
  const std::optional<ReadOnlyFile> file = ReadOnlyFile::Open(path, &error);
  if (!file) {
    return error == ReadOnlyFile::OpenError::kNoResources ? Status::kCannotOpen : Status::kNoFrame;
  }
  return Analyse(FileSource(*file), knownSize);
}

Mp3Info::Status Mp3Info::Open(const ReadOnlyFile& file, std::int64_t knownSize) {
  Reset();
  return Analyse(FileSource(file), knownSize);
}

Mp3Info::Status Mp3Info::OpenBytes(std::span<const unsigned char> bytes, std::int64_t knownSize) {
  Reset();
  return Analyse(MemorySource(bytes), knownSize);
}

Mp3Info::Status Mp3Info::Analyse(const ByteSource& source, std::int64_t knownSize) {
  fileSize_ = knownSize > 0 ? knownSize : static_cast<std::int64_t>(source.size());

  BufferedReader reader(source, buffer_);
  const std::optional<std::uint64_t> frame = FindFirstFrame(reader, header_);
  if (!frame) return Status::kNoFrame;
  firstFrameOffset_ = static_cast<std::int64_t>(*frame);
  if (confirmSync_) frameSync_ = FrameSyncFrom(reader, *frame, header_, source.size());

  // "Xing" (variable bitrate) and "Info" (constant) share one layout after the side
  // information; "VBRI" sits 32 bytes after the header whatever the channel mode.
  const unsigned char* xing = nullptr;
  const unsigned char* vbri = nullptr;
  if (reader.Read(*frame + 4 + SideInformationSize(header_), kXingSize, xing) &&
      (StartsWith(xing, "Xing") || StartsWith(xing, "Info"))) {
    countHeader_ = StartsWith(xing, "Xing") ? CountHeader::kXing : CountHeader::kInfo;
    const bool hasFrames = (xing[7] & 1) != 0;
    if (hasFrames) statedFrames_ = BigEndian32(xing + 8);
    // The byte count follows the frame count, or the flags where that is absent.
    const std::uint64_t bytesAt = *frame + 4 + SideInformationSize(header_) + (hasFrames ? 12 : 8);
    const unsigned char* bytes = nullptr;
    if ((xing[7] & 2) != 0 && reader.Read(bytesAt, 4, bytes, Fill::kSmall))
      statedBytes_ = BigEndian32(bytes);
  } else if (reader.Read(*frame + 4 + kVbriOffset, kVbriSize, vbri) && StartsWith(vbri, "VBRI")) {
    countHeader_ = CountHeader::kVbri;
    statedBytes_ = BigEndian32(vbri + 10);
    statedFrames_ = BigEndian32(vbri + 14);
  }
  // A Xing count gives the time as it always has; otherwise the first frame's bitrate
  // stands for the stream only when the frames after it share it. The first of them are
  // looked at now, while the start of the file is in the buffer.
  const bool xingCount = countHeader_ == CountHeader::kXing && statedFrames_ >= 0;
  bool otherBitrate = !xingCount && LeadFramesVary(reader, *frame, header_, source.size());

  // The tag sits at the real end of the file, whatever size the caller believes in.
  const unsigned char* tail = nullptr;
  hasId3v1Tag_ = source.size() >= kId3v1Size &&
                 reader.Read(source.size() - kId3v1Size, kId3v1Size, tail) &&
                 StartsWith(tail, "TAG");
  audioEnd_ = hasId3v1Tag_ ? fileSize_ - static_cast<std::int64_t>(kId3v1Size) : fileSize_;

  lengthSource_ = xingCount ? LengthSource::kStatedFrames : LengthSource::kFirstFrameRate;
  if (xingCount) return Status::kOk;
  // The audio as far as this file really holds it.
  const std::int64_t held =
      static_cast<std::int64_t>(source.size()) - (hasId3v1Tag_ ? std::int64_t{kId3v1Size} : 0);
  const auto end =
      static_cast<std::uint64_t>(std::max(firstFrameOffset_, std::min(audioEnd_, held)));
  otherBitrate = otherBitrate || LaterFramesVary(reader, *frame, header_, end);
  if (!otherBitrate) return Status::kOk;
  if (statedFrames_ > 0) {
    lengthSource_ = LengthSource::kStatedFrames;
  } else {
    lengthSource_ = LengthSource::kCountedFrames;
    countedFrames_ = CountFrames(reader, *frame, header_, BeforeApeTag(reader, *frame, end));
  }
  return Status::kOk;
}

std::int64_t Mp3Info::GetLengthSeconds() const {
  switch (lengthSource_) {
    case LengthSource::kNone:
      return 0;
    case LengthSource::kStatedFrames:
    case LengthSource::kCountedFrames: {
      const double frames = lengthSource_ == LengthSource::kStatedFrames
                                ? static_cast<double>(statedFrames_)
                                : countedFrames_;
      const int sampleRate = GetSampleRate();
      if (frames <= 0 || sampleRate == 0) return 0;
      return static_cast<std::int64_t>(frames * GetSamplesPerFrame() / sampleRate + 0.5);
    }
    case LengthSource::kFirstFrameRate:
      break;
  }
  // A frame found inside the ID3v1 tag, or a size given too small, leaves no audio.
  const std::int64_t audioBytes = audioEnd_ - firstFrameOffset_;
  const int bitrate = GetHeaderBitrate();
  if (audioBytes <= 0 || bitrate == 0) return 0;
  const std::int64_t kilobits = audioBytes / 125;  // bytes x 8 / 1000, truncated
  return kilobits / bitrate;
}

bool Mp3Info::IsValidHeader(std::uint32_t header) {
  constexpr std::uint32_t kSync = 0xFFE00000u;
  return (header & kSync) == kSync && Version(header) != kVersionReserved &&
         Layer(header) != kLayerReserved && BitrateIndex(header) != 0 &&
         BitrateIndex(header) != 15 && SampleRateIndex(header) != 3 &&
         Emphasis(header) != kEmphasisReserved;
}

std::uint64_t Mp3Info::FrameLength(std::uint32_t header) {
  return IsValidHeader(header) ? media::FrameLength(header) : 0;
}

int Mp3Info::GetHeaderBitrate() const {
  return BitrateOf(header_);
}

int Mp3Info::GetSampleRate() const {
  return SampleRateOf(header_);
}

int Mp3Info::GetSamplesPerFrame() const {
  return SamplesPerFrameOf(header_);
}

double Mp3Info::GetAverageBitrate() const {
  const int samplesPerFrame = GetSamplesPerFrame();
  if (countHeader_ == CountHeader::kNone || statedFrames_ <= 0 || samplesPerFrame == 0) return 0.0;
  // Bytes per frame over the audio data, times frames per second, in kbit/s.
  const double bytesPerFrame =
      static_cast<double>(audioEnd_ - firstFrameOffset_) / static_cast<double>(statedFrames_);
  return bytesPerFrame * 8.0 * GetSampleRate() / (samplesPerFrame * 1000.0);
}

int Mp3Info::GetStreamBitrate() const {
  const int headerBitrate = GetHeaderBitrate();
  // Only a "Xing" header says the bitrate varies; after "Info", "VBRI" or none, the frames
  // looked at tell it (LengthSource says what they found).
  const bool varies = (countHeader_ == CountHeader::kXing && statedFrames_ > 0) ||
                      lengthSource_ == LengthSource::kCountedFrames ||
                      (lengthSource_ == LengthSource::kStatedFrames && statedFrames_ > 0);
  const int samplesPerFrame = GetSamplesPerFrame();
  const int sampleRate = GetSampleRate();
  if (!varies || samplesPerFrame == 0 || sampleRate == 0) return headerBitrate;
  double frames = 0;
  double bytes = 0;
  if (lengthSource_ == LengthSource::kCountedFrames) {
    // No header: every frame from the first on is audio.
    frames = countedFrames_;
    bytes = static_cast<double>(audioEnd_ - firstFrameOffset_);
  } else {
    // The stated count leaves out the frame that states it; the stated bytes take it in.
    frames = static_cast<double>(statedFrames_);
    const auto headerFrame = static_cast<std::int64_t>(media::FrameLength(header_));
    const std::int64_t held = audioEnd_ - firstFrameOffset_;
    const std::int64_t stream = statedBytes_ > headerFrame ? statedBytes_ : held;
    bytes = static_cast<double>(stream - headerFrame);
  }
  if (frames <= 0 || bytes <= 0) return headerBitrate;
  // A header may state any numbers; no stream comes near the bound.
  constexpr double kMostKbps = 1000000;
  const double kbps = bytes * 8.0 * sampleRate / (frames * samplesPerFrame * 1000.0);
  return static_cast<int>(std::lround(std::min(kbps, kMostKbps)));
}

}  // namespace sorvina::media
