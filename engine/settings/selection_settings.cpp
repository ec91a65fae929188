// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/selection_settings.h"

#include "text/path_style.h"

namespace sorvina::engine {

bool IsPlaylistSource(std::string_view source) {
  return text::EndsWithNoCase(source, ".m3u") || text::EndsWithNoCase(source, ".m3u8");
}

}  // namespace sorvina::engine
