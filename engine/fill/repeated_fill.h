// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/fill/destination_space.h"
#include "engine/fill/fill_journal.h"
#include "engine/fill/fill_record.h"
#include "engine/fill/ownership.h"
#include "engine/fill/play_order.h"
#include "engine/history/play_history.h"
#include "engine/report/run_ports.h"
#include "engine/report/run_summary.h"
#include "engine/settings/selection_settings.h"
#include "platform/contained_folder.h"
#include "text/user_text.h"

namespace sorvina::engine {

// Where the record of a destination's fills is kept: the folder ".sorvina" inside a copy
// destination (the record goes with the player), and for a playlist, which has no folder
// of its own, a file named after the playlist's path in the user's state folder.
inline constexpr char kRecordFolderName[] = ".sorvina";
inline constexpr char kRecordFileName[] = "fills.txt";
inline constexpr char kRecordLockName[] = "lock";
inline constexpr char kJournalName[] = "journal.txt";

// What a run does for the fills that come before and after it, as the options ask:
//   - avoidLast: the files the last N fills chose are left out of the pool;
//   - replacePrevious (copy): the files the previous fill put into the destination that
//     are unchanged since are removed before the copy (their space counts as free), and
//     those chosen again stay where they are; a player with no record of a fill can have
//     the copies of songs on it taken as one (FindCopies, Adopt);
//   - devicePlaylist (copy): a playlist of this fill's files is written into the
//     destination, replacing only a playlist an earlier fill wrote there;
// and a record of what this run put there (or listed) is kept for the next runs. Copy
// runs with any option beyond the classic ones keep a record, and a journal ahead of
// their work while they copy, so that a fill cut off part-way is finished by the next
// one: what it placed joins the record. Classic runs and playlists without avoidLast read
// and write none, and leave nothing in the destination beyond the copied files.
//
// The record and the journal are read as untrusted input (see ParseFillRecord): one
// that cannot be used, or that belongs to another user where the volume keeps owners, is
// passed over with a warning and set aside, and never makes the run fail; nothing it
// names is looked at, removed or written outside the destination, nor through a link,
// and only folders that fills made are ever removed. A lock in the record's folder keeps
// two runs from filling one destination at once.
// Where each chosen file lies below the destination after a copy ("" where nowhere), and
// whether it is the fill's own (not a file found there with the same content).
struct ChosenPlaces {
  std::vector<std::string> relatives;
  std::vector<bool> ownCopy;
  // The fingerprint of each of the fill's own files, as it was placed or kept.
  std::vector<std::optional<FileDigest>> digests;
  // The fill's folders were put in play order on a volume that plays them in the order of
  // their entries: a file written there afterwards must not take a place among the songs.
  bool inPlayOrder = false;
};

class RepeatedFill {
 public:
  // `beyondClassic`: the run uses an option beyond the classic ones.
  RepeatedFill(const SelectionSettings& settings, bool dryRun, bool beyondClassic);
  RepeatedFill(const RepeatedFill&) = delete;
  RepeatedFill& operator=(const RepeatedFill&) = delete;

  // Opens the record (and, unless in a dry run, locks it), reads it and finishes a fill
  // that was cut off. `destination` is the copy destination, held open for the whole run
  // (none for a playlist, or in a dry run where it does not exist yet). False, after a
  // message, when another run holds the lock or the device playlist's name is unusable.
  bool Begin(RunPorts& ports, const platform::ContainedFolder* destination);

  // Whether the options ask for any of this: else every step leaves the run as it was.
  bool active() const;

  // Takes the files the last N fills chose out of the pool. False when that leaves none:
  // the run then shows NothingLeftMessage and chooses nothing.
  bool LeaveOutRecent(CandidatePool& pool);
  text::UserText NothingLeftMessage() const;

  // Replacing, where the destination holds no record of an earlier fill.
  bool NoEarlierFill() const;
  // Each file the recorded fills put on the destination (below it) and its song.
  std::vector<std::pair<std::string, std::string>> RecordedFiles() const;
  // Replacing only what was heard: of the previous fill's recorded songs, those `plays`
  // tell were played or skipped since that fill are replaced, and the others stay where
  // they are and become part of this fill; neither kind is drawn again (LeaveOutRecent).
  // Where `plays` is none or knows none of its songs, the run says so and the whole fill
  // is replaced.
  void KeepUnheard(const PlayHistory* plays, RunPorts& ports);
  // The previous fill's files that KeepUnheard kept.
  const std::vector<RecordedFile>& unheard() const { return unheard_; }
  // The files on the destination that are byte-identical copies of candidates in `pool`
  // and that no recorded fill names, fingerprinted; `otherFiles` receives how many other
  // files it holds.
  std::vector<RecordedFile> FindCopies(const CandidatePool& pool, std::size_t& otherFiles) const;
  // Takes `copies` for the previous fill's songs, to be replaced (and avoided) like them.
  void Adopt(std::vector<RecordedFile> copies);
  // Replacing where the destination holds a record: copies no fill recorded can still be
  // adopted, where the user asks for it.
  bool MayAdoptBesideRecord() const;

  // Filling the destination's free space: what the files to be replaced take there (free
  // for the draw), and what the record, the journal and the playlist this run writes
  // there will take (charged to the chosen files, and in part kept back from the
  // allowance).
  std::int64_t SpaceToBeFreed(std::uint64_t allocationUnit) const;
  void ChargeOwnFiles(DestinationSpace& space, std::int64_t& budget,
                      std::uint64_t allocationUnit) const;

  // Sorts the chosen files (in draw order) into those to be copied, which it returns,
  // and those the previous fill left on the destination that are what this fill would put
  // there, which are kept there: the same bytes as the file the copy would take, which is
  // the song's conversion for the player where `convertedFrom` names one (by the song's
  // path). A song of the last fill that no longer meets the player's rules (made before
  // conversion or loudness was asked for, or by hand) is replaced.
  std::vector<Candidate> Settle(const std::vector<Candidate>& chosen,
                                const std::unordered_map<std::string, std::string>& convertedFrom);
  // Where the kept files lie below the destination: no copy may take their names.
  std::vector<std::string> KeptTargets() const;

  // The files of the previous fill that Settle did not keep, as paths in the
  // destination: what RemovePrevious removes.
  std::vector<std::string> PathsToRemove() const;

  // Starts the journal of this fill before anything is removed or copied; the copy tells
  // it what it places. None where the run keeps no record.
  transfer::PlacementJournal* BeginCopy(RunPorts& ports);

  // Removes the previous fill's files (each only if still unchanged), then the folders
  // that fills made and this leaves empty, and returns the paths removed. A file that
  // cannot be removed is left, with a warning.
  std::vector<std::string> RemovePrevious(RunPorts& ports);

  // After the copy: where each of `chosen` (draw order) lies below the destination, given
  // what the copy of the files Settle returned did.
  ChosenPlaces PlacesOf(const std::vector<Candidate>& chosen,
                        const transfer::FileOperationResult& copied) const;

  // Then: writes the device playlist and the record of this fill, whose files are the
  // chosen ones that were kept or copied (at `places`), and removes the journal; where
  // `places` were put in play order, the playlist is moved ahead of the songs it shares
  // a folder with, so that it never stands among them;
  // `madeFolders` are the folders the copy made. The playlist also lists chosen files that
  // were skipped because an identical file holds their name. A playlist name that holds a
  // file no fill wrote is a conflict that `owner` settles, as a copy's. False after a
  // message when the device playlist or the record could not be written.
  bool FinishCopy(const std::vector<Candidate>& chosen, ChosenPlaces places,
                  const std::vector<std::string>& madeFolders, transfer::FileOperationUi* owner,
                  RunPorts& ports);

  // The journal that a rearranging of the destination's folders tells of its moves; none
  // where the run keeps no record.
  ArrangeJournal* arrangeJournal();

  // After a playlist was written: records the paths it lists. False after a message when
  // the record could not be written.
  bool FinishPlaylist(const std::vector<std::string>& listedPaths, RunPorts& ports);

  // What became of the previous fill; none unless replacing.
  std::optional<Replacement> replacement() const;

  // A small file of the fill's own beside the record, read as untrusted as the record is
  // (none where missing or unusable), and written whole; false after a warning when it
  // could not be written. A dry run writes nothing.
  std::optional<std::string> ReadBeside(const std::string& name, RunPorts& ports);
  bool WriteBeside(const std::string& name, const std::string& bytes, RunPorts& ports);
  // When the last recorded fill was (seconds since 1970); 0 where none is recorded.
  std::int64_t LastFillTime() const;
  // Files below the destination (path, source) that an earlier fill put there and that
  // this fill keeps where they are once chosen again, also where it replaces nothing:
  // each that is still what a recorded fill wrote joins the files Settle may keep.
  void KeepIfChosen(const std::vector<std::pair<std::string, std::string>>& files);

 private:
  bool OpenRecord(RunPorts& ports);
  std::optional<std::string> ReadTrusted(const std::string& name, RunPorts& ports);
  void SetAside(const std::string& name);
  void ReadRecord(RunPorts& ports);
  void FinishInterruptedFill(RunPorts& ports);
  void PlanReplacement();
  void TakeKey(RunPorts& ports);
  void ShowNoRecord(RunPorts& ports, const text::UserText& reason) const;
  bool WriteDevicePlaylist(const std::vector<Candidate>& chosen,
                           const std::vector<std::string>& relatives,
                           transfer::FileOperationUi* owner, RunPorts& ports, RecordedFill& fill);
  void PutPlaylistAheadOfSongs(const ChosenPlaces& places, RecordedFill& fill, RunPorts& ports);
  bool IsOwnPlaylist(const std::string& relative) const;
  bool OwnsPlaylist(const RecordedFile& playlist, const RecordedFill& fill) const;
  bool RemovesPlaylist(const RecordedFile& playlist) const;
  void RemoveEmptyFillFolders(const std::set<std::string>& emptied);
  bool JournalFailed(RunPorts& ports) const;
  bool IsWhatWouldBePlaced(const RecordedFile& recorded, const std::string& path) const;
  bool WriteRecord(RecordedFill fill, RunPorts& ports);
  int StoreHistory();
  std::string RecordFolderPath() const;
  std::string PathOf(const std::string& name) const;

  const SelectionSettings& settings_;
  const bool dryRun_;
  const bool copy_;
  const bool usesRecord_;  // the options read the record and keep it up to date
  const bool replacing_;
  const platform::ContainedFolder* destination_ = nullptr;
  std::optional<platform::ContainedFolder> recordFolder_;
  std::string recordName_;
  // The name that holds the record now: recordName_, or, where the device renames
  // nothing, possibly its alternate (AlternateRecordName), the two taken in turn.
  std::string recordHeldAs_;
  std::string lockName_;
  std::optional<platform::FileLock> lock_;
  bool writable_ = false;  // the record may be written (and files removed)
  // What tells the fill's files from the user's; none where the user's key cannot be had.
  std::optional<FileOwnership> ownership_;
  FillHistory history_;
  std::optional<JournalWriter> journal_;
  // A fill cut off part-way was recovered, but the record could not take it yet.
  bool recoveryUnstored_ = false;
  std::optional<std::vector<std::string>> removedEarly_;  // by BeginCopy, to make room
  std::int64_t begunAt_ = 0;
  // The previous fill's files that are unchanged on the destination, and whether each
  // was chosen again; its playlists unchanged there; the folders fills made.
  std::vector<RecordedFile> replaceable_;
  std::size_t recordedReplaceable_ = 0;  // the first of them, which the record names
  // Replacing only what was heard: the previous fill's files that stay, and the songs of
  // those that go.
  std::vector<RecordedFile> unheard_;
  std::vector<std::string> heardSources_;
  // How each was when proven the fill's, where it was proven before the copy.
  std::vector<std::optional<platform::EntryStatus>> verifiedAs_;
  std::vector<bool> keptAgain_;
  // Of those, the ones that are still the fill's but could not be removed (the device
  // refused): recorded again with this fill, so that the next one removes them.
  std::vector<RecordedFile> notRemoved_;
  std::vector<std::string> adoptedSources_;  // of the copies taken for the previous fill
  std::vector<RecordedFile> replaceablePlaylists_;
  std::vector<std::string> fillFolders_;
  // For each chosen file Settle kept, the previous fill's file that it is.
  std::vector<std::optional<RecordedFile>> keptAt_;
  Replacement replacement_;
};

}  // namespace sorvina::engine
