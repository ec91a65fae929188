// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run/selection_run.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>
#include <optional>

#include "engine/draw/play_weights.h"
#include "engine/draw/random_generator.h"
#include "engine/draw/song_draw.h"
#include "engine/draw/weighted_draw.h"
#include "engine/fill/player_fill.h"
#include "engine/fill/playlist_fill.h"
#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "engine/run/run_filters.h"
#include "engine/scan/collection.h"
#include "engine/scan/tag_cache.h"
#include "media/track_probe.h"
#include "platform/drive_type.h"
#include "platform/file_system.h"

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
  bool freeSpace = false;  // the limit is the destination's free space, which its fill measures
};

// Checks what the user asked for before anything is collected. Shows the first failure
// and returns nothing then.
std::optional<DrawRequest> CheckRequest(const SelectionSettings& settings, RunPorts& ports,
                                        bool dryRun) {
  if (settings.sources.empty()) {
    ports.ShowInformation(kNoSourcesMessage);
    return std::nullopt;
  }
  // A phone reached over MTP is no folder of this computer: the run opened it already.
  const bool phone = settings.copyToFolder && IsMtpDestination(settings.destination);
  if (!dryRun && !phone) CreateDestinationLevels(settings.destination);
  if (settings.copyToFolder) {
    if (!phone && !PrepareDestinationFolder(settings.destination, dryRun)) {
      ports.ShowInformation(kInvalidDestinationFolderMessage);
      return std::nullopt;
    }
  } else if (!text::EndsWithNoCase(settings.destination, ".m3u")) {
    ports.ShowInformation(kNoPlaylistFileMessage);
    return std::nullopt;
  }

  DrawRequest request;
  switch (settings.amount.kind) {
    case Amount::Kind::kFreeSpace:
      if (!settings.copyToFolder) {
        ports.ShowInformation(kFreeSpaceNeedsCopyMessage);
        return std::nullopt;
      }
      request.freeSpace = true;
      request.limit.kind = DrawLimit::Kind::kBytes;
      break;
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

// The output the settings ask for: a copy, or a playlist.
std::unique_ptr<SongOutput> OutputFor(const SelectionSettings& settings,
                                      const SelectionRunOptions& options,
                                      const DrawRequest& request, FillOptions& fill,
                                      std::shared_ptr<MtpDestination> phone, RunPorts& ports) {
  if (!settings.copyToFolder)
    return std::make_unique<PlaylistFill>(settings, options.dryRun, ports);
  fill.owner = options.fileOperationOwner;
  fill.dryRun = options.dryRun;
  fill.adoptCopies = options.adoptCopies;
  fill.jobs = options.jobs;
  fill.cacheBytes = options.cacheBytes;
  fill.freeSpace = request.freeSpace;
  fill.gatherHistory = options.gatherHistory;
  fill.phone = std::move(phone);
  return std::make_unique<PlayerFill>(settings, fill, ports);
}

// One run: collects the candidates, lets the output take out what it leaves out, draws as
// the options shape the draw, and hands the chosen songs to the output.
class Run {
 public:
  Run(const SelectionSettings& settings, RunPorts& ports, const SelectionRunOptions& options,
      const DrawRequest& request, std::shared_ptr<MtpDestination> phone = nullptr)
      : settings_(settings),
        ports_(ports),
        options_(options),
        request_(request),
        output_(OutputFor(settings, options, request, fill_, std::move(phone), ports)) {}

  SelectionOutcome Go();

 private:
  bool Collect(CandidatePool& pool);
  bool WeighByHistory(CandidatePool& pool);

  const SelectionSettings& settings_;
  RunPorts& ports_;
  const SelectionRunOptions& options_;
  const DrawRequest& request_;
  FillOptions fill_;
  std::unique_ptr<SongOutput> output_;
  SelectionOutcome outcome_;
  std::unique_ptr<PlayHistory> playlistHistory_;  // a fill reads its own
  const PlayHistory* history_ = nullptr;
};

// Steers the draw by the play history, where the options ask for that; false after a
// message when it leaves nothing to draw.
bool Run::WeighByHistory(CandidatePool& pool) {
  const ExtraOptions& options = settings_.options;
  if (!UsesPlayHistory(options, settings_.copyToFolder)) return true;
  if (settings_.copyToFolder) {
    history_ = output_->playHistory();
  } else if (options_.gatherHistory) {
    HistoryRequest request;
    request.sources = options.historySources;
    request.librarySongs = [&pool] { return KnownSongsOf(pool); };
    playlistHistory_ = options_.gatherHistory(request, ports_);
    history_ = playlistHistory_.get();
  }
  if (!options.preferUnplayed && options.avoidPlayedDays <= 0) return true;
  if (history_ == nullptr) {
    ports_.ShowWarning(kNoPlayHistoryMessage);
    return true;
  }
  if (WeighByPlays(pool, *history_, options, static_cast<std::int64_t>(std::time(nullptr))))
    return true;
  ports_.ShowInformation({kAllPlayedLatelyMessage, {options.avoidPlayedDays}});
  return false;
}

// Collects the candidates; false after a message when there are none.
bool Run::Collect(CandidatePool& pool) {
  const ScopedWaitCursor waitCursor(ports_);
  // Sizes are read while scanning where the draw or the summary needs every one of them;
  // a draw by playing time needs only those of the files it chooses.
  CollectionOptions collection;
  collection.readSizes = request_.limit.kind != DrawLimit::Kind::kSeconds;
  CollectCandidates(settings_, pool, collection);
  // Every file is in: nothing asks the duplicate filter again, and its tables, a
  // library's worth, would stay through the draw.
  pool.filter().ReleaseAll();
  return pool.count() > 0;
}

SelectionOutcome Run::Go() {
  if (settings_.options.albums && settings_.options.balance != DrawBalance::kNone) {
    ports_.ShowInformation(kAlbumsWithBalanceMessage);
    return std::move(outcome_);
  }
  // The cap would cut whole albums short.
  if (settings_.options.albums && settings_.options.maxPerArtist > 0) {
    ports_.ShowInformation(kAlbumsWithArtistCapMessage);
    return std::move(outcome_);
  }
  CandidatePool pool;
  if (!Collect(pool)) {
    ports_.ShowInformation(kNoMp3sFoundMessage);
    return std::move(outcome_);
  }
  const FilteredSongs filtered = FilterForRun(settings_, pool);
  if (pool.count() == 0) {
    ports_.ShowInformation(NothingPassesText(filtered));
    return std::move(outcome_);
  }
  DrawLimit limit = request_.limit;
  if (!output_->BeforeDraw(pool, limit) || !WeighByHistory(pool)) return std::move(outcome_);

  // Draws shaped by the songs' tags read them here, once the pool has lost what it can.
  std::optional<ScopedWaitCursor> waitCursor(std::in_place, ports_);
  std::optional<DrawTagTable> tags;
  if (ShapesTheDraw(settings_.options)) tags = ReadCachedTags(pool);
  std::optional<SongDraw> draw(std::in_place, settings_.options, tags ? &*tags : nullptr);
  if (!draw->Weigh(pool)) {
    waitCursor.reset();
    ports_.ShowInformation(kNoStarWeightMessage);
    return std::move(outcome_);
  }
  RandomGenerator random;
  random.Seed(options_.seed.value_or(platform::ClockSeed()));
  media::TrackProbe probe;
  DrawReport report;
  std::vector<PooledCandidate> chosen = draw->Draw(
      pool, random, draw->Shaped(limit),
      [&probe](const Candidate& candidate) {
        // A size not read yet is told as unknown (0): the probe reads it itself.
        return probe.Seconds(candidate.path, std::max<std::int64_t>(candidate.sizeBytes, 0));
      },
      &report, settings_.options.albums);
  for (const std::int64_t amount : report.chosenAmounts)
    limit.budget -= amount;
  // Room left and no song found too large: the draw ran out of songs it may choose.
  const bool roomLeft =
      limit.kind != DrawLimit::Kind::kNone && limit.budget > 0 && report.smallestMiss < 0;
  std::optional<RunSummary::ArtistLimit> artistLimit;
  waitCursor.reset();
  // Whole albums are topped up with single songs. Once in play order, what the draw
  // needed goes: the tag table holds views of the pool's paths, which the output frees.
  const DrawMore drawMore = [&](const DrawLimit& left, DrawReport* more) {
    return draw->Draw(pool, random, draw->Shaped(left), {}, more, false);
  };
  const PlayOrder orderForPlay = [&](std::vector<PooledCandidate>& songs) {
    if (const ArtistCap* cap = draw->CapThatRefused(); cap != nullptr && roomLeft)
      artistLimit = RunSummary::ArtistLimit{cap->maxPerArtist(), cap->artists()};
    draw->OrderForPlay(songs);
    draw.reset();
    tags.reset();
  };
  output_->AfterDraw({pool, std::move(chosen), limit, std::move(report), drawMore, orderForPlay},
                     outcome_);
  if (outcome_.summary && outcome_.summary->chosenFiles > 0 && pool.count() == 0)
    outcome_.summary->stoppedByArtistLimit = artistLimit;
  if (history_ != nullptr && options_.dryRun) {
    for (const std::string& path : outcome_.chosenPaths)
      outcome_.plays.push_back(history_->PlaysOf(path));
  }
  if (outcome_.summary) outcome_.summary->filtered = filtered;
  return std::move(outcome_);
}

// A run onto a phone reached over MTP. Where another program holds the phone (the
// desktop's own mount of it), the run goes through that mount instead, and says so.
SelectionOutcome PhoneRun(const SelectionSettings& settings, RunPorts& ports,
                          const SelectionRunOptions& options) {
  MtpDestination::Opening opening;
  {
    const ScopedWaitCursor waitCursor(ports);
    opening = MtpDestination::Open(settings.destination);
  }
  if (opening.busy) {
    const std::optional<MtpPlace> place = ParseMtpDestination(settings.destination);
    const std::optional<std::string> mounted = place ? PhoneMountFolder(*place) : std::nullopt;
    if (!mounted) {
      ports.ShowInformation({SORVINA_TEXT("sorvina",
                                          "%1 is held by another program, and no mount of it "
                                          "was found; open it in the file manager, or close "
                                          "the program that holds it, and try again"),
                             {opening.phoneName}});
      return {};
    }
    ports.ShowWarning({SORVINA_TEXT("sorvina",
                                    "%1 is held by the desktop's own mount of it; it is filled "
                                    "through that mount: %2"),
                       {opening.phoneName, *mounted}});
    SelectionSettings throughMount = settings;
    throughMount.destination = *mounted;
    return SelectionRun(throughMount, ports, options);
  }
  if (!opening.destination) {
    ports.ShowInformation(*opening.failure);
    return {};
  }
  const std::optional<DrawRequest> request = CheckRequest(settings, ports, options.dryRun);
  if (!request) return {};
  return Run(settings, ports, options, *request, std::move(opening.destination)).Go();
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

SelectionOutcome SelectionRun(const SelectionSettings& settings, RunPorts& ports,
                              const SelectionRunOptions& options) {
  if (settings.copyToFolder && IsMtpDestination(settings.destination))
    return PhoneRun(settings, ports, options);
  const std::optional<DrawRequest> request = CheckRequest(settings, ports, options.dryRun);
  if (!request) return {};
  return Run(settings, ports, options, *request).Go();
}

}  // namespace sorvina::engine
