#include "media/track_probe.h"

#include "media/caption.h"
#include "media/file_types.h"
#include "media/tagged_audio.h"

namespace sorvina::media {
namespace {

bool IsMpeg(const TypedName& name) {
  return name.type == nullptr || name.type->format == AudioFormat::kMpeg;
}

}  // namespace

TrackSummary TrackProbe::Probe(const std::string& path) {
  const TypedName name = TypeOfName(path);
  if (IsMpeg(name)) {
    // The duration is taken whatever the status: a failed analysis gives 0 seconds.
    info_.Open(path, 0);
    return TrackSummary{info_.GetLengthSeconds(), ReadCaption(path)};
  }
  TaggedAudio audio = ReadTaggedAudio(path, name.type->format);
  if (audio.caption.empty())
    audio.caption = FileNameCaption(path, platform::NativePathStyle(), name.endingLength);
  return TrackSummary{audio.seconds, std::move(audio.caption)};
}

std::int64_t TrackProbe::Seconds(const std::string& path, std::int64_t knownSize) {
  const TypedName name = TypeOfName(path);
  if (!IsMpeg(name)) return ReadTaggedAudio(path, name.type->format).seconds;
  info_.Open(path, knownSize);
  return info_.GetLengthSeconds();
}

}  // namespace sorvina::media
