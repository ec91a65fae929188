#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/candidate_pool.h"
#include "engine/destination_space.h"
#include "engine/fill_record.h"
#include "engine/run_ports.h"
#include "engine/selection_run.h"
#include "engine/selection_settings.h"
#include "platform/contained_folder.h"
#include "platform/user_text.h"

namespace sorvina::engine {

// Where the record of a destination's fills is kept: the folder ".sorvina" inside a copy
// destination (the record goes with the player), and for a playlist, which has no folder
// of its own, a file named after the playlist's path in the user's state folder.
inline constexpr char kRecordFolderName[] = ".sorvina";
inline constexpr char kRecordFileName[] = "fills.txt";
inline constexpr char kRecordLockName[] = "lock";

// What a run does for the fills that come before and after it, as the options ask:
//   - avoidLast: the files the last N fills chose are left out of the pool;
//   - replacePrevious (copy): the files the previous fill put into the destination that
//     are unchanged since are removed before the copy (their space counts as free), and
//     those chosen again stay where they are;
//   - devicePlaylist (copy): a playlist of this fill's files is written into the
//     destination;
// and a record of what this run put there (or listed) is kept for the next runs. Only
// runs with one of these options read or write a record: every other run is exactly what
// it was before, and leaves nothing in the destination beyond the copied files.
//
// The record is read as untrusted input (see ParseFillRecord): a record that cannot be
// used is passed over with a warning and never makes the run fail; nothing it names is
// looked at, removed or written outside the destination, nor through a link. A lock in
// the record's folder keeps two runs from filling one destination at once.
class RepeatedFill {
 public:
  RepeatedFill(const SelectionSettings& settings, bool dryRun);
  RepeatedFill(const RepeatedFill&) = delete;
  RepeatedFill& operator=(const RepeatedFill&) = delete;

  // Opens the record (and, unless in a dry run, locks it) and reads it. False, after a
  // message, when another run holds the lock or the device playlist's name is unusable.
  bool Begin(RunPorts& ports);

  // Whether the options ask for any of this: else every step leaves the run as it was.
  bool active() const;

  // Takes the files the last N fills chose out of the pool. False when that leaves none:
  // the run then shows NothingLeftMessage and chooses nothing.
  bool LeaveOutRecent(CandidatePool& pool);
  platform::UserText NothingLeftMessage() const;

  // Filling the destination's free space: what the files to be replaced take there (free
  // for the draw), and what the record and the playlist this run writes there will take
  // (charged to the chosen files, and in part kept back from the allowance).
  std::int64_t SpaceToBeFreed(std::uint64_t allocationUnit) const;
  void ChargeOwnFiles(DestinationSpace& space, std::int64_t& budget,
                      std::uint64_t allocationUnit) const;

  // Sorts the chosen files (in draw order) into those to be copied, which it returns,
  // and those the previous fill left on the destination unchanged, which are kept there.
  std::vector<Candidate> Settle(const std::vector<Candidate>& chosen);

  // The files of the previous fill that Settle did not keep, as paths in the
  // destination: what RemovePrevious removes.
  std::vector<std::string> PathsToRemove() const;

  // Removes them (each only if still unchanged), then the folders that leaves empty, and
  // returns the paths removed. A file that cannot be removed is left, with a warning.
  std::vector<std::string> RemovePrevious(RunPorts& ports);

  // After the copy: writes the device playlist and the record of this fill, whose files
  // are the chosen ones (draw order) that were kept or copied; `placedTargets` gives
  // where each file Settle returned was copied to, empty where it was not. False after a
  // message when the device playlist or the record could not be written.
  bool FinishCopy(const std::vector<Candidate>& chosen,
                  const std::vector<std::string>& placedTargets, RunPorts& ports);

  // After a playlist was written: records the paths it lists. False after a message when
  // the record could not be written.
  bool FinishPlaylist(const std::vector<std::string>& listedPaths, RunPorts& ports);

  // What became of the previous fill; none unless replacing.
  std::optional<Replacement> replacement() const;

 private:
  struct RecordPlace;

  bool OpenRecord(RunPorts& ports);
  void ReadRecord(RunPorts& ports);
  void PlanReplacement();
  bool WriteDevicePlaylist(const std::vector<Candidate>& chosen,
                           const std::vector<std::string>& relatives, RunPorts& ports,
                           RecordedFill& fill);
  bool WriteRecord(RecordedFill fill, RunPorts& ports);
  std::string RecordFolderPath() const;
  std::string RecordPath() const;

  const SelectionSettings& settings_;
  const bool dryRun_;
  const bool copy_;
  const bool usesRecord_;  // the options read the record and keep it up to date
  const bool replacing_;
  std::optional<platform::ContainedFolder> destination_;
  std::optional<platform::ContainedFolder> recordFolder_;
  std::string recordName_;
  std::string lockName_;
  std::optional<platform::FileLock> lock_;
  bool writable_ = false;  // the record may be written (and files removed)
  FillHistory history_;
  // The previous fill's files that are unchanged on the destination, and whether each
  // was chosen again.
  std::vector<RecordedFile> replaceable_;
  std::vector<bool> keptAgain_;
  // For each chosen file Settle kept, where it is below the destination.
  std::vector<std::optional<std::string>> keptAt_;
  Replacement replacement_;
};

}  // namespace sorvina::engine
