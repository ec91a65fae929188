// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/player_fill.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "engine/draw/play_weights.h"
#include "engine/fill/copy_targets.h"
#include "engine/fill/play_order.h"
#include "engine/player/player_lookup.h"
#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "engine/scan/collection.h"
#include "media/file_types.h"
#include "media/track_probe.h"
#include "platform/drive_type.h"
#include "text/path_style.h"
#include "transfer/copy_job.h"
#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

// Where each chosen file goes below the destination, names separated by '/'.
std::function<std::string(const Candidate&)> RelativeTargets(const SelectionSettings& settings,
                                                             bool fat) {
  if (settings.options.keepFolders) {
    return [targets = KeptFolderTargets(settings.sources, settings.destination, fat)](
               const Candidate& candidate) { return targets.RelativeTarget(candidate); };
  }
  return [fat](const Candidate& candidate) {
    const std::string name = text::SplitPath(candidate.path).name;
    return fat ? transfer::FatSafeName(name) : name;
  };
}

// Where a player's plan puts each chosen file, by its path; empty without a plan.
using PlannedTargets = std::unordered_map<std::string, std::string>;

// What the copy of the chosen files did.
struct ChosenCopy {
  bool succeeded = true;  // nothing chosen counts as done
  bool started = false;
  transfer::FileOperationResult result;
};

// Hands the chosen files to the copy into `destination`, held open: each under its own
// name or, with the sources' folders kept, to its path below it; the files `reserved`
// (kept from the previous fill) keep their names. Nothing chosen: nothing to do, and
// nothing to say.
ChosenCopy CopyChosen(const SelectionSettings& settings, const std::vector<Candidate>& chosen,
                      bool fat, const platform::ContainedFolder& destination,
                      transfer::FileOperationUi* owner, transfer::PlacementJournal* journal,
                      std::vector<std::string> reserved, const PlannedTargets& planned,
                      const std::unordered_map<std::string, std::string>& convertedFrom) {
  ChosenCopy copy;
  if (chosen.empty()) return copy;
  transfer::CopyJob job;
  job.SetRoot(&destination, settings.destination, journal, std::move(reserved));
  if (!planned.empty()) {
    job.Setup(owner, transfer::DestinationLayout::kOnePerSource);
    for (const Candidate& candidate : chosen) {
      const auto converted = convertedFrom.find(candidate.path);
      job.AddSource(converted != convertedFrom.end() ? converted->second : candidate.path);
      job.AddDestination(planned.at(candidate.path));
    }
  } else if (settings.options.keepFolders) {
    job.Setup(owner, transfer::DestinationLayout::kOnePerSource);
    const KeptFolderTargets targets(settings.sources, settings.destination, fat);
    for (const Candidate& candidate : chosen) {
      job.AddSource(candidate.path);
      job.AddDestination(targets.RelativeTarget(candidate));
    }
  } else {
    job.Setup(owner, transfer::DestinationLayout::kOneFolderForAll);
    job.AddDestination(".");
    for (const Candidate& candidate : chosen)
      job.AddSource(candidate.path);
  }
  copy.succeeded = job.Run(&copy.started);
  copy.result = job.result();
  return copy;
}

// Writes the destination out to its device; false after a message when that fails.
bool WriteOutToDevice(const FillDestination& destination, transfer::FileOperationUi* owner,
                      RunPorts& ports) {
  if (owner != nullptr) owner->WritingToDevice();
  if (!destination.WriteOut()) return true;
  ports.ShowInformation(kWritingToDeviceFailedMessage);
  return false;
}

// Replacing where the player holds no record of a fill: says so where it holds files,
// and takes the copies of songs found on it for that fill where the user agrees (or
// agreed ahead). Returns how many were found and not taken.
std::size_t OfferCopiesForAdoption(RepeatedFill& repeat, const CandidatePool& pool,
                                   AdoptCopies adopt, RunPorts& ports) {
  const bool beside = repeat.MayAdoptBesideRecord();
  std::size_t otherFiles = 0;
  std::vector<RecordedFile> copies = repeat.FindCopies(pool, otherFiles);
  if (copies.empty()) {
    // An empty player needs no word: the summary says there was nothing to replace.
    if (otherFiles > 0 && !beside) ports.ShowWarning(kNoEarlierFillMessage);
    return 0;
  }
  std::int64_t bytes = 0;
  for (const RecordedFile& copy : copies)
    bytes += copy.sizeBytes;
  const text::UserText found = {copies.size() == 1
                                    ? SORVINA_TEXT("sorvina",
                                                   "%1 file (%2) on it is a copy of a song in "
                                                   "the sources")
                                    : SORVINA_TEXT("sorvina",
                                                   "%1 files (%2) on it are copies of songs in "
                                                   "the sources"),
                                {copies.size(), SizeText(bytes)}};
  bool take = adopt == AdoptCopies::kYes;
  if (beside) {
    ports.ShowWarning(
        {"%1; %2",
         {found, text::UserText(SORVINA_TEXT("sorvina",
                                             "no fill recorded them, so they are replaced as "
                                             "songs of the previous fill"))}});
  } else if (adopt == AdoptCopies::kAsk) {
    take = ports.AskYesNo({SORVINA_TEXT("sorvina",
                                        "This player has no record of an earlier fill. %1. "
                                        "Replace them as the previous fill? The songs stay in "
                                        "the sources."),
                           {found}});
  } else {
    ports.ShowWarning({"%1; %2", {text::UserText(kNoEarlierFillMessage), found}});
  }
  if (!take) return copies.size();
  repeat.Adopt(std::move(copies));
  return 0;
}

// Where a player's music goes: its first music folder ("MUSIC") where the destination is
// the root of the player's volume; the destination itself where the user chose a folder on
// it, or the player names none.
std::string MusicFolder(const PlayerProfile& player, const std::string& destination) {
  if (player.audioFolders.empty() || !platform::IsVolumeRoot(destination)) return {};
  std::string folder = player.audioFolders.front();
  while (!folder.empty() && folder.back() == '/')
    folder.pop_back();
  while (!folder.empty() && folder.front() == '/')
    folder.erase(0, 1);
  return platform::ContainedFolder::IsContainedPath(folder) ? folder : std::string();
}

// Whether a copy run uses any option beyond the classic run.
bool BeyondClassic(const SelectionSettings& settings, bool freeSpace) {
  return freeSpace || settings.options != ExtraOptions{};
}

std::int64_t BytesOf(const std::vector<Candidate>& files) {
  std::int64_t bytes = 0;
  for (const Candidate& file : files)
    bytes += file.sizeBytes;
  return bytes;
}

}  // namespace

PlayerFill::PlayerFill(const SelectionSettings& settings, const FillOptions& options,
                       RunPorts& ports)
    : settings_(settings), options_(options), ports_(ports) {
  summary_.copy = true;
  summary_.dryRun = options.dryRun;
  summary_.destination = settings.destination;
}

bool PlayerFill::BeforeDraw(CandidatePool& pool, DrawLimit& limit) {
  if (options_.phone) {
    destination_ = options_.phone;
    phone_ = options_.phone.get();
    summary_.destination = phone_->ShownName();
  } else if (text::Result<std::unique_ptr<FolderDestination>> opened =
                 FolderDestination::Open(settings_.destination)) {
    destination_ = std::move(*opened);
    folder_ = destination_->folder();
    summary_.destination = destination_->ShownName(settings_.destination);
  } else if (!options_.dryRun) {
    ports_.ShowInformation(kInvalidDestinationFolderMessage);
    return false;
  }
  if ((options_.freeSpace && !MeasureFreeSpace(limit)) || !FindPlayer()) return false;
  const bool freeSpace = options_.freeSpace;
  fat_ = (settings_.options.keepFolders || freeSpace || player_) && destination_ &&
         destination_->KeepsFatNames();
  repeat_.emplace(settings_, options_.dryRun, BeyondClassic(settings_, freeSpace));
  if (phone_) {
    // Names on a phone keep FAT's rules, whatever the options.
    fat_ = true;
    mtp_.emplace(settings_, *phone_, options_.dryRun);
    if (!mtp_->Begin(ports_)) return false;
    // A phone keeps no log of plays that a fill could read: the history comes from the
    // computer's players alone, and the previous fill goes whole.
    if (settings_.options.replacePrevious && settings_.options.replaceHeard)
      ports_.ShowWarning(text::UserText(SORVINA_TEXT(
          "sorvina",
          "A phone keeps no log of what was played; the whole previous fill is replaced")));
    GatherHistory(pool);
    if (!settings_.options.bookFolders.empty()) {
      LeaveOutBooks(pool);
      ports_.ShowWarning(text::UserText(
          SORVINA_TEXT("sorvina", "Books are not put onto a phone; only the songs are")));
    }
    if (!mtp_->LeaveOutRecent(pool)) {
      ports_.ShowInformation(repeat_->NothingLeftMessage());
      return false;
    }
    PlanForPlayer(pool, limit);
    ChargeSpace(limit);
    return true;
  }
  if (!repeat_->Begin(ports_, folder_)) return false;
  // Copies made by hand are offered where the player holds no record; beside a record,
  // they are taken only where the user asked for that ahead (--adopt-copies).
  if (repeat_->NoEarlierFill() ||
      (options_.adoptCopies == AdoptCopies::kYes && repeat_->MayAdoptBesideRecord()))
    copiesNotAdopted_ = OfferCopiesForAdoption(*repeat_, pool, options_.adoptCopies, ports_);
  GatherHistory(pool);
  repeat_->KeepUnheard(history_.get(), ports_);
  // The songs that stay are part of this fill: they take their share of an amount, as
  // songs chosen again would (the free space is what they leave).
  if (!options_.freeSpace && limit.kind != DrawLimit::Kind::kNone) {
    media::TrackProbe probe;
    for (const RecordedFile& kept : repeat_->unheard())
      limit.budget -= limit.kind == DrawLimit::Kind::kSeconds
                          ? probe.Seconds(kept.source, kept.sizeBytes)
                          : kept.sizeBytes;
    limit.budget = std::max<std::int64_t>(limit.budget, 0);
  }
  if (!settings_.options.bookFolders.empty()) PlanBooks(pool);
  if (!repeat_->LeaveOutRecent(pool) && lane_.empty()) {
    ports_.ShowInformation(repeat_->NothingLeftMessage());
    return false;
  }
  PlanForPlayer(pool, limit);
  ChargeSpace(limit);
  ChargeBooks(limit);
  return true;
}

// The play history, where the options use one: the computer's sources, and for a folder
// destination also the player's own logs, matched through the record. A phone keeps no
// log, and replaces no fill by what was heard.
void PlayerFill::GatherHistory(const CandidatePool& pool) {
  if (!UsesPlayHistory(settings_.options, phone_ == nullptr) || !options_.gatherHistory) return;
  HistoryRequest request;
  request.sources = settings_.options.historySources;
  request.librarySongs = [&pool] { return KnownSongsOf(pool); };
  if (phone_ == nullptr) {
    request.player = folder_;
    request.playerPath = settings_.destination;
    request.recordedFiles = repeat_->RecordedFiles();
  }
  history_ = options_.gatherHistory(request, ports_);
}

// The player's profile, where the copy goes to a player with one, or numbers its files;
// false after a message when the profile cannot be had.
bool PlayerFill::FindPlayer() {
  const ExtraOptions& options = settings_.options;
  const bool converting = !options.convert.empty() || options.loudness.has_value();
  if (options.player.empty() && !options.number && !converting) return true;
  FoundPlayer found;
  // A phone says itself what it plays.
  if (phone_ && (options.player.empty() || options.player == "auto"))
    found.profile = phone_->Profile();
  if (!found.profile)
    found = FindPlayerProfile(phone_ && options.player == "auto" ? "any" : options.player,
                              settings_.destination);
  if (!found.profile) {
    if (found.error) ports_.ShowInformation(*found.error);
    return false;
  }
  // A player that takes anything changes nothing unless the files are numbered or
  // converted.
  if (!TakesAnything(*found.profile) || options.number || converting)
    player_ = std::move(found.profile);
  const std::optional<ConversionChoice> choice = ParseConversionChoice(options.convert);
  if (player_ && choice) {
    if (const std::optional<text::UserText> refused = RefusedConversion(*player_, *choice)) {
      ports_.ShowInformation(*refused);
      return false;
    }
  }
  // Covers larger than the player shows are fitted on copies of their songs, kept in the
  // cache as conversions are; where no cache folder is known they go as they are.
  const bool fitsCovers = player_ && player_->limits.maxPictureSide;
  if (player_ && (choice || options.loudness || fitsCovers)) {
    const text::Result<std::string> cacheFolder = ConversionCache::DefaultFolder();
    if (!cacheFolder) {
      if (!choice && !options.loudness) return true;
      ports_.ShowInformation(cacheFolder.failure().reason);
      return false;
    }
    // Covers alone may fit none: the folder is made once an entry is looked for.
    cache_.emplace(*cacheFolder, options_.cacheBytes, choice || options.loudness);
    // Beside the cache folder as the user names it: where a linked one leads is the
    // cache's alone, and its parent there may be anything of the user's.
    std::filesystem::path folder(cache_->folder());
    if (!folder.has_filename()) folder = folder.parent_path();
    loudness_.emplace((folder.parent_path() / "loudness.tsv").string());
    conversions_.emplace(choice, options.bitrate, options.loudness, *player_, *cache_, *loudness_);
  }
  return true;
}

// Songs the player cannot play are converted for it where asked, else left out; the plan
// of where each song goes on the player is the draw's gate.
void PlayerFill::PlanForPlayer(CandidatePool& pool, DrawLimit& limit) {
  if (!player_) return;
  if (!conversions_ || !conversions_->converts())
    summary_.leftOut = LeaveOutUnplayable(pool, *player_);
  const std::string musicFolder = MusicFolder(*player_, settings_.destination);
  plan_.emplace(*player_, settings_.sources, settings_.options.keepFolders, musicFolder, fat_);
  // The summary names where the songs went: the player's music folder.
  if (!musicFolder.empty())
    summary_.destination = (std::filesystem::path(settings_.destination) / musicFolder).string();
  if (!musicFolder.empty() && destination_)
    summary_.destination = destination_->ShownName(summary_.destination);
  if (conversions_ && conversions_->converts()) {
    plan_->ConvertFor(
        [this](const Candidate& candidate) { return conversions_->ExtensionFor(candidate); });
  }
  limit.gate = &*plan_;
}

// The destination's free space as the allowance; false, after saying why, where it cannot
// be had.
bool PlayerFill::MeasureFreeSpace(DrawLimit& limit) {
  free_ = destination_ ? destination_->Space() : FolderDestination::SpaceAt(settings_.destination);
  // A file system that reports no size at all would give no room for anything.
  if (!free_ || free_->totalBytes == 0) {
    ports_.ShowInformation(kFreeSpaceUnknownMessage);
    return false;
  }
  limit.budget = FreeSpaceBudget(*free_);
  return true;
}

// Filling the free space, each song is charged what it takes there: its clusters and its
// entry where the plan puts it, its share of the record, journal and playlist; what the
// previous fill frees counts as free. A song to be converted is charged what it will
// take once converted.
void PlayerFill::ChargeSpace(DrawLimit& limit) {
  if (free_) {
    const std::uint64_t unit = free_->allocationUnit;
    std::function<std::string(const Candidate&)> targets = RelativeTargets(settings_, fat_);
    if (plan_) {
      targets = [this](const Candidate& candidate) {
        return plan_->ChargedTarget(candidate, settings_.options.number);
      };
    }
    space_.emplace(unit, std::move(targets));
    limit.space = &*space_;
    // What the files to be replaced take will be free by the time the copy begins.
    if (mtp_) {
      limit.budget += mtp_->SpaceToBeFreed(unit);
      mtp_->ChargeOwnFiles(*space_, limit.budget, unit);
    } else {
      limit.budget += repeat_->SpaceToBeFreed(unit);
      repeat_->ChargeOwnFiles(*space_, limit.budget, unit);
    }
    limit.budget = std::max<std::int64_t>(limit.budget, 0);
  }
  // A copy with its covers fitted is charged what its song takes, as without them: it comes
  // out smaller, and one that does not leaves the fill (ConvertAndTopUp).
  if (conversions_ && !conversions_->onlyFitsCovers() && limit.kind == DrawLimit::Kind::kBytes) {
    convertedSpace_.emplace(*conversions_, limit.space);
    limit.space = &*convertedSpace_;
  }
}

void PlayerFill::AfterDraw(DrawnSongs drawn, SelectionOutcome& outcome) {
  outcome.copiesNotAdopted = copiesNotAdopted_;
  if (player_) outcome.player = DescribeProfile(*player_);
  ReadMissingSizes(drawn.chosen);
  if (conversions_ && !options_.dryRun && !ConvertAndTopUp(drawn)) {
    // Stopped while converting: nothing was copied, and the encoders left no file.
    summary_.chosenFiles = drawn.chosen.size();
    summary_.cancelled = true;
    outcome.summary = std::move(summary_);
    return;
  }
  drawn.orderForPlay(drawn.chosen);
  const RunSummary choice = SummaryOfChoice(drawn, options_.freeSpace);
  summary_.chosenFiles = choice.chosenFiles;
  summary_.nothingFits = choice.nothingFits;
  if (plan_)
    summary_.leftOut.insert(summary_.leftOut.end(), plan_->leftOut().begin(),
                            plan_->leftOut().end());
  const bool inSeconds = drawn.limit.kind == DrawLimit::Kind::kSeconds;
  const std::vector<std::int64_t> amounts = std::move(drawn.report.chosenAmounts);
  // The pool's records go before the chosen files get paths of their own, which would
  // else be held twice over at once.
  chosen_ = drawn.pool.TakeCandidates(drawn.chosen);
  std::vector<PooledCandidate>().swap(drawn.chosen);
  for (const Candidate& candidate : chosen_)
    outcome.chosenPaths.push_back(candidate.path);
  PlanTargets();
  if (!AddBooks()) {
    // Stopped while converting the chapters: nothing was copied.
    summary_.cancelled = true;
    outcome.summary = std::move(summary_);
    return;
  }
  // Chosen files that the previous fill left on the destination stay there.
  toCopy_ = mtp_ ? mtp_->Settle(chosen_, convertedFrom_) : repeat_->Settle(chosen_, convertedFrom_);
  // Converted songs are counted among those copied: the ones kept are said apart, and so
  // are MP3s that go as they are but made louder or softer or with a smaller cover.
  const auto copiedConverted = static_cast<std::size_t>(
      std::count_if(toCopy_.begin(), toCopy_.end(), [this](const Candidate& song) {
        return convertedFrom_.contains(song.path) && conversions_ && conversions_->For(song);
      }));
  summary_.encoded = std::min(summary_.encoded, copiedConverted);
  summary_.convertedBefore = copiedConverted - summary_.encoded;
  if (conversions_) {
    summary_.convertedFor = conversions_->ConvertedFor(toCopy_);
    summary_.coversFitted = conversions_->CoversFitted(toCopy_);
  }
  if (options_.dryRun) {
    FinishDryRun(outcome);
  } else if (mtp_) {
    FinishOnPhone(outcome);
  } else if (!FinishCopy(outcome)) {
    return;
  }
  summary_.replacement = mtp_ ? mtp_->replacement() : repeat_->replacement();
  TrimCache();
  // Files kept from the previous fill are part of this one, though not copied again.
  const std::size_t kept = summary_.replacement ? summary_.replacement->kept : 0;
  if (inSeconds && summary_.doneFiles + kept == chosen_.size()) {
    std::int64_t seconds = 0;
    for (const std::int64_t amount : amounts)
      seconds += amount;
    summary_.doneSeconds = seconds;
  }
  outcome.summary = std::move(summary_);
}

// Converts the chosen songs that need it, and where the draw keeps filling an amount of
// bytes, draws again with what the conversions left of the estimates they were charged,
// until a draw chooses nothing more; then, estimating low, draws songs that may still fit
// and keeps those that do once converted, until none does: the fill ends as full as the
// real sizes allow, and no song goes over the amount. `drawn.limit` holds what is left of
// it after the draw so far. False when the user cancelled.
bool PlayerFill::ConvertAndTopUp(DrawnSongs& drawn) {
  DrawLimit& limit = drawn.limit;
  ConvertedSpace* space = convertedSpace_ ? &*convertedSpace_ : nullptr;
  // A limit of bytes charges the songs through `space`; other limits need no refunds.
  const bool topUp = space != nullptr && limit.kind == DrawLimit::Kind::kBytes && limit.keepFilling;
  // Without `space` (only covers are fitted), the songs were charged on the limit's own.
  SpaceAccount* charged = limit.kind == DrawLimit::Kind::kBytes ? limit.space : nullptr;
  const auto refundOf = [space, charged](std::int64_t planned, std::int64_t real) {
    if (space != nullptr) return space->Refund(planned, real);
    return charged != nullptr ? charged->MinimumFor(planned) - charged->MinimumFor(real)
                              : planned - real;
  };
  // Draws from what is left of the limit, the songs that did not fit only by their
  // estimates back in the pool: they may fit now.
  const auto drawAgain = [&] {
    for (const Candidate& misfit : space->TakeEstimatedMisfits()) {
      drawn.pool.BeginSource(misfit.source);
      drawn.pool.Add(misfit.path, misfit.sizeBytes, misfit.weight);
    }
    DrawReport report;
    std::vector<PooledCandidate> more = drawn.drawMore(limit, &report);
    ReadMissingSizes(more);
    for (const std::int64_t amount : report.chosenAmounts)
      limit.budget -= amount;
    return more;
  };
  std::vector<PooledCandidate> round = std::move(drawn.chosen);
  std::vector<PooledCandidate> kept;
  bool estimatingLow = false;
  while (true) {
    if (round.empty()) {
      // The careful estimates fit nothing more: once, try what may fit by a low one.
      if (!topUp || estimatingLow || limit.budget <= 0) break;
      estimatingLow = true;
      conversions_->EstimateLow();
      round = drawAgain();
      if (round.empty()) break;
    }
    const std::vector<Candidate> songs = ToCandidates(round);
    std::vector<std::int64_t> planned;
    for (const Candidate& song : songs)
      planned.push_back(conversions_->PlannedSize(song));
    std::vector<std::optional<ConvertedSong>> converted;
    if (!conversions_->ConvertAll(songs, options_.jobs, ports_, converted)) return false;
    std::int64_t refund = 0;
    std::vector<std::size_t> keptFromRound;
    for (std::size_t i = 0; i < round.size(); ++i) {
      if (converted[i] && !converted[i]->song) {
        refund += refundOf(planned[i], 0);
        if (summary_.notConverted++ == 0) summary_.notConvertedReason = converted[i]->reason;
        continue;
      }
      if (converted[i]) refund += refundOf(planned[i], converted[i]->song->sizeBytes);
      keptFromRound.push_back(i);
    }
    // Songs that came out larger than estimated (a large cover) leave the fill, the last
    // chosen first, until what was chosen fits again: no song goes over the amount.
    while (limit.kind == DrawLimit::Kind::kBytes && limit.budget + refund < 0 &&
           !keptFromRound.empty()) {
      const std::size_t i = keptFromRound.back();
      keptFromRound.pop_back();
      refund += converted[i] ? refundOf(converted[i]->song->sizeBytes, 0) : refundOf(planned[i], 0);
    }
    for (const std::size_t i : keptFromRound) {
      if (converted[i]) convertedFrom_[songs[i].path] = converted[i]->song->path;
      kept.push_back(round[i]);
    }
    limit.budget += refund;
    if (!topUp) break;
    if (refund <= 0 && !estimatingLow) {
      round.clear();
      continue;
    }
    // Estimating low, a round that kept nothing ends the fill.
    if (estimatingLow && keptFromRound.empty()) break;
    round = drawAgain();
  }
  drawn.chosen = std::move(kept);
  loudness_->Save();
  summary_.encoded = conversions_->encoded();
  summary_.convertedBefore = conversions_->fromCache();
  return true;
}

// Where each chosen file goes on the player, numbered in play order where asked; the
// captions for the numbered names are read only for a run that copies.
void PlayerFill::PlanTargets() {
  if (!plan_) return;
  const bool number = settings_.options.number && !options_.dryRun;
  media::TrackProbe probe;
  plannedTargets_ = plan_->FinalTargets(chosen_, number, [&probe](const Candidate& candidate) {
    return probe.Probe(candidate.path).caption;
  });
}

// Puts every folder that holds the fill's files in play order, where asked (always when
// replacing: the new files would take the freed places of the old), moving each file to
// where the plan puts it; returns where each chosen file lies then, and adds the folders
// it made to `madeFolders`. The fill's files are only ever moved, never copied again, and
// every step is in the journal first. Volumes other than FAT and exFAT list a folder in an
// order of their own: there only files that the plan moves (renumbered, or kept from the
// last fill in another place) are moved.
// A phone keeps no order of files for a fill to set: nothing is moved there, and the
// run says so once.
ChosenPlaces PlayerFill::Arrange(ChosenPlaces places, std::vector<std::string>& madeFolders) {
  const ExtraOptions& options = settings_.options;
  if (!options.order && !options.replacePrevious && lane_.empty()) return places;
  if (destination_->IsPhone()) {
    ports_.ShowWarning(SORVINA_TEXT(
        "sorvina", "The phone keeps no order of files; the device playlist holds the play order"));
    return places;
  }
  std::vector<ArrangedFile> files;
  std::vector<std::size_t> chosenIndex;
  bool anyMoved = false;
  for (std::size_t i = 0; i < chosen_.size(); ++i) {
    if (places.relatives[i].empty() || !places.ownCopy[i]) continue;
    const std::string& target = plannedTargets_.empty() ? places.relatives[i] : plannedTargets_[i];
    anyMoved = anyMoved || target != places.relatives[i];
    files.push_back({places.relatives[i], target});
    chosenIndex.push_back(i);
  }
  if (files.empty() || (!anyMoved && !destination_->KeepsFatNames())) return places;
  ArrangeJournal* journal = repeat_->arrangeJournal();
  // Files of the destination itself wait in the record's folder, where there is one.
  const ArrangeResult arranged =
      ArrangeInPlayOrder(*folder_, files, {kRecordFolderName}, journal,
                         journal != nullptr ? kRecordFolderName : std::string());
  places.inPlayOrder = destination_->KeepsFatNames();
  madeFolders.insert(madeFolders.end(), arranged.madeFolders.begin(), arranged.madeFolders.end());
  for (std::size_t k = 0; k < files.size() && k < arranged.placed.size(); ++k)
    if (arranged.placed[k]) places.relatives[chosenIndex[k]] = *arranged.placed[k];
  if (arranged.error != 0) {
    ports_.ShowWarning(
        {SORVINA_TEXT("sorvina", "Not every folder could be put in play order: %1 (%2)"),
         {arranged.failedPath, transfer::ErrorText(arranged.error)}});
  }
  return places;
}

void PlayerFill::FinishDryRun(SelectionOutcome& outcome) {
  outcome.succeeded = true;
  if (!chosen_.empty())
    outcome.removedPaths = mtp_ ? mtp_->PathsToRemove() : repeat_->PathsToRemove();
  summary_.doneFiles = toCopy_.size();
  summary_.doneBytes = BytesOf(toCopy_);
  if (conversions_)
    outcome.actions = ActionsFor(chosen_, *conversions_, settings_.options.loudness);
}

// Removes the previous fill, copies, records and writes out; false where the run ends
// with a message of its own instead of a summary.
bool PlayerFill::FinishCopy(SelectionOutcome& outcome) {
  transfer::PlacementJournal* journal = nullptr;
  if (!chosen_.empty()) {
    journal = repeat_->BeginCopy(ports_);
    outcome.removedPaths = repeat_->RemovePrevious(ports_);
  }
  PlannedTargets planned;
  for (std::size_t i = 0; i < plannedTargets_.size(); ++i)
    planned.emplace(chosen_[i].path, plannedTargets_[i]);
  const ChosenCopy copy = CopyChosen(settings_, toCopy_, fat_, *folder_, options_.owner, journal,
                                     repeat_->KeptTargets(), planned, convertedFrom_);
  const transfer::FileOperationResult& result = copy.result;
  summary_.doneFiles = result.filesDone;
  summary_.doneBytes = static_cast<std::int64_t>(result.bytesDone);
  summary_.skippedFiles = result.filesSkipped;
  summary_.failedFiles = result.filesFailed;
  summary_.cancelled = result.outcome == transfer::OperationOutcome::kCancelled;
  outcome.succeeded = copy.succeeded;
  const bool repeating = repeat_->active() && !chosen_.empty();
  if (repeating) {
    ChosenPlaces places = repeat_->PlacesOf(chosen_, result);
    std::vector<std::string> madeFolders = result.madeFolders;
    if (!result.destinationGone) places = Arrange(std::move(places), madeFolders);
    KeepBookState(&places);
    outcome.succeeded = repeat_->FinishCopy(chosen_, places, madeFolders, options_.owner, ports_) &&
                        outcome.succeeded;
  } else {
    KeepBookState(nullptr);
  }
  if (result.destinationGone)
    ports_.ShowInformation({kDestinationGoneMessage, {settings_.destination}});
  // The message says what went wrong; a line saying what was copied would hide it.
  if ((copy.started || repeating) && !WriteOutToDevice(*destination_, options_.owner, ports_)) {
    outcome.succeeded = false;
    return false;
  }
  return !result.destinationGone;
}

// Sends the chosen files to the phone, each where the plan or the options put it.
void PlayerFill::FinishOnPhone(SelectionOutcome& outcome) {
  if (chosen_.empty()) return;
  if (settings_.options.order)
    ports_.ShowWarning(SORVINA_TEXT(
        "sorvina", "The phone keeps no order of files; the device playlist holds the play order"));
  const std::function<std::string(const Candidate&)> relative = RelativeTargets(settings_, true);
  std::vector<std::string> targets;
  for (std::size_t i = 0; i < chosen_.size(); ++i)
    targets.push_back(plannedTargets_.empty() ? relative(chosen_[i]) : plannedTargets_[i]);
  outcome.removedPaths = mtp_->PathsToRemove();
  const MtpFill::Result sent = mtp_->Copy(chosen_, targets, convertedFrom_, options_.owner, ports_);
  summary_.doneFiles = sent.files;
  summary_.doneBytes = sent.bytes;
  summary_.skippedFiles = sent.skipped;
  summary_.failedFiles = sent.failed;
  summary_.cancelled = sent.cancelled;
  outcome.succeeded = sent.succeeded;
}

// The cache keeps within its size, sparing what this fill converted.
void PlayerFill::TrimCache() const {
  if (!cache_) return;
  std::set<std::string> inUse;
  for (const auto& [source, converted] : convertedFrom_)
    inUse.insert(std::string(text::SplitPath(converted).name));
  cache_->Trim(inUse);
}

// Files below a books folder are the lane's alone: the draw never takes them.
void PlayerFill::LeaveOutBooks(CandidatePool& pool) const {
  const std::vector<std::string>& folders = settings_.options.bookFolders;
  pool.RemoveWhere([&](CandidatePool::Index i) { return IsBelowAny(pool[i].path, folders); });
}

// The chapters this fill brings: what the lane kept on the player tells which are done
// (taken off the player, or heard since the last fill); the chapters still there stay and
// are kept where they are, also where the fill replaces nothing else.
void PlayerFill::PlanBooks(CandidatePool& pool) {
  LeaveOutBooks(pool);
  BookLaneState previous;
  if (const std::optional<std::string> bytes = repeat_->ReadBeside(kBookLaneFileName, ports_))
    previous = ParseBookLaneState(*bytes);
  LaneView view;
  view.present = [this](const std::string& relative) {
    return folder_ != nullptr && folder_->StatusOf(relative).has_value();
  };
  view.plays = history_.get();
  view.since = repeat_->LastFillTime();
  view.fat = destination_ && destination_->KeepsFatNames();
  media::TrackProbe probe;
  const auto ahead = static_cast<std::int64_t>(settings_.options.booksAheadHours * 3600 + 0.5);
  std::vector<Book> books = FindBooks(settings_.options.bookFolders);
  // Long files are split at their chapters where the player or the options ask for it, into
  // a folder beside the converted songs; a dry run splits nothing.
  const bool split = settings_.options.splitChapters || (player_ && player_->limits.splitChapters);
  if (split && !options_.dryRun) {
    if (const text::Result<std::string> cache = ConversionCache::DefaultFolder()) {
      std::filesystem::path folder(*cache);
      if (!folder.has_filename()) folder = folder.parent_path();
      SplitLongBooks(books, (folder.parent_path() / "chapters").string(), ports_);
    } else {
      ports_.ShowWarning(cache.failure().reason);
    }
  }
  lane_ = PlanBookLane(
      books, previous, view, ahead,
      [&probe](const Candidate& chapter) { return probe.Seconds(chapter.path, chapter.sizeBytes); },
      laneNext_);
  std::vector<std::pair<std::string, std::string>> onPlayer;
  for (const LaneChapter& chapter : lane_)
    if (!chapter.onPlayerAt.empty())
      onPlayer.emplace_back(chapter.onPlayerAt, chapter.chapter.path);
  repeat_->KeepIfChosen(onPlayer);
}

// A chapter the player does not play, and that the run does not convert for it, stays off
// the player as any song would: a book split for a car that plays MP3 alone goes there only
// where the run converts.
void PlayerFill::LeaveOutUnplayableChapters() {
  if (!player_ || TakesAnything(*player_)) return;
  std::size_t unplayable = 0;
  std::erase_if(lane_, [&](const LaneChapter& chapter) {
    if (!chapter.onPlayerAt.empty()) return false;
    const media::TypedName typed = media::TypeOfName(chapter.chapter.path);
    if (typed.type != nullptr && PlaysFileType(*player_, typed.type->name)) return false;
    if (conversions_ && conversions_->For(chapter.chapter)) return false;
    ++unplayable;
    return true;
  });
  if (unplayable > 0)
    ports_.ShowWarning(text::Counted(
        SORVINA_PLURAL_TEXT("sorvina",
                            "%Ln chapter(s) of the books are in a format the player "
                            "does not play; they go there converted (--convert auto)"),
        static_cast<std::int64_t>(unplayable)));
}

// The lane's chapters come off the amount first; the random songs fill the rest. Chapters
// that do not fit the amount wait for a later fill, and so do all after them (those still
// on the player stay).
void PlayerFill::ChargeBooks(DrawLimit& limit) {
  LeaveOutUnplayableChapters();
  if (lane_.empty() || limit.kind == DrawLimit::Kind::kNone) return;
  const auto unit =
      static_cast<std::int64_t>(free_ ? std::max<std::uint64_t>(free_->allocationUnit, 1) : 1);
  std::vector<LaneChapter> fitting;
  bool full = false;  // a chapter did not fit: the ones after it wait too, keeping the order
  for (LaneChapter& chapter : lane_) {
    const std::int64_t bytes =
        conversions_ ? conversions_->PlannedSize(chapter.chapter) : chapter.chapter.sizeBytes;
    const std::int64_t amount = limit.kind == DrawLimit::Kind::kSeconds
                                    ? chapter.seconds
                                    : (bytes + unit - 1) / unit * unit;
    if (chapter.onPlayerAt.empty() && (full || amount > limit.budget)) {
      full = true;
      continue;
    }
    limit.budget -= amount;
    fitting.push_back(std::move(chapter));
  }
  lane_ = std::move(fitting);
  limit.budget = std::max<std::int64_t>(limit.budget, 0);
}

// The chapters go first, in order, each to its place in the books folder (converted for the
// player where the run converts songs); the songs keep the places the plan or the options
// give them. False when the user cancelled the conversions.
bool PlayerFill::AddBooks() {
  if (lane_.empty()) return true;
  if (conversions_ && conversions_->converts() && !options_.dryRun) {
    std::vector<Candidate> chapters;
    for (const LaneChapter& chapter : lane_)
      chapters.push_back(chapter.chapter);
    std::vector<std::optional<ConvertedSong>> converted;
    if (!conversions_->ConvertAll(chapters, options_.jobs, ports_, converted)) return false;
    summary_.encoded = conversions_->encoded();
    std::vector<LaneChapter> kept;
    for (std::size_t i = 0; i < lane_.size(); ++i) {
      LaneChapter& chapter = lane_[i];
      if (i < converted.size() && converted[i]) {
        // One that cannot be converted waits (the warning said why).
        if (!converted[i]->song) continue;
        convertedFrom_[chapter.chapter.path] = converted[i]->song->path;
        const std::string extension = conversions_->ExtensionFor(chapter.chapter);
        const std::size_t dot = chapter.target.rfind('.');
        if (!extension.empty() && dot != std::string::npos && dot > chapter.target.rfind('/'))
          chapter.target = chapter.target.substr(0, dot) + extension;
      }
      kept.push_back(std::move(chapter));
    }
    lane_ = std::move(kept);
  }
  std::vector<std::string> songTargets = std::move(plannedTargets_);
  if (songTargets.empty()) {
    const std::function<std::string(const Candidate&)> relative = RelativeTargets(settings_, fat_);
    for (const Candidate& song : chosen_)
      songTargets.push_back(relative(song));
  }
  std::vector<Candidate> chosen;
  plannedTargets_.clear();
  for (const LaneChapter& chapter : lane_) {
    chosen.push_back(chapter.chapter);
    plannedTargets_.push_back(chapter.target);
  }
  chosen.insert(chosen.end(), std::make_move_iterator(chosen_.begin()),
                std::make_move_iterator(chosen_.end()));
  plannedTargets_.insert(plannedTargets_.end(), songTargets.begin(), songTargets.end());
  chosen_ = std::move(chosen);
  summary_.chosenFiles += lane_.size();
  return true;
}

// Writes what the lane keeps for the next fill: the chapters done, and where the chapters
// of this fill lie on the player (`places`, where any were placed); a chapter that was not
// placed comes again.
void PlayerFill::KeepBookState(const ChosenPlaces* places) {
  if (settings_.options.bookFolders.empty() || folder_ == nullptr) return;
  laneNext_.placed.clear();
  for (std::size_t i = 0; places != nullptr && i < lane_.size() && i < places->relatives.size();
       ++i)
    if (!places->relatives[i].empty())
      laneNext_.placed.emplace_back(places->relatives[i], chosen_[i].path);
  (void)repeat_->WriteBeside(kBookLaneFileName, FormatBookLaneState(laneNext_), ports_);
}

}  // namespace sorvina::engine
