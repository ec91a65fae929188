// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes to AudioDecoder from memory, as a song to convert is decoded: the containers
// and codecs of every music type, at the source's own layout or resampled and remixed to
// stereo at 44.1 kHz (by the input's length, so that both ways are fuzzed).
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "media/codecs/audio_decoder.h"

namespace {

using sorvina::media::codecs::AudioDecoder;
using sorvina::media::codecs::DecodeStatus;

// Enough decoded stretches to pass the headers and the first frames of every codec; the
// rest of a long input would only cost time.
constexpr int kMostReads = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AudioDecoder decoder;
  const DecodeStatus opened = decoder.OpenBytes(std::span(data, size));
  if (opened != DecodeStatus::kOk) {
    FUZZ_CHECK(!decoder.reason().empty());
    return 0;
  }
  const sorvina::media::codecs::AudioStreamInfo& info = decoder.info();
  FUZZ_CHECK(info.sampleRate > 0 && info.channels > 0);
  FUZZ_CHECK(info.bitrateKbps >= 0 && info.seconds >= 0 && std::isfinite(info.seconds));
  FUZZ_CHECK(!info.codec.empty());

  if (size % 2 == 1) FUZZ_CHECK(decoder.SetOutput({44100, 2}) == DecodeStatus::kOk);
  const sorvina::media::codecs::SampleLayout layout = decoder.outputLayout();
  FUZZ_CHECK(layout.sampleRate > 0 && layout.channels > 0);

  std::vector<float> samples;
  for (int read = 0; read < kMostReads; ++read) {
    const DecodeStatus status = decoder.Read(samples);
    if (status == DecodeStatus::kOk) {
      FUZZ_CHECK(!samples.empty());
      FUZZ_CHECK(samples.size() % static_cast<std::size_t>(layout.channels) == 0);
      continue;
    }
    FUZZ_CHECK(samples.empty());
    FUZZ_CHECK((status == DecodeStatus::kEnd) == decoder.reason().empty());
    // The end, or a failure, is final.
    FUZZ_CHECK(decoder.Read(samples) == status && samples.empty());
    break;
  }
  return 0;
}
