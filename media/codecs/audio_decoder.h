// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sorvina::media::codecs {

// How a decoder call ended. Anything but kOk and kEnd leaves the decoder unusable, with
// a short English reason for the user.
enum class DecodeStatus {
  kOk,
  kEnd,          // every sample has been handed out
  kNotReadable,  // the file cannot be opened, or reading it failed
  kNotAudio,     // no known container, or no audio in it
  kUnsupported,  // no decoder for the codec, or a sample layout that cannot be made
  kDamaged,      // the audio cannot be decoded
  kNoMemory,
};

// What the source states about its audio stream.
struct AudioStreamInfo {
  int sampleRate = 0;
  int channels = 0;
  std::string codec;    // FFmpeg's short name: "mp3", "flac", "aac", "alac", "opus", ...
  int bitrateKbps = 0;  // the stream's (else the file's) average; 0 when unknown
  double seconds = 0;   // from the container; 0 when unknown
  // `seconds` is what the stream's header or the container's index states, not an
  // estimate from the bitrate and the file's size.
  bool secondsStated = false;
};

// A sample rate and a channel count; 0 in either keeps the source's own.
struct SampleLayout {
  int sampleRate = 0;
  int channels = 0;
};

// Decodes the best audio stream of a file (or of bytes in memory) with FFmpeg into
// interleaved float samples, resampled and remixed to the layout asked for. The file is
// only ever read. Hostile input gives an error status, never a crash; every FFmpeg
// object is freed however the decoder ends.
class AudioDecoder {
 public:
  AudioDecoder();
  ~AudioDecoder();
  AudioDecoder(AudioDecoder&&) noexcept;
  AudioDecoder& operator=(AudioDecoder&&) noexcept;
  AudioDecoder(const AudioDecoder&) = delete;
  AudioDecoder& operator=(const AudioDecoder&) = delete;

  // Opens the file at `path` and finds its audio; only the containers of the music types
  // this program chooses are recognised, and the container may open nothing else.
  [[nodiscard]] DecodeStatus Open(const std::string& path);
  // The same over bytes in memory, which must outlive the decoder.
  [[nodiscard]] DecodeStatus OpenBytes(std::span<const unsigned char> bytes);

  // The layout of the samples Read hands out; only before the first Read. More channels
  // than a source has are filled by FFmpeg's standard upmix, fewer by its downmix (kept
  // from clipping). kUnsupported for a rate or a count out of range.
  [[nodiscard]] DecodeStatus SetOutput(SampleLayout layout);

  // Replaces `samples` with the next decoded stretch (a whole number of sample frames of
  // outputLayout().channels each, never empty with kOk); kEnd once all are out. A file cut
  // short, or damaged from some point on, ends there, as a player plays it; a damaged
  // packet here and there is skipped. A failure is final: every later call returns it.
  [[nodiscard]] DecodeStatus Read(std::vector<float>& samples);

  // Valid after a successful Open.
  const AudioStreamInfo& info() const;
  // The sound Read has decoded so far, in seconds at the source's own rate: after kEnd,
  // what the file holds, which falls short of info().seconds where it is cut short.
  double decodedSeconds() const;
  SampleLayout outputLayout() const;
  // Why the last call failed; empty after a success.
  const std::string& reason() const;

  struct State;  // FFmpeg's objects and the decoding's progress; in the source file

 private:
  std::unique_ptr<State> state_;
};

}  // namespace sorvina::media::codecs
