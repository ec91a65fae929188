// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/convert/song_identity.h"

#include <sys/stat.h>

#include "platform/file_system.h"

namespace sorvina::engine {

std::optional<std::string> SongIdentity(const std::string& path) {
  struct stat status {};
  if (platform::HasNulByte(path) || stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    return std::nullopt;
  return path + '\0' + std::to_string(status.st_size) + '\0' +
         std::to_string(status.st_mtim.tv_sec) + '.' + std::to_string(status.st_mtim.tv_nsec);
}

}  // namespace sorvina::engine
