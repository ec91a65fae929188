// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "media/codec_helper.h"
#include "media/codec_messages.h"

namespace sorvina::media {
namespace {

constexpr int kMp3VbrEstimateKbps = 320;  // the largest MP3 frame
constexpr int kDefaultAacKbps = 192;
constexpr int kDefaultOpusKbps = 160;

int LoweredToCeiling(int kbps, const ConversionParams& params) {
  return params.maxBitrateKbps ? std::min(kbps, *params.maxBitrateKbps) : kbps;
}

// A number as the shortest text that reads back as it; minus zero is zero.
std::string NumberText(double value) {
  if (value == 0) value = 0;
  std::array<char, 64> buffer{};
  const auto [stop, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return error == std::errc() ? std::string(buffer.data(), stop) : "nan";
}

template <class T>
std::string OptionalText(const std::optional<T>& value) {
  return value ? std::to_string(*value) : "-";
}

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The helper runs in the current folder of the moment it was started: paths go to it
// whole.
std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

// After a helper that was converting ended without a word (killed on cancel, or crashed),
// its output is removed as its own failure would have removed it: never the source,
// should both name one file.
void RemoveOutput(const std::string& output, const std::string& source) {
  struct stat outputStatus {};
  struct stat sourceStatus {};
  if (lstat(output.c_str(), &outputStatus) != 0) return;
  if (stat(source.c_str(), &sourceStatus) == 0 && outputStatus.st_dev == sourceStatus.st_dev &&
      outputStatus.st_ino == sourceStatus.st_ino) {
    return;
  }
  (void)unlink(output.c_str());
}

}  // namespace

std::string ConversionParams::Key() const {
  std::vector<int> rates = sampleRates;
  std::sort(rates.begin(), rates.end());
  rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
  std::string rateList;
  for (const int rate : rates)
    rateList += (rateList.empty() ? "" : ",") + std::to_string(rate);
  // The leading version changes whenever the same settings come to give other output,
  // so that files converted before are made again.
  return "convert1;codec=" + std::string(TargetExtension(codec)).substr(1) +
         ";bitrate=" + OptionalText(bitrateKbps) + ";max=" + OptionalText(maxBitrateKbps) +
         ";rates=" + (rateList.empty() ? "-" : rateList) + ";gain=" + NumberText(gainDb) +
         ";ceiling=" + NumberText(truePeakCeilingDb) + ";id3=" + (id3v23 ? "2.3" : "2.4") +
         ";picture=" + OptionalText(maxPictureSide);
}

std::string_view TargetExtension(TargetCodec codec) {
  switch (codec) {
    case TargetCodec::kAac:
      return ".m4a";
    case TargetCodec::kOpus:
      return ".opus";
    case TargetCodec::kMp3:
      break;
  }
  return ".mp3";
}

std::optional<int> AimedKbps(const ConversionParams& params) {
  if (params.bitrateKbps) return LoweredToCeiling(*params.bitrateKbps, params);
  switch (params.codec) {
    case TargetCodec::kAac:
      return LoweredToCeiling(kDefaultAacKbps, params);
    case TargetCodec::kOpus:
      return LoweredToCeiling(kDefaultOpusKbps, params);
    case TargetCodec::kMp3:
      break;
  }
  return std::nullopt;
}

std::int64_t EstimatedBytes(double seconds, const ConversionParams& params) {
  // Rate control lets AAC and Opus run a little over their aim; MP3 frames never exceed
  // their bitrate. Containers add a few percent (Ogg pages, MP4 tables, the LAME header)
  // and tags and headers a few kilobytes.
  constexpr double kContainerShare = 1.03;
  constexpr std::int64_t kHeadersAndTags = 64 * 1024;
  constexpr std::int64_t kUnscaledCover = 1024 * 1024;  // pictures copied as they are
  const std::optional<int> aimed = AimedKbps(params);
  const double kbps = aimed ? *aimed : kMp3VbrEstimateKbps;
  const double overshoot = params.codec == TargetCodec::kMp3 ? 1.0 : 1.1;
  const double time = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
  constexpr double kMostBytes = 1e15;  // far beyond any medium; keeps the sum in range
  const double audio = std::min(
      std::ceil(time * std::max(kbps, 0.0) * 1000 / 8 * overshoot * kContainerShare), kMostBytes);
  std::int64_t cover = kUnscaledCover;
  if (params.maxPictureSide) {
    // A kept picture is no heavier than a byte a pixel; a scaled one is lighter.
    const auto side = static_cast<std::int64_t>(std::max(*params.maxPictureSide, 0));
    cover = side * side;
  }
  return static_cast<std::int64_t>(audio) + kHeadersAndTags + cover;
}

TranscodeResult Transcode(const std::string& source, const std::string& output,
                          const ConversionParams& params, const std::atomic<bool>* cancel) {
  TranscodeResult result;
  if (Cancelled(cancel)) {
    result.reason = "cancelled";
    return result;
  }
  CodecHelper::Answer answer =
      CodecHelper::OfThisThread().Ask(codec_messages::ToFields(codec_messages::TranscodeRequest{
                                          Absolute(source), Absolute(output), params}),
                                      cancel);
  std::optional<TranscodeResult> answered =
      answer.fields ? codec_messages::TranscodeResultOf(*answer.fields) : std::nullopt;
  if (answered) return std::move(*answered);
  if (answer.delivered) RemoveOutput(output, source);
  result.reason = answer.fields ? "the conversion program gave no answer" : answer.reason;
  return result;
}

CoverCopyResult CopyWithFittedCovers(const std::string& source, const std::string& output,
                                     int maxSide, int gainSteps, const std::atomic<bool>* cancel) {
  CoverCopyResult result;
  if (Cancelled(cancel)) {
    result.reason = "cancelled";
    return result;
  }
  CodecHelper::Answer answer =
      CodecHelper::OfThisThread().Ask(codec_messages::ToFields(codec_messages::CoverCopyRequest{
                                          Absolute(source), Absolute(output), maxSide, gainSteps}),
                                      cancel);
  std::optional<CoverCopyResult> answered =
      answer.fields ? codec_messages::CoverCopyResultOf(*answer.fields) : std::nullopt;
  if (answered) return std::move(*answered);
  if (answer.delivered) RemoveOutput(output, source);
  result.reason = answer.fields ? "the conversion program gave no answer" : answer.reason;
  return result;
}

std::optional<Loudness> MeasureLoudness(const std::string& path, std::string* reason,
                                        const std::atomic<bool>* cancel) {
  std::string why = "cancelled";
  if (!Cancelled(cancel)) {
    CodecHelper::Answer answer = CodecHelper::OfThisThread().Ask(
        codec_messages::ToFields(codec_messages::LoudnessRequest{Absolute(path)}), cancel);
    std::optional<codec_messages::LoudnessAnswer> answered =
        answer.fields ? codec_messages::LoudnessAnswerOf(*answer.fields) : std::nullopt;
    if (answered && answered->loudness) return answered->loudness;
    why = answered        ? std::move(answered->reason)
          : answer.fields ? "the conversion program gave no answer"
                          : answer.reason;
  }
  if (reason != nullptr) *reason = std::move(why);
  return std::nullopt;
}

std::string ChapterFileName(const std::string& source, std::size_t number) {
  const std::filesystem::path path(source);
  std::string ending = path.extension().string();
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const char* ext = ending == ".mp3"                                           ? ".mp3"
                    : ending == ".m4a" || ending == ".m4b" || ending == ".mp4" ? ".m4a"
                                                                               : nullptr;
  if (ext == nullptr) return {};
  char name[32];
  std::snprintf(name, sizeof name, "%03zu%s", number, ext);
  return name;
}

ChapterSplitResult SplitAtChapters(const std::string& source, const std::string& outputFolder,
                                   const std::atomic<bool>* cancel) {
  ChapterSplitResult result;
  if (Cancelled(cancel)) {
    result.reason = "cancelled";
    return result;
  }
  CodecHelper::Answer answer = CodecHelper::OfThisThread().Ask(
      codec_messages::ToFields(codec_messages::ChapterSplitRequest{
          Absolute(source), outputFolder.empty() ? std::string() : Absolute(outputFolder)}),
      cancel);
  std::optional<ChapterSplitResult> answered =
      answer.fields ? codec_messages::ChapterSplitResultOf(*answer.fields) : std::nullopt;
  if (answered) return std::move(*answered);
  result.reason = answer.fields ? "the conversion program gave no answer" : answer.reason;
  return result;
}

}  // namespace sorvina::media
