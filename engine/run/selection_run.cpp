// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/selection_run.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <unordered_map>

#include "engine/convert/conversion_cache.h"
#include "engine/convert/song_conversions.h"
#include "engine/draw/draw_shaping.h"
#include "engine/draw/random_generator.h"
#include "engine/draw/weighted_draw.h"
#include "engine/fill/copy_targets.h"
#include "engine/fill/destination_space.h"
#include "engine/fill/play_order.h"
#include "engine/fill/player_targets.h"
#include "engine/fill/repeated_fill.h"
#include "engine/output/playlist_paths.h"
#include "engine/output/playlist_writer.h"
#include "engine/player/player_lookup.h"
#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "engine/scan/collection.h"
#include "engine/scan/tag_cache.h"
#include "media/track_probe.h"
#include "platform/drive_type.h"
#include "platform/file_system.h"
#include "transfer/copy_job.h"
#include "transfer/fat_names.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

using text::PathStyle;

bool HasDriveLetter(std::string_view path, PathStyle style) {
  return style == PathStyle::kWindows && path.size() >= 2 &&
         std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// Creates the missing folders leading to the destination, top down; stops quietly at the
// first that cannot be made (the destination check or the playlist's opening then says so).
void CreateDestinationLevels(const std::string& destination) {
  for (const std::string& level : DestinationLevels(destination)) {
    const std::optional<platform::FileStatus> status = platform::GetFileStatus(level);
    if (status && status->kind == platform::EntryKind::kDirectory) continue;
    if (!platform::MakeFolder(level)) return;
  }
}

// The copy destination must be a folder that can be entered, made when missing. A dry run
// makes nothing and accepts a destination that would be made.
bool PrepareDestinationFolder(const std::string& destination, bool dryRun) {
  if (destination.empty()) return false;
  if (platform::CanEnterFolder(destination)) return true;
  if (dryRun) return !platform::GetFileStatus(destination).has_value();
  (void)platform::MakeFolder(destination);  // whether it can be entered tells
  return platform::CanEnterFolder(destination);
}

// What the run will draw against, once the request has been checked.
struct DrawRequest {
  DrawLimit limit;
  bool freeSpace = false;  // the limit is the destination's free space
  platform::FileSystemSpace space;
};

// The copy destination's free space as the allowance; nothing, after saying why, where it
// cannot be had.
std::optional<DrawRequest> FreeSpaceRequest(const SelectionSettings& settings, RunPorts& ports) {
  if (!settings.copyToFolder) {
    ports.ShowInformation(kFreeSpaceNeedsCopyMessage);
    return std::nullopt;
  }
  const std::optional<platform::FileSystemSpace> space = platform::SpaceOf(settings.destination);
  // A file system that reports no size at all would give no room for anything.
  if (!space || space->totalBytes == 0) {
    ports.ShowInformation(kFreeSpaceUnknownMessage);
    return std::nullopt;
  }
  DrawRequest request;
  request.freeSpace = true;
  request.space = *space;
  // A FAT driver may count in blocks smaller than the clusters it hands out.
  request.space.allocationUnit =
      std::max(space->allocationUnit, platform::FatClusterBytes(settings.destination));
  request.limit = {DrawLimit::Kind::kBytes, FreeSpaceBudget(request.space)};
  return request;
}

// Checks what the user asked for before anything is collected. Shows the first failure
// and returns nothing then.
std::optional<DrawRequest> CheckRequest(const SelectionSettings& settings, RunPorts& ports,
                                        bool dryRun) {
  if (settings.sources.empty()) {
    ports.ShowInformation(kNoSourcesMessage);
    return std::nullopt;
  }
  if (!dryRun) CreateDestinationLevels(settings.destination);
  if (settings.copyToFolder) {
    if (!PrepareDestinationFolder(settings.destination, dryRun)) {
      ports.ShowInformation(kInvalidDestinationFolderMessage);
      return std::nullopt;
    }
  } else if (!text::EndsWithNoCase(settings.destination, ".m3u")) {
    ports.ShowInformation(kNoPlaylistFileMessage);
    return std::nullopt;
  }

  DrawRequest request;
  switch (settings.amount.kind) {
    case Amount::Kind::kFreeSpace: {
      std::optional<DrawRequest> free = FreeSpaceRequest(settings, ports);
      if (!free) return std::nullopt;
      request = *free;
      break;
    }
    case Amount::Kind::kMegabytes:
    case Amount::Kind::kHours: {
      const bool hours = settings.amount.kind == Amount::Kind::kHours;
      request.limit = {
          hours ? DrawLimit::Kind::kSeconds : DrawLimit::Kind::kBytes,
          AmountToBudget(settings.amount.value, hours ? kSecondsPerHour : kBytesPerMegabyte)};
      if (request.limit.budget < 1) {
        ports.ShowInformation(hours ? kNoHoursMessage : kNoMegabytesMessage);
        return std::nullopt;
      }
      break;
    }
    case Amount::Kind::kAll:
      break;
  }
  request.limit.keepFilling = settings.options.fill;
  return request;
}

// Where each chosen file goes below the destination, names separated by '/'.
std::function<std::string(const Candidate&)> RelativeTargets(const SelectionSettings& settings,
                                                             bool fat) {
  if (settings.options.keepFolders) {
    return [targets = KeptFolderTargets(settings.sources, settings.destination, fat)](
               const Candidate& candidate) { return targets.RelativeTarget(candidate); };
  }
  return [fat](const Candidate& candidate) {
    const std::string name = transfer::SplitPath(candidate.path).name;
    return fat ? transfer::FatSafeName(name) : name;
  };
}

// Why nothing was chosen from a pool that held files; nothing when there is no limit.
std::optional<NothingFits> WhyNothingFits(const CandidatePool& pool, const DrawLimit& limit,
                                          bool freeSpace, const DrawReport& report) {
  if (limit.kind == DrawLimit::Kind::kNone) return std::nullopt;
  const SpaceAccount* space = limit.space;
  NothingFits why;
  why.inSeconds = limit.kind == DrawLimit::Kind::kSeconds;
  why.limit = limit.budget;
  why.freeSpace = freeSpace;
  why.fileAmount = report.firstMiss;
  std::int64_t least = report.smallestMiss;
  if (!why.inSeconds) {
    // Sizes are known without analysis: the files the draw did not reach count too.
    for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
      const std::int64_t size =
          space != nullptr ? space->MinimumFor(pool[i].sizeBytes) : pool[i].sizeBytes;
      if (least < 0 || size < least) least = size;
    }
  } else if (pool.count() > 0) {
    least = -1;  // durations not measured: the shortest is not known
  }
  if (least > why.limit) {
    why.smallestFile = true;
    why.fileAmount = least;
  }
  return why;
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

// Writes the destination's file system out to its device; false after a message when
// that fails.
bool WriteOutToDevice(const platform::ContainedFolder& destination,
                      transfer::FileOperationUi* owner, RunPorts& ports) {
  if (owner != nullptr) owner->WritingToDevice();
  if (platform::FlushVolume(destination) == 0) return true;
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

// The chosen paths (in order) that a playlist with these path lines lists: all but those
// no line can hold, up to the `written` entries that made it into the file.
std::vector<std::string> ListedPaths(const std::vector<std::string>& paths,
                                     const std::vector<std::string>* lines, std::size_t written) {
  std::vector<std::string> listed;
  for (std::size_t i = 0; i < paths.size() && listed.size() < written; ++i)
    if (IsPlaylistEntryPath(lines != nullptr ? (*lines)[i] : paths[i])) listed.push_back(paths[i]);
  return listed;
}

std::int64_t BytesOf(const std::vector<Candidate>& files) {
  std::int64_t bytes = 0;
  for (const Candidate& file : files)
    bytes += file.sizeBytes;
  return bytes;
}

std::int64_t Sum(const std::vector<std::int64_t>& amounts) {
  std::int64_t sum = 0;
  for (const std::int64_t amount : amounts)
    sum += amount;
  return sum;
}

// The draw tags of every candidate in `pool`, from the tag cache where it knows the files
// as they are, with the folders standing in for missing artists and albums; the cache
// keeps what was read.
DrawTagTable ReadCachedTags(const CandidatePool& pool) {
  TagCache cache;
  DrawTagTable table = DrawTagTable::Read(pool, [&cache](const std::vector<std::string>& paths) {
    std::vector<media::DrawTags> read = TagsOf(paths, cache);
    std::vector<std::optional<media::DrawTags>> tags;
    tags.reserve(read.size());
    for (media::DrawTags& one : read)
      tags.emplace_back(std::move(one));
    return tags;
  });
  (void)cache.Save();  // without the cache the next run only reads the files again
  return table;
}

}  // namespace

std::vector<std::string> DestinationLevels(std::string_view destination, PathStyle style) {
  // After "C:\" the drive's own separator is no level; elsewhere only an empty prefix.
  const std::size_t firstEnd = HasDriveLetter(destination, style) ? 3 : 1;
  std::vector<std::string> levels;
  for (std::size_t end = firstEnd; end < destination.size(); ++end) {
    if (text::IsSeparator(destination[end], style)) {
      levels.emplace_back(destination.substr(0, end));
    }
  }
  return levels;
}

namespace {

// One run from its draw to its output, phase by phase.
class Run {
 public:
  Run(const SelectionSettings& settings, RunPorts& ports, const SelectionRunOptions& options,
      const DrawRequest& request)
      : settings_(settings), ports_(ports), options_(options), request_(request) {}

  SelectionOutcome Go();

 private:
  bool FindPlayer();
  bool Draw();
  std::vector<PooledCandidate> DrawSongs(CandidatePool& pool, RandomGenerator& random,
                                         const DrawLimit& limit, const DurationOf& durationOf,
                                         DrawReport* report, bool wholeAlbums);
  void ConvertAndTopUp(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                       ConvertedSpace* space);
  void PlanTargets();
  ChosenPlaces Arrange(ChosenPlaces places, std::vector<std::string>& madeFolders);
  void FinishDryRun();
  bool FinishCopy();
  void FinishPlaylist();

  const SelectionSettings& settings_;
  RunPorts& ports_;
  const SelectionRunOptions& options_;
  const DrawRequest& request_;
  // The copy destination, held open from the start: everything written goes there, also
  // when the player is unmounted from its path meanwhile. A dry run may find none yet.
  std::optional<platform::ContainedFolder> destination_;
  bool fat_ = false;  // names are made legal for FAT where they are charged or kept
  std::optional<RepeatedFill> repeat_;
  // The player copied to, and where its plan puts the files, where the run has one.
  std::optional<PlayerProfile> player_;
  std::optional<PlayerTargets> plan_;
  // The songs' tags, where the draw is shaped by them; while it draws.
  std::optional<DrawTagTable> tags_;
  std::vector<std::string> plannedTargets_;  // for each chosen file
  // Songs converted for the player, where asked, and where the copy takes each from.
  std::optional<ConversionCache> cache_;
  std::optional<LoudnessMemo> loudness_;
  std::optional<SongConversions> conversions_;
  std::unordered_map<std::string, std::string> convertedFrom_;
  bool cancelled_ = false;  // the conversions were cancelled: nothing is copied
  std::vector<Candidate> chosen_;
  std::vector<Candidate> toCopy_;  // the chosen files not kept from the previous fill
  DrawReport report_;
  RunSummary summary_;
  SelectionOutcome outcome_;
};

SelectionOutcome Run::Go() {
  if (settings_.copyToFolder) {
    destination_ = platform::ContainedFolder::Open(settings_.destination);
    if (!destination_ && !options_.dryRun) {
      ports_.ShowInformation(kInvalidDestinationFolderMessage);
      return std::move(outcome_);
    }
  }
  if (!FindPlayer()) return std::move(outcome_);
  fat_ = (settings_.options.keepFolders || request_.freeSpace || player_) && destination_ &&
         platform::IsFatDevice(destination_->device());
  summary_.copy = settings_.copyToFolder;
  summary_.dryRun = options_.dryRun;
  summary_.destination = settings_.destination;
  repeat_.emplace(settings_, options_.dryRun, BeyondClassic(settings_, request_.freeSpace));
  if (!repeat_->Begin(ports_, destination_ ? &*destination_ : nullptr)) return std::move(outcome_);
  const bool drawn = Draw();
  tags_.reset();  // its paths were the draw's pool's
  if (!drawn) return std::move(outcome_);
  if (cancelled_) {
    // Stopped while converting: nothing was copied, and the encoders left no file.
    summary_.chosenFiles = chosen_.size();
    summary_.cancelled = true;
    outcome_.summary = std::move(summary_);
    return std::move(outcome_);
  }

  // A playlist needs the chosen files' paths from here on only as the outcome lists them:
  // they move there rather than be held twice. A copy still needs them as chosen.
  outcome_.chosenPaths.reserve(chosen_.size());
  for (Candidate& candidate : chosen_) {
    if (settings_.copyToFolder) {
      outcome_.chosenPaths.push_back(candidate.path);
    } else {
      outcome_.chosenPaths.push_back(std::move(candidate.path));
    }
  }
  summary_.chosenFiles = chosen_.size();
  PlanTargets();
  // Chosen files that the previous fill left on the destination stay there.
  if (settings_.copyToFolder) toCopy_ = repeat_->Settle(chosen_, convertedFrom_);

  if (options_.dryRun) {
    FinishDryRun();
  } else if (settings_.copyToFolder) {
    if (!FinishCopy()) return std::move(outcome_);
  } else {
    FinishPlaylist();
    if (!outcome_.succeeded) return std::move(outcome_);
  }
  if (settings_.copyToFolder) summary_.replacement = repeat_->replacement();
  if (cache_) {
    // The cache keeps within its size, sparing what this fill converted.
    std::set<std::string> inUse;
    for (const auto& [source, converted] : convertedFrom_)
      inUse.insert(std::string(transfer::SplitPath(converted).name));
    cache_->Trim(inUse);
  }
  // Files kept from the previous fill are part of this one, though not copied again.
  const std::size_t kept = summary_.replacement ? summary_.replacement->kept : 0;
  if (request_.limit.kind == DrawLimit::Kind::kSeconds &&
      summary_.doneFiles + kept == chosen_.size())
    summary_.doneSeconds = Sum(report_.chosenAmounts);
  outcome_.summary = std::move(summary_);
  return std::move(outcome_);
}

// The player's profile, where the copy goes to a player with one, or numbers its files;
// false after a message when the profile cannot be had.
bool Run::FindPlayer() {
  const ExtraOptions& options = settings_.options;
  const bool converting = !options.convert.empty() || options.loudness.has_value();
  if (!settings_.copyToFolder || (options.player.empty() && !options.number && !converting))
    return true;
  FoundPlayer found = FindPlayerProfile(options.player, settings_.destination);
  if (!found.profile) {
    if (found.error) ports_.ShowInformation(*found.error);
    return false;
  }
  // A player that takes anything changes nothing unless the files are numbered or
  // converted.
  if (!TakesAnything(*found.profile) || options.number || converting)
    player_ = std::move(found.profile);
  const std::optional<ConversionChoice> choice = ParseConversionChoice(options.convert);
  if (player_ && (choice || options.loudness)) {
    const text::Result<std::string> cacheFolder = ConversionCache::DefaultFolder();
    if (!cacheFolder) {
      ports_.ShowInformation(cacheFolder.failure().reason);
      return false;
    }
    cache_.emplace(*cacheFolder, options_.cacheBytes);
    // Beside the cache folder as the user names it: where a linked one leads is the
    // cache's alone, and its parent there may be anything of the user's.
    std::filesystem::path folder(cache_->folder());
    if (!folder.has_filename()) folder = folder.parent_path();
    loudness_.emplace((folder.parent_path() / "loudness.tsv").string());
    conversions_.emplace(choice, options.bitrate, options.loudness, *player_, *cache_, *loudness_);
  }
  return true;
}

// Collects the candidates, takes out what the fills before ask to leave out, and draws;
// false after a message when there is nothing to draw from.
bool Run::Draw() {
  if (settings_.options.albums && settings_.options.balance != DrawBalance::kNone) {
    ports_.ShowInformation(kAlbumsWithBalanceMessage);
    return false;
  }
  // The cursor goes before any message, which is read with the ordinary arrow.
  std::optional<ScopedWaitCursor> waitCursor(std::in_place, ports_);
  CandidatePool pool;
  // Sizes are read while scanning where the draw or the summary needs every one of them;
  // a draw by playing time needs only those of the files it chooses.
  CollectionOptions collection;
  collection.readSizes = request_.limit.kind != DrawLimit::Kind::kSeconds;
  CollectCandidates(settings_, pool, collection);
  // Every file is in: nothing asks the duplicate filter again, and its tables, a
  // library's worth, would stay through the draw.
  pool.filter().ReleaseAll();
  if (pool.count() == 0) {
    waitCursor.reset();
    ports_.ShowInformation(kNoMp3sFoundMessage);
    return false;
  }
  // Copies made by hand are offered where the player holds no record; beside a record,
  // they are taken only where the user asked for that ahead (--adopt-copies).
  if (repeat_->NoEarlierFill() ||
      (options_.adoptCopies == AdoptCopies::kYes && repeat_->MayAdoptBesideRecord())) {
    waitCursor.reset();
    outcome_.copiesNotAdopted =
        OfferCopiesForAdoption(*repeat_, pool, options_.adoptCopies, ports_);
    waitCursor.emplace(ports_);
  }
  if (!repeat_->LeaveOutRecent(pool)) {
    waitCursor.reset();
    ports_.ShowInformation(repeat_->NothingLeftMessage());
    return false;
  }
  std::optional<DestinationSpace> space;
  DrawLimit drawLimit = request_.limit;
  if (player_) {
    // Songs the player cannot play are converted for it where asked, else left out.
    if (!conversions_ || !conversions_->converts())
      summary_.leftOut = LeaveOutUnplayable(pool, *player_);
    plan_.emplace(*player_, settings_.sources, settings_.options.keepFolders,
                  MusicFolder(*player_, settings_.destination), fat_);
    if (conversions_ && conversions_->converts()) {
      plan_->ConvertFor(
          [this](const Candidate& candidate) { return conversions_->ExtensionFor(candidate); });
    }
    drawLimit.gate = &*plan_;
  }
  // Draws shaped by the songs' tags read them here, once the pool has lost what it can.
  std::optional<ArtistCap> artistCap;
  if (ShapesTheDraw(settings_.options)) {
    tags_ = ReadCachedTags(pool);
    if (settings_.options.ratingWeights) {
      WeighByRating(pool, *tags_, *settings_.options.ratingWeights);
      if (pool.count() == 0) {
        waitCursor.reset();
        ports_.ShowInformation(kNoStarWeightMessage);
        return false;
      }
    }
    if (settings_.options.maxPerArtist > 0) {
      artistCap.emplace(*tags_, settings_.options.maxPerArtist, drawLimit.gate);
      drawLimit.gate = &*artistCap;
    }
  }
  if (request_.freeSpace) {
    std::function<std::string(const Candidate&)> targets = RelativeTargets(settings_, fat_);
    if (plan_) {
      targets = [this](const Candidate& candidate) {
        return plan_->ChargedTarget(candidate, settings_.options.number);
      };
    }
    space.emplace(request_.space.allocationUnit, std::move(targets));
    drawLimit.space = &*space;
    // What the files to be replaced take will be free by the time the copy begins.
    drawLimit.budget += repeat_->SpaceToBeFreed(request_.space.allocationUnit);
    repeat_->ChargeOwnFiles(*space, drawLimit.budget, request_.space.allocationUnit);
    drawLimit.budget = std::max<std::int64_t>(drawLimit.budget, 0);
  }
  // A song to be converted is charged what it will take once converted.
  std::optional<ConvertedSpace> convertedSpace;
  if (conversions_ && drawLimit.kind == DrawLimit::Kind::kBytes) {
    convertedSpace.emplace(*conversions_, drawLimit.space);
    drawLimit.space = &*convertedSpace;
  }
  RandomGenerator random;
  random.Seed(options_.seed.value_or(platform::ClockSeed()));
  media::TrackProbe probe;
  const std::size_t amountsBefore = report_.chosenAmounts.size();
  std::vector<PooledCandidate> drawn = DrawSongs(
      pool, random, drawLimit,
      [&probe](const Candidate& candidate) {
        // A size not read yet is told as unknown (0): the probe reads it itself.
        return probe.Seconds(candidate.path, std::max<std::int64_t>(candidate.sizeBytes, 0));
      },
      &report_, settings_.options.albums);
  // Past the draw the pool serves only the conversions' further draws and, where nothing
  // was chosen, the reason why. Otherwise its records go before the chosen files get paths
  // of their own, which would else be held twice over at once; artists are spread first,
  // as the tag table knows the songs by the pool's paths.
  bool spread = settings_.options.spread;
  if (!drawn.empty() && !(conversions_ && !options_.dryRun)) {
    if (spread) SpreadArtists(drawn, *tags_, settings_.options.albums);
    spread = false;
    artistCap.reset();  // it knows the songs through the tag table
    drawLimit.gate = plan_ ? &*plan_ : nullptr;
    tags_.reset();
    chosen_ = pool.TakeCandidates(drawn);
  } else {
    chosen_ = ToCandidates(drawn);
  }
  std::vector<PooledCandidate>().swap(drawn);
  ReadMissingSizes(chosen_);
  if (conversions_ && !options_.dryRun) {
    for (std::size_t i = amountsBefore; i < report_.chosenAmounts.size(); ++i)
      drawLimit.budget -= report_.chosenAmounts[i];
    waitCursor.reset();
    ConvertAndTopUp(pool, random, drawLimit, convertedSpace ? &*convertedSpace : nullptr);
    if (cancelled_) return true;
  }
  // The play order, and so the copy's and the playlist's, keeps artists apart.
  if (spread) SpreadArtists(chosen_, *tags_, settings_.options.albums);
  if (plan_)
    summary_.leftOut.insert(summary_.leftOut.end(), plan_->leftOut().begin(),
                            plan_->leftOut().end());
  if (chosen_.empty())
    summary_.nothingFits = WhyNothingFits(pool, drawLimit, request_.freeSpace, report_);
  return true;
}

// Draws from `pool` as the options ask: songs one by one, a song of an artist, album or
// folder drawn first, or (with `wholeAlbums`) whole albums.
std::vector<PooledCandidate> Run::DrawSongs(CandidatePool& pool, RandomGenerator& random,
                                            const DrawLimit& limit, const DurationOf& durationOf,
                                            DrawReport* report, bool wholeAlbums) {
  if (wholeAlbums)
    return DrawAlbums(pool, random, limit, AlbumsOf(pool, *tags_), durationOf, report);
  const DrawBalance balance = settings_.options.balance;
  if (balance != DrawBalance::kNone) {
    return DrawGrouped(pool, random, limit, GroupsOf(pool, balance, tags_ ? &*tags_ : nullptr),
                       durationOf, report);
  }
  return DrawCandidates(pool, random, limit, durationOf, DrawMethod::kFastest, report);
}

// Converts the chosen songs that need it, and where the draw keeps filling an amount of
// bytes, draws again with what the conversions left of the estimates they were charged,
// until a draw chooses nothing more; then, estimating low, draws songs that may still fit
// and keeps those that do once converted, until none does: the fill ends as full as the
// real sizes allow, and no song goes over the amount. `limit` holds what is left of it
// after the draw so far.
void Run::ConvertAndTopUp(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                          ConvertedSpace* space) {
  // A limit of bytes charges the songs through `space`; other limits need no refunds.
  const bool topUp = space != nullptr && limit.kind == DrawLimit::Kind::kBytes && limit.keepFilling;
  const auto refundOf = [space](std::int64_t planned, std::int64_t real) {
    return space != nullptr ? space->Refund(planned, real) : planned - real;
  };
  // Draws from what is left of the limit, the songs that did not fit only by their
  // estimates back in the pool: they may fit now.
  const auto drawAgain = [&] {
    for (const Candidate& misfit : space->TakeEstimatedMisfits()) {
      pool.BeginSource(misfit.source);
      pool.Add(misfit.path, misfit.sizeBytes, misfit.weight);
    }
    DrawReport report;
    // Whole albums are topped up with single songs.
    std::vector<Candidate> drawn = ToCandidates(DrawSongs(pool, random, limit, {}, &report, false));
    ReadMissingSizes(drawn);
    for (const std::int64_t amount : report.chosenAmounts)
      limit.budget -= amount;
    return drawn;
  };
  std::vector<Candidate> round = chosen_;
  std::vector<Candidate> kept;
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
    std::vector<std::int64_t> planned;
    for (const Candidate& candidate : round)
      planned.push_back(conversions_->PlannedSize(candidate));
    std::vector<std::optional<ConvertedSong>> converted;
    if (!conversions_->ConvertAll(round, options_.jobs, ports_, converted)) {
      cancelled_ = true;
      return;
    }
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
      if (converted[i]) convertedFrom_[round[i].path] = converted[i]->song->path;
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
  chosen_ = std::move(kept);
  loudness_->Save();
  summary_.encoded = conversions_->encoded();
  summary_.convertedBefore = conversions_->fromCache();
}

// Where each chosen file goes on the player, numbered in play order where asked; the
// captions for the numbered names are read only for a run that copies.
void Run::PlanTargets() {
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
ChosenPlaces Run::Arrange(ChosenPlaces places, std::vector<std::string>& madeFolders) {
  const ExtraOptions& options = settings_.options;
  if (!options.order && !options.replacePrevious) return places;
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
  if (files.empty() || (!anyMoved && !platform::IsFatDevice(destination_->device()))) return places;
  ArrangeJournal* journal = repeat_->arrangeJournal();
  // Files of the destination itself wait in the record's folder, where there is one.
  const ArrangeResult arranged =
      ArrangeInPlayOrder(*destination_, files, {kRecordFolderName}, journal,
                         journal != nullptr ? kRecordFolderName : std::string());
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

void Run::FinishDryRun() {
  outcome_.succeeded = true;
  if (settings_.copyToFolder && !chosen_.empty()) outcome_.removedPaths = repeat_->PathsToRemove();
  const std::vector<Candidate>& done = settings_.copyToFolder ? toCopy_ : chosen_;
  summary_.doneFiles = done.size();
  summary_.doneBytes = BytesOf(done);
}

// Removes the previous fill, copies, records and writes out; false where the run ends
// with a message of its own instead of a summary.
bool Run::FinishCopy() {
  transfer::PlacementJournal* journal = nullptr;
  if (!chosen_.empty()) {
    journal = repeat_->BeginCopy(ports_);
    outcome_.removedPaths = repeat_->RemovePrevious(ports_);
  }
  PlannedTargets planned;
  for (std::size_t i = 0; i < plannedTargets_.size(); ++i)
    planned.emplace(chosen_[i].path, plannedTargets_[i]);
  const ChosenCopy copy =
      CopyChosen(settings_, toCopy_, fat_, *destination_, options_.fileOperationOwner, journal,
                 repeat_->KeptTargets(), planned, convertedFrom_);
  const transfer::FileOperationResult& result = copy.result;
  summary_.doneFiles = result.filesDone;
  summary_.doneBytes = static_cast<std::int64_t>(result.bytesDone);
  summary_.skippedFiles = result.filesSkipped;
  summary_.failedFiles = result.filesFailed;
  summary_.cancelled = result.outcome == transfer::OperationOutcome::kCancelled;
  outcome_.succeeded = copy.succeeded;
  const bool repeating = repeat_->active() && !chosen_.empty();
  if (repeating) {
    ChosenPlaces places = repeat_->PlacesOf(chosen_, result);
    std::vector<std::string> madeFolders = result.madeFolders;
    if (!result.destinationGone) places = Arrange(std::move(places), madeFolders);
    outcome_.succeeded =
        repeat_->FinishCopy(chosen_, places, madeFolders, options_.fileOperationOwner, ports_) &&
        outcome_.succeeded;
  }
  if (result.destinationGone)
    ports_.ShowInformation({kDestinationGoneMessage, {settings_.destination}});
  // The message says what went wrong; a line saying what was copied would hide it.
  if ((copy.started || repeating) &&
      !WriteOutToDevice(*destination_, options_.fileOperationOwner, ports_)) {
    outcome_.succeeded = false;
    return false;
  }
  return !result.destinationGone;
}

void Run::FinishPlaylist() {
  PlaylistCounts counts;
  std::vector<std::string> relativeLines;
  if (settings_.options.relative)
    relativeLines = RelativeEntryLines(settings_.destination, outcome_.chosenPaths);
  const std::vector<std::string>* lines = settings_.options.relative ? &relativeLines : nullptr;
  const PlaylistResult written =
      WritePlaylist(settings_.destination, outcome_.chosenPaths, ports_, &counts, lines);
  outcome_.succeeded = written == PlaylistResult::kWritten || written == PlaylistResult::kCancelled;
  if (!outcome_.succeeded) return;
  if (repeat_->active())
    outcome_.succeeded =
        repeat_->FinishPlaylist(ListedPaths(outcome_.chosenPaths, lines, counts.written), ports_);
  summary_.cancelled = written == PlaylistResult::kCancelled;
  summary_.doneFiles = counts.written;
  summary_.skippedFiles = counts.leftOut;
  // The chosen files' paths have moved to the outcome.
  for (std::size_t i = 0; i < chosen_.size(); ++i)
    if (IsPlaylistEntryPath(outcome_.chosenPaths[i])) summary_.doneBytes += chosen_[i].sizeBytes;
}

}  // namespace

SelectionOutcome SelectionRun(const SelectionSettings& settings, RunPorts& ports,
                              const SelectionRunOptions& options) {
  const std::optional<DrawRequest> request = CheckRequest(settings, ports, options.dryRun);
  if (!request) return {};
  return Run(settings, ports, options, *request).Go();
}

}  // namespace sorvina::engine
