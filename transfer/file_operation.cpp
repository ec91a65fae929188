#include "transfer/file_operation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/drive_type.h"
#include "platform/file_system.h"
#include "platform/new_file.h"
#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::transfer {
namespace {

// Reasons in words for refusals that have no system error of their own.
constexpr const char* kFolderNotCopied =
    SORVINA_TEXT("sorvina", "Is a folder; only files are copied");
constexpr const char* kNotRegularFile =
    SORVINA_TEXT("sorvina", "Not a regular file; only files are copied");
constexpr const char* kSameFile = SORVINA_TEXT("sorvina", "Source and target are the same file");
constexpr const char* kNoName = SORVINA_TEXT("sorvina", "The path names no file or folder");
constexpr const char* kFolderAcrossFileSystems =
    SORVINA_TEXT("sorvina", "A folder can be moved only within one file system");
constexpr const char* kNoFreeName = SORVINA_TEXT("sorvina", "No free name for a second copy");

// Keep both tries "NAME (2)" up to this number.
constexpr unsigned kMaxCopyNumber = 9999;
// A name found free but taken again before the rename: ask again at most this often.
constexpr int kMaxPlacementAttempts = 16;

bool AllRequestPaths(const std::vector<std::string>& paths) {
  return std::all_of(paths.begin(), paths.end(), IsRequestPath);
}

bool IsWellFormed(const FileOperationRequest& request) {
  if (request.sources.empty() || !AllRequestPaths(request.sources)) return false;
  std::size_t expected = 1;
  switch (request.kind) {
    case FileOperationKind::kDelete:
      return true;  // its destinations are not read
    case FileOperationKind::kRename:
      expected = request.sources.size();
      break;
    case FileOperationKind::kCopy:
    case FileOperationKind::kMove:
      if (request.layout == DestinationLayout::kOnePerSource) expected = request.sources.size();
      break;
    default:
      return false;  // a value that names no kind
  }
  return request.destinations.size() == expected && AllRequestPaths(request.destinations);
}

// The one destination is a folder that receives every source.
bool IntoFolder(const FileOperationRequest& request) {
  return (request.kind == FileOperationKind::kCopy || request.kind == FileOperationKind::kMove) &&
         request.layout != DestinationLayout::kOnePerSource;
}

class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// One run of a request, with the answers remembered "for all remaining".
class Runner {
 public:
  Runner(const FileOperationRequest& request, const FileOperationTuning& tuning)
      : request_(request), intoFolder_(IntoFolder(request)), tuning_(tuning) {}

  FileOperationResult Run();

 private:
  enum class Outcome { kDone, kSkipped, kFailed, kStopped, kCancelled };
  // Where a file goes once a conflict, if any, is settled; only kDone goes ahead.
  struct Decision {
    Outcome outcome = Outcome::kDone;
    std::string target;
    bool replace = false;
  };

  Outcome Handle(std::size_t index);
  Outcome Copy(std::size_t index, const std::string& target, std::optional<Decision> decided,
               bool removeSource);
  Outcome Move(std::size_t index, const std::string& target, bool mayCopy);
  Outcome Delete(std::size_t index);

  Decision Decide(const std::string& source, const struct stat& sourceStatus,
                  const std::string& target);
  ConflictAction Ask(const std::string& source, const std::string& target);
  std::string LegalTarget(const std::string& target);
  Outcome Fail(const std::string& path, const platform::UserText& reason);
  bool ShowProgress(std::size_t index, std::uint64_t fileBytesDone);

  // A copy: the owner's calls may change the caller's request while this one runs.
  const FileOperationRequest request_;
  const bool intoFolder_;
  const FileOperationTuning tuning_;
  std::vector<std::uint64_t> sizes_;    // each source's size when the operation began
  std::vector<std::uint64_t> offsets_;  // bytes of the sources before each one
  std::uint64_t totalBytes_ = 0;
  std::optional<ConflictAction> rememberedAction_;
  std::map<std::string, bool> fatFolders_;  // whether each target folder is on FAT
  std::vector<char> buffer_;                // for copies the kernel cannot make by itself
  std::string placedTarget_;                // where the file handled last was placed
};

FileOperationResult Runner::Run() {
  const std::vector<std::string>& sources = request_.sources;
  for (const std::string& source : sources) {
    const std::optional<platform::FileStatus> status = platform::GetFileStatus(source);
    const bool isFile = status && status->kind == platform::EntryKind::kFile;
    offsets_.push_back(totalBytes_);
    sizes_.push_back(isFile ? status->sizeBytes : 0);
    totalBytes_ += sizes_.back();
  }

  if (intoFolder_) {
    const std::string& folder = request_.destinations.front();
    if (const int error = platform::MakeFolders(folder)) {
      Fail(folder, ErrorText(error));
      FileOperationResult failed;
      failed.outcome = OperationOutcome::kFailed;
      return failed;
    }
  }

  FileOperationResult result;
  result.placedTargets.resize(sources.size());
  for (std::size_t index = 0; index < sources.size(); ++index) {
    placedTarget_.clear();
    const Outcome outcome = ShowProgress(index, 0) ? Handle(index) : Outcome::kCancelled;
    switch (outcome) {
      case Outcome::kDone:
        ++result.filesDone;
        result.bytesDone += sizes_[index];
        result.placedTargets[index] = placedTarget_;
        break;
      case Outcome::kSkipped:
        ++result.filesSkipped;
        result.anyFilesLeftOut = true;
        break;
      case Outcome::kFailed:
        ++result.filesFailed;
        break;
      case Outcome::kStopped:
        ++result.filesFailed;
        result.outcome = OperationOutcome::kFailed;
        result.anyFilesLeftOut = true;
        return result;
      case Outcome::kCancelled:
        result.outcome = OperationOutcome::kCancelled;
        result.anyFilesLeftOut = true;
        return result;
    }
  }
  result.outcome =
      result.filesFailed > 0 ? OperationOutcome::kFailed : OperationOutcome::kSucceeded;
  return result;
}

Runner::Outcome Runner::Handle(std::size_t index) {
  const std::string& source = request_.sources[index];
  // "/", "." and ".." name no entry that could be given a new name, and deleting them
  // would take far more than the user meant.
  const std::string name = SplitPath(source).name;
  if (name.empty() || name == "." || name == "..") return Fail(source, kNoName);

  switch (request_.kind) {
    case FileOperationKind::kDelete:
      return Delete(index);
    case FileOperationKind::kRename:
      return Move(index, request_.destinations[index], false);
    case FileOperationKind::kCopy:
    case FileOperationKind::kMove:
      break;
  }
  std::string target;
  if (intoFolder_) {
    target = JoinPath(request_.destinations.front(), name);
  } else {
    target = request_.destinations[index];
    const std::string folder = SplitPath(target).folder;
    if (!folder.empty()) {
      if (const int error = platform::MakeFolders(folder)) return Fail(target, ErrorText(error));
    }
  }
  target = LegalTarget(target);
  if (request_.kind == FileOperationKind::kCopy) return Copy(index, target, std::nullopt, false);
  return Move(index, target, true);
}

Runner::Outcome Runner::Copy(std::size_t index, const std::string& target,
                             std::optional<Decision> decided, bool removeSource) {
  const std::string& source = request_.sources[index];
  // Non-blocking, so that a FIFO among the sources cannot stall the open; a path longer
  // than the system's limit (a deep library) is opened piece by piece.
  const ScopedFd in(platform::OpenPath(source, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.get() < 0) return Fail(source, ErrorText(errno));
  struct stat status {};
  if (fstat(in.get(), &status) != 0) return Fail(source, ErrorText(errno));
  if (S_ISDIR(status.st_mode)) return Fail(source, kFolderNotCopied);
  if (!S_ISREG(status.st_mode)) return Fail(source, kNotRegularFile);
  fcntl(in.get(), F_SETFL, fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
  posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  Decision decision = decided ? std::move(*decided) : Decide(source, status, target);
  if (decision.outcome != Outcome::kDone) return decision.outcome;

  int error = 0;
  std::optional<PartFile> part =
      PartFile::Create(decision.target, status.st_mode & 0777, tuning_.unnamedPartFiles, &error);
  if (!part) return Fail(decision.target, ErrorText(error));
  const std::uint64_t expected = sizes_[index];
  const CopyOutcome copied = CopyContents(
      in.get(), part->fd(), tuning_.chunkBytes, buffer_,
      [&](std::uint64_t done) { return ShowProgress(index, std::min(done, expected)); });
  if (copied.error == ECANCELED) return Outcome::kCancelled;
  if (copied.error != 0) {
    return Fail(copied.reading ? source : decision.target, ErrorText(copied.error));
  }
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  if (const int finished = part->Finish(times, tuning_.syncBeforeRename)) {
    return Fail(decision.target, ErrorText(finished));
  }

  for (int attempt = 1;; ++attempt) {
    error = part->PlaceAt(decision.target, decision.replace);
    if (error == 0) break;
    if (error != EEXIST || decision.replace || attempt == kMaxPlacementAttempts) {
      return Fail(decision.target, ErrorText(error));
    }
    // The name was taken while the file was being copied: settle the new conflict.
    decision = Decide(source, status, target);
    if (decision.outcome != Outcome::kDone) return decision.outcome;
  }
  placedTarget_ = decision.target;
  // The copy is in place; only now may the original go.
  if (removeSource && unlink(source.c_str()) != 0) return Fail(source, ErrorText(errno));
  return Outcome::kDone;
}

Runner::Outcome Runner::Move(std::size_t index, const std::string& target, bool mayCopy) {
  const std::string& source = request_.sources[index];
  struct stat entry {};
  if (lstat(source.c_str(), &entry) != 0) return Fail(source, ErrorText(errno));
  // What the source stands for, links followed, so that moving a link onto the file it
  // points to counts as moving the file onto itself.
  struct stat status = entry;
  stat(source.c_str(), &status);

  Decision decision = Decide(source, status, target);
  for (int attempt = 1; decision.outcome == Outcome::kDone; ++attempt) {
    const int error = RenameEntry(source, decision.target, decision.replace);
    if (error == 0) {
      placedTarget_ = decision.target;
      return Outcome::kDone;
    }
    if (error == EXDEV && mayCopy) {
      if (S_ISDIR(entry.st_mode)) return Fail(source, kFolderAcrossFileSystems);
      return Copy(index, target, std::move(decision), true);
    }
    if (error != EEXIST || decision.replace || attempt == kMaxPlacementAttempts) {
      return Fail(source, ErrorText(error));
    }
    decision = Decide(source, status, target);
  }
  return decision.outcome;
}

Runner::Outcome Runner::Delete(std::size_t index) {
  const std::string& source = request_.sources[index];
  struct stat entry {};
  if (lstat(source.c_str(), &entry) != 0) return Fail(source, ErrorText(errno));
  if (S_ISDIR(entry.st_mode)) {
    std::error_code error;
    std::filesystem::remove_all(source, error);
    if (error) return Fail(source, platform::Verbatim(error.message()));
  } else if (unlink(source.c_str()) != 0) {
    return Fail(source, ErrorText(errno));
  }
  return Outcome::kDone;
}

Runner::Decision Runner::Decide(const std::string& source, const struct stat& sourceStatus,
                                const std::string& target) {
  struct stat existing {};
  // Nothing there (or nothing that can be looked at: the rename will say why).
  if (lstat(target.c_str(), &existing) != 0) return {Outcome::kDone, target, false};
  struct stat resolved {};
  if (stat(target.c_str(), &resolved) == 0 && SameFile(resolved, sourceStatus)) {
    return {Fail(source, kSameFile), {}, false};
  }
  switch (Ask(source, target)) {
    case ConflictAction::kReplace:
      return {Outcome::kDone, target, true};
    case ConflictAction::kSkip:
      return {Outcome::kSkipped, {}, false};
    case ConflictAction::kCancel:
      return {Outcome::kCancelled, {}, false};
    case ConflictAction::kKeepBoth:
      break;
  }
  for (unsigned number = 2; number <= kMaxCopyNumber; ++number) {
    std::string candidate = NumberedName(target, number);
    if (lstat(candidate.c_str(), &existing) != 0 && errno == ENOENT) {
      return {Outcome::kDone, std::move(candidate), false};
    }
  }
  return {Fail(target, kNoFreeName), {}, false};
}

ConflictAction Runner::Ask(const std::string& source, const std::string& target) {
  if (rememberedAction_) return *rememberedAction_;
  // Nobody to ask: never overwrite.
  if (request_.owner == nullptr) return ConflictAction::kSkip;
  const ConflictAnswer answer = request_.owner->AskConflict(source, target);
  if (answer.forAllRemaining) rememberedAction_ = answer.action;
  return answer.action;
}

std::string Runner::LegalTarget(const std::string& target) {
  const PathParts parts = SplitPath(target);
  if (parts.name.empty()) return target;
  bool fat = tuning_.fatNamesEverywhere;
  if (!fat) {
    const auto [known, added] = fatFolders_.try_emplace(parts.folder, false);
    if (added) {
      known->second = platform::IsFatVolume(parts.folder.empty() ? "." : parts.folder);
    }
    fat = known->second;
  }
  if (!fat) return target;
  std::string name = FatSafeName(parts.name);
  return name == parts.name ? target : JoinPath(parts.folder, name);
}

Runner::Outcome Runner::Fail(const std::string& path, const platform::UserText& reason) {
  if (request_.owner != nullptr &&
      request_.owner->ReportError(path, reason) == ErrorAction::kStop) {
    return Outcome::kStopped;
  }
  return Outcome::kFailed;
}

bool Runner::ShowProgress(std::size_t index, std::uint64_t fileBytesDone) {
  if (request_.owner == nullptr) return true;
  FileProgress progress;
  progress.fileIndex = index;
  progress.fileCount = request_.sources.size();
  progress.path = request_.sources[index];
  progress.bytesDone = offsets_[index] + fileBytesDone;
  progress.bytesTotal = totalBytes_;
  return request_.owner->Progress(progress);
}

}  // namespace

bool IsRequestPath(const std::string& path) {
  return !path.empty() && !platform::HasNulByte(path);
}

FileOperationResult PerformFileOperation(const FileOperationRequest& request) {
  return PerformFileOperationWith(request, FileOperationTuning{});
}

FileOperationResult PerformFileOperationWith(const FileOperationRequest& request,
                                             const FileOperationTuning& tuning) {
  if (!IsWellFormed(request) || tuning.chunkBytes == 0) return {};
  // A file-size limit must not end the process half-way through a copy.
  const platform::ScopedFileSizeSignalIgnored fileSizeSignalIgnored;
  return Runner(request, tuning).Run();
}

}  // namespace sorvina::transfer
