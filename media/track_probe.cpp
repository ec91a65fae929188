#include "media/track_probe.h"

#include "media/caption.h"

namespace sorvina::media {

TrackSummary TrackProbe::Probe(const std::string& path) {
  // The duration is taken whatever the status: a failed analysis gives 0 seconds.
  info_.Open(path, 0);
  return TrackSummary{info_.GetLengthSeconds(), ReadCaption(path)};
}

}  // namespace sorvina::media
