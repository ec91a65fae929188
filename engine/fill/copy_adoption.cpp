// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/copy_adoption.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "platform/file_system.h"
#include "platform/unique_fd.h"
#include "text/path_style.h"
#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

using platform::UniqueFd;

// Reads up to `size` bytes at the descriptor's position; how many were read, -1 on error.
ssize_t ReadFully(int fd, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = read(fd, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

bool SameBytes(int a, int b) {
  constexpr std::size_t kChunk = 1 << 20;
  std::vector<char> left(kChunk);
  std::vector<char> right(kChunk);
  for (;;) {
    const ssize_t got = ReadFully(a, left.data(), kChunk);
    if (got < 0 || ReadFully(b, right.data(), kChunk) != got) return false;
    if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(got)) != 0) return false;
    if (got == 0) return true;
  }
}

std::string NameKey(std::string_view name, bool fat) {
  return fat ? transfer::FatNameKey(transfer::FatSafeName(name)) : std::string(name);
}

}  // namespace

bool HaveSameContent(const platform::ContainedFolder& folder, std::string_view relative,
                     const std::string& path) {
  const UniqueFd copy = folder.OpenFile(relative);
  const UniqueFd original(platform::OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat copyStatus {};
  struct stat originalStatus {};
  if (!copy || !original || fstat(copy.get(), &copyStatus) != 0 ||
      fstat(original.get(), &originalStatus) != 0 || !S_ISREG(originalStatus.st_mode) ||
      copyStatus.st_size != originalStatus.st_size)
    return false;
  fcntl(original.get(), F_SETFL, fcntl(original.get(), F_GETFL) & ~O_NONBLOCK);
  return SameBytes(copy.get(), original.get());
}

// Whether a file on a player is one its user put there: not hidden, and not in a folder
// that the system or the player keeps for itself (the player's marker, a trash, an index).
static bool IsUsersFile(std::string_view relative) {
  for (std::size_t start = 0; start <= relative.size();) {
    const std::size_t end = std::min(relative.find('/', start), relative.size());
    const std::string_view part = relative.substr(start, end - start);
    if (part.starts_with('.') || part == "System Volume Information" || part == "lost+found" ||
        part == "$RECYCLE.BIN")
      return false;
    start = end + 1;
  }
  return true;
}

std::vector<RecordedFile> FindCopiesOf(const platform::ContainedFolder& destination,
                                       const CandidatePool& pool, bool fat,
                                       const std::string& skipped, std::size_t* filesSeen) {
  std::unordered_multimap<std::string, std::string_view> byName;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const std::string_view path = pool[i].path;
    byName.emplace(NameKey(path.substr(path.rfind('/') + 1), fat), path);
  }
  std::vector<RecordedFile> copies;
  std::unordered_set<std::string_view> adopted;
  std::size_t seen = 0;
  destination.VisitFiles(
      {skipped}, [&](const std::string& relative, const platform::EntryStatus& status) {
        if (IsUsersFile(relative)) ++seen;
        const auto [first, last] = byName.equal_range(NameKey(text::SplitPath(relative).name, fat));
        for (auto match = first; match != last; ++match) {
          const std::string source(match->second);
          const std::optional<platform::FileStatus> sourceStatus = platform::GetFileStatus(source);
          if (adopted.contains(match->second) || !sourceStatus ||
              static_cast<std::int64_t>(sourceStatus->sizeBytes) != status.sizeBytes ||
              !HaveSameContent(destination, relative, source))
            continue;
          adopted.insert(match->second);
          copies.push_back({relative, status.sizeBytes, status.modified, source});
          break;
        }
      });
  if (filesSeen != nullptr) *filesSeen = seen - copies.size();
  return copies;
}

}  // namespace sorvina::engine
