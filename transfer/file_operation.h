#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/user_text.h"

namespace sorvina::transfer {

// What a file operation does with its sources.
enum class FileOperationKind { kMove, kCopy, kDelete, kRename };

// How the destinations of a copy or a move are read. A rename always has one
// destination per source; a delete reads none.
enum class DestinationLayout {
  kOneFolderForAll,  // one destination: a folder that receives every source
  kOnePerSource,     // each destination is the full target path of its source
};

// How a file operation ended.
enum class OperationOutcome {
  kSucceeded,  // every file was handled or skipped on purpose
  kFailed,     // at least one file could not be handled
  kInvalid,    // the request itself is malformed
  kCancelled,  // the user stopped the operation
};

// What the user wants done when a target name exists already.
enum class ConflictAction { kReplace, kSkip, kKeepBoth, kCancel };
struct ConflictAnswer {
  ConflictAction action = ConflictAction::kSkip;
  bool forAllRemaining = false;  // apply the same action to every later conflict
};

// What the user wants after a file failed.
enum class ErrorAction { kContinue, kStop };

// Where the operation stands; sent before each file and after each chunk copied.
struct FileProgress {
  std::size_t fileIndex = 0;  // the file being handled, counted from 0
  std::size_t fileCount = 0;
  std::string path;              // its source path
  std::uint64_t bytesDone = 0;   // of the whole operation
  std::uint64_t bytesTotal = 0;  // of the whole operation
};

// The questions and the progress display of a file operation, implemented by each front
// end (dialogs in the wizard, prompts and a bar in the command line, recorders in tests).
// It is the "owner" of an operation: an operation without one asks nothing (conflicts
// are skipped, failures are passed over) and shows nothing.
class FileOperationUi {
 public:
  virtual ~FileOperationUi() = default;
  // `target` exists: a file of the user's, or one written earlier in this operation.
  virtual ConflictAnswer AskConflict(const std::string& source, const std::string& target) = 0;
  // `path` could not be handled; `reason` says why in words.
  virtual ErrorAction ReportError(const std::string& path, const platform::UserText& reason) = 0;
  // False asks the operation to stop; a file in progress is then removed.
  virtual bool Progress(const FileProgress& progress) = 0;
  // What was copied is being written out to the device, which can take a while on slow
  // media; called after the last Progress. Nothing by default.
  virtual void WritingToDevice() {}
};

// One request: what to do, with which paths, and who is asked and shown progress.
struct FileOperationRequest {
  FileOperationKind kind = FileOperationKind::kCopy;
  std::vector<std::string> sources;
  std::vector<std::string> destinations;  // not read by a delete
  DestinationLayout layout = DestinationLayout::kOneFolderForAll;
  FileOperationUi* owner = nullptr;
};

struct FileOperationResult {
  OperationOutcome outcome = OperationOutcome::kInvalid;
  // Files were left out on purpose: skipped (on the owner's answer, or at a conflict with
  // no owner to ask), or left after the owner answered Stop or cancelled.
  bool anyFilesLeftOut = false;
  // Files handled, skipped on purpose and failed; the rest were never reached.
  std::size_t filesDone = 0;
  std::size_t filesSkipped = 0;
  std::size_t filesFailed = 0;
  // Bytes of the files handled, as their sources measured when the operation began.
  std::uint64_t bytesDone = 0;
  // A copy or move: the path each source was given, by position (after a FAT-safe name or
  // a "Keep both" number), empty for a source that was not placed.
  std::vector<std::string> placedTargets = {};
};

// Whether `path` can stand in a request: not empty, and without a NUL byte, at which the
// system would end it (the operation would then act on another path).
bool IsRequestPath(const std::string& path);

// Bytes copied between two progress updates, which are also the points where a cancel is
// seen. Large enough that the per-chunk work costs nothing measurable against the copy
// itself (bench/compare_copy.sh), small enough that a 10 MB file still moves the bar.
inline constexpr std::size_t kCopyChunkBytes = std::size_t{4} << 20;

// How copies are carried out; the defaults are what PerformFileOperation uses.
struct FileOperationTuning {
  std::size_t chunkBytes = kCopyChunkBytes;
  // Flush each copy to the device before it takes its name. Not needed for "no partial
  // file" (the name appears only after every byte was written), and costly on the slow
  // removable media that players are.
  bool syncBeforeRename = false;
  // Copy into a file without a name, named only once complete, where the target's file
  // system can make one; false: always into a hidden part file, as on FAT volumes (for
  // tests and benchmarks of that way).
  bool unnamedPartFiles = true;
  // Name every target as on a FAT volume, wherever it lies (for tests: no FAT volume can
  // be mounted everywhere they run).
  bool fatNamesEverywhere = false;
};

// Performs the whole request before it returns, with its questions and progress
// through `request.owner`.
//   kCopy / kMove: with kOneFolderForAll the one destination is a folder that receives
//     every source under its own name (created when missing); with kOnePerSource, each
//     destination is the full target path of the source at the same position (its
//     folder created when missing). Files are handled in the order given. Where a
//     target's folder lies on a FAT or exFAT volume (IsFatVolume: a player, a memory card), the
//     target's last name is made legal there (FatSafeName: "Live: Take 2?.mp3" arrives
//     as "Live_ Take 2_.mp3"; the folders on the way are left as given) instead of
//     failing; a conflict is settled on the name so made, also when two sources give
//     one name. A file is copied into a file without a name in the target's folder (on
//     file systems that lack those, FAT among them, a hidden ".NAME.<random>.part" beside
//     its target) and given the target's name only when complete, so a failed or
//     cancelled copy leaves no partial file and never touches an existing target; the
//     source's times and permission bits are kept. Only files are copied: a folder among
//     the sources of a copy is refused. A move within one file system is a rename
//     (folders included); across file systems a file is copied and its source removed
//     once the copy is in place.
//   kDelete: removes each source (folders with everything in them); destinations and
//     layout are not read.
//   kRename: renames each source to the destination at the same position, whatever the
//     layout.
// An existing target is never overwritten without the owner's Replace; Keep both gives
// the new file the first free name "NAME (2).EXT", "NAME (3).EXT", ... . A file is never
// copied, moved or renamed onto itself.
//
// Outcomes, and anyFilesLeftOut:
//   kInvalid    the request is malformed (no sources; not exactly one destination per
//               source, or one folder, as kind and layout ask; an empty path or one
//               holding a NUL byte; an unknown kind): nothing was touched, nothing asked.
//   kCancelled  the owner answered Cancel or its Progress returned false; the file in
//               progress is removed, the files done so far stay. It wins over failures
//               reported before. anyFilesLeftOut is set.
//   kFailed     at least one file failed (each reported to the owner). When the owner
//               answered Stop, the remaining files were left and anyFilesLeftOut is set.
//   kSucceeded  every file was handled or skipped on purpose; a skip (the owner's
//               answer, or a conflict without an owner) sets anyFilesLeftOut.
FileOperationResult PerformFileOperation(const FileOperationRequest& request);
FileOperationResult PerformFileOperationWith(const FileOperationRequest& request,
                                             const FileOperationTuning& tuning);

}  // namespace sorvina::transfer
