// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/audio_decoder.h"

namespace sorvina::media {
namespace {

struct MeterFree {
  void operator()(ebur128_state* meter) const { ebur128_destroy(&meter); }
};
using MeterPtr = std::unique_ptr<ebur128_state, MeterFree>;

std::optional<Loudness> Refuse(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
  return std::nullopt;
}

}  // namespace

std::optional<Loudness> MeasureLoudness(const std::string& path, std::string* reason) {
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
  double peak = 0;
  for (int channel = 0; channel < layout.channels; ++channel) {
    double channelPeak = 0;
    if (ebur128_true_peak(meter.get(), static_cast<unsigned>(channel), &channelPeak) ==
        EBUR128_SUCCESS)
      peak = std::max(peak, channelPeak);
  }
  return Loudness{integrated, 20.0 * std::log10(peak)};
}

}  // namespace sorvina::media
