// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Owners for the FFmpeg objects the decoder and the transcoder use, so that each is freed
// on every path, and the few helpers both need. Private to media/codecs/.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <mutex>
#include <string>

namespace sorvina::media::codecs::ffmpeg {

struct CodecContextFree {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
// A context made by avio_alloc_context, with the buffer it holds at the end (FFmpeg may
// have replaced the one it was given).
struct IoContextFree {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct InputFormatClose {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct OutputFormatFree {
  void operator()(AVFormatContext* format) const { avformat_free_context(format); }
};
struct ResamplerFree {
  void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct ScalerFree {
  void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
struct AudioFifoFree {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
// Declare it before the format context that uses it, so that it goes after that.
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextFree>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatClose>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;

// A channel layout value that frees what it may hold.
class ChannelLayout {
 public:
  ChannelLayout() = default;
  explicit ChannelLayout(int channels) { SetDefault(channels); }
  ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
  ChannelLayout(const ChannelLayout&) = delete;
  ChannelLayout& operator=(const ChannelLayout&) = delete;

  // A copy of `other`; false when it cannot be made.
  [[nodiscard]] bool CopyFrom(const AVChannelLayout& other) {
    return av_channel_layout_copy(&layout_, &other) == 0;
  }
  // FFmpeg's usual layout for that many channels.
  void SetDefault(int channels) {
    av_channel_layout_uninit(&layout_);
    av_channel_layout_default(&layout_, channels);
  }
  const AVChannelLayout& get() const { return layout_; }
  // For the functions that take the layout without const, though they only read it.
  AVChannelLayout* pointer() { return &layout_; }

 private:
  AVChannelLayout layout_{};
};

// Stops FFmpeg's own messages, which would otherwise go to the standard error of the
// command line and the wizard alike: every failure is reported by our own words.
inline void QuietLibraryMessages() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// FFmpeg's text for an error code, for a reason that needs the detail.
inline std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace sorvina::media::codecs::ffmpeg
