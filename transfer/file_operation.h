#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sorvina::transfer {

// Operation codes of a file operation request.
inline constexpr unsigned FO_MOVE = 1;
inline constexpr unsigned FO_COPY = 2;
inline constexpr unsigned FO_DELETE = 3;
inline constexpr unsigned FO_RENAME = 4;

// The destination list names one target per source instead of one folder for all.
inline constexpr std::uint16_t FOF_MULTIDESTFILES = 0x0001;

// Results of PerformFileOperation.
inline constexpr int kOperationSucceeded = 0;
inline constexpr int kOperationFailed = 1;     // at least one file could not be handled
inline constexpr int kOperationInvalid = 2;    // the request itself is malformed
inline constexpr int kOperationCancelled = 3;  // the user stopped the operation

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
  virtual ErrorAction ReportError(const std::string& path, const std::string& reason) = 0;
  // False asks the operation to stop; a file in progress is then removed.
  virtual bool Progress(const FileProgress& progress) = 0;
};

// One request, in the form of the shell's file operation record: path lists are
// byte strings each followed by a NUL, with one more NUL at the end.
struct FileOperationRecord {
  FileOperationUi* owner = nullptr;
  unsigned operation = 0;  // FO_MOVE, FO_COPY, FO_DELETE or FO_RENAME
  const char* from = nullptr;
  const char* to = nullptr;  // none for FO_DELETE
  std::uint16_t flags = 0;
  bool anyOperationsAborted = false;  // set when the user cancelled or skipped work
  void* nameMappings = nullptr;       // not produced; kept for the record's shape
  const char* progressTitle = nullptr;
};

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
// through `record.owner`.
//   FO_COPY / FO_MOVE: without FOF_MULTIDESTFILES the one destination is a folder that
//     receives every source under its own name (created when missing); with it, each
//     destination is the full target path of the source at the same position (its
//     folder created when missing). Files are handled in the order given. Where a
//     target's folder lies on a FAT or exFAT volume (a player, a memory card), the
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
//   FO_DELETE: removes each source (folders with everything in them).
//   FO_RENAME: renames each source to the destination at the same position.
// An existing target is never overwritten without the owner's Replace; Keep both gives
// the new file the first free name "NAME (2).EXT", "NAME (3).EXT", ... . A file is never
// copied, moved or renamed onto itself.
//
// Results, and the aborted flag:
//   kOperationInvalid    the request is malformed; nothing was touched, nothing asked.
//   kOperationCancelled  the owner answered Cancel or its Progress returned false; the
//                        file in progress is removed, the files done so far stay. It wins
//                        over failures reported before. Aborted is set.
//   kOperationFailed     at least one file failed (each reported to the owner). When the
//                        owner answered Stop, the remaining files were left and aborted
//                        is set.
//   kOperationSucceeded  every file was handled or skipped on purpose; a skip (the
//                        owner's answer, or a conflict without an owner) sets aborted.
int PerformFileOperation(FileOperationRecord& record);
int PerformFileOperationWith(FileOperationRecord& record, const FileOperationTuning& tuning);

}  // namespace sorvina::transfer
