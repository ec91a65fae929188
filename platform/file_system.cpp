#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace sorvina::platform {
namespace {

EntryKind KindOf(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return EntryKind::kFile;
  if (S_ISDIR(status.st_mode)) return EntryKind::kDirectory;
  return EntryKind::kOther;
}

DIR* AsDir(void* stream) {
  return static_cast<DIR*>(stream);
}

}  // namespace

std::optional<DirectoryListing> DirectoryListing::Open(const std::string& path) {
  if (path.empty() || HasNulByte(path)) return std::nullopt;
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status {};
  DIR* stream = fstat(fd, &status) == 0 ? fdopendir(fd) : nullptr;
  if (stream == nullptr) {
    close(fd);
    return std::nullopt;
  }
  return DirectoryListing(stream, FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                                               static_cast<std::uint64_t>(status.st_ino)});
}

DirectoryListing::DirectoryListing(DirectoryListing&& other) noexcept
    : stream_(std::exchange(other.stream_, nullptr)), identity_(other.identity_) {}

DirectoryListing& DirectoryListing::operator=(DirectoryListing&& other) noexcept {
  if (this != &other) {
    if (stream_ != nullptr) closedir(AsDir(stream_));
    stream_ = std::exchange(other.stream_, nullptr);
    identity_ = other.identity_;
  }
  return *this;
}

DirectoryListing::~DirectoryListing() {
  if (stream_ != nullptr) closedir(AsDir(stream_));
}

std::vector<DirectoryEntry> DirectoryListing::ReadEntries() {
  std::vector<DirectoryEntry> entries;
  DIR* stream = AsDir(stream_);
  const int fd = dirfd(stream);
  while (const dirent* entry = readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    EntryKind kind = EntryKind::kOther;
    switch (entry->d_type) {
      case DT_REG:
        kind = EntryKind::kFile;
        break;
      case DT_DIR:
        kind = EntryKind::kDirectory;
        break;
      case DT_LNK:
      case DT_UNKNOWN: {
        struct stat status {};
        if (fstatat(fd, entry->d_name, &status, 0) == 0) kind = KindOf(status);
        break;
      }
      default:
        break;
    }
    entries.push_back(DirectoryEntry{std::string(name), kind});
  }
  return entries;
}

std::optional<std::uint64_t> DirectoryListing::SizeOf(const std::string& name) const {
  struct stat status {};
  if (HasNulByte(name) || fstatat(dirfd(AsDir(stream_)), name.c_str(), &status, 0) != 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

bool HasNulByte(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

std::optional<FileStatus> GetFileStatus(const std::string& path) {
  struct stat status {};
  if (path.empty() || HasNulByte(path) || stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileStatus{KindOf(status), static_cast<std::uint64_t>(status.st_size)};
}

bool CanEnterFolder(const std::string& path) {
  const std::optional<FileStatus> status = GetFileStatus(path);
  return status && status->kind == EntryKind::kDirectory && access(path.c_str(), X_OK) == 0;
}

bool MakeFolder(const std::string& path) {
  return !path.empty() && !HasNulByte(path) && mkdir(path.c_str(), 0777) == 0;
}

bool MakeFolderPath(const std::string& path) {
  if (path.empty() || HasNulByte(path)) return false;
  // Each prefix that ends a part, top down. A part that is there already as a folder is as
  // good as a new one; any other failure ends the walk.
  for (std::size_t end = 1; end <= path.size(); ++end) {
    if ((end == path.size() || path[end] == '/') && path[end - 1] != '/') {
      const std::string prefix = path.substr(0, end);
      if (mkdir(prefix.c_str(), 0777) != 0) {
        const std::optional<FileStatus> status = GetFileStatus(prefix);
        if (!status || status->kind != EntryKind::kDirectory) return false;
      }
    }
  }
  const std::optional<FileStatus> status = GetFileStatus(path);
  return status && status->kind == EntryKind::kDirectory;
}

std::string CurrentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
      buffer.resize(buffer.find('\0'));
      return buffer;
    }
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::uint32_t ClockSeed() {
  return static_cast<std::uint32_t>(std::time(nullptr));
}

}  // namespace sorvina::platform
