// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/track_probe.h"

#include <optional>

#include "media/caption.h"
#include "media/file_types.h"
#include "media/tags/tagged_audio.h"

namespace sorvina::media {
namespace {

bool IsMpeg(const TypedName& name) {
  return name.type == nullptr || name.type->format == AudioFormat::kMpeg;
}

}  // namespace

TrackSummary TrackProbe::Probe(const std::string& path) {
  // One opening serves the time and the caption.
  const TypedName name = TypeOfName(path);
  platform::ReadOnlyFile::OpenError error{};
  const std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::Open(path, &error);
  TrackSummary summary;
  if (IsMpeg(name)) {
    // The time is taken whatever the status: a failed analysis gives 0 seconds.
    if (file) {
      info_.Open(*file, 0);
      summary.seconds = info_.GetLengthSeconds();
      summary.caption = ReadTaggedAudio(*file, AudioFormat::kMpeg).caption;
    }
  } else if (file) {
    TaggedAudio audio = ReadTaggedAudio(*file, name.type->format);
    summary = TrackSummary{audio.seconds, std::move(audio.caption)};
  }
  if (summary.caption.empty()) {
    summary.caption =
        FileNameCaption(path, text::NativePathStyle(), IsMpeg(name) ? 4 : name.endingLength);
  }
  return summary;
}

std::int64_t TrackProbe::Seconds(const std::string& path, std::int64_t knownSize) {
  const TypedName name = TypeOfName(path);
  if (!IsMpeg(name)) return ReadTaggedAudio(path, name.type->format).seconds;
  info_.Open(path, knownSize);
  return info_.GetLengthSeconds();
}

}  // namespace sorvina::media
