// SPDX-License-Identifier: GPL-3.0-or-later
// One format that TagLib reads for us, over any bytes: the playing time from the audio
// properties and the caption from the tags, as the probe reads a file of that type, from
// memory and from a file alike. The
// build makes one target of this source per format, naming it in SORVINA_FUZZ_FORMAT.
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "media/tags/tagged_audio.h"

namespace {

constexpr sorvina::media::AudioFormat kFormat = sorvina::media::AudioFormat::SORVINA_FUZZ_FORMAT;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const sorvina::media::TaggedAudio audio =
      sorvina::media::ReadTaggedAudio(std::span(data, size), kFormat);
  FUZZ_CHECK(audio.seconds >= 0);
  FUZZ_CHECK(sorvina::fuzz::IsOneLine(audio.caption));
  FUZZ_CHECK(sorvina::fuzz::IsUtf8(audio.caption));
  // The same bytes in a file, read through positioned reads and one buffer, read the same.
  static const std::string path = sorvina::fuzz::ProcessFolder() + "/input";
  sorvina::fuzz::WriteWholeFile(path, sorvina::fuzz::AsText(data, size));
  const sorvina::media::TaggedAudio fromFile = sorvina::media::ReadTaggedAudio(path, kFormat);
  FUZZ_CHECK(fromFile.seconds == audio.seconds && fromFile.caption == audio.caption);
  return 0;
}
