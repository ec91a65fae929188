// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/loudness.h"

#include <ebur128.h>
#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/audio_decoder.h"
#include "platform/read_only_file.h"

namespace sorvina::media {
namespace {

// ReplayGain gains bring a song to -18 LUFS, R128 gains to -23 LUFS.
constexpr double kReplayGainReference = -18.0;
constexpr double kR128Reference = -23.0;

struct MeterFree {
  void operator()(ebur128_state* meter) const { ebur128_destroy(&meter); }
};
using MeterPtr = std::unique_ptr<ebur128_state, MeterFree>;

std::optional<Loudness> Refuse(std::string* reason, std::string text) {
  if (reason != nullptr) *reason = std::move(text);
  return std::nullopt;
}

// The number at the start of a tag's text ("-6.00 dB", "+1.5", "0.988"), blanks and a plus
// sign before it skipped; a comma stands for the point, as some taggers write it.
std::optional<double> LeadingNumber(const TagLib::String& value) {
  std::string text = value.to8Bit(true);
  std::replace(text.begin(), text.end(), ',', '.');
  const char* first = text.data();
  const char* last = text.data() + text.size();
  while (first != last && (*first == ' ' || *first == '\t'))
    ++first;
  if (first != last && *first == '+') ++first;
  double number = 0;
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end == first || !std::isfinite(number)) return std::nullopt;
  return number;
}

// What the gain tags say, each kept from the first tag that carries it as a number.
struct GainTags {
  std::optional<double> replayGainDb;
  std::optional<double> replayPeak;  // linear, 1.0 at full scale
  std::optional<int> r128GainQ78;

  void Take(const std::string& name, const TagLib::StringList& values) {
    if (values.isEmpty()) return;
    const TagLib::String& value = values.front();
    if (name == "REPLAYGAIN_TRACK_GAIN" && !replayGainDb) {
      replayGainDb = LeadingNumber(value);
    } else if (name == "REPLAYGAIN_TRACK_PEAK" && !replayPeak) {
      replayPeak = LeadingNumber(value);
    } else if (name == "R128_TRACK_GAIN" && !r128GainQ78) {
      const std::string text = value.to8Bit(true);
      int gain = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), gain);
      if (error == std::errc() && end != text.data() && gain >= -32768 && gain <= 32767)
        r128GainQ78 = gain;
    }
  }
  // Property names come upper case from TagLib whatever the tag wrote.
  void TakeAll(const TagLib::PropertyMap& properties) {
    for (const auto& [name, values] : properties)
      Take(name.to8Bit(true), values);
  }
  // MP4 keeps these as freeform items, which TagLib does not turn into properties; their
  // names come in either case.
  void TakeFreeform(const TagLib::MP4::ItemMap& items) {
    static const std::string kPrefix = "----:COM.APPLE.ITUNES:";
    for (const auto& [key, item] : items) {
      const std::string name = key.upper().to8Bit(true);
      if (name.starts_with(kPrefix)) Take(name.substr(kPrefix.size()), item.toStringList());
    }
  }
};

GainTags ReadGainTags(TagLib::File& file) {
  GainTags tags;
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
    if (mp4->tag() != nullptr) tags.TakeFreeform(mp4->tag()->itemMap());
  } else if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
    // TagLib's joint view of an MP3's tags shows only the first one that holds anything,
    // while ReplayGain is often written to an APE tag beside an ID3v2 tag.
    if (mpeg->hasID3v2Tag()) tags.TakeAll(mpeg->ID3v2Tag()->properties());
    if (mpeg->hasAPETag()) tags.TakeAll(mpeg->APETag()->properties());
  } else {
    tags.TakeAll(file.properties());
  }
  return tags;
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

std::optional<Loudness> LoudnessFromTags(const std::string& path) {
  // Our own open refuses FIFOs and folders without blocking; TagLib reads through the
  // descriptor, which its stream owns once it has taken it.
  std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(path);
  if (!file) return std::nullopt;
  const int descriptor = file->Release();
  TagLib::FileStream stream(descriptor, true);
  if (!stream.isOpen()) {
    ::close(descriptor);
    return std::nullopt;
  }
  const TagLib::FileRef ref(&stream, false);
  if (ref.isNull()) return std::nullopt;
  const GainTags tags = ReadGainTags(*ref.file());

  double integrated = 0;
  if (tags.r128GainQ78) {
    integrated = kR128Reference - *tags.r128GainQ78 / 256.0;
  } else if (tags.replayGainDb) {
    integrated = kReplayGainReference - *tags.replayGainDb;
  } else {
    return std::nullopt;
  }
  // R128 tags state no peak; a ReplayGain peak of zero or less is no peak either.
  double peakDb = std::numeric_limits<double>::quiet_NaN();
  if (!tags.r128GainQ78 && tags.replayPeak && *tags.replayPeak > 0)
    peakDb = 20.0 * std::log10(*tags.replayPeak);
  return Loudness{integrated, peakDb};
}

double GainTo(const Loudness& loudness, double targetLufs, double truePeakCeilingDb) {
  const double gain = targetLufs - loudness.integratedLufs;
  if (std::isnan(loudness.truePeakDb)) return gain;
  return std::min(gain, truePeakCeilingDb - loudness.truePeakDb);
}

}  // namespace sorvina::media
