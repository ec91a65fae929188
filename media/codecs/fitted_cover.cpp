// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs/fitted_cover.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "media/codecs/ffmpeg_support.h"
#include "media/mp3_gain.h"
#include "media/tags/fitted_pictures.h"
#include "platform/new_file.h"
#include "platform/read_only_file.h"
#include "platform/unique_fd.h"

namespace sorvina::media::codecs {
namespace {

constexpr int kJpegQuality = 3;  // as "-q:v 3": small, and no visible loss on a player
constexpr int kMaxPicturePixels = 64 * 1024 * 1024;

AVCodecID ImageCodecOf(const std::string& data) {
  const std::string_view bytes = data;
  if (bytes.starts_with("\xFF\xD8\xFF")) return AV_CODEC_ID_MJPEG;
  if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return AV_CODEC_ID_PNG;
  if (bytes.starts_with("GIF8")) return AV_CODEC_ID_GIF;
  if (bytes.starts_with("BM")) return AV_CODEC_ID_BMP;
  if (bytes.starts_with("RIFF") && bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP")
    return AV_CODEC_ID_WEBP;
  return AV_CODEC_ID_NONE;
}

ffmpeg::FramePtr DecodeImage(const std::string& data) {
  const AVCodec* decoder = avcodec_find_decoder(ImageCodecOf(data));
  if (decoder == nullptr || data.size() > static_cast<unsigned>(std::numeric_limits<int>::max()))
    return nullptr;
  ffmpeg::CodecContextPtr context(avcodec_alloc_context3(decoder));
  ffmpeg::PacketPtr packet(av_packet_alloc());
  ffmpeg::FramePtr frame(av_frame_alloc());
  if (!context || !packet || !frame) return nullptr;
  context->max_pixels = kMaxPicturePixels;
  context->thread_count = 1;
  if (avcodec_open2(context.get(), decoder, nullptr) < 0) return nullptr;
  if (av_new_packet(packet.get(), static_cast<int>(data.size())) < 0) return nullptr;
  std::memcpy(packet->data, data.data(), data.size());
  if (avcodec_send_packet(context.get(), packet.get()) < 0) return nullptr;
  avcodec_send_packet(context.get(), nullptr);
  if (avcodec_receive_frame(context.get(), frame.get()) < 0 || frame->width <= 0 ||
      frame->height <= 0) {
    return nullptr;
  }
  return frame;
}

std::optional<std::string> EncodeJpeg(const AVFrame& image, int width, int height) {
  ffmpeg::ScalerPtr scaler(
      sws_getContext(image.width, image.height, static_cast<AVPixelFormat>(image.format), width,
                     height, AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
  ffmpeg::FramePtr scaled(av_frame_alloc());
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (!scaler || !scaled || encoder == nullptr) return std::nullopt;
  scaled->format = AV_PIX_FMT_YUVJ420P;
  scaled->width = width;
  scaled->height = height;
  if (av_frame_get_buffer(scaled.get(), 0) < 0) return std::nullopt;
  if (sws_scale(scaler.get(), image.data, image.linesize, 0, image.height, scaled->data,
                scaled->linesize) != height) {
    return std::nullopt;
  }
  ffmpeg::CodecContextPtr context(avcodec_alloc_context3(encoder));
  ffmpeg::PacketPtr packet(av_packet_alloc());
  if (!context || !packet) return std::nullopt;
  context->width = width;
  context->height = height;
  context->pix_fmt = AV_PIX_FMT_YUVJ420P;
  context->time_base = {1, 1};
  context->flags |= AV_CODEC_FLAG_QSCALE;
  context->global_quality = kJpegQuality * FF_QP2LAMBDA;
  scaled->quality = context->global_quality;
  scaled->pts = 0;
  if (avcodec_open2(context.get(), encoder, nullptr) < 0 ||
      avcodec_send_frame(context.get(), scaled.get()) < 0 ||
      avcodec_send_frame(context.get(), nullptr) < 0 ||
      avcodec_receive_packet(context.get(), packet.get()) < 0) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(packet->data),
                     static_cast<std::size_t>(packet->size));
}

}  // namespace

std::optional<Picture> FittedCover(std::optional<Picture> cover, std::optional<int> maxSide) {
  if (!cover || !maxSide) return cover;
  if (*maxSide == 0) return std::nullopt;
  const ffmpeg::FramePtr image = DecodeImage(cover->data);
  if (!image) return std::nullopt;
  const int longest = std::max(image->width, image->height);
  const auto side = static_cast<std::uint64_t>(*maxSide);
  if (longest <= *maxSide && cover->data.size() <= side * side) {
    cover->width = image->width;
    cover->height = image->height;
    return cover;
  }
  const double scale = std::min(1.0, static_cast<double>(*maxSide) / longest);
  const int width = std::clamp(static_cast<int>(std::lround(image->width * scale)), 1, *maxSide);
  const int height = std::clamp(static_cast<int>(std::lround(image->height * scale)), 1, *maxSide);
  std::optional<std::string> jpeg = EncodeJpeg(*image, width, height);
  if (!jpeg) return std::nullopt;
  return Picture{std::move(*jpeg), "image/jpeg", width, height};
}

std::optional<Picture> ScaledPicture(const Picture& picture, int maxSide) {
  if (maxSide < 1) return std::nullopt;
  const ffmpeg::FramePtr image = DecodeImage(picture.data);
  if (!image) return std::nullopt;
  const int longest = std::max(image->width, image->height);
  if (longest <= maxSide) return Picture{picture.data, picture.mime, image->width, image->height};
  const double scale = static_cast<double>(maxSide) / longest;
  const int width = std::clamp(static_cast<int>(std::lround(image->width * scale)), 1, maxSide);
  const int height = std::clamp(static_cast<int>(std::lround(image->height * scale)), 1, maxSide);
  std::optional<std::string> jpeg = EncodeJpeg(*image, width, height);
  if (!jpeg) return std::nullopt;
  return Picture{std::move(*jpeg), "image/jpeg", width, height};
}

CoverCopyResult CopyWithFittedCovers(const std::string& source, const std::string& output,
                                     int maxSide, int gainSteps, const std::atomic<bool>* cancel) {
  CoverCopyResult result;
  const auto fail = [&result](std::string reason, bool cover) {
    result.reason = std::move(reason);
    result.coverFailed = cover;
    return result;
  };
  // Read as every source is: whatever is put in the song's place meanwhile (a FIFO, a
  // device) is refused rather than waited on, and a read that stops short fails the copy.
  std::optional<std::string> read = platform::ReadWholeFile(source);
  if (!read) return fail("the song cannot be read", false);
  std::string& bytes = *read;
  std::string reason;
  if (gainSteps != 0 && !ApplyMp3Gain(bytes, gainSteps, &reason)) return fail(reason, false);
  ffmpeg::QuietLibraryMessages();
  if (!FitMp3Pictures(bytes, maxSide, ScaledPicture, &reason)) return fail(reason, true);
  if (cancel != nullptr && cancel->load()) return fail("cancelled", false);
  platform::UniqueFd out(open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!out) return fail("the copy cannot be written: " + std::string(strerror(errno)), false);
  int error = 0;
  {
    const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
    error = platform::WriteAll(out.get(), bytes);
  }
  if (error == 0 && close(out.Release()) != 0) error = errno;
  if (error != 0) {
    (void)unlink(output.c_str());
    return fail("the copy cannot be written: " + std::string(strerror(error)), false);
  }
  result.ok = true;
  return result;
}

}  // namespace sorvina::media::codecs
