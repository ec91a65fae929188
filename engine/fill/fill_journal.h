// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/fill/fill_record.h"
#include "engine/fill/ownership.h"
#include "engine/fill/play_order.h"
#include "platform/contained_folder.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

// Writes the journal of a fill under way (FillJournal) into the record's folder, a line
// ahead of each step it tells of, so that the next fill knows what this one put there,
// and where putting the destination in play order moved it, if it is cut off. Its first
// line is sealed with the user's key. Lines are written by position at the journal's end
// (some file systems refuse appending). What cannot be put right by content goes to the
// device before its step: a copy's name (the copy names a few files at a time, after
// MakeDurable), a folder about to be made or rebuilt, the device playlist. Moves and the
// empty files that hold free places need not: the next run finds the fill's songs by their
// fingerprints wherever the order work left them, and its empty files by their names. The
// journal goes once the record holds the fill.
class JournalWriter : public transfer::PlacementJournal, public ArrangeJournal {
 public:
  JournalWriter(const platform::ContainedFolder& folder, std::string name,
                const platform::FingerprintKey& key)
      : folder_(folder), name_(std::move(name)), key_(key) {}

  // Starts the journal of a fill that began at `time`, on the device. 0, or the errno value.
  [[nodiscard]] int Begin(std::int64_t time, bool replacing);
  bool begun() const { return fd_.valid(); }
  // The errno value of the first line that could not be written or brought to the
  // device: from then on every step it would tell of is refused. 0 while all went well.
  int failure() const { return failure_; }

  const platform::FingerprintKey& key() const override { return key_; }
  int WillPlace(const std::string& relative, const std::string& source,
                const platform::EntryStatus& sourceStatus,
                const platform::ContentFingerprint& sourceFingerprint) override;
  int MakeDurable() override;
  void Placed(const std::string& relative, const platform::EntryStatus& status,
              const platform::ContentFingerprint& fingerprint) override;
  // Each folder told of once, ahead of the copy or the order work making it, or after.
  int WillMakeFolders(const std::vector<std::string>& folders) override;
  void FolderMade(const std::string& relative) override;

  int Arranging(const std::string& folder, const std::string& temporary) override;
  int Moving(const std::string& from, const std::string& to) override;
  int FillingGap(const std::string& relative) override;
  void Arranged(const std::string& folder, const std::string& temporary) override;

  // The device playlist `relative` is about to be written with `fingerprint`: on the
  // device before it is. 0, or the errno value, which must keep it from being written.
  [[nodiscard]] int WillWritePlaylist(const std::string& relative,
                                      const platform::ContentFingerprint& fingerprint);

  // The digest of each copy placed, by where it was placed.
  const std::map<std::string, FileDigest>& placedDigests() const { return placed_; }

  // Removes the journal: the record holds the fill now.
  void Remove();

 private:
  int Append(const JournalEntry& entry);
  int Write(const std::string& line);
  // Writes a line that announces a step; refused once any line failed.
  int AppendAhead(const JournalEntry& entry);

  const platform::ContainedFolder& folder_;
  const std::string name_;
  const platform::FingerprintKey& key_;
  platform::UniqueFd fd_;
  std::size_t end_ = 0;  // where the next line goes
  std::size_t lines_ = 0;
  bool unsynced_ = false;
  int failure_ = 0;  // of the first line that could not be written
  std::map<std::string, FileDigest> placed_;
  std::set<std::string> folders_;  // told of
};

// The seal of a journal begun at `time` (FillJournal::seal), under the user's `key`.
FileDigest JournalSeal(std::int64_t time, bool replacing, const platform::FingerprintKey& key);

// What a fill cut off part-way had put into `destination`, as its `journal` tells and the
// files' content proves (FileOwnership): the songs it placed, wherever the order work took
// them, the playlist it wrote and the folders it made; and where it was replacing
// `previous`, the songs of that fill it had not removed yet, which now belong to it.
// Where `clean`, the leftovers of its work go first: a folder whose rebuilding was cut off
// is put back together (FinishArranging; also one that no line tells of, by its name),
// hidden part files and temporaries anywhere in the destination but the record's folder
// `recordFolder` are removed, and so are the empty files of its steps: placeholders that
// hold a song's name for an instant before a copy or a move takes it, and the empty files
// that held free places (each only under a name of the kind those steps give, empty, and
// made since the fill began). Where the journal bears the seal of the user's key, the
// folders the fill left empty go too: those it tells were made, and the folders of
// `previous` that held one of that fill's songs, gone now. Nothing is recorded where it
// had placed nothing and moved none of the songs it replaced.
std::optional<RecordedFill> RecoverInterruptedFill(const FillJournal& journal,
                                                   const platform::ContainedFolder& destination,
                                                   const RecordedFill* previous, bool clean,
                                                   const std::string& recordFolder,
                                                   const FileOwnership& ownership);

// Removes the journal `name` from `folder`, where it is there.
void RemoveJournal(const platform::ContainedFolder& folder, const std::string& name);

// The folders of `previous` still there as folders in `destination`: a fill after it
// keeps them as folders that fills made.
std::vector<std::string> FoldersStillThere(const RecordedFill& previous,
                                           const platform::ContainedFolder& destination);

}  // namespace sorvina::engine
