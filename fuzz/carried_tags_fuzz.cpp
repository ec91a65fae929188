// SPDX-License-Identifier: GPL-3.0-or-later
// The tags a conversion carries, read from any bytes as a file of the type that the
// input's first byte picks (through the one opening of the tag readers), corrected by a
// gain, and written into a small MP3 as a conversion writes them.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "media/tags/carried_tags.h"
#include "media/tags/tag_number.h"

namespace {

using sorvina::media::CarriedTags;
using sorvina::media::TagProperties;

constexpr double kAppliedDb = 3.0;

bool IsCarried(std::string_view name) {
  for (const std::string_view carried : sorvina::media::CarriedTagNames()) {
    if (name == carried) return true;
  }
  return false;
}

// The first value of `name` as a number, as the correction reads it.
std::optional<double> NumberOf(const TagProperties& properties, const std::string& name,
                               std::string_view unit) {
  const auto found = properties.find(name);
  if (found == properties.end() || found->second.empty()) return std::nullopt;
  return sorvina::media::TagNumber(found->second.front(), unit);
}

// A corrected value is there exactly where the source's could be read (unless it became
// too large to write as a plain number), as one value that reads back as the source's
// moved by the gain, to the decimals written.
void CheckCorrected(const TagProperties& source, const TagProperties& corrected,
                    const std::string& name, bool gain) {
  const std::string_view unit = gain ? "dB" : "";
  const std::optional<double> before = NumberOf(source, name, unit);
  const auto found = corrected.find(name);
  if (!before) {
    FUZZ_CHECK(found == corrected.end());
    return;
  }
  const double expected = gain ? *before - kAppliedDb : *before * std::pow(10.0, kAppliedDb / 20);
  if (found == corrected.end()) {
    FUZZ_CHECK(!(std::fabs(expected) < 1e40));
    return;
  }
  FUZZ_CHECK(found->second.size() == 1);
  const std::optional<double> after = sorvina::media::TagNumber(found->second.front(), unit);
  FUZZ_CHECK(after.has_value());
  const double decimals = gain ? 0.005 : 0.0000005;
  FUZZ_CHECK(std::fabs(*after - expected) <= decimals * (1 + 1e-9) + std::fabs(expected) * 1e-15);
}

// Five silent MPEG-1 Layer III frames at 128 kbit/s and 44.1 kHz: what the encoder
// hands over before the tags are written.
std::string SmallMp3() {
  std::string frames;
  for (int i = 0; i < 5; ++i) {
    frames += std::string("\xFF\xFB\x90\x00", 4);
    frames += std::string(413, '\0');
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string path = sorvina::fuzz::WriteSongFile(data, size);
  CarriedTags tags = sorvina::media::ReadCarriedTags(path);
  for (const auto& [name, values] : tags.properties) {
    FUZZ_CHECK(IsCarried(name));
    for (const std::string& value : values)
      FUZZ_CHECK(sorvina::fuzz::IsUtf8(value));
  }
  FUZZ_CHECK(!tags.cover || !tags.cover->data.empty());

  const TagProperties source = tags.properties;
  sorvina::media::CorrectReplayGain(tags.properties, kAppliedDb);
  CheckCorrected(source, tags.properties, "REPLAYGAIN_TRACK_GAIN", true);
  CheckCorrected(source, tags.properties, "REPLAYGAIN_ALBUM_GAIN", true);
  CheckCorrected(source, tags.properties, "REPLAYGAIN_TRACK_PEAK", false);
  CheckCorrected(source, tags.properties, "REPLAYGAIN_ALBUM_PEAK", false);

  // Written into an MP3, the corrected gains read back as they were written.
  std::string output = SmallMp3();
  FUZZ_CHECK(
      sorvina::media::WriteCarriedTags(output, sorvina::media::AudioFormat::kMpeg, false, tags));
  static const std::string written = sorvina::fuzz::ProcessFolder() + "/written.mp3";
  sorvina::fuzz::WriteWholeFile(written, output);
  const CarriedTags reread = sorvina::media::ReadCarriedTags(written);
  for (const char* name : {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_ALBUM_GAIN",
                           "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_PEAK"}) {
    const auto before = tags.properties.find(name);
    const auto after = reread.properties.find(name);
    FUZZ_CHECK((before == tags.properties.end()) == (after == reread.properties.end()));
    if (before != tags.properties.end()) FUZZ_CHECK(before->second == after->second);
  }
  return 0;
}
