// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/file_operation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/drive_type.h"
#include "platform/file_system.h"
#include "platform/new_file.h"
#include "platform/phone_mounts.h"
#include "platform/unique_fd.h"
#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::transfer {
namespace {

using platform::ContainedFolder;
using platform::EntryStatus;
using platform::UniqueFd;

// Reasons in words for refusals that have no system error of their own.
constexpr const char* kFolderNotCopied =
    SORVINA_TEXT("sorvina", "Is a folder; only files are copied");
constexpr const char* kNotRegularFile =
    SORVINA_TEXT("sorvina", "Not a regular file; only files are copied");
constexpr const char* kSameFile = SORVINA_TEXT("sorvina", "Source and target are the same file");
constexpr const char* kNoName = SORVINA_TEXT("sorvina", "The path names no file or folder");
constexpr const char* kNoFreeName = SORVINA_TEXT("sorvina", "No free name for a second copy");
constexpr const char* kLinkInTheWay =
    SORVINA_TEXT("sorvina", "A link is in the way; nothing is copied through it");
constexpr const char* kOtherFileSystem =
    SORVINA_TEXT("sorvina", "It leads onto another file system");
constexpr const char* kCutShortOnDevice =
    SORVINA_TEXT("sorvina", "The device kept fewer bytes than were written; the file was removed");
constexpr const char* kNoReplaceOnDevice =
    SORVINA_TEXT("sorvina", "This device cannot replace a file; nothing was replaced");

// Keep both tries "NAME (2)" up to this number.
constexpr unsigned kMaxCopyNumber = 9999;
// A name found free but taken again before the file took it: ask again at most this often.
constexpr int kMaxPlacementAttempts = 16;
// With a journal, copies wait to be named until the journal's lines for them are on the
// device, this many (or this many bytes) at a time: few enough that a player pulled out
// loses little work, many enough that the journal's syncs cost little beside the copies.
constexpr std::size_t kBatchFiles = 16;
constexpr std::uint64_t kBatchBytes = std::uint64_t{64} << 20;

text::UserText ReasonOf(int error) {
  if (error == ELOOP) return kLinkInTheWay;
  if (error == EXDEV) return kOtherFileSystem;
  return ErrorText(error);
}

bool AllRequestPaths(const std::vector<std::string>& paths) {
  return std::all_of(paths.begin(), paths.end(), IsRequestPath);
}

bool IsWellFormed(const FileOperationRequest& request) {
  if (request.sources.empty() || !AllRequestPaths(request.sources)) return false;
  const std::size_t expected =
      request.layout == DestinationLayout::kOnePerSource ? request.sources.size() : 1;
  if (request.destinations.size() != expected || !AllRequestPaths(request.destinations))
    return false;
  if (request.root == nullptr) return true;
  return std::all_of(
      request.destinations.begin(), request.destinations.end(),
      [&](const std::string& destination) {
        return (request.layout == DestinationLayout::kOneFolderForAll && destination == ".") ||
               ContainedFolder::IsContainedPath(destination);
      });
}

// Where one file goes: the folder that takes it, held open, and its name there.
struct Place {
  const ContainedFolder* root = nullptr;  // the folder, where it is the root
  std::optional<ContainedFolder> held;    // the folder, where it is not
  std::string folderPath;                 // below the root, or the path given without one
  std::string name;
  bool fat = false;  // the folder keeps FAT names

  const ContainedFolder& folder() const { return held ? *held : *root; }
  std::string Join(const std::string& inFolder) const { return JoinPath(folderPath, inFolder); }
};

// One run of a request, with the answers remembered "for all remaining".
class Runner {
 public:
  Runner(const FileOperationRequest& request, const FileOperationTuning& tuning)
      : request_(request), tuning_(tuning) {}

  FileOperationResult Run();

 private:
  // kPending: copied, waiting to be named (NamePending); kJournalFailed: the journal
  // could not be written, which stops the copy.
  enum class Outcome { kDone, kSkipped, kFailed, kStopped, kCancelled, kPending, kJournalFailed };
  // Where a file goes once a conflict, if any, is settled; only kDone goes ahead.
  struct Decision {
    Outcome outcome = Outcome::kDone;
    std::string name;
    bool replace = false;
  };
  // A complete copy that waits for its name.
  struct Pending {
    std::size_t index = 0;
    Place place;
    std::string name;  // asked for, before any conflict was settled
    Decision decision;
    struct stat status {};
    platform::PartFile part;
    std::optional<platform::ContentFingerprint> sourceFingerprint;
    std::optional<platform::ContentFingerprint> written;
  };

  bool OpenRoot();
  bool Count(std::size_t index, Outcome outcome);
  void Drop(platform::PartFile part, const Place& place);
  void DropAll(std::vector<Pending>& files);
  void Forget(const Place& place, const std::string& name);
  Outcome Handle(std::size_t index);
  std::optional<Place> PlaceOf(std::size_t index, const std::string& sourceName, Outcome& failure);
  Outcome Copy(std::size_t index, int in, const struct stat& status, Place place);
  bool NamePending();
  Outcome Name(Pending& file);
  Outcome WriteInPlace(std::size_t index, int in, const struct stat& status, const Place& place,
                       const std::string& name,
                       const std::optional<platform::ContentFingerprint>& sourceFingerprint);
  Outcome Journal(const Place& place, const std::string& name, std::size_t index,
                  const struct stat& status,
                  const std::optional<platform::ContentFingerprint>& fingerprint);

  Decision Decide(std::size_t index, const struct stat& sourceStatus, const Place& place,
                  const std::string& name);
  std::optional<std::string> FreeNumberedName(const Place& place, const std::string& name) const;
  bool Taken(const Place& place, const std::string& name) const;
  std::string KeyOf(const std::string& folderPath, const std::string& name, bool fat) const;
  ConflictAction Ask(const std::string& source, const std::string& target);
  bool IsFatFolder(const std::string& folder);
  std::string DisplayPath(const Place& place, const std::string& name) const;
  std::string ResultPath(const Place& place, const std::string& name) const;
  Outcome Fail(const std::string& path, const text::UserText& reason);
  bool ShowProgress(std::size_t index, std::uint64_t fileBytesDone);

  // A copy: the owner's calls may change the caller's request while this one runs.
  const FileOperationRequest request_;
  const FileOperationTuning tuning_;
  FileOperationResult result_;
  std::optional<ContainedFolder> ownRoot_;  // the one folder, where no root was given
  const ContainedFolder* root_ = nullptr;   // the destination held open, if any
  std::string rootPath_;                    // where the user sees it
  bool rootFat_ = false;
  std::vector<std::uint64_t> sizes_;    // each source's size when the operation began
  std::vector<std::uint64_t> offsets_;  // bytes of the sources before each one
  std::uint64_t totalBytes_ = 0;
  std::optional<ConflictAction> rememberedAction_;
  std::map<std::string, bool> fatFolders_;  // whether each target folder is on FAT
  std::unordered_set<std::string> taken_;   // names this copy gave (KeyOf)
  std::vector<char> buffer_;                // for copies the kernel cannot make by itself
  std::vector<Pending> pending_;            // copies waiting to be named, in turn
  std::uint64_t pendingBytes_ = 0;
  // The destination refuses to place finished files: copies are written under their names.
  bool inPlace_ = false;
};

bool Runner::OpenRoot() {
  if (request_.root != nullptr) {
    root_ = request_.root;
    rootPath_ = request_.rootPath;
    // Phones mounted by the desktop's virtual file system share its device: their path
    // tells them.
    rootFat_ = tuning_.fatNamesEverywhere || platform::IsFatDevice(root_->device()) ||
               (!rootPath_.empty() && platform::PhonePlaceOf(rootPath_));
    for (const std::string& reserved : request_.reservedTargets) {
      const PathParts parts = SplitPath(reserved);
      taken_.insert(KeyOf(parts.folder, parts.name, rootFat_));
    }
    return true;
  }
  if (request_.layout != DestinationLayout::kOneFolderForAll) return true;
  const std::string& folder = request_.destinations.front();
  int error = platform::MakeFolders(folder);
  if (error == 0) ownRoot_ = ContainedFolder::Open(folder, &error);
  if (!ownRoot_) {
    Fail(folder, ErrorText(error));
    return false;
  }
  root_ = &*ownRoot_;
  rootPath_ = folder;
  rootFat_ = tuning_.fatNamesEverywhere || platform::IsFatVolume(folder);
  return true;
}

FileOperationResult Runner::Run() {
  const std::vector<std::string>& sources = request_.sources;
  for (const std::string& source : sources) {
    const std::optional<platform::FileStatus> status = platform::GetFileStatus(source);
    const bool isFile = status && status->kind == platform::EntryKind::kFile;
    offsets_.push_back(totalBytes_);
    sizes_.push_back(isFile ? status->sizeBytes : 0);
    totalBytes_ += sizes_.back();
  }
  if (!OpenRoot()) {
    result_.outcome = OperationOutcome::kFailed;
    return std::move(result_);
  }

  result_.placedTargets.resize(sources.size());
  result_.takenTargets.resize(sources.size());
  for (std::size_t index = 0; index < sources.size(); ++index) {
    if (request_.root != nullptr && !request_.rootPath.empty() &&
        !request_.root->IsStillAt(request_.rootPath)) {
      // What waits to be named cannot be: the volume went away.
      pending_.clear();
      result_.destinationGone = true;
      result_.outcome = OperationOutcome::kFailed;
      result_.anyFilesLeftOut = true;
      return std::move(result_);
    }
    const Outcome outcome = ShowProgress(index, 0) ? Handle(index) : Outcome::kCancelled;
    // The copies that wait are named before the copy counts this one, and before it stops
    // for any reason but the journal's.
    // Without a journal each copy is named as soon as it is complete.
    const bool batchFull = request_.journal == nullptr || pending_.size() >= kBatchFiles ||
                           pendingBytes_ >= kBatchBytes;
    if (outcome == Outcome::kJournalFailed) DropAll(pending_);
    if ((outcome != Outcome::kPending || batchFull) && !NamePending()) return std::move(result_);
    if (!Count(index, outcome)) return std::move(result_);
  }
  if (!NamePending()) return std::move(result_);
  result_.outcome =
      result_.filesFailed > 0 ? OperationOutcome::kFailed : OperationOutcome::kSucceeded;
  return std::move(result_);
}

// Accounts for the outcome of file `index`; false where the copy stops with it.
bool Runner::Count(std::size_t index, Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone:
      ++result_.filesDone;
      result_.bytesDone += sizes_[index];
      return true;
    case Outcome::kSkipped:
      ++result_.filesSkipped;
      result_.anyFilesLeftOut = true;
      return true;
    case Outcome::kFailed:
      ++result_.filesFailed;
      return true;
    case Outcome::kPending:
      return true;
    case Outcome::kStopped:
      ++result_.filesFailed;
      [[fallthrough]];
    case Outcome::kJournalFailed:
      result_.outcome = OperationOutcome::kFailed;
      result_.anyFilesLeftOut = true;
      return false;
    case Outcome::kCancelled:
      result_.outcome = OperationOutcome::kCancelled;
      result_.anyFilesLeftOut = true;
      return false;
  }
  return false;
}

// Names the copies that wait, in turn, once the journal's lines for them are on the
// device; false where the copy stops.
bool Runner::NamePending() {
  if (pending_.empty()) return true;
  std::vector<Pending> batch = std::move(pending_);
  pending_.clear();
  pendingBytes_ = 0;
  if (request_.journal != nullptr) {
    if (const int error = request_.journal->MakeDurable()) {
      result_.journalError = error;
      const std::size_t first = batch.front().index;
      DropAll(batch);
      return Count(first, Outcome::kJournalFailed);
    }
  }
  for (auto file = batch.begin(); file != batch.end(); ++file) {
    if (!Count(file->index, Name(*file))) {
      std::vector<Pending> rest(std::make_move_iterator(file + 1),
                                std::make_move_iterator(batch.end()));
      DropAll(rest);
      return false;
    }
  }
  return true;
}

// Lets go of the part file of a copy that will not be named; one the device refused to
// remove is told to the journal, for the next run to remove.
void Runner::Drop(platform::PartFile part, const Place& place) {
  const std::string hidden = part.hiddenName();
  { const platform::PartFile dropped = std::move(part); }
  if (hidden.empty()) return;
  // A device that refused to remove it once may not refuse again.
  if (const std::optional<EntryStatus> left = place.folder().StatusOf(hidden))
    if (place.folder().RemoveFileIfUnchanged(hidden, *left) != 0) Forget(place, hidden);
}

void Runner::DropAll(std::vector<Pending>& files) {
  for (Pending& file : files)
    Drop(std::move(file.part), file.place);
  files.clear();
}

// What the copy wrote at `name` stays, though it is not whole: the journal says so.
void Runner::Forget(const Place& place, const std::string& name) {
  if (request_.journal != nullptr) request_.journal->LeftBehind(place.Join(name));
}

Runner::Outcome Runner::Handle(std::size_t index) {
  const std::string& source = request_.sources[index];
  // "/", "." and ".." name no file that could be given a new name.
  const std::string name = SplitPath(source).name;
  if (name.empty() || name == "." || name == "..") return Fail(source, kNoName);

  // Non-blocking, so that a FIFO among the sources cannot stall the open; a path longer
  // than the system's limit (a deep library) is opened piece by piece.
  const UniqueFd in(platform::OpenPath(source, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in) return Fail(source, ErrorText(errno));
  struct stat status {};
  if (fstat(in.get(), &status) != 0) return Fail(source, ErrorText(errno));
  if (S_ISDIR(status.st_mode)) return Fail(source, kFolderNotCopied);
  if (!S_ISREG(status.st_mode)) return Fail(source, kNotRegularFile);
  fcntl(in.get(), F_SETFL, fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
  posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  Outcome failure = Outcome::kFailed;
  std::optional<Place> place = PlaceOf(index, name, failure);
  if (!place) return failure;
  return Copy(index, in.get(), status, std::move(*place));
}

std::optional<Place> Runner::PlaceOf(std::size_t index, const std::string& sourceName,
                                     Outcome& failure) {
  Place place;
  std::string target;
  if (root_ != nullptr) {
    const std::string& destination = request_.layout == DestinationLayout::kOnePerSource
                                         ? request_.destinations[index]
                                         : request_.destinations.front();
    if (request_.layout == DestinationLayout::kOnePerSource) {
      target = destination;
    } else {
      target = request_.root == nullptr || destination == "." ? sourceName
                                                              : JoinPath(destination, sourceName);
    }
    const PathParts parts = SplitPath(target);
    place.folderPath = parts.folder;
    place.name = parts.name;
    place.fat = rootFat_;
    if (parts.folder.empty()) {
      place.root = root_;
    } else {
      if (request_.journal != nullptr) {
        const std::vector<std::string> missing = root_->MissingFolders(parts.folder);
        const int journalError = missing.empty() ? 0 : request_.journal->WillMakeFolders(missing);
        if (journalError != 0) {
          result_.journalError = journalError;
          failure = Outcome::kJournalFailed;
          return std::nullopt;
        }
      }
      int error = 0;
      std::vector<std::string> made;
      place.held = root_->Folder(parts.folder, true, &error, &made);
      for (const std::string& folder : made) {
        result_.madeFolders.push_back(folder);
        if (request_.journal != nullptr) request_.journal->FolderMade(folder);
      }
      if (!place.held) {
        failure = Fail(JoinPath(rootPath_, target), ReasonOf(error));
        return std::nullopt;
      }
    }
  } else {
    target = request_.destinations[index];
    const PathParts parts = SplitPath(target);
    place.folderPath = parts.folder;
    place.name = parts.name;
    int error = parts.folder.empty() ? 0 : platform::MakeFolders(parts.folder);
    if (error == 0)
      place.held = ContainedFolder::Open(parts.folder.empty() ? "." : parts.folder, &error);
    if (!place.held) {
      failure = Fail(target, ErrorText(error));
      return std::nullopt;
    }
    place.fat = IsFatFolder(parts.folder);
  }
  if (place.name.empty() || place.name == "." || place.name == "..") {
    failure = Fail(target, kNoName);
    return std::nullopt;
  }
  place.name = place.fat ? FatSafeName(place.name) : FitName(place.name);
  return place;
}

Runner::Outcome Runner::Copy(std::size_t index, int in, const struct stat& status, Place place) {
  const std::string& source = request_.sources[index];
  // A name this copy gave already goes to the earlier file: the later one is numbered.
  std::string name = place.name;
  if (Taken(place, name)) {
    std::optional<std::string> numbered = FreeNumberedName(place, name);
    if (!numbered) return Fail(DisplayPath(place, name), kNoFreeName);
    name = std::move(*numbered);
  }
  Decision decision = Decide(index, status, place, name);
  if (decision.outcome != Outcome::kDone) return decision.outcome;
  std::optional<platform::ContentFingerprint> sourceFingerprint;
  if (request_.journal != nullptr) {
    int error = 0;
    sourceFingerprint = platform::FingerprintOf(in, request_.journal->key(), &error);
    if (!sourceFingerprint) return Fail(source, ErrorText(error));
  }
  if (inPlace_) {
    if (decision.replace) return Fail(DisplayPath(place, decision.name), kNoReplaceOnDevice);
    return WriteInPlace(index, in, status, place, decision.name, sourceFingerprint);
  }
  if (const Outcome journaled = Journal(place, decision.name, index, status, sourceFingerprint);
      journaled != Outcome::kDone)
    return journaled;
  // Held for this file from now on, so that no later one asks for it while it waits.
  const std::string key = KeyOf(place.folderPath, decision.name, place.fat);
  taken_.insert(key);
  const auto failed = [&](const std::string& path, const text::UserText& reason) {
    taken_.erase(key);
    return Fail(path, reason);
  };

  int error = 0;
  std::optional<platform::PartFile> part = place.folder().CreatePartFile(
      decision.name, status.st_mode & 0777, tuning_.unnamedPartFiles, &error);
  if (!part) return failed(DisplayPath(place, decision.name), ErrorText(error));
  const auto partFailed = [&](const std::string& path, const text::UserText& reason) {
    Drop(std::move(*part), place);
    return failed(path, reason);
  };
  const std::uint64_t expected = sizes_[index];
  const CopyOutcome copied = CopyContents(
      in, part->fd(), tuning_.chunkBytes, buffer_,
      [&](std::uint64_t done) { return ShowProgress(index, std::min(done, expected)); });
  if (copied.error == ECANCELED) {
    Drop(std::move(*part), place);
    taken_.erase(key);
    return Outcome::kCancelled;
  }
  if (copied.error != 0) {
    return partFailed(copied.reading ? source : DisplayPath(place, decision.name),
                      ErrorText(copied.error));
  }
  // Taken of what was written, as the device gives it back.
  std::optional<platform::ContentFingerprint> written;
  if (request_.journal != nullptr) {
    written = platform::FingerprintOf(part->fd(), request_.journal->key(), &error);
    if (!written) return partFailed(DisplayPath(place, decision.name), ErrorText(error));
  }
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  if (const int finished = part->Finish(times, tuning_.syncBeforeRename))
    return partFailed(DisplayPath(place, decision.name), ErrorText(finished));
  pending_.push_back({index, std::move(place), std::move(name), std::move(decision), status,
                      std::move(*part), sourceFingerprint, written});
  pendingBytes_ += expected;
  return Outcome::kPending;
}

// Gives the waiting copy `file` its name, settling a conflict that came up meanwhile.
Runner::Outcome Runner::Name(Pending& file) {
  const Place& place = file.place;
  Decision& decision = file.decision;
  for (int attempt = 1;; ++attempt) {
    const std::string key = KeyOf(place.folderPath, decision.name, place.fat);
    const int error = file.part.PlaceAt(decision.name, decision.replace, tuning_.beforeFinalRename);
    if (error == 0) break;
    taken_.erase(key);
    if (!decision.replace && platform::PlacementRefused(error)) {
      // Nothing is ever named here: this copy and all later ones are written in place.
      inPlace_ = true;
      Drop(std::move(file.part), place);
      const std::string& source = request_.sources[file.index];
      const UniqueFd in(platform::OpenPath(source, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
      struct stat status {};
      if (!in || fstat(in.get(), &status) != 0) return Fail(source, ErrorText(errno));
      if (!S_ISREG(status.st_mode)) return Fail(source, kNotRegularFile);
      fcntl(in.get(), F_SETFL, fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
      return WriteInPlace(file.index, in.get(), status, place, decision.name,
                          file.sourceFingerprint);
    }
    if (error != EEXIST || decision.replace || attempt == kMaxPlacementAttempts)
      return Fail(DisplayPath(place, decision.name), ErrorText(error));
    // The name was taken while the file was being copied: settle the new conflict.
    decision = Decide(file.index, file.status, place, file.name);
    if (decision.outcome != Outcome::kDone) return decision.outcome;
    if (const Outcome journaled =
            Journal(place, decision.name, file.index, file.status, file.sourceFingerprint);
        journaled != Outcome::kDone)
      return journaled;
    taken_.insert(KeyOf(place.folderPath, decision.name, place.fat));
    if (request_.journal != nullptr) {
      if (const int durable = request_.journal->MakeDurable()) {
        result_.journalError = durable;
        return Outcome::kJournalFailed;
      }
    }
  }
  result_.placedTargets[file.index] = ResultPath(place, decision.name);
  if (request_.journal != nullptr) {
    if (const std::optional<EntryStatus> now = place.folder().StatusOf(decision.name))
      request_.journal->Placed(place.Join(decision.name), *now, *file.written);
  }
  return Outcome::kDone;
}

// Writes the copy of source `index`, open as `in` with `status`, directly under `name` in
// its folder, for a destination that refuses to place finished files.
Runner::Outcome Runner::WriteInPlace(
    std::size_t index, int in, const struct stat& status, const Place& place,
    const std::string& name, const std::optional<platform::ContentFingerprint>& sourceFingerprint) {
  const std::string& source = request_.sources[index];
  const std::string target = DisplayPath(place, name);
  if (request_.journal != nullptr) {
    const int error = request_.journal->WillWriteInPlace(
        place.Join(name), source, platform::EntryStatusOf(status), *sourceFingerprint);
    if (error != 0) {
      result_.journalError = error;
      return Outcome::kJournalFailed;
    }
  }
  const std::string key = KeyOf(place.folderPath, name, place.fat);
  taken_.insert(key);
  const auto failed = [&](const std::string& path, const text::UserText& reason) {
    taken_.erase(key);
    return Fail(path, reason);
  };
  int error = 0;
  UniqueFd out = place.folder().CreateFileToWrite(name, &error);
  if (!out) return failed(target, ErrorText(error));
  // From here on, a file at `name` that is not whole is this copy's and goes; where the
  // device refuses that too, the journal keeps it for the next run to remove.
  const auto removeWritten = [&] {
    const std::optional<EntryStatus> now = place.folder().StatusOf(name);
    const int removed = now ? place.folder().RemoveFileIfUnchanged(name, *now) : ENOENT;
    if (removed != 0 && removed != ENOENT && removed != ESTALE) Forget(place, name);
  };
  if (lseek(in, 0, SEEK_SET) != 0) error = errno;
  const std::uint64_t expected = static_cast<std::uint64_t>(status.st_size);
  const CopyOutcome copied =
      error != 0
          ? CopyOutcome{error, true}
          : CopyContents(in, out.get(), tuning_.chunkBytes, buffer_, [&](std::uint64_t done) {
              return ShowProgress(index, std::min(done, expected));
            });
  if (copied.error == 0 && tuning_.syncBeforeRename && fsync(out.get()) != 0) error = errno;
  // Closing is when such a device takes the file, and learns its size.
  if (close(out.Release()) != 0 && errno != EINTR && error == 0) error = errno;
  if (copied.error != 0 || error != 0) {
    removeWritten();
    if (copied.error == ECANCELED) {
      taken_.erase(key);
      return Outcome::kCancelled;
    }
    return failed(copied.reading ? source : target,
                  ErrorText(copied.error != 0 ? copied.error : error));
  }
  const std::optional<EntryStatus> now = place.folder().StatusOf(name);
  if (!now || now->kind != EntryStatus::Kind::kFile ||
      static_cast<std::uint64_t>(now->sizeBytes) != expected) {
    removeWritten();
    return failed(target, kCutShortOnDevice);
  }
  if (request_.journal != nullptr) {
    // Taken of what was written, as the device gives it back.
    const UniqueFd written = place.folder().OpenFile(name, &error);
    std::optional<platform::ContentFingerprint> fingerprint =
        written ? platform::FingerprintOf(written.get(), request_.journal->key(), &error)
                : std::nullopt;
    if (!fingerprint) {
      removeWritten();
      return failed(target, ErrorText(error));
    }
    request_.journal->Placed(place.Join(name), *now, *fingerprint);
  }
  result_.placedTargets[index] = ResultPath(place, name);
  return Outcome::kDone;
}

Runner::Outcome Runner::Journal(const Place& place, const std::string& name, std::size_t index,
                                const struct stat& status,
                                const std::optional<platform::ContentFingerprint>& fingerprint) {
  if (request_.journal == nullptr) return Outcome::kDone;
  const int error = request_.journal->WillPlace(place.Join(name), request_.sources[index],
                                                platform::EntryStatusOf(status), *fingerprint);
  if (error == 0) return Outcome::kDone;
  result_.journalError = error;
  return Outcome::kJournalFailed;
}

Runner::Decision Runner::Decide(std::size_t index, const struct stat& sourceStatus,
                                const Place& place, const std::string& name) {
  const std::string& source = request_.sources[index];
  const std::optional<EntryStatus> existing = place.folder().StatusOf(name);
  // Nothing there (or nothing that can be looked at: placing it will say why).
  if (!existing) return {Outcome::kDone, name, false};
  if (existing->device == static_cast<std::uint64_t>(sourceStatus.st_dev) &&
      existing->inode == static_cast<std::uint64_t>(sourceStatus.st_ino)) {
    return {Fail(source, kSameFile), {}, false};
  }
  switch (Ask(source, DisplayPath(place, name))) {
    case ConflictAction::kReplace:
      return {Outcome::kDone, name, true};
    case ConflictAction::kSkip:
      result_.takenTargets[index] = ResultPath(place, name);
      return {Outcome::kSkipped, {}, false};
    case ConflictAction::kCancel:
      return {Outcome::kCancelled, {}, false};
    case ConflictAction::kKeepBoth:
      break;
  }
  if (std::optional<std::string> numbered = FreeNumberedName(place, name))
    return {Outcome::kDone, std::move(*numbered), false};
  return {Fail(DisplayPath(place, name), kNoFreeName), {}, false};
}

std::optional<std::string> Runner::FreeNumberedName(const Place& place,
                                                    const std::string& name) const {
  for (unsigned number = 2; number <= kMaxCopyNumber; ++number) {
    std::string candidate = NumberedName(name, number, NameLimitFor(place.fat));
    if (!Taken(place, candidate) && !place.folder().StatusOf(candidate)) return candidate;
  }
  return std::nullopt;
}

bool Runner::Taken(const Place& place, const std::string& name) const {
  return taken_.contains(KeyOf(place.folderPath, name, place.fat));
}

std::string Runner::KeyOf(const std::string& folderPath, const std::string& name, bool fat) const {
  const std::string path = JoinPath(folderPath, name);
  return fat ? FatNameKey(path) : path;
}

ConflictAction Runner::Ask(const std::string& source, const std::string& target) {
  if (rememberedAction_) return *rememberedAction_;
  // Nobody to ask: never overwrite.
  if (request_.owner == nullptr) return ConflictAction::kSkip;
  const ConflictAnswer answer = request_.owner->AskConflict(source, target);
  if (answer.forAllRemaining) rememberedAction_ = answer.action;
  return answer.action;
}

bool Runner::IsFatFolder(const std::string& folder) {
  if (tuning_.fatNamesEverywhere) return true;
  const auto [known, added] = fatFolders_.try_emplace(folder, false);
  if (added) known->second = platform::IsFatVolume(folder.empty() ? "." : folder);
  return known->second;
}

std::string Runner::DisplayPath(const Place& place, const std::string& name) const {
  const std::string inRoot = place.Join(name);
  return root_ != nullptr ? JoinPath(rootPath_, inRoot) : inRoot;
}

std::string Runner::ResultPath(const Place& place, const std::string& name) const {
  return request_.root != nullptr ? place.Join(name) : DisplayPath(place, name);
}

Runner::Outcome Runner::Fail(const std::string& path, const text::UserText& reason) {
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
  if (request_.layout == DestinationLayout::kOnePerSource && index < request_.destinations.size())
    progress.target = request_.destinations[index];
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
