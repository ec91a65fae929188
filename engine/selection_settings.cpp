#include "engine/selection_settings.h"

#include "platform/path_style.h"

namespace sorvina::engine {

bool IsPlaylistSource(std::string_view source) {
  return platform::EndsWithNoCase(source, ".m3u") || platform::EndsWithNoCase(source, ".m3u8");
}

}  // namespace sorvina::engine
