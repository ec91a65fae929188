#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace sorvina::fuzz
