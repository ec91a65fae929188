// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace sorvina::fuzz {
namespace {

std::string MakeProcessFolder() {
  std::string base;
  if (const char* chosen = std::getenv("SORVINA_FUZZ_TMPDIR")) {
    base = chosen;
  } else if (access("/dev/shm", W_OK) == 0) {
    base = "/dev/shm";
  } else if (const char* tmp = std::getenv("TMPDIR")) {
    base = tmp;
  } else {
    base = "/tmp";
  }
  std::string pattern = base + "/sorvina-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("sorvina fuzz: cannot make a temporary folder");
    std::abort();
  }
  return pattern;
}

void RemoveProcessFolder() {
  std::error_code error;
  std::filesystem::remove_all(ProcessFolder(), error);
}

}  // namespace

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
  std::abort();
}

const std::string& ProcessFolder() {
  // Never destroyed, so that the exit handler that removes the folder still has its name.
  static const std::string* const folder = [] {
    auto* made = new std::string(MakeProcessFolder());
    std::atexit(RemoveProcessFolder);
    return made;
  }();
  return *folder;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    FUZZ_CHECK(written > 0);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  FUZZ_CHECK(close(fd) == 0);
}

std::string WriteSongFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  constexpr std::size_t kEndings = std::size(kSongEndings);
  const std::string path = ProcessFolder() + "/input" + kSongEndings[data[0] % kEndings];
  WriteWholeFile(path, AsText(data + 1, size - 1));
  return path;
}

bool IsOneLine(std::string_view caption) {
  for (char c : caption) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

}  // namespace sorvina::fuzz
