// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/loudness.h"

// Converting songs for a player and measuring their loudness: all that needs FFmpeg and
// libebur128. The work is done by a helper program (sorvina-codecs), so that the programs
// themselves start without those libraries, and a decoder that fails on a hostile file
// ends the helper, not the run: that song fails, with a reason, and the next one starts a
// new helper. Each thread that asks has a helper of its own, started at its first request
// and ended with the thread, so conversions on several threads run side by side.
//
// A library loaded on first use (dlopen) would spare the start as well, and cancel,
// progress and the reasons would stay as they were; but a crash in it would end the whole
// fill, and one in a decoder is what hostile files bring. The helper costs a process
// start per encoding thread and a few messages per song, next to seconds of encoding;
// cancel kills it and removes what it was writing.
namespace sorvina::media {

// What a file is converted into for a player that cannot play it.
enum class TargetCodec { kMp3, kAac, kOpus };

// How a file is converted.
struct ConversionParams {
  TargetCodec codec = TargetCodec::kMp3;
  // A constant bitrate. None: MP3 at variable bitrate (LAME quality 2), AAC at 192 kbit/s,
  // Opus at 160 kbit/s (constrained variable bitrate).
  std::optional<int> bitrateKbps{};
  // The most a player plays: a bitrate above it is lowered to it; variable-bitrate MP3
  // uses LAME quality 4 when it is under 256.
  std::optional<int> maxBitrateKbps{};
  // The sample rates the player plays; empty: any. The source's rate is kept when it is
  // among them and the encoder takes it; else the nearest of them that the encoder takes.
  // Opus is always encoded at 48 kHz.
  std::vector<int> sampleRates{};
  // Applied to the samples before encoding; lowered where the louder sound would peak
  // above the ceiling, so that nothing clips.
  double gainDb = 0.0;
  double truePeakCeilingDb = -1.0;  // dBTP; only where gainDb is not 0
  bool id3v23 = false;              // MP3: ID3v2.3 tags instead of ID3v2.4
  // Cover art larger than this square is scaled down to fit, keeping its aspect, and
  // stored as JPEG; 0 drops pictures; none copies them as they are.
  std::optional<int> maxPictureSide{};

  // Every field as canonical text, for a cache key: equal for equal conversions (the
  // order of the sample rates does not count), different as soon as one field differs,
  // and different again when a new version of this program converts otherwise.
  std::string Key() const;
};

// The file name ending of the output: ".mp3", ".m4a" or ".opus".
std::string_view TargetExtension(TargetCodec codec);

// A source whose sound ends a second or more before the length its headers state: a file
// cut short, or damaged from some point on.
struct EarlyEnd {
  double decodedSeconds = 0;  // the sound it holds
  double statedSeconds = 0;   // the length its headers state
};

struct TranscodeResult {
  bool ok = false;
  std::string reason;      // why it failed, in short English; empty on success
  std::int64_t bytes = 0;  // the output's size
  // The true peak of the sound handed to the encoder, in dBTP, as EBU R128 measures it
  // (oversampled): after the gain, before the encoder's own changes; minus infinity for
  // silence.
  double peakDb = 0;
  // Why it failed where the source ends early: it is not converted, as a player would
  // play only its start.
  std::optional<EarlyEnd> earlyEnd{};
};

// Decodes `source` (any music type that FFmpeg reads), applies the gain, resamples and
// encodes it into `output`, carrying its tags (artist, title, album, album artist, track
// and disc numbers, date, genre, composer, comment, ReplayGain) and its front cover. The
// ReplayGain values are corrected by the gain applied, so that a player that applies them
// still plays at the level they ask for. `output` is created or replaced; the caller
// names a temporary file and renames it when this succeeds. The source is only read.
// Nothing is written before the whole file has been put together in memory; on any
// failure, or when `*cancel` becomes true (the helper is then stopped at once), `output`
// is removed and ok is false. A source that ends early (EarlyEnd) is such a failure, and
// so is a helper that cannot be started or that ends part-way.
TranscodeResult Transcode(const std::string& source, const std::string& output,
                          const ConversionParams& params, const std::atomic<bool>* cancel);

// The bitrate the encoder aims at, in kbit/s; none for variable-bitrate MP3, which aims at
// a quality.
std::optional<int> AimedKbps(const ConversionParams& params);

// A size the output of `seconds` of sound will not exceed, for planning what fits: the
// bitrate (320 kbit/s for variable-bitrate MP3) over the time, with room for the
// container, the tags and a cover (a large one where pictures are copied as they are).
std::int64_t EstimatedBytes(double seconds, const ConversionParams& params);

// What a copy of an MP3 with its covers fitted to a player gave.
struct CoverCopyResult {
  bool ok = false;
  bool coverFailed = false;  // the covers could not be fitted (else the gain, or the file)
  std::string reason;        // why it failed, in short English
};

// Writes into `output` a copy of the MP3 `source` whose leading ID3v2 tag has its pictures
// fitted to a player that shows at most `maxSide` pixels a side (FitMp3Pictures: larger
// ones scaled down and stored as JPEG, every one left out for 0), made `gainSteps` of
// 1.5 dB louder or softer as ApplyMp3Gain does; the audio frames are the source's, byte
// for byte, but for those global gains. The pictures are decoded by the helper. `output`
// is created or replaced, and removed on any failure, as in Transcode.
CoverCopyResult CopyWithFittedCovers(const std::string& source, const std::string& output,
                                     int maxSide, int gainSteps, const std::atomic<bool>* cancel);

// One chapter of a long file: where it starts and ends in the file (seconds) and its
// title (empty where it has none).
struct ChapterMark {
  double start = 0;
  double end = 0;
  std::string title;
};

// A file with more chapter marks than this is no book of chapters to split.
inline constexpr std::size_t kMostChapters = 2000;

struct ChapterSplitResult {
  bool ok = false;
  std::string reason;  // why not, in short English
  std::vector<ChapterMark> chapters;
};

// The file name of chapter `number` (from 1) of `source` once split: "007.m4a" for an
// MP4 file (.m4a, .m4b), "007.mp3" for an MP3; empty for a file of another kind.
std::string ChapterFileName(const std::string& source, std::size_t number);

// Reads the chapter marks of `source` (an MP4 audiobook, or an MP3 or M4A with chapter
// marks) and, where `outputFolder` is not empty, writes the sound of each chapter there,
// as it is (not encoded again), under ChapterFileName. A table of more than kMostChapters
// marks, or whose marks are negative, empty, or overlap, is refused with the reason; a
// file with fewer than two chapters has none to split. Every file written is removed on
// failure or when `*cancel` becomes true. The helper program does the reading.
ChapterSplitResult SplitAtChapters(const std::string& source, const std::string& outputFolder,
                                   const std::atomic<bool>* cancel);

// Decodes the file at `path` and measures its integrated loudness and true peak as EBU
// R128 defines them. A mono file is measured as played on both speakers of a stereo
// player, and one of more than two channels as the stereo downmix such a player gets.
// Nothing for a file that cannot be decoded or holds only silence, or when `*cancel`
// becomes true, with the reason in `reason` (when given). The file is only read.
[[nodiscard]] std::optional<Loudness> MeasureLoudness(const std::string& path,
                                                      std::string* reason = nullptr,
                                                      const std::atomic<bool>* cancel = nullptr);

}  // namespace sorvina::media
