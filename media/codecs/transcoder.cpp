// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs/transcoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <system_error>

#include "media/codecs/audio_decoder.h"
#include "media/codecs/ffmpeg_support.h"
#include "media/codecs/fitted_cover.h"
#include "media/codecs/loudness_meter.h"
#include "media/tags/carried_tags.h"
#include "platform/new_file.h"
#include "platform/unique_fd.h"

namespace sorvina::media::codecs {
namespace {

// ---------------------------------------------------------------------------------------
// Settings

constexpr int kMp3VbrQuality = 2;
constexpr int kMp3VbrQualityUnderCeiling = 4;  // where a player's ceiling is under 256
constexpr int kVbrCeilingForBestQuality = 256;
constexpr int kOpusSampleRate = 48000;
// TagLib holds a file in memory up to 4 GiB; far beyond any song.
constexpr std::size_t kMaxOutputBytes = std::numeric_limits<unsigned int>::max() / 2;
constexpr std::size_t kWriteChunkBytes = 1 << 20;

struct Target {
  const char* encoder;  // libavcodec's name
  const char* muxer;    // libavformat's name
};

Target TargetOf(TargetCodec codec) {
  switch (codec) {
    case TargetCodec::kAac:
      return {"aac", "ipod"};
    case TargetCodec::kOpus:
      return {"libopus", "ogg"};
    case TargetCodec::kMp3:
      break;
  }
  return {"libmp3lame", "mp3"};
}

// The format whose tags the output gets.
AudioFormat TaggedFormatOf(TargetCodec codec) {
  switch (codec) {
    case TargetCodec::kAac:
      return AudioFormat::kMp4;
    case TargetCodec::kOpus:
      return AudioFormat::kOpus;
    case TargetCodec::kMp3:
      break;
  }
  return AudioFormat::kMpeg;
}

int Mp3VbrQuality(const ConversionParams& params) {
  return params.maxBitrateKbps && *params.maxBitrateKbps < kVbrCeilingForBestQuality
             ? kMp3VbrQualityUnderCeiling
             : kMp3VbrQuality;
}

// Why the settings cannot be used; empty when they can.
std::string InvalidSetting(const ConversionParams& params) {
  if (params.bitrateKbps && *params.bitrateKbps <= 0) return "the bitrate is not positive";
  if (params.maxBitrateKbps && *params.maxBitrateKbps <= 0)
    return "the bitrate ceiling is not positive";
  for (const int rate : params.sampleRates) {
    if (rate <= 0) return "a sample rate is not positive";
  }
  if (!std::isfinite(params.gainDb) || !std::isfinite(params.truePeakCeilingDb))
    return "the gain or the peak ceiling is not a number";
  if (params.maxPictureSide && *params.maxPictureSide < 0) return "the picture size is negative";
  return {};
}

std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Sound

double DbToLinear(double db) {
  return std::pow(10.0, db / 20.0);
}

// The rate to encode at: the source's where the player and the encoder both take it,
// else the nearest that both take (the higher of two as near); none when there is none.
std::optional<int> ChooseSampleRate(const AVCodec& encoder, const ConversionParams& params,
                                    int sourceRate) {
  if (params.codec == TargetCodec::kOpus) return kOpusSampleRate;
  const auto encoderTakes = [&](int rate) {
    if (encoder.supported_samplerates == nullptr) return true;
    for (const int* r = encoder.supported_samplerates; *r != 0; ++r) {
      if (*r == rate) return true;
    }
    return false;
  };
  std::vector<int> candidates = params.sampleRates;
  if (candidates.empty()) {
    if (encoder.supported_samplerates == nullptr) return sourceRate;
    for (const int* r = encoder.supported_samplerates; *r != 0; ++r)
      candidates.push_back(*r);
  }
  std::optional<int> best;
  for (const int rate : candidates) {
    if (!encoderTakes(rate)) continue;
    if (rate == sourceRate) return rate;
    const auto distance = [&](int r) { return std::abs(static_cast<long>(r) - sourceRate); };
    if (!best || distance(rate) < distance(*best) ||
        (distance(rate) == distance(*best) && rate > *best)) {
      best = rate;
    }
  }
  return best;
}

// The encoder's preferred sample format among those this code fills: planar or
// interleaved float.
std::optional<AVSampleFormat> ChooseSampleFormat(const AVCodec& encoder) {
  std::optional<AVSampleFormat> chosen;
  for (const AVSampleFormat* f = encoder.sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE;
       ++f) {
    if (*f == AV_SAMPLE_FMT_FLTP) return *f;
    if (*f == AV_SAMPLE_FMT_FLT) chosen = *f;
  }
  return chosen;
}

// ---------------------------------------------------------------------------------------
// The output in memory

// The muxer writes here, seeking back to finish headers, so that the player's file is
// written once, whole, after the tags are in.
struct MemoryFile {
  std::string bytes;
  bool tooLarge = false;
};

struct MemoryCursor {
  MemoryFile* file;
  std::uint64_t position = 0;
};

int WriteToMemory(void* opaque, std::uint8_t* data, int size) {
  auto& cursor = *static_cast<MemoryCursor*>(opaque);
  std::string& bytes = cursor.file->bytes;
  const std::uint64_t end = cursor.position + static_cast<std::uint64_t>(size);
  if (end > kMaxOutputBytes) {
    cursor.file->tooLarge = true;
    return AVERROR(EFBIG);
  }
  try {
    if (end > bytes.size()) bytes.resize(static_cast<std::size_t>(end));
  } catch (const std::bad_alloc&) {
    return AVERROR(ENOMEM);
  }
  std::memcpy(bytes.data() + cursor.position, data, static_cast<std::size_t>(size));
  cursor.position = end;
  return size;
}

int ReadFromMemory(void* opaque, std::uint8_t* data, int size) {
  auto& cursor = *static_cast<MemoryCursor*>(opaque);
  const std::string& bytes = cursor.file->bytes;
  if (cursor.position >= bytes.size()) return AVERROR_EOF;
  const auto count = static_cast<std::size_t>(
      std::min<std::uint64_t>(bytes.size() - cursor.position, static_cast<std::uint64_t>(size)));
  std::memcpy(data, bytes.data() + cursor.position, count);
  cursor.position += count;
  return static_cast<int>(count);
}

std::int64_t SeekInMemory(void* opaque, std::int64_t offset, int whence) {
  auto& cursor = *static_cast<MemoryCursor*>(opaque);
  const auto size = static_cast<std::int64_t>(cursor.file->bytes.size());
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return size;
  const std::int64_t base = whence == SEEK_CUR   ? static_cast<std::int64_t>(cursor.position)
                            : whence == SEEK_END ? size
                                                 : 0;
  if (offset < -base || offset > static_cast<std::int64_t>(kMaxOutputBytes)) return AVERROR(EINVAL);
  cursor.position = static_cast<std::uint64_t>(base + offset);
  return base + offset;
}

ffmpeg::IoContextPtr MemoryIo(MemoryCursor* cursor, bool writing) {
  constexpr int kBufferBytes = 64 * 1024;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
  if (buffer == nullptr) return nullptr;
  ffmpeg::IoContextPtr io(avio_alloc_context(buffer, kBufferBytes, writing ? 1 : 0, cursor,
                                             writing ? nullptr : ReadFromMemory,
                                             writing ? WriteToMemory : nullptr, SeekInMemory));
  if (!io) av_free(buffer);
  return io;
}

// The MP4 muxer moves its index to the front at the end, reading back what it wrote:
// that read comes from memory too. Nothing else may be opened.
int OpenInMemory(AVFormatContext* format, AVIOContext** io, const char*, int flags,
                 AVDictionary**) {
  if ((flags & AVIO_FLAG_WRITE) != 0) return AVERROR(EPERM);
  auto* cursor = new (std::nothrow) MemoryCursor{static_cast<MemoryFile*>(format->opaque)};
  if (cursor == nullptr) return AVERROR(ENOMEM);
  ffmpeg::IoContextPtr reader = MemoryIo(cursor, false);
  if (!reader) {
    delete cursor;
    return AVERROR(ENOMEM);
  }
  *io = reader.release();
  return 0;
}

int CloseInMemory(AVFormatContext*, AVIOContext* io) {
  delete static_cast<MemoryCursor*>(io->opaque);
  ffmpeg::IoContextFree()(io);
  return 0;
}

// ---------------------------------------------------------------------------------------
// The conversion

class Conversion {
 public:
  Conversion(const ConversionParams& params, const std::atomic<bool>* cancel)
      : params_(params), cancel_(cancel) {}

  TranscodeResult Run(const std::string& source, const std::string& output);

 private:
  bool Fail(std::string why) {
    if (reason_.empty()) reason_ = std::move(why);
    return false;
  }
  bool CheckCancel() { return !Cancelled(cancel_) || Fail("cancelled"); }
  bool OpenSource(const std::string& source, AudioDecoder& decoder, SampleLayout layout);
  bool PlanOutput(const std::string& source);
  bool CreateOutput(const std::string& source, const std::string& output);
  bool MeasureGain(const std::string& source);
  bool EncodeUnderCeiling(const std::string& source);
  std::optional<double> EncodedPeakDb();
  bool OpenEncoder();
  bool Encode(const std::string& source);
  bool EncodeFromFifo(int samples);
  bool WritePackets();
  bool Finish();
  bool WriteOutput(std::string_view all);

  const ConversionParams& params_;
  const std::atomic<bool>* cancel_;
  std::string reason_;
  std::optional<EarlyEnd> earlyEnd_;

  const AVCodec* encoder_ = nullptr;
  const AVOutputFormat* muxer_ = nullptr;
  SampleLayout layout_;
  AVSampleFormat sampleFormat_ = AV_SAMPLE_FMT_NONE;
  double gain_ = 1.0;
  double appliedDb_ = 0.0;
  double peakDb_ = 0.0;
  platform::UniqueFd out_;

  MemoryFile memory_;
  MemoryCursor cursor_{&memory_};
  ffmpeg::IoContextPtr io_;  // before `format_`, which uses it
  ffmpeg::OutputFormatPtr format_;
  AVStream* stream_ = nullptr;
  ffmpeg::CodecContextPtr codec_;
  ffmpeg::FramePtr frame_;
  ffmpeg::PacketPtr packet_;
  ffmpeg::AudioFifoPtr fifo_;
  std::vector<float> staging_;
  std::int64_t samplesSent_ = 0;
};

bool Conversion::OpenSource(const std::string& source, AudioDecoder& decoder, SampleLayout layout) {
  if (decoder.Open(source) != DecodeStatus::kOk ||
      (layout.sampleRate > 0 && decoder.SetOutput(layout) != DecodeStatus::kOk)) {
    return Fail("cannot decode the source: " + decoder.reason());
  }
  return true;
}

// Finds the encoder and the muxer, and the layout to encode at.
bool Conversion::PlanOutput(const std::string& source) {
  const Target target = TargetOf(params_.codec);
  encoder_ = avcodec_find_encoder_by_name(target.encoder);
  muxer_ = av_guess_format(target.muxer, nullptr, nullptr);
  if (encoder_ == nullptr || muxer_ == nullptr)
    return Fail(std::string("this FFmpeg has no ") + target.encoder + " encoder or " +
                target.muxer + " muxer");
  const std::optional<AVSampleFormat> format = ChooseSampleFormat(*encoder_);
  if (!format)
    return Fail(std::string("the ") + target.encoder + " encoder takes no float samples");
  sampleFormat_ = *format;
  AudioDecoder decoder;
  if (!OpenSource(source, decoder, {})) return false;
  const std::optional<int> rate = ChooseSampleRate(*encoder_, params_, decoder.info().sampleRate);
  if (!rate) return Fail("the encoder takes none of the player's sample rates");
  // Players play mono and stereo; more channels are mixed down.
  layout_ = {*rate, decoder.info().channels == 1 ? 1 : 2};
  return true;
}

// Opens the output now, so that a place that cannot be written fails before the work.
bool Conversion::CreateOutput(const std::string& source, const std::string& output) {
  out_.Reset(open(output.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (!out_) return Fail("cannot create the converted file: " + ErrnoText(errno));
  struct stat sourceStatus {};
  struct stat outputStatus {};
  if (stat(source.c_str(), &sourceStatus) == 0 && fstat(out_.get(), &outputStatus) == 0 &&
      sourceStatus.st_dev == outputStatus.st_dev && sourceStatus.st_ino == outputStatus.st_ino) {
    out_.Reset();
    return Fail("the converted file would replace its source");
  }
  if (ftruncate(out_.get(), 0) != 0)
    return Fail("cannot empty the converted file: " + ErrnoText(errno));
  return true;
}

// Lowers the gain where the source, made louder, would peak above the ceiling: the
// source is decoded once just to measure its true peak at the output's layout.
bool Conversion::MeasureGain(const std::string& source) {
  if (params_.gainDb == 0) return true;
  AudioDecoder decoder;
  if (!OpenSource(source, decoder, layout_)) return false;
  TruePeakMeter meter(layout_.channels, layout_.sampleRate);
  if (!meter.valid()) return Fail("out of memory");
  std::vector<float> samples;
  while (CheckCancel()) {
    const DecodeStatus status = decoder.Read(samples);
    if (status == DecodeStatus::kEnd) {
      // Silence stays silence, whatever the gain.
      const double peakDb = meter.PeakDb();
      appliedDb_ = std::isfinite(peakDb)
                       ? std::min(params_.gainDb, params_.truePeakCeilingDb - peakDb)
                       : 0.0;
      gain_ = DbToLinear(appliedDb_);
      return true;
    }
    if (status != DecodeStatus::kOk) return Fail("cannot decode the source: " + decoder.reason());
    if (!meter.Add(samples)) return Fail("out of memory");
  }
  return false;
}

// Lossy encoding moves peaks a little. Where a gain is applied, the encoded sound is
// decoded again, and encoded once more, softer by the excess, should it peak over the
// ceiling.
bool Conversion::EncodeUnderCeiling(const std::string& source) {
  constexpr int kAttempts = 3;
  constexpr double kMarginDb = 0.05;
  for (int attempt = 1;; ++attempt) {
    if (!OpenEncoder() || !Encode(source)) return false;
    if (appliedDb_ == 0 || attempt == kAttempts) return true;
    const std::optional<double> peakDb = EncodedPeakDb();
    if (!peakDb) return false;
    if (*peakDb <= params_.truePeakCeilingDb) return true;
    appliedDb_ -= *peakDb - params_.truePeakCeilingDb + kMarginDb;
    gain_ = DbToLinear(appliedDb_);
  }
}

std::optional<double> Conversion::EncodedPeakDb() {
  AudioDecoder decoder;
  const auto* bytes = reinterpret_cast<const unsigned char*>(memory_.bytes.data());
  if (decoder.OpenBytes({bytes, memory_.bytes.size()}) != DecodeStatus::kOk) {
    Fail("cannot decode the converted sound: " + decoder.reason());
    return std::nullopt;
  }
  TruePeakMeter meter(decoder.info().channels, decoder.info().sampleRate);
  if (!meter.valid()) {
    Fail("cannot measure the converted sound");
    return std::nullopt;
  }
  std::vector<float> samples;
  while (CheckCancel()) {
    const DecodeStatus status = decoder.Read(samples);
    if (status == DecodeStatus::kEnd) return meter.PeakDb();
    if (status != DecodeStatus::kOk) {
      Fail("cannot decode the converted sound: " + decoder.reason());
      return std::nullopt;
    }
    if (!meter.Add(samples)) {
      Fail("out of memory");
      return std::nullopt;
    }
  }
  return std::nullopt;
}

bool Conversion::OpenEncoder() {
  // A fresh start, also where an earlier attempt came too loud.
  format_.reset();
  io_.reset();
  codec_.reset();
  fifo_.reset();
  std::string().swap(memory_.bytes);
  cursor_.position = 0;
  samplesSent_ = 0;

  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, muxer_, nullptr, "memory") < 0 || format == nullptr)
    return Fail("out of memory");
  format_.reset(format);
  io_ = MemoryIo(&cursor_, true);
  codec_.reset(avcodec_alloc_context3(encoder_));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!io_ || !codec_ || !frame_ || !packet_) return Fail("out of memory");
  format->pb = io_.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->opaque = &memory_;
  format->io_open = OpenInMemory;
  format->io_close2 = CloseInMemory;

  AVCodecContext& codec = *codec_;
  codec.sample_rate = layout_.sampleRate;
  codec.sample_fmt = sampleFormat_;
  av_channel_layout_default(&codec.ch_layout, layout_.channels);
  codec.time_base = {1, layout_.sampleRate};
  if ((muxer_->flags & AVFMT_GLOBALHEADER) != 0) codec.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const std::optional<int> kbps = AimedKbps(params_);
  if (kbps) {
    codec.bit_rate = static_cast<std::int64_t>(*kbps) * 1000;
  } else {
    codec.flags |= AV_CODEC_FLAG_QSCALE;
    codec.global_quality = Mp3VbrQuality(params_) * FF_QP2LAMBDA;
  }
  AVDictionary* options = nullptr;
  // Opus: a constant bitrate where one is asked for, else one that varies within bounds,
  // so that the size stays predictable.
  if (params_.codec == TargetCodec::kOpus)
    av_dict_set(&options, "vbr", params_.bitrateKbps ? "off" : "constrained", 0);
  const int opened = avcodec_open2(&codec, encoder_, &options);
  av_dict_free(&options);
  if (opened < 0) return Fail("the encoder refuses these settings: " + ffmpeg::ErrorText(opened));

  stream_ = avformat_new_stream(format, nullptr);
  if (stream_ == nullptr || avcodec_parameters_from_context(stream_->codecpar, &codec) < 0)
    return Fail("out of memory");
  stream_->time_base = codec.time_base;

  AVDictionary* muxing = nullptr;
  if (params_.codec == TargetCodec::kMp3) {
    // TagLib writes the ID3v2 tag afterwards; the muxer writes the LAME header that tells
    // decoders the encoder's delay and padding.
    av_dict_set(&muxing, "id3v2_version", "0", 0);
  } else if (params_.codec == TargetCodec::kAac) {
    av_dict_set(&muxing, "movflags", "+faststart", 0);
  }
  const int written = avformat_write_header(format, &muxing);
  av_dict_free(&muxing);
  if (written < 0) return Fail("cannot start the converted file: " + ffmpeg::ErrorText(written));

  const int frameSize = codec.frame_size > 0 ? codec.frame_size : 1152;
  fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, layout_.channels, 2 * frameSize));
  frame_->nb_samples = frameSize;
  frame_->format = sampleFormat_;
  frame_->sample_rate = layout_.sampleRate;
  if (!fifo_ || av_channel_layout_copy(&frame_->ch_layout, &codec.ch_layout) < 0 ||
      av_frame_get_buffer(frame_.get(), 0) < 0) {
    return Fail("out of memory");
  }
  return true;
}

// Takes `samples` sample frames from the FIFO into one encoder frame and encodes it.
bool Conversion::EncodeFromFifo(int samples) {
  const auto channels = static_cast<std::size_t>(layout_.channels);
  staging_.resize(static_cast<std::size_t>(samples) * channels);
  void* planes[] = {staging_.data()};
  if (av_frame_make_writable(frame_.get()) < 0 ||
      av_audio_fifo_read(fifo_.get(), planes, samples) != samples) {
    return Fail("out of memory");
  }
  frame_->nb_samples = samples;
  if (sampleFormat_ == AV_SAMPLE_FMT_FLT) {
    std::memcpy(frame_->data[0], staging_.data(), staging_.size() * sizeof(float));
  } else {
    for (std::size_t c = 0; c < channels; ++c) {
      auto* plane = reinterpret_cast<float*>(frame_->extended_data[c]);
      for (std::size_t i = 0; i < static_cast<std::size_t>(samples); ++i)
        plane[i] = staging_[i * channels + c];
    }
  }
  frame_->pts = samplesSent_;
  samplesSent_ += samples;
  const int sent = avcodec_send_frame(codec_.get(), frame_.get());
  if (sent < 0) return Fail("encoding failed: " + ffmpeg::ErrorText(sent));
  return WritePackets();
}

// Hands every packet the encoder has ready to the muxer.
bool Conversion::WritePackets() {
  while (true) {
    const int received = avcodec_receive_packet(codec_.get(), packet_.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) return Fail("encoding failed: " + ffmpeg::ErrorText(received));
    packet_->stream_index = stream_->index;
    av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
    // Takes the packet's data and leaves it empty.
    if (const int muxed = av_interleaved_write_frame(format_.get(), packet_.get()); muxed < 0) {
      return Fail(memory_.tooLarge ? "the converted file would be too large"
                                   : "muxing failed: " + ffmpeg::ErrorText(muxed));
    }
  }
}

bool Conversion::Encode(const std::string& source) {
  AudioDecoder decoder;
  if (!OpenSource(source, decoder, layout_)) return false;
  TruePeakMeter meter(layout_.channels, layout_.sampleRate);
  if (!meter.valid()) return Fail("out of memory");
  std::vector<float> samples;
  const int frameSize = frame_->nb_samples;
  while (CheckCancel()) {
    const DecodeStatus status = decoder.Read(samples);
    if (status == DecodeStatus::kEnd) break;
    if (status != DecodeStatus::kOk) return Fail("cannot decode the source: " + decoder.reason());
    if (gain_ != 1.0) {
      for (float& sample : samples)
        sample = static_cast<float>(sample * gain_);
    }
    if (!meter.Add(samples)) return Fail("out of memory");
    void* planes[] = {samples.data()};
    const auto count =
        static_cast<int>(samples.size() / static_cast<std::size_t>(layout_.channels));
    if (av_audio_fifo_write(fifo_.get(), planes, count) != count) return Fail("out of memory");
    while (av_audio_fifo_size(fifo_.get()) >= frameSize) {
      if (!EncodeFromFifo(frameSize)) return false;
    }
  }
  if (!reason_.empty()) return false;
  // What a decoder counts may differ from the stated length by its delay and padding,
  // a small part of a second; a file cut short falls well below it.
  constexpr double kEarlyEndSeconds = 1.0;
  const AudioStreamInfo& info = decoder.info();
  if (info.secondsStated && decoder.decodedSeconds() + kEarlyEndSeconds <= info.seconds) {
    earlyEnd_ = EarlyEnd{decoder.decodedSeconds(), info.seconds};
    return Fail("the file ends early");
  }
  peakDb_ = meter.PeakDb();
  // The encoders here take a shorter last frame, so nothing is padded on.
  if (const int left = av_audio_fifo_size(fifo_.get()); left > 0 && !EncodeFromFifo(left))
    return false;
  return Finish();
}

// Drains the encoder and completes the file in memory.
bool Conversion::Finish() {
  if (const int sent = avcodec_send_frame(codec_.get(), nullptr); sent < 0)
    return Fail("encoding failed: " + ffmpeg::ErrorText(sent));
  if (!WritePackets()) return false;
  const int ended = av_write_trailer(format_.get());
  avio_flush(io_.get());
  if (ended < 0 || io_->error < 0) {
    return Fail(memory_.tooLarge ? "the converted file would be too large"
                                 : "cannot complete the converted file: " +
                                       ffmpeg::ErrorText(ended < 0 ? ended : io_->error));
  }
  return true;
}

bool Conversion::WriteOutput(std::string_view all) {
  const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
  for (std::size_t done = 0; done < all.size(); done += kWriteChunkBytes) {
    if (!CheckCancel()) return false;
    if (const int error = platform::WriteAll(out_.get(), all.substr(done, kWriteChunkBytes)))
      return Fail("cannot write the converted file: " + ErrnoText(error));
  }
  if (close(out_.Release()) != 0)
    return Fail("cannot write the converted file: " + ErrnoText(errno));
  return true;
}

TranscodeResult Conversion::Run(const std::string& source, const std::string& output) {
  TranscodeResult result;
  if (std::string invalid = InvalidSetting(params_); !invalid.empty()) {
    result.reason = "invalid conversion settings: " + invalid;
    return result;
  }
  ffmpeg::QuietLibraryMessages();
  bool ok = CheckCancel() && PlanOutput(source) && CreateOutput(source, output);
  const bool created = out_.valid();
  ok = ok && MeasureGain(source) && EncodeUnderCeiling(source);
  if (ok) {
    // The muxer is done with the bytes: they get their tags, then go to the file.
    CarriedTags tags = ReadCarriedTags(source);
    CorrectReplayGain(tags.properties, appliedDb_);
    tags.cover = FittedCover(std::move(tags.cover), params_.maxPictureSide);
    ok = (WriteCarriedTags(memory_.bytes, TaggedFormatOf(params_.codec), params_.id3v23, tags) ||
          Fail("cannot write the tags")) &&
         WriteOutput(memory_.bytes);
    if (ok) result.bytes = static_cast<std::int64_t>(memory_.bytes.size());
  }
  if (!ok) {
    out_.Reset();
    if (created) unlink(output.c_str());
    result.reason = reason_.empty() ? "the conversion failed" : reason_;
    result.earlyEnd = earlyEnd_;
    return result;
  }
  result.ok = true;
  result.peakDb = peakDb_;
  return result;
}

}  // namespace

TranscodeResult Transcode(const std::string& source, const std::string& output,
                          const ConversionParams& params, const std::atomic<bool>* cancel) {
  return Conversion(params, cancel).Run(source, output);
}

}  // namespace sorvina::media::codecs
