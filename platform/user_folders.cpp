// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace sorvina::platform {
namespace {

constexpr char kProgramFolder[] = "/sorvina";

// $HOME, or the home folder the user database gives when that is unset or not absolute.
std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

// `path` without its trailing separators; the root becomes empty, so that names can be
// appended after a separator of their own.
std::string WithoutTrailingSeparators(std::string path) {
  while (!path.empty() && path.back() == '/')
    path.pop_back();
  return path;
}

// The program's folder below `variable`'s folder, or below `fallback` in the home folder.
std::string ProgramFolder(const char* variable, std::string_view fallback) {
  const char* base = std::getenv(variable);
  if (base != nullptr && base[0] == '/') return WithoutTrailingSeparators(base) + kProgramFolder;
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return WithoutTrailingSeparators(home) + std::string(fallback) + kProgramFolder;
}

}  // namespace

std::string ConfigFolder() {
  return ProgramFolder("XDG_CONFIG_HOME", "/.config");
}

std::string StateFolder() {
  return ProgramFolder("XDG_STATE_HOME", "/.local/state");
}

std::string CacheFolder() {
  return ProgramFolder("XDG_CACHE_HOME", "/.cache");
}

}  // namespace sorvina::platform
