// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/fill/destination_space.h"
#include "engine/fill/fill_record.h"
#include "engine/fill/mtp_destination.h"
#include "engine/report/run_ports.h"
#include "engine/report/run_summary.h"
#include "engine/settings/selection_settings.h"
#include "platform/content_fingerprint.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

// A fill of a phone reached over MTP: what a fill of a folder does with its record, its
// journal and the previous fill, through the operations the phone offers. Files are sent
// whole under their final names (MTP renames nothing); the record of fills lies on the
// phone in ".sorvina" below the destination folder, always sent as a new object before the
// old one is deleted; the journal lies on this computer ($XDG_STATE_HOME/sorvina/mtp), a
// line ahead of every send and delete, so that the next fill deletes what a fill cut off
// left that is not whole, and records what is. A file of the previous fill is deleted only
// where the object found at its place has the name and size the record gives it; nothing
// else on the phone is ever deleted, and no object is changed.
class MtpFill {
 public:
  MtpFill(const SelectionSettings& settings, MtpDestination& phone, bool dryRun);
  ~MtpFill();
  MtpFill(const MtpFill&) = delete;
  MtpFill& operator=(const MtpFill&) = delete;

  // Reads the record on the phone and finishes a fill cut off. False after a message
  // where the phone cannot be read.
  bool Begin(RunPorts& ports);

  // As RepeatedFill's: the files the last N fills chose leave the pool; false when none
  // is left.
  bool LeaveOutRecent(CandidatePool& pool) const;
  // What the previous fill's files take on the phone (free once replaced), and what the
  // record and the playlist this fill writes will take.
  std::int64_t SpaceToBeFreed(std::uint64_t allocationUnit) const;
  void ChargeOwnFiles(DestinationSpace& space, std::int64_t& budget,
                      std::uint64_t allocationUnit) const;

  // Sorts the chosen files into those to be sent, which it returns, and those of the
  // previous fill still on the phone as this fill would send them, which stay.
  std::vector<Candidate> Settle(const std::vector<Candidate>& chosen,
                                const std::unordered_map<std::string, std::string>& convertedFrom);
  std::vector<std::string> PathsToRemove() const;

  struct Result {
    std::size_t files = 0;
    std::int64_t bytes = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    bool cancelled = false;
    bool succeeded = true;
  };
  // Deletes the previous fill's files, sends the chosen files not kept (`targets`: where
  // each of `chosen` goes below the destination folder), writes the device playlist and
  // the record. Cancel stops after the file being sent.
  Result Copy(const std::vector<Candidate>& chosen, const std::vector<std::string>& targets,
              const std::unordered_map<std::string, std::string>& convertedFrom,
              transfer::FileOperationUi* owner, RunPorts& ports);

  std::optional<Replacement> replacement() const;

  // Where the journal of fills of the phone `serial` is kept.
  static std::string JournalPath(const std::string& serial);

 private:
  class Objects;
  class Journal;

  std::string FolderKey() const;
  bool ReadRecord(RunPorts& ports);
  void Recover(RunPorts& ports);
  int PlanReplacement();
  int FindAsRecorded(const RecordedFile& file, bool& there);
  bool SendPlaylist(const std::vector<Candidate>& chosen, const std::vector<std::string>& places,
                    transfer::FileOperationUi* owner, RunPorts& ports, RecordedFill& fill);
  bool WriteRecord(RunPorts& ports);
  int DeleteOwn(const RecordedFile& file);
  bool StopsTheFill(int error, RunPorts& ports, const std::string& relative);

  const SelectionSettings& settings_;
  MtpDestination& phone_;
  const bool dryRun_;
  std::unique_ptr<Objects> objects_;
  std::unique_ptr<Journal> journal_;  // of the copy under way
  std::optional<platform::FingerprintKey> key_;
  FillHistory history_;
  // The record's objects as found: the one taken, and any others of ours in its place.
  std::optional<platform::MtpObjectId> recordId_;
  std::string recordName_;
  std::vector<platform::MtpObject> staleRecords_;
  bool recordUnreadable_ = false;
  // The previous fill's files found on the phone as recorded, and whether each is kept.
  std::vector<RecordedFile> replaceable_;
  std::vector<bool> keptAgain_;
  std::vector<std::optional<RecordedFile>> keptAt_;  // per chosen file
  std::vector<RecordedFile> replaceablePlaylists_;
  Replacement replacement_;
};

}  // namespace sorvina::engine
