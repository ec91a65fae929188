// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "media/loudness.h"

namespace sorvina::media::codecs {

// media::MeasureLoudness as the helper program runs it, in this process: the same
// contract.
[[nodiscard]] std::optional<Loudness> MeasureLoudness(const std::string& path, std::string* reason,
                                                      const std::atomic<bool>* cancel);

// The true peak of interleaved samples as EBU R128 measures it (libebur128, oversampled),
// over all that has been added.
class TruePeakMeter {
 public:
  // Check valid(): without memory there is no meter.
  TruePeakMeter(int channels, int sampleRate);
  ~TruePeakMeter();
  TruePeakMeter(const TruePeakMeter&) = delete;
  TruePeakMeter& operator=(const TruePeakMeter&) = delete;

  bool valid() const { return state_ != nullptr; }
  // False where the meter runs out of memory.
  [[nodiscard]] bool Add(std::span<const float> interleaved);
  // In dBTP; minus infinity for silence.
  double PeakDb() const;

 private:
  struct State;  // libebur128's meter
  std::unique_ptr<State> state_;
  int channels_;
};

}  // namespace sorvina::media::codecs
