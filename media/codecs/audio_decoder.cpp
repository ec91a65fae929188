// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs/audio_decoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "media/codecs/ffmpeg_support.h"
#include "platform/read_only_file.h"

namespace sorvina::media::codecs {
namespace {

// The demuxers of the music types this program chooses (MP3, FLAC, Ogg and Opus, the MP4
// family, ASF, WAV, AIFF). Any other is refused, which keeps the rest of FFmpeg's
// demuxers away from hostile files.
constexpr const char* kContainers = "mp3,flac,ogg,mov,asf,wav,aiff";

constexpr int kIoBufferBytes = 64 * 1024;
constexpr int kMaxChannels = 64;
constexpr int kMaxSampleRate = 768000;
// Decoders skip a damaged packet and carry on; this many failures in a row, without a
// good frame between them, mean the stream is not worth going on with.
constexpr int kMaxFailuresInRow = 200;

}  // namespace

struct AudioDecoder::State {
  // Where the bytes come from: a file, or memory.
  std::optional<platform::ReadOnlyFile> file;
  std::span<const unsigned char> memory;
  std::uint64_t size = 0;
  std::uint64_t position = 0;
  bool readFailed = false;

  ffmpeg::IoContextPtr io;  // before `format`, which uses it
  ffmpeg::InputFormatPtr format;
  ffmpeg::CodecContextPtr codec;
  ffmpeg::PacketPtr packet;
  ffmpeg::FramePtr frame;
  int stream = -1;
  AudioStreamInfo info;
  SampleLayout output;

  // The resampler, and the input it was set up for; a stream may change mid-way.
  ffmpeg::ResamplerPtr resampler;
  ffmpeg::ChannelLayout resamplerLayout;
  int resamplerRate = 0;
  int resamplerFormat = -1;

  bool opened = false;
  bool started = false;
  bool draining = false;  // the decoder has been told the input ended
  bool ended = false;
  DecodeStatus failure = DecodeStatus::kOk;  // once failed, always failed
  int failuresInRow = 0;
  double decodedSeconds = 0;
  std::string reason;

  DecodeStatus Fail(DecodeStatus status, std::string why) {
    reason = std::move(why);
    return status;
  }
};

namespace {

using State = AudioDecoder::State;

int ReadBytes(void* opaque, std::uint8_t* buffer, int capacity) {
  State& s = *static_cast<State*>(opaque);
  if (s.position >= s.size || capacity <= 0) return AVERROR_EOF;
  const auto wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(s.size - s.position, capacity));
  std::size_t read = wanted;
  if (s.file) {
    read = s.file->ReadAt(s.position, std::span(buffer, wanted));
  } else {
    std::memcpy(buffer, s.memory.data() + s.position, wanted);
  }
  // Fewer bytes than the size known at the opening: the read failed, or the file shrank.
  if (read == 0) {
    s.readFailed = true;
    return AVERROR(EIO);
  }
  s.position += read;
  return static_cast<int>(read);
}

std::int64_t SeekBytes(void* opaque, std::int64_t offset, int whence) {
  State& s = *static_cast<State*>(opaque);
  const auto size = static_cast<std::int64_t>(std::min<std::uint64_t>(
      s.size, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return size;
  std::int64_t base = 0;
  if (whence == SEEK_CUR) {
    base = static_cast<std::int64_t>(s.position);
  } else if (whence == SEEK_END) {
    base = size;
  } else if (whence != SEEK_SET) {
    return AVERROR(EINVAL);
  }
  if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base)
    return AVERROR(EINVAL);
  s.position = static_cast<std::uint64_t>(base + offset);
  return base + offset;
}

// A container may name other files or addresses (playlists, references): none is opened.
int RefuseToOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

bool IsOutOfMemory(int code) {
  return code == AVERROR(ENOMEM);
}

double StreamSeconds(const AVFormatContext& format, const AVStream& stream) {
  double seconds = 0;
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    seconds = static_cast<double>(stream.duration) * av_q2d(stream.time_base);
  } else if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    seconds = static_cast<double>(format.duration) / AV_TIME_BASE;
  }
  return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

int Kbps(std::int64_t bitsPerSecond) {
  if (bitsPerSecond <= 0) return 0;
  return static_cast<int>(
      std::min<std::int64_t>((bitsPerSecond + 500) / 1000, std::numeric_limits<int>::max()));
}

DecodeStatus OpenSource(State& s) {
  ffmpeg::QuietLibraryMessages();
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (buffer == nullptr) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  s.io.reset(avio_alloc_context(buffer, kIoBufferBytes, 0, &s, ReadBytes, nullptr, SeekBytes));
  if (!s.io) {
    av_free(buffer);
    return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  }
  AVFormatContext* format = avformat_alloc_context();
  if (format == nullptr) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  format->pb = s.io.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->io_open = RefuseToOpen;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kContainers, 0);
  // On failure the context is freed and the pointer set to null.
  const int opened = avformat_open_input(&format, nullptr, nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    if (s.readFailed) return s.Fail(DecodeStatus::kNotReadable, "the file cannot be read");
    if (IsOutOfMemory(opened)) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
    return s.Fail(DecodeStatus::kNotAudio, "not a known audio format");
  }
  s.format.reset(format);

  // Its failure is no reason to stop: what it could not learn, decoding will.
  if (avformat_find_stream_info(format, nullptr) < 0 && s.readFailed)
    return s.Fail(DecodeStatus::kNotReadable, "the file cannot be read");

  const AVCodec* decoder = nullptr;
  s.stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (s.stream == AVERROR_DECODER_NOT_FOUND) {
    const int any = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVCodecID id = any >= 0 ? format->streams[any]->codecpar->codec_id : AV_CODEC_ID_NONE;
    return s.Fail(DecodeStatus::kUnsupported,
                  std::string("no decoder for its audio (") + avcodec_get_name(id) + ")");
  }
  if (s.stream < 0) return s.Fail(DecodeStatus::kNotAudio, "no audio in the file");
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != s.stream) format->streams[i]->discard = AVDISCARD_ALL;
  }

  const AVStream& stream = *format->streams[s.stream];
  s.codec.reset(avcodec_alloc_context3(decoder));
  if (!s.codec) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  if (avcodec_parameters_to_context(s.codec.get(), stream.codecpar) < 0)
    return s.Fail(DecodeStatus::kDamaged, "the audio stream's parameters are invalid");
  s.codec->pkt_timebase = stream.time_base;
  s.codec->thread_count = 1;  // callers run several conversions at a time instead
  if (const int status = avcodec_open2(s.codec.get(), decoder, nullptr); status < 0) {
    if (IsOutOfMemory(status)) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
    return s.Fail(DecodeStatus::kDamaged, "the audio stream cannot be decoded");
  }
  const int channels = s.codec->ch_layout.nb_channels;
  const int rate = s.codec->sample_rate;
  if (channels <= 0 || channels > kMaxChannels || rate <= 0 || rate > kMaxSampleRate)
    return s.Fail(DecodeStatus::kDamaged, "the audio stream states no usable sample layout");

  s.info.sampleRate = rate;
  s.info.channels = channels;
  s.info.codec = avcodec_get_name(stream.codecpar->codec_id);
  s.info.bitrateKbps =
      Kbps(stream.codecpar->bit_rate > 0 ? stream.codecpar->bit_rate : format->bit_rate);
  s.info.seconds = StreamSeconds(*format, stream);
  s.info.secondsStated =
      s.info.seconds > 0 && format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
  s.output = {rate, channels};

  s.packet.reset(av_packet_alloc());
  s.frame.reset(av_frame_alloc());
  if (!s.packet || !s.frame) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  s.reason.clear();
  s.opened = true;
  return DecodeStatus::kOk;
}

// Sets the resampler up for the input `frame` holds.
DecodeStatus SetUpResampler(State& s, const AVFrame& frame) {
  ffmpeg::ChannelLayout in;
  // A layout that names no channels (a WAV file without a mask) is taken as the usual
  // one for its count, so that it can be remixed.
  if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    in.SetDefault(frame.ch_layout.nb_channels);
  } else if (!in.CopyFrom(frame.ch_layout)) {
    return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  }
  ffmpeg::ChannelLayout out(s.output.channels);
  SwrContext* raw = nullptr;
  int status =
      swr_alloc_set_opts2(&raw, out.pointer(), AV_SAMPLE_FMT_FLT, s.output.sampleRate, in.pointer(),
                          static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
  s.resampler.reset(raw);
  if (status >= 0) {
    // A downmix is scaled so that it cannot clip.
    av_opt_set_double(raw, "rematrix_maxval", 1.0, 0);
    status = swr_init(raw);
  }
  if (status < 0) {
    s.resampler.reset();
    if (IsOutOfMemory(status)) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
    return s.Fail(DecodeStatus::kDamaged,
                  "the decoded audio has a layout that cannot be converted");
  }
  if (!s.resamplerLayout.CopyFrom(frame.ch_layout))
    return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  s.resamplerRate = frame.sample_rate;
  s.resamplerFormat = frame.format;
  return DecodeStatus::kOk;
}

// Appends to `samples` what the resampler makes of `input` (none: what it still holds).
DecodeStatus Resample(State& s, const AVFrame* input, std::vector<float>& samples) {
  const int inCount = input != nullptr ? input->nb_samples : 0;
  const auto** inData =
      input != nullptr ? const_cast<const std::uint8_t**>(input->extended_data) : nullptr;
  while (true) {
    const int room = swr_get_out_samples(s.resampler.get(), inCount);
    if (room < 0) return s.Fail(DecodeStatus::kDamaged, "the audio cannot be resampled");
    if (room == 0) return DecodeStatus::kOk;
    const std::size_t start = samples.size();
    const auto channels = static_cast<std::size_t>(s.output.channels);
    samples.resize(start + static_cast<std::size_t>(room) * channels);
    auto* out = reinterpret_cast<std::uint8_t*>(samples.data() + start);
    const int made =
        swr_convert(s.resampler.get(), &out, room, input != nullptr ? inData : nullptr, inCount);
    if (made < 0) {
      samples.resize(start);
      return s.Fail(DecodeStatus::kDamaged, "the audio cannot be resampled");
    }
    samples.resize(start + static_cast<std::size_t>(made) * channels);
    // An input is converted in one call; a flush goes on until nothing is left.
    if (input != nullptr || made == 0) return DecodeStatus::kOk;
  }
}

DecodeStatus Convert(State& s, const AVFrame& frame, std::vector<float>& samples) {
  if (frame.nb_samples <= 0) return DecodeStatus::kOk;
  const bool changed = !s.resampler || frame.sample_rate != s.resamplerRate ||
                       frame.format != s.resamplerFormat ||
                       av_channel_layout_compare(&frame.ch_layout, &s.resamplerLayout.get()) != 0;
  if (changed) {
    if (frame.sample_rate <= 0 || frame.sample_rate > kMaxSampleRate ||
        frame.ch_layout.nb_channels <= 0 || frame.ch_layout.nb_channels > kMaxChannels) {
      return s.Fail(DecodeStatus::kDamaged, "the decoded audio has an invalid layout");
    }
    // What the old set-up still holds belongs before the new input.
    if (s.resampler) {
      if (const DecodeStatus status = Resample(s, nullptr, samples); status != DecodeStatus::kOk)
        return status;
    }
    if (const DecodeStatus status = SetUpResampler(s, frame); status != DecodeStatus::kOk)
      return status;
  }
  return Resample(s, &frame, samples);
}

// Hands the decoder the next packet of the stream, or tells it the input has ended.
DecodeStatus Feed(State& s) {
  const int read = av_read_frame(s.format.get(), s.packet.get());
  if (read < 0) {
    if (s.readFailed) return s.Fail(DecodeStatus::kNotReadable, "reading the file failed");
    if (IsOutOfMemory(read)) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
    // The end, or a container damaged from here on: what was read is decoded to the end.
    avcodec_send_packet(s.codec.get(), nullptr);
    s.draining = true;
    return DecodeStatus::kOk;
  }
  if (s.packet->stream_index != s.stream) {
    av_packet_unref(s.packet.get());
    return DecodeStatus::kOk;
  }
  const int sent = avcodec_send_packet(s.codec.get(), s.packet.get());
  av_packet_unref(s.packet.get());
  if (IsOutOfMemory(sent)) return s.Fail(DecodeStatus::kNoMemory, "out of memory");
  if (sent < 0 && sent != AVERROR(EAGAIN) && ++s.failuresInRow > kMaxFailuresInRow)
    return s.Fail(DecodeStatus::kDamaged, "the audio is damaged");
  return DecodeStatus::kOk;
}

// A failed opening stays the answer to every later call.
DecodeStatus Opened(State& s, DecodeStatus status) {
  if (status != DecodeStatus::kOk) s.failure = status;
  return status;
}

DecodeStatus NotOpen(State& s) {
  return s.Fail(DecodeStatus::kNotReadable, "no file is open");
}

// The next stretch of samples, decoding as many packets as it takes.
DecodeStatus DecodeNext(State& s, std::vector<float>& samples) {
  while (true) {
    const int received = avcodec_receive_frame(s.codec.get(), s.frame.get());
    if (received == 0) {
      s.failuresInRow = 0;
      if (s.frame->sample_rate > 0)
        s.decodedSeconds +=
            static_cast<double>(s.frame->nb_samples) / static_cast<double>(s.frame->sample_rate);
      const DecodeStatus status = Convert(s, *s.frame, samples);
      av_frame_unref(s.frame.get());
      if (status != DecodeStatus::kOk) return status;
      if (!samples.empty()) return DecodeStatus::kOk;
    } else if (received == AVERROR(EAGAIN)) {
      if (s.draining) return s.Fail(DecodeStatus::kDamaged, "the decoder stopped early");
      if (const DecodeStatus status = Feed(s); status != DecodeStatus::kOk) return status;
    } else if (received == AVERROR_EOF) {
      s.ended = true;
      // The resampler is made for the first frame that holds samples.
      if (!s.resampler) return s.Fail(DecodeStatus::kDamaged, "no audio could be decoded");
      const DecodeStatus status = Resample(s, nullptr, samples);
      if (status != DecodeStatus::kOk) return status;
      return samples.empty() ? DecodeStatus::kEnd : DecodeStatus::kOk;
    } else if (IsOutOfMemory(received)) {
      return s.Fail(DecodeStatus::kNoMemory, "out of memory");
    } else if (++s.failuresInRow > kMaxFailuresInRow) {
      return s.Fail(DecodeStatus::kDamaged, "the audio is damaged");
    }
  }
}

}  // namespace

AudioDecoder::AudioDecoder() : state_(std::make_unique<State>()) {}
AudioDecoder::~AudioDecoder() = default;
AudioDecoder::AudioDecoder(AudioDecoder&&) noexcept = default;
AudioDecoder& AudioDecoder::operator=(AudioDecoder&&) noexcept = default;

DecodeStatus AudioDecoder::Open(const std::string& path) {
  state_ = std::make_unique<State>();
  platform::ReadOnlyFile::OpenError error{};
  state_->file = platform::ReadOnlyFile::Open(path, &error);
  if (!state_->file) {
    return Opened(*state_,
                  error == platform::ReadOnlyFile::OpenError::kNoResources
                      ? state_->Fail(DecodeStatus::kNoMemory, "out of memory or file descriptors")
                      : state_->Fail(DecodeStatus::kNotReadable, "the file cannot be opened"));
  }
  state_->size = state_->file->size();
  return Opened(*state_, OpenSource(*state_));
}

DecodeStatus AudioDecoder::OpenBytes(std::span<const unsigned char> bytes) {
  state_ = std::make_unique<State>();
  state_->memory = bytes;
  state_->size = bytes.size();
  return Opened(*state_, OpenSource(*state_));
}

DecodeStatus AudioDecoder::SetOutput(SampleLayout layout) {
  State& s = *state_;
  if (s.failure != DecodeStatus::kOk) return s.failure;
  if (!s.opened) return NotOpen(s);
  if (s.started) return s.Fail(DecodeStatus::kUnsupported, "the output is set before decoding");
  if (layout.sampleRate < 0 || layout.sampleRate > kMaxSampleRate || layout.channels < 0 ||
      layout.channels > kMaxChannels) {
    return s.Fail(DecodeStatus::kUnsupported, "no such sample rate or channel count");
  }
  if (layout.sampleRate > 0) s.output.sampleRate = layout.sampleRate;
  if (layout.channels > 0) s.output.channels = layout.channels;
  s.reason.clear();
  return DecodeStatus::kOk;
}

DecodeStatus AudioDecoder::Read(std::vector<float>& samples) {
  State& s = *state_;
  samples.clear();
  if (s.failure != DecodeStatus::kOk) return s.failure;
  if (!s.opened) return NotOpen(s);
  if (s.ended) return DecodeStatus::kEnd;
  s.started = true;
  s.reason.clear();
  const DecodeStatus status = DecodeNext(s, samples);
  if (status != DecodeStatus::kOk && status != DecodeStatus::kEnd) {
    s.failure = status;
    samples.clear();
  }
  return status;
}

const AudioStreamInfo& AudioDecoder::info() const {
  return state_->info;
}
double AudioDecoder::decodedSeconds() const {
  return state_->decodedSeconds;
}
SampleLayout AudioDecoder::outputLayout() const {
  return state_->output;
}
const std::string& AudioDecoder::reason() const {
  return state_->reason;
}

}  // namespace sorvina::media::codecs
