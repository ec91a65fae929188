// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/codecs.h"

// What the programs and their codec helper (sorvina-codecs) say to each other over the
// socket between them: one request, then its answer. Both are built from the same source,
// so the format needs no version: a message is its length (4 bytes, little-endian), then
// its fields of text, each its length (4 bytes) and its bytes. Numbers are written so that
// they read back exactly. Private to media/.
namespace sorvina::media::codec_messages {

using Fields = std::vector<std::string>;

// The descriptor the helper finds its socket on.
inline constexpr int kHelperSocket = 3;

// A message longer than this is refused: nothing the two say comes near it.
inline constexpr std::size_t kMostBytes = std::size_t{1} << 20;

[[nodiscard]] std::string Encode(const Fields& fields);

enum class ReadResult {
  kMessage,
  kClosed,     // the other end is gone, or reading failed
  kStopped,    // `*stop` became true
  kMalformed,  // not a message of this format
};

// Reads one whole message from `fd`. `*stop` (when given) is looked at whenever a signal
// interrupts the wait, and every `lookEveryMs` milliseconds where that is not -1.
[[nodiscard]] ReadResult Read(int fd, Fields& fields, const std::atomic<bool>* stop,
                              int lookEveryMs);

// Sends all of `message` on the socket `fd`; 0, or the error number. A closed other end is
// an error (EPIPE), never a signal.
[[nodiscard]] int Write(int fd, std::string_view message);

// The requests, each with a reader that gives back what was written (nothing for fields
// that are not such a request).
struct TranscodeRequest {
  std::string source;
  std::string output;
  ConversionParams params;
};
[[nodiscard]] Fields ToFields(const TranscodeRequest& request);
[[nodiscard]] std::optional<TranscodeRequest> TranscodeRequestOf(const Fields& fields);

struct LoudnessRequest {
  std::string path;
};
[[nodiscard]] Fields ToFields(const LoudnessRequest& request);
[[nodiscard]] std::optional<LoudnessRequest> LoudnessRequestOf(const Fields& fields);

struct CoverCopyRequest {
  std::string source;
  std::string output;
  int maxSide = 0;
  int gainSteps = 0;
};
[[nodiscard]] Fields ToFields(const CoverCopyRequest& request);
[[nodiscard]] std::optional<CoverCopyRequest> CoverCopyRequestOf(const Fields& fields);

struct ChapterSplitRequest {
  std::string source;
  std::string outputFolder;
};
[[nodiscard]] Fields ToFields(const ChapterSplitRequest& request);
[[nodiscard]] std::optional<ChapterSplitRequest> ChapterSplitRequestOf(const Fields& fields);

// The answers.
[[nodiscard]] Fields ToFields(const ChapterSplitResult& result);
[[nodiscard]] std::optional<ChapterSplitResult> ChapterSplitResultOf(const Fields& fields);
[[nodiscard]] Fields ToFields(const TranscodeResult& result);
[[nodiscard]] std::optional<TranscodeResult> TranscodeResultOf(const Fields& fields);

[[nodiscard]] Fields ToFields(const CoverCopyResult& result);
[[nodiscard]] std::optional<CoverCopyResult> CoverCopyResultOf(const Fields& fields);

struct LoudnessAnswer {
  std::optional<Loudness> loudness;
  std::string reason;  // where there is none
};
[[nodiscard]] Fields ToFields(const LoudnessAnswer& answer);
[[nodiscard]] std::optional<LoudnessAnswer> LoudnessAnswerOf(const Fields& fields);

}  // namespace sorvina::media::codec_messages
