// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codecs/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/codecs/audio_decoder.h"

namespace sorvina::media::codecs {
namespace {

struct MeterFree {
  void operator()(ebur128_state* meter) const { ebur128_destroy(&meter); }
};
using MeterPtr = std::unique_ptr<ebur128_state, MeterFree>;

std::optional<Loudness> Refuse(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
  return std::nullopt;
}

// The highest true peak of all channels, in dBTP.
double TruePeakDb(ebur128_state* meter, int channels) {
  double peak = 0;
  for (int channel = 0; channel < channels; ++channel) {
    double channelPeak = 0;
    if (ebur128_true_peak(meter, static_cast<unsigned>(channel), &channelPeak) == EBUR128_SUCCESS)
      peak = std::max(peak, channelPeak);
  }
  return peak > 0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}

}  // namespace

std::optional<Loudness> MeasureLoudness(const std::string& path, std::string* reason,
                                        const std::atomic<bool>* cancel) {
  AudioDecoder decoder;
  if (decoder.Open(path) != DecodeStatus::kOk) return Refuse(reason, decoder.reason());
  // A player has two speakers: more channels are measured as the downmix it plays.
  const int sourceChannels = decoder.info().channels;
  if (decoder.SetOutput({0, sourceChannels > 2 ? 2 : 0}) != DecodeStatus::kOk)
    return Refuse(reason, decoder.reason());
  const SampleLayout layout = decoder.outputLayout();
  if (layout.channels <= 0 || layout.sampleRate <= 0)
    return Refuse(reason, "the audio states no sample rate or channel count");

  MeterPtr meter(ebur128_init(static_cast<unsigned>(layout.channels),
                              static_cast<unsigned long>(layout.sampleRate),
                              EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
  if (!meter) return Refuse(reason, "not enough memory to measure the loudness");
  // One channel sounds from both speakers, 3 dB louder than from one.
  if (layout.channels == 1 && ebur128_set_channel(meter.get(), 0, EBUR128_DUAL_MONO) != 0)
    return Refuse(reason, "cannot set up the loudness measurement");

  std::vector<float> samples;
  for (;;) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
      return Refuse(reason, "cancelled");
    const DecodeStatus status = decoder.Read(samples);
    if (status == DecodeStatus::kEnd) break;
    if (status != DecodeStatus::kOk) return Refuse(reason, decoder.reason());
    const std::size_t frames = samples.size() / static_cast<std::size_t>(layout.channels);
    if (ebur128_add_frames_float(meter.get(), samples.data(), frames) != EBUR128_SUCCESS)
      return Refuse(reason, "not enough memory to measure the loudness");
  }

  double integrated = 0;
  if (ebur128_loudness_global(meter.get(), &integrated) != EBUR128_SUCCESS ||
      !std::isfinite(integrated)) {
    return Refuse(reason, "the song is silent: it has no loudness to match");
  }
  return Loudness{integrated, TruePeakDb(meter.get(), layout.channels)};
}

struct TruePeakMeter::State {
  MeterPtr meter;
};

TruePeakMeter::TruePeakMeter(int channels, int sampleRate) : channels_(channels) {
  if (channels <= 0 || sampleRate <= 0) return;
  MeterPtr meter(ebur128_init(static_cast<unsigned>(channels),
                              static_cast<unsigned long>(sampleRate), EBUR128_MODE_TRUE_PEAK));
  if (meter) state_ = std::make_unique<State>(State{std::move(meter)});
}

TruePeakMeter::~TruePeakMeter() = default;

bool TruePeakMeter::Add(std::span<const float> interleaved) {
  const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels_);
  return ebur128_add_frames_float(state_->meter.get(), interleaved.data(), frames) ==
         EBUR128_SUCCESS;
}

double TruePeakMeter::PeakDb() const {
  return TruePeakDb(state_->meter.get(), channels_);
}

}  // namespace sorvina::media::codecs
