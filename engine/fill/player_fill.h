// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/convert/conversion_cache.h"
#include "engine/convert/song_conversions.h"
#include "engine/fill/book_lane.h"
#include "engine/fill/destination_space.h"
#include "engine/fill/fill_destination.h"
#include "engine/fill/mtp_destination.h"
#include "engine/fill/mtp_fill.h"
#include "engine/fill/player_targets.h"
#include "engine/fill/repeated_fill.h"
#include "engine/fill/song_output.h"
#include "engine/player/player_profile.h"
#include "engine/report/run_ports.h"
#include "engine/settings/selection_settings.h"
#include "platform/contained_folder.h"
#include "platform/file_system.h"
#include "transfer/file_operation.h"

namespace sorvina::engine {

// Replacing the previous fill of a player that holds no record of one: whether the
// copies of songs found on it count as that fill (and are replaced).
enum class AdoptCopies { kAsk, kYes, kNo };

// How a fill goes about its work, beyond its settings.
struct FillOptions {
  // Asks the copy's questions and shows its progress; none copies without asking.
  transfer::FileOperationUi* owner = nullptr;
  bool dryRun = false;
  AdoptCopies adoptCopies = AdoptCopies::kAsk;
  // Encoders at once (0: one per core), and how much the cache of converted songs may
  // hold (SelectionRunOptions says how much by default).
  int jobs = 0;
  std::int64_t cacheBytes = 0;
  // The amount is the destination's free space, as the fill finds it.
  bool freeSpace = false;
  // Reads the play history, where the options ask for it.
  HistoryGatherer gatherHistory = {};
  // The phone reached over MTP that the destination text names, opened by the run.
  std::shared_ptr<MtpDestination> phone = nullptr;
};

// The copy of a run's chosen songs into a folder or onto a player, and everything it takes
// there: the player's profile and its plan (what it plays, where each song goes), the
// conversions it needs, the record of earlier fills (what to avoid, what to replace, a fill
// cut off to finish, copies made by hand to adopt), the space the fill may take, the copy
// itself, the play order on the device, the record and the device playlist of this fill,
// and writing it all out to the device. It writes only inside its destination, held open
// from the start: never through a link, never onto a file it did not put there, never onto
// the disk below a player that was unmounted meanwhile.
class PlayerFill : public SongOutput {
 public:
  PlayerFill(const SelectionSettings& settings, const FillOptions& options, RunPorts& ports);
  PlayerFill(const PlayerFill&) = delete;
  PlayerFill& operator=(const PlayerFill&) = delete;

  // Opens the destination, finds the player, reads the record (finishing a fill cut off
  // part-way), offers copies found on a player with no record for adoption, and leaves out
  // what the last fills chose and what the player cannot play; the draw gets the player's
  // plan as its gate and, filling the free space, what each song takes there.
  bool BeforeDraw(CandidatePool& pool, DrawLimit& limit) override;

  // Converts what the player needs converted (drawing again while room is left), puts the
  // songs in play order, removes the previous fill, copies, puts the destination's folders
  // in play order, writes the device playlist and the record, and writes out to the device.
  void AfterDraw(DrawnSongs drawn, SelectionOutcome& outcome) override;

  const PlayHistory* playHistory() const override { return history_.get(); }

 private:
  bool FindPlayer();
  void GatherHistory(const CandidatePool& pool);
  void PlanForPlayer(CandidatePool& pool, DrawLimit& limit);
  bool MeasureFreeSpace(DrawLimit& limit);
  void ChargeSpace(DrawLimit& limit);
  bool ConvertAndTopUp(DrawnSongs& drawn);
  void PlanTargets();
  ChosenPlaces Arrange(ChosenPlaces places, std::vector<std::string>& madeFolders);
  void FinishDryRun(SelectionOutcome& outcome);
  bool FinishCopy(SelectionOutcome& outcome);
  void FinishOnPhone(SelectionOutcome& outcome);
  void TrimCache() const;
  void LeaveOutBooks(CandidatePool& pool) const;
  void PlanBooks(CandidatePool& pool);
  void LeaveOutUnplayableChapters();
  void ChargeBooks(DrawLimit& limit);
  bool AddBooks();
  void KeepBookState(const ChosenPlaces* places);

  const SelectionSettings& settings_;
  const FillOptions& options_;
  RunPorts& ports_;
  // Held open from the start: everything written goes there, also when the player is
  // unmounted from its path meanwhile. A dry run may find none yet. Its folder, where it
  // is one of this computer's, for the copy, the play order and the record.
  std::shared_ptr<FillDestination> destination_;
  const platform::ContainedFolder* folder_ = nullptr;
  // A phone reached over MTP, which has no folder here: its fill works through mtp_.
  MtpDestination* phone_ = nullptr;
  std::optional<MtpFill> mtp_;
  bool fat_ = false;  // names are made legal for FAT where they are charged or kept
  std::optional<RepeatedFill> repeat_;
  // The player copied to, and where its plan puts the files, where the fill has one.
  std::optional<PlayerProfile> player_;
  std::optional<PlayerTargets> plan_;
  std::vector<std::string> plannedTargets_;  // for each chosen file
  // Songs converted for the player, where asked, and where the copy takes each from.
  std::optional<ConversionCache> cache_;
  std::optional<LoudnessMemo> loudness_;
  std::optional<SongConversions> conversions_;
  std::unordered_map<std::string, std::string> convertedFrom_;
  // What each song takes on the destination, where the fill fills its free space, and
  // once converted.
  std::optional<platform::FileSystemSpace> free_;
  std::optional<DestinationSpace> space_;
  std::optional<ConvertedSpace> convertedSpace_;
  std::vector<Candidate> chosen_;
  std::vector<Candidate> toCopy_;  // the chosen files not kept from the previous fill
  RunSummary summary_;
  std::size_t copiesNotAdopted_ = 0;
  std::unique_ptr<PlayHistory> history_;
  // The books that go before the random songs, in order (the first of chosen_ once
  // drawn), and what the lane keeps for the next fill.
  std::vector<LaneChapter> lane_;
  BookLaneState laneNext_;
};

}  // namespace sorvina::engine
