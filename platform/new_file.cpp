// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/new_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace sorvina::platform {
namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr int kAttempts = 100;

std::uint64_t RandomNumber() {
  std::uint64_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == sizeof value) return value;
  // Without the kernel's generator: the name need only be unlikely to be in use, since
  // the file is created exclusively and another name is tried when it is.
  static std::uint64_t counter = 0;
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return (now * 0x9E3779B97F4A7C15ull) ^ (static_cast<std::uint64_t>(getpid()) << 32) ^ ++counter;
}

constexpr std::size_t kRandomDigits = 16;

// How much of `name` a hidden name with a tail of `tailBytes` keeps, so that the whole
// stays within the longest name.
std::string_view KeptPartOf(std::string_view name, std::size_t tailBytes) {
  const std::size_t room = kMaxNameBytes - 1 - std::min(tailBytes, kMaxNameBytes - 1);
  std::size_t keep = std::min(name.size(), room);
  // Never split a UTF-8 sequence: some file systems refuse names that are not valid text.
  while (keep < name.size() && keep > 0 &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  return name.substr(0, keep);
}

std::string HiddenName(std::string_view name, std::string_view suffix) {
  char random[24];
  std::snprintf(random, sizeof random, ".%016llx", static_cast<unsigned long long>(RandomNumber()));
  const std::string tail = std::string(random) + std::string(suffix);
  std::string hidden(1, '.');
  hidden.append(KeptPartOf(name, tail.size())).append(tail);
  return hidden;
}

}  // namespace

std::string HiddenSiblingPath(const std::string& target, std::string_view suffix) {
  const std::size_t slash = target.rfind('/');
  const std::string_view folder =
      std::string_view(target).substr(0, slash == std::string::npos ? 0 : slash + 1);
  const std::string_view name = std::string_view(target).substr(folder.size());
  std::string path(folder);
  path.append(HiddenName(name, suffix));
  return path;
}

int CreateHiddenSibling(const std::string& target, std::string_view suffix, unsigned mode,
                        std::string& path) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    path = HiddenSiblingPath(target, suffix);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool IsHiddenSiblingName(std::string_view entry, std::string_view suffix) {
  const std::size_t tail = 1 + kRandomDigits + suffix.size();
  if (entry.size() < 2 + tail || entry[0] != '.' || !entry.ends_with(suffix) ||
      entry[entry.size() - tail] != '.')
    return false;
  const std::string_view digits = entry.substr(entry.size() - tail + 1, kRandomDigits);
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool IsHiddenSiblingName(std::string_view entry, std::string_view name, std::string_view suffix) {
  const std::string_view kept = KeptPartOf(name, 1 + kRandomDigits + suffix.size());
  return entry.size() == 1 + kept.size() + 1 + kRandomDigits + suffix.size() &&
         entry.substr(1, kept.size()) == kept && IsHiddenSiblingName(entry, suffix);
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;  // no progress and no error: never spin on it
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

int WriteAllAt(int fd, std::string_view bytes, std::size_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::size_t>(written);
  }
  return 0;
}

ScopedFileSizeSignalIgnored::ScopedFileSizeSignalIgnored() {
  struct sigaction current {};
  if (sigaction(SIGXFSZ, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  restore_ = sigaction(SIGXFSZ, &ignore, &previous_) == 0;
}

ScopedFileSizeSignalIgnored::~ScopedFileSizeSignalIgnored() {
  if (restore_) sigaction(SIGXFSZ, &previous_, nullptr);
}

}  // namespace sorvina::platform
