// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/fill/fill_record.h"
#include "engine/fill/play_order.h"
#include "platform/contained_folder.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

// What a fill writes ahead of its work, line by line, into a journal beside the record,
// so that a fill cut off part-way (killed, or its device pulled out) can be finished by
// the next one: which files it was about to place and which it placed, the folders it
// made, and how it was putting the destination's entries in play order.
struct JournalEntry {
  enum class Kind {
    kPlace,     // about to place `relative`, a copy of `source` (its size, time and digest)
    kPlaced,    // placed `relative`; size, time and digest as the destination has it
    kPlaylist,  // about to write the playlist `relative` of this size and digest
    kFolder,    // made the folder `relative`
    kArrange,   // about to order the folder `to` ("" for the destination) through `relative`
    kMove,      // about to move `relative` to `to`
    kGap,       // about to make an empty file at `relative`, taking a free place
    kArranged,  // the folder `to` is whole again; its temporary `relative` is gone
    kWrite,     // about to write `relative` under its name, as kPlace, where nothing is renamed
  };
  Kind kind = Kind::kPlace;
  std::string relative;
  std::int64_t sizeBytes = 0;
  platform::FileTime modified;
  std::string source;
  std::string to = {};
  std::optional<FileDigest> digest = std::nullopt;
  friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

struct FillJournal {
  std::int64_t time = 0;   // when the fill began
  bool replacing = false;  // it replaced the fill before it
  std::vector<JournalEntry> entries;
  // A keyed hash of the time and `replacing`, which only the user's key makes
  // (JournalSeal): proof that the user's own fill began this journal. None in journals of
  // earlier versions.
  std::optional<FileDigest> seal = std::nullopt;
  friend bool operator==(const FillJournal&, const FillJournal&) = default;
};

// The journal's first lines: a version line and "begin" with the time, whether the fill
// replaces the previous one and, where given, the seal (the journal's third version; the
// second without).
std::string FormatJournalStart(std::int64_t time, bool replacing,
                               const std::optional<FileDigest>& seal = std::nullopt);
// One line for `entry`, fields as in the record.
std::string FormatJournalLine(const JournalEntry& entry);

struct ParsedJournal {
  FillJournal journal;
  RecordProblem problem = RecordProblem::kNone;
};

// Reads a journal as written, trusting nothing. Its lines are written one at a time and
// a device that went away may have kept only some of them, or garbage after them: the
// lines before the first that is not as written are taken. A journal of another kind or
// version, or too large, is not taken; one that names a path outside the destination is
// not taken at all. Journals of the versions before are read too: without a seal, and
// the first without digests.
ParsedJournal ParseFillJournal(std::string_view bytes);

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
  // The errno value of the first line that could not be written or brought to the
  // device: from then on every step it would tell of is refused. 0 while all went well.
  int failure() const { return failure_; }

  const platform::FingerprintKey& key() const override { return key_; }
  int WillPlace(const std::string& relative, const std::string& source,
                const platform::EntryStatus& sourceStatus,
                const platform::ContentFingerprint& sourceFingerprint) override;
  int WillWriteInPlace(const std::string& relative, const std::string& source,
                       const platform::EntryStatus& sourceStatus,
                       const platform::ContentFingerprint& sourceFingerprint) override;
  int MakeDurable() override;
  void Placed(const std::string& relative, const platform::EntryStatus& status,
              const platform::ContentFingerprint& fingerprint) override;
  // Each folder told of once, ahead of the copy or the order work making it, or after.
  int WillMakeFolders(const std::vector<std::string>& folders) override;
  void FolderMade(const std::string& relative) override;
  // Keeps the journal past Remove: the next run removes what it tells of.
  void LeftBehind(const std::string& relative) override;

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

  // Removes the journal: the record holds the fill now. Where a copy left something of its
  // own that is not whole (LeftBehind), the journal stays, so that the next run removes it.
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
  bool leftBehind_ = false;
};

// The seal of a journal begun at `time` (FillJournal::seal), under the user's `key`.
FileDigest JournalSeal(std::int64_t time, bool replacing, const platform::FingerprintKey& key);

// Removes the journal `name` from `folder`, where it is there.
void RemoveJournal(const platform::ContainedFolder& folder, const std::string& name);

}  // namespace sorvina::engine
