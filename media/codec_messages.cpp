// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codec_messages.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <system_error>
#include <utility>

namespace sorvina::media::codec_messages {
namespace {

constexpr std::size_t kLengthBytes = 4;

void AppendLength(std::string& out, std::size_t length) {
  for (std::size_t i = 0; i < kLengthBytes; ++i)
    out += static_cast<char>((length >> (8 * i)) & 0xFF);
}

std::size_t LengthAt(std::string_view bytes) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < kLengthBytes; ++i)
    length |= static_cast<std::size_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return length;
}

std::optional<Fields> FieldsOf(std::string_view body) {
  Fields fields;
  while (!body.empty()) {
    if (body.size() < kLengthBytes) return std::nullopt;
    const std::size_t length = LengthAt(body);
    body.remove_prefix(kLengthBytes);
    if (length > body.size()) return std::nullopt;
    fields.emplace_back(body.substr(0, length));
    body.remove_prefix(length);
  }
  return fields;
}

// Numbers: the shortest text that reads back as the same value (infinities and NaN too).
std::string Text(double value) {
  char buffer[64];
  const auto [stop, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, stop) : "nan";
}
std::string Text(std::int64_t value) {
  return std::to_string(value);
}
std::string Text(const std::optional<int>& value) {
  return value ? std::to_string(*value) : std::string();
}

template <class T>
bool Number(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && stop == end;
}
bool Number(const std::string& text, std::optional<int>& value) {
  if (text.empty()) {
    value.reset();
    return true;
  }
  int number = 0;
  if (!Number(text, number)) return false;
  value = number;
  return true;
}

constexpr std::string_view kTranscode = "transcode";
constexpr std::string_view kLoudness = "loudness";
constexpr std::string_view kCoverCopy = "cover-copy";
constexpr std::string_view kChapterSplit = "chapter-split";
constexpr std::string_view kDone = "done";
constexpr std::string_view kFailed = "failed";

std::string CodecName(TargetCodec codec) {
  return std::string(TargetExtension(codec).substr(1));
}

}  // namespace

std::string Encode(const Fields& fields) {
  std::string body;
  for (const std::string& field : fields) {
    AppendLength(body, field.size());
    body += field;
  }
  std::string message;
  AppendLength(message, body.size());
  return message + body;
}

ReadResult Read(int fd, Fields& fields, const std::atomic<bool>* stop, int lookEveryMs) {
  std::string bytes;
  std::size_t wanted = kLengthBytes;
  bool haveLength = false;
  while (true) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return ReadResult::kStopped;
    if (bytes.size() == wanted) {
      if (haveLength) {
        std::optional<Fields> read = FieldsOf(std::string_view(bytes).substr(kLengthBytes));
        if (!read) return ReadResult::kMalformed;
        fields = std::move(*read);
        return ReadResult::kMessage;
      }
      const std::size_t length = LengthAt(bytes);
      if (length > kMostBytes) return ReadResult::kMalformed;
      wanted += length;
      haveLength = true;
      continue;
    }
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, lookEveryMs);
    if (polled < 0 && errno != EINTR) return ReadResult::kClosed;
    if (polled <= 0) continue;
    char buffer[16 * 1024];
    const std::size_t room = std::min(sizeof buffer, wanted - bytes.size());
    const ssize_t got = recv(fd, buffer, room, 0);
    if (got == 0) return ReadResult::kClosed;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return ReadResult::kClosed;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

int Write(int fd, std::string_view message) {
  while (!message.empty()) {
    const ssize_t sent = send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) return errno;
    message.remove_prefix(static_cast<std::size_t>(sent));
  }
  return 0;
}

Fields ToFields(const TranscodeRequest& request) {
  const ConversionParams& params = request.params;
  std::string rates;
  for (const int rate : params.sampleRates)
    rates += (rates.empty() ? "" : ",") + std::to_string(rate);
  return {std::string(kTranscode),
          request.source,
          request.output,
          CodecName(params.codec),
          Text(params.bitrateKbps),
          Text(params.maxBitrateKbps),
          rates,
          Text(params.gainDb),
          Text(params.truePeakCeilingDb),
          params.id3v23 ? "1" : "0",
          Text(params.maxPictureSide)};
}

std::optional<TranscodeRequest> TranscodeRequestOf(const Fields& fields) {
  if (fields.size() != 11 || fields[0] != kTranscode) return std::nullopt;
  TranscodeRequest request{fields[1], fields[2], {}};
  ConversionParams& params = request.params;
  bool known = false;
  for (const TargetCodec codec : {TargetCodec::kMp3, TargetCodec::kAac, TargetCodec::kOpus}) {
    if (fields[3] == CodecName(codec)) {
      params.codec = codec;
      known = true;
    }
  }
  if (!known || !Number(fields[4], params.bitrateKbps) ||
      !Number(fields[5], params.maxBitrateKbps) || !Number(fields[7], params.gainDb) ||
      !Number(fields[8], params.truePeakCeilingDb) || (fields[9] != "0" && fields[9] != "1") ||
      !Number(fields[10], params.maxPictureSide)) {
    return std::nullopt;
  }
  params.id3v23 = fields[9] == "1";
  for (std::string_view rates = fields[6]; !rates.empty();) {
    const std::size_t comma = rates.find(',');
    int rate = 0;
    if (!Number(std::string(rates.substr(0, comma)), rate)) return std::nullopt;
    params.sampleRates.push_back(rate);
    rates.remove_prefix(comma == std::string_view::npos ? rates.size() : comma + 1);
  }
  return request;
}

Fields ToFields(const LoudnessRequest& request) {
  return {std::string(kLoudness), request.path};
}

std::optional<LoudnessRequest> LoudnessRequestOf(const Fields& fields) {
  if (fields.size() != 2 || fields[0] != kLoudness) return std::nullopt;
  return LoudnessRequest{fields[1]};
}

Fields ToFields(const CoverCopyRequest& request) {
  return {std::string(kCoverCopy), request.source, request.output, std::to_string(request.maxSide),
          std::to_string(request.gainSteps)};
}

std::optional<CoverCopyRequest> CoverCopyRequestOf(const Fields& fields) {
  if (fields.size() != 5 || fields[0] != kCoverCopy) return std::nullopt;
  CoverCopyRequest request{fields[1], fields[2]};
  if (!Number(fields[3], request.maxSide) || !Number(fields[4], request.gainSteps))
    return std::nullopt;
  return request;
}

Fields ToFields(const ChapterSplitRequest& request) {
  return {std::string(kChapterSplit), request.source, request.outputFolder};
}

std::optional<ChapterSplitRequest> ChapterSplitRequestOf(const Fields& fields) {
  if (fields.size() != 3 || fields[0] != kChapterSplit) return std::nullopt;
  return ChapterSplitRequest{fields[1], fields[2]};
}

// "done" or "failed", the reason, then start, end and title of each chapter.
Fields ToFields(const ChapterSplitResult& result) {
  Fields fields = {std::string(result.ok ? kDone : kFailed), result.reason};
  for (const ChapterMark& chapter : result.chapters) {
    fields.push_back(Text(chapter.start));
    fields.push_back(Text(chapter.end));
    fields.push_back(chapter.title);
  }
  return fields;
}

std::optional<ChapterSplitResult> ChapterSplitResultOf(const Fields& fields) {
  if (fields.size() < 2 || (fields[0] != kDone && fields[0] != kFailed) ||
      (fields.size() - 2) % 3 != 0 || (fields.size() - 2) / 3 > kMostChapters)
    return std::nullopt;
  ChapterSplitResult result{fields[0] == kDone, fields[1], {}};
  for (std::size_t i = 2; i < fields.size(); i += 3) {
    ChapterMark chapter{0, 0, fields[i + 2]};
    if (!Number(fields[i], chapter.start) || !Number(fields[i + 1], chapter.end))
      return std::nullopt;
    result.chapters.push_back(std::move(chapter));
  }
  return result;
}

Fields ToFields(const CoverCopyResult& result) {
  return {std::string(result.ok ? kDone : kFailed), result.coverFailed ? "1" : "0", result.reason};
}

std::optional<CoverCopyResult> CoverCopyResultOf(const Fields& fields) {
  if (fields.size() != 3 || (fields[0] != kDone && fields[0] != kFailed) ||
      (fields[1] != "0" && fields[1] != "1"))
    return std::nullopt;
  return CoverCopyResult{fields[0] == kDone, fields[1] == "1", fields[2]};
}

Fields ToFields(const TranscodeResult& result) {
  const std::optional<EarlyEnd>& early = result.earlyEnd;
  return {std::string(result.ok ? kDone : kFailed),
          result.reason,
          Text(result.bytes),
          Text(result.peakDb),
          early ? Text(early->decodedSeconds) : std::string(),
          early ? Text(early->statedSeconds) : std::string()};
}

std::optional<TranscodeResult> TranscodeResultOf(const Fields& fields) {
  if (fields.size() != 6 || (fields[0] != kDone && fields[0] != kFailed)) return std::nullopt;
  TranscodeResult result;
  result.ok = fields[0] == kDone;
  result.reason = fields[1];
  if (!Number(fields[2], result.bytes) || !Number(fields[3], result.peakDb)) return std::nullopt;
  if (!fields[4].empty() || !fields[5].empty()) {
    EarlyEnd early;
    if (!Number(fields[4], early.decodedSeconds) || !Number(fields[5], early.statedSeconds))
      return std::nullopt;
    result.earlyEnd = early;
  }
  return result;
}

Fields ToFields(const LoudnessAnswer& answer) {
  const std::optional<Loudness>& loudness = answer.loudness;
  return {std::string(loudness ? kDone : kFailed),
          loudness ? Text(loudness->integratedLufs) : std::string(),
          loudness ? Text(loudness->truePeakDb) : std::string(), answer.reason};
}

std::optional<LoudnessAnswer> LoudnessAnswerOf(const Fields& fields) {
  if (fields.size() != 4 || (fields[0] != kDone && fields[0] != kFailed)) return std::nullopt;
  LoudnessAnswer answer;
  answer.reason = fields[3];
  if (fields[0] == kDone) {
    Loudness loudness{};
    if (!Number(fields[1], loudness.integratedLufs) || !Number(fields[2], loudness.truePeakDb))
      return std::nullopt;
    answer.loudness = loudness;
  }
  return answer;
}

}  // namespace sorvina::media::codec_messages
