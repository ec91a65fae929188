// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/contained_folder.h"
#include "platform/content_fingerprint.h"
#include "text/user_text.h"

namespace sorvina::transfer {

// How the destinations of a copy are read.
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
  std::string target = {};       // kOnePerSource: its target path (its name on the player)
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
  virtual ErrorAction ReportError(const std::string& path, const text::UserText& reason) = 0;
  // False asks the operation to stop; a file in progress is then removed.
  virtual bool Progress(const FileProgress& progress) = 0;
  // What was copied is being written out to the device, which can take a while on slow
  // media; called after the last Progress. Nothing by default.
  virtual void WritingToDevice() {}
};

// Told what a copy into a contained destination places, as it goes, so that what an
// interrupted copy put there can be told apart from the user's files later: by name, and
// by content (fingerprints under the journal's key). Paths are below the destination.
// Its lines go ahead of the steps they tell of: a copy is named only once MakeDurable has
// brought what was told of it to the device, which the copy does for a few files at a time.
class PlacementJournal {
 public:
  virtual ~PlacementJournal() = default;
  // The key of the fingerprints the copy takes.
  virtual const platform::FingerprintKey& key() const = 0;
  // `relative` is about to be given to a copy of `source`, whose size and modification
  // time (which the copy takes) are `sourceStatus`'s and whose bytes have the fingerprint
  // `sourceFingerprint`. 0 lets the copy go on; an errno value stops the whole copy, since
  // nothing it did from then on could be accounted for.
  virtual int WillPlace(const std::string& relative, const std::string& source,
                        const platform::EntryStatus& sourceStatus,
                        const platform::ContentFingerprint& sourceFingerprint) = 0;
  // The same, where the destination refuses to place finished files and the copy is
  // written directly under its name `relative`: what is told must be on the device before
  // the file is made, so that one cut short there is known to be the copy's. By default,
  // WillPlace followed by MakeDurable.
  virtual int WillWriteInPlace(const std::string& relative, const std::string& source,
                               const platform::EntryStatus& sourceStatus,
                               const platform::ContentFingerprint& sourceFingerprint) {
    const int error = WillPlace(relative, source, sourceStatus, sourceFingerprint);
    return error != 0 ? error : MakeDurable();
  }
  // Brings everything told so far to the device; 0, or the errno value, which stops the
  // copy before anything not yet named is named.
  virtual int MakeDurable() = 0;
  // The copy is at `relative`, as the destination reports it now, and what was written
  // has the fingerprint `fingerprint`.
  virtual void Placed(const std::string& relative, const platform::EntryStatus& status,
                      const platform::ContentFingerprint& fingerprint) = 0;
  // The folders `folders` (from the top down) are about to be made for a copy: on the
  // device before they are, since an empty folder tells nothing of who made it. 0, or the
  // errno value, which stops the copy before they are made.
  [[nodiscard]] virtual int WillMakeFolders(const std::vector<std::string>& folders) = 0;
  // The folder `relative` was made for a copy.
  virtual void FolderMade(const std::string& relative) = 0;
  // What a copy wrote at `relative` and could not keep (a part file, or a file written
  // under its name that is not whole) could not be removed either, as a device that
  // refuses one request after another does: what was told of it must stay for the next
  // run to remove it. Nothing by default.
  virtual void LeftBehind(const std::string& relative) { (void)relative; }
};

// One copy: which paths, and who is asked and shown progress.
struct FileOperationRequest {
  std::vector<std::string> sources;
  std::vector<std::string> destinations;
  DestinationLayout layout = DestinationLayout::kOneFolderForAll;
  FileOperationUi* owner = nullptr;
  // A destination held open, into which everything is placed: every destination is then
  // a path below it (kOneFolderForAll: a folder below it, or "." for itself), reached
  // without following any link and never leaving its volume. `rootPath` is where the user
  // chose it: before each file the copy checks that it still leads there, and stops
  // (destinationGone) once the volume went away, lazily unmounted or pulled out.
  const platform::ContainedFolder* root = nullptr;
  std::string rootPath = {};
  // With a root: told what is placed (none: nothing is told).
  PlacementJournal* journal = nullptr;
  // With a root: paths below it that this copy must leave to files placed earlier
  // (files of an earlier fill that stay); a copy aimed at one gets a numbered name.
  std::vector<std::string> reservedTargets = {};
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
  // The path each source was given, by position (after a FAT-safe name or a number),
  // below the root where there is one; empty for a source that was not placed.
  std::vector<std::string> placedTargets = {};
  // For a source skipped because its target's name was taken: that target, as above.
  std::vector<std::string> takenTargets = {};
  // With a root: the folders made below it, from the top down.
  std::vector<std::string> madeFolders = {};
  // With a root: the copy stopped because the destination no longer was where the user
  // chose it; the files not reached were left out.
  bool destinationGone = false;
  // With a journal: the copy stopped because the journal could not be written (the errno
  // value); what was placed before is told of in it, nothing after was placed.
  int journalError = 0;
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
  // Runs where a file system without a no-replace rename or links has its name taken
  // by a placeholder, right before the finished copy replaces it (for tests of that way).
  std::function<void()> beforeFinalRename = nullptr;
};

// Performs the whole copy before it returns, with its questions and progress through
// `request.owner`. With kOneFolderForAll the one destination is a folder that receives
// every source under its own name (created when missing); with kOnePerSource, each
// destination is the full target path of the source at the same position (its folder
// created when missing). Files are handled in the order given. Where a target's folder
// lies on a FAT or exFAT volume (a player, a memory card), the target's last name is made
// legal there (FatSafeName: "Live: Take 2?.mp3" arrives as "Live_ Take 2_.mp3"; the
// folders on the way are left as given) instead of failing. Two sources of one copy never
// get one name (on FAT and exFAT, which do not tell letter case apart, not even two that
// differ only in case): the later ones are numbered "NAME (2).EXT", as Keep both names.
// With a journal, copies are named a few at a time, each batch once the journal's lines
// for it are on the device (PlacementJournal). A file is copied into a file without a
// name in the target's folder (on file systems
// that lack those, FAT among them, a hidden ".NAME.<random>.part" beside its target) and
// given the target's name only when complete and in one step that cannot replace
// anything, so a failed or cancelled copy leaves no partial file and never touches an
// existing target; the source's times and permission bits are kept. Only files are
// copied: a folder among the sources is refused. Where the target's file system refuses
// that step (renames and links alike, as a phone mounted over MTP: PlacementRefused),
// which the first copy to be named finds out, that copy and every later one are written
// directly under their names instead: made exclusively, written front to back, closed,
// and kept only where the file system then reports the source's size (a file cut short is
// removed, and fails); with a journal, each is told of (WillWriteInPlace) before it is
// made. There no file is replaced: Replace fails the file, and the times stay the device's.
// An existing target is never overwritten without the owner's Replace; Keep both gives
// the new file the first free name "NAME (2).EXT", "NAME (3).EXT", ... . A name longer
// than the target's volume takes (255 bytes; on FAT and exFAT 255 UTF-16 units), numbered
// or a source's own, loses the end of NAME instead (FitName, NumberedName). A file is
// never copied onto itself.
//
// Outcomes, and anyFilesLeftOut:
//   kInvalid    the request is malformed (no sources; not exactly one destination per
//               source, or one folder, as the layout asks; an empty path or one holding a
//               NUL byte; with a root, a destination that leads out of it): nothing was
//               touched, nothing asked.
//   kCancelled  the owner answered Cancel or its Progress returned false; the file in
//               progress is removed, the files done so far stay. It wins over failures
//               reported before. anyFilesLeftOut is set.
//   kFailed     at least one file failed (each reported to the owner), or the destination
//               went away. When the owner answered Stop, or the destination went away,
//               the remaining files were left and anyFilesLeftOut is set.
//   kSucceeded  every file was handled or skipped on purpose; a skip (the owner's
//               answer, or a conflict without an owner) sets anyFilesLeftOut.
FileOperationResult PerformFileOperation(const FileOperationRequest& request);
FileOperationResult PerformFileOperationWith(const FileOperationRequest& request,
                                             const FileOperationTuning& tuning);

}  // namespace sorvina::transfer
