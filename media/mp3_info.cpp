#include "media/mp3_info.h"

#include <algorithm>
#include <array>
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
// skip one more, and a byte-by-byte search through junk one read per large chunk.
class BufferedReader {
 public:
  BufferedReader(const ByteSource& source, std::vector<unsigned char>& buffer)
      : source_(source), buffer_(buffer) {
    buffer_.resize(kLargeFill);
  }

  // Points `bytes` at the `count` bytes at `offset`; false when the file ends before them
  // or they cannot be read. The pointer is good until the next call.
  bool Read(std::uint64_t offset, std::size_t count, const unsigned char*& bytes) {
    if (offset < start_ || offset + count > start_ + length_) {
      // A miss just past the buffered bytes means a search is walking on: read ahead more.
      const bool sequential = length_ > 0 && offset >= start_ && offset <= start_ + length_;
      const std::size_t fill = std::max(count, sequential ? kLargeFill : kSmallFill);
      if (buffer_.size() < fill) buffer_.resize(fill);
      start_ = offset;
      length_ = source_.ReadAt(offset, std::span(buffer_.data(), fill));
      if (length_ < count) return false;
    }
    bytes = buffer_.data() + (offset - start_);
    return true;
  }

 private:
  static constexpr std::size_t kSmallFill = 4 * 1024;
  static constexpr std::size_t kLargeFill = 64 * 1024;

  const ByteSource& source_;
  std::vector<unsigned char>& buffer_;
  std::uint64_t start_ = 0;
  std::size_t length_ = 0;
};

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

}  // namespace

void Mp3Info::Reset() {
  xingFrameCount_ = -1;
  hasXingHeader_ = false;
  hasId3v1Tag_ = false;
  firstFrameOffset_ = 0;
  audioEnd_ = 0;
  analysed_ = false;
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

  const unsigned char* xing = nullptr;
  if (reader.Read(*frame + 4 + SideInformationSize(header_), kXingSize, xing) &&
      StartsWith(xing, "Xing")) {
    hasXingHeader_ = true;
    if ((xing[7] & 1) != 0) xingFrameCount_ = BigEndian32(xing + 8);
  }

  // The tag sits at the real end of the file, whatever size the caller believes in.
  const unsigned char* tail = nullptr;
  hasId3v1Tag_ = source.size() >= kId3v1Size &&
                 reader.Read(source.size() - kId3v1Size, kId3v1Size, tail) &&
                 StartsWith(tail, "TAG");
  audioEnd_ = hasId3v1Tag_ ? fileSize_ - static_cast<std::int64_t>(kId3v1Size) : fileSize_;
  analysed_ = true;
  return Status::kOk;
}

std::int64_t Mp3Info::GetLengthSeconds() const {
  if (!analysed_) return 0;
  if (hasXingHeader_ && xingFrameCount_ >= 0) {
    const int sampleRate = GetSampleRate();
    if (xingFrameCount_ == 0 || sampleRate == 0) return 0;
    const double seconds =
        static_cast<double>(xingFrameCount_) * GetSamplesPerFrame() / sampleRate + 0.5;
    return static_cast<std::int64_t>(seconds);
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

int Mp3Info::GetHeaderBitrate() const {
  if (Layer(header_) == kLayerReserved) return 0;
  return kBitrates[BitrateRow(header_)][BitrateIndex(header_)];
}

int Mp3Info::GetSampleRate() const {
  return kSampleRates[Version(header_)][SampleRateIndex(header_)];
}

int Mp3Info::GetSamplesPerFrame() const {
  switch (Layer(header_)) {
    case kLayerI:
      return 384;
    case kLayerII:
      return 1152;
    case kLayerReserved:
      return 0;
    default:
      return Version(header_) == kVersionMpeg1 ? 1152 : 576;
  }
}

double Mp3Info::GetAverageBitrate() const {
  const int samplesPerFrame = GetSamplesPerFrame();
  if (!hasXingHeader_ || xingFrameCount_ <= 0 || samplesPerFrame == 0) return 0.0;
  // Bytes per frame over the audio data, times frames per second, in kbit/s.
  const double bytesPerFrame =
      static_cast<double>(audioEnd_ - firstFrameOffset_) / static_cast<double>(xingFrameCount_);
  return bytesPerFrame * 8.0 * GetSampleRate() / (samplesPerFrame * 1000.0);
}

}  // namespace sorvina::media
