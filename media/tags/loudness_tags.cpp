// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/loudness_tags.h"

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <cmath>
#include <limits>
#include <string>

#include "media/tags/tag_input.h"
#include "media/tags/tag_number.h"

namespace sorvina::media {
namespace {

// ReplayGain gains bring a song to -18 LUFS, R128 gains to -23 LUFS.
constexpr double kReplayGainReference = -18.0;
constexpr double kR128Reference = -23.0;

// What the gain tags say, each kept from the first tag that carries it as a number.
struct GainTags {
  std::optional<double> replayGainDb;
  std::optional<double> replayPeak;  // linear, 1.0 at full scale
  std::optional<int> r128GainQ78;

  void Take(const std::string& name, const TagLib::StringList& values) {
    if (values.isEmpty()) return;
    const std::string value = values.front().to8Bit(true);
    if (name == "REPLAYGAIN_TRACK_GAIN" && !replayGainDb) {
      replayGainDb = TagNumber(value, "dB");
    } else if (name == "REPLAYGAIN_TRACK_PEAK" && !replayPeak) {
      replayPeak = TagNumber(value);
    } else if (name == "R128_TRACK_GAIN" && !r128GainQ78) {
      r128GainQ78 = WholeTagNumber(value, -32768, 32767);
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

std::optional<Loudness> LoudnessFromTags(const std::string& path) {
  const TagInput input(path);
  if (!input) return std::nullopt;
  const TagLib::FileRef ref(&*input, false);
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

}  // namespace sorvina::media
