#include "engine/run/selection_run.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>

#include "engine/draw/random_generator.h"
#include "engine/draw/weighted_draw.h"
#include "engine/fill/copy_targets.h"
#include "engine/fill/destination_space.h"
#include "engine/fill/repeated_fill.h"
#include "engine/output/playlist_paths.h"
#include "engine/output/playlist_writer.h"
#include "engine/report/messages.h"
#include "engine/report/summary_line.h"
#include "engine/scan/collection.h"
#include "engine/settings/folder_weights.h"
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
  platform::MakeFolder(destination);
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

// Checks what the user typed before anything is collected. Shows the first failure and
// returns nothing then.
std::optional<DrawRequest> CheckRequest(const SelectionSettings& settings, const LimitChoice& limit,
                                        RunPorts& ports, bool dryRun) {
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
  if (limit.megabytesChecked) {
    if (MeansFreeSpace(limit.megabytesText)) {
      std::optional<DrawRequest> free = FreeSpaceRequest(settings, ports);
      if (!free) return std::nullopt;
      request = *free;
    } else {
      request.limit = {DrawLimit::Kind::kBytes,
                       AmountToBudget(limit.megabytesText, kBytesPerMegabyte)};
      if (request.limit.budget < 1) {
        ports.ShowInformation(kNoMegabytesMessage);
        return std::nullopt;
      }
    }
  }
  if (limit.hoursChecked) {
    const std::int64_t seconds = AmountToBudget(limit.hoursText, kSecondsPerHour);
    if (seconds < 1) {
      ports.ShowInformation(kNoHoursMessage);
      return std::nullopt;
    }
    if (!limit.megabytesChecked) request.limit = {DrawLimit::Kind::kSeconds, seconds};
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

// Hands the chosen files to the copy into `destination`, held open: each under its own
// name or, with the sources' folders kept, to its path below it. `started` tells whether
// the copy began; what it did is in `result`. Nothing chosen: nothing to do, and nothing
// to say.
bool CopyChosen(const SelectionSettings& settings, const std::vector<Candidate>& chosen, bool fat,
                const platform::ContainedFolder& destination, transfer::FileOperationUi* owner,
                transfer::PlacementJournal* journal, std::vector<std::string> reserved,
                RunSummary& summary, bool& started, transfer::FileOperationResult& result) {
  started = false;
  if (chosen.empty()) return true;
  transfer::CopyJob job;
  job.SetRoot(&destination, settings.destination, journal, std::move(reserved));
  if (settings.options.keepFolders) {
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
  const bool copied = job.Run(&started);
  result = job.result();
  summary.doneFiles = result.filesDone;
  summary.doneBytes = static_cast<std::int64_t>(result.bytesDone);
  summary.skippedFiles = result.filesSkipped;
  summary.failedFiles = result.filesFailed;
  summary.cancelled = result.outcome == transfer::OperationOutcome::kCancelled;
  return copied;
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
  std::size_t otherFiles = 0;
  std::vector<RecordedFile> copies = repeat.FindCopies(pool, otherFiles);
  if (copies.empty()) {
    // An empty player needs no word: the summary says there was nothing to replace.
    if (otherFiles > 0) ports.ShowWarning(kNoEarlierFillMessage);
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
  if (adopt == AdoptCopies::kAsk) {
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

SelectionOutcome SelectionRun(SelectionSettings& settings, const LimitChoice& limit,
                              RunPorts& ports, const SelectionRunOptions& options) {
  SelectionOutcome outcome;
  const std::optional<DrawRequest> request = CheckRequest(settings, limit, ports, options.dryRun);
  if (!request) return outcome;
  for (FolderWeight& entry : settings.folderWeights)
    ParseFolderWeightEntry(entry);

  // The copy destination, held open from here on: everything written goes there, also
  // when the player is unmounted from its path meanwhile. A dry run may find none yet.
  std::optional<platform::ContainedFolder> destination;
  if (settings.copyToFolder) {
    destination = platform::ContainedFolder::Open(settings.destination);
    if (!destination && !options.dryRun) {
      ports.ShowInformation(kInvalidDestinationFolderMessage);
      return outcome;
    }
  }
  // Names are made legal for FAT where files keep their folders or are charged by name.
  const bool fat = (settings.options.keepFolders || request->freeSpace) && destination &&
                   platform::IsFatDevice(destination->device());
  RunSummary summary;
  summary.copy = settings.copyToFolder;
  summary.dryRun = options.dryRun;
  summary.destination = settings.destination;
  RepeatedFill repeat(settings, options.dryRun, BeyondClassic(settings, request->freeSpace));
  if (!repeat.Begin(ports, destination ? &*destination : nullptr)) return outcome;
  std::optional<ScopedWaitCursor> waitCursor(std::in_place, ports);
  std::vector<Candidate> chosen;
  DrawReport report;
  {
    CandidatePool pool;
    // Sizes are read while scanning where the draw or the summary needs every one of them;
    // a draw by playing time needs only those of the files it chooses.
    CollectionOptions collection;
    collection.readSizes = request->limit.kind != DrawLimit::Kind::kSeconds;
    CollectCandidates(settings, pool, collection);
    if (pool.count() == 0) {
      waitCursor.reset();
      ports.ShowInformation(kNoMp3sFoundMessage);
      return outcome;
    }
    if (repeat.NoEarlierFill()) {
      waitCursor.reset();
      outcome.copiesNotAdopted = OfferCopiesForAdoption(repeat, pool, options.adoptCopies, ports);
      waitCursor.emplace(ports);
    }
    if (!repeat.LeaveOutRecent(pool)) {
      waitCursor.reset();
      ports.ShowInformation(repeat.NothingLeftMessage());
      return outcome;
    }
    std::optional<DestinationSpace> space;
    DrawLimit drawLimit = request->limit;
    if (request->freeSpace) {
      space.emplace(request->space.allocationUnit, RelativeTargets(settings, fat));
      drawLimit.space = &*space;
      // What the files to be replaced take will be free by the time the copy begins.
      drawLimit.budget += repeat.SpaceToBeFreed(request->space.allocationUnit);
      repeat.ChargeOwnFiles(*space, drawLimit.budget, request->space.allocationUnit);
      drawLimit.budget = std::max<std::int64_t>(drawLimit.budget, 0);
    }
    RandomGenerator random;
    random.Seed(options.seed.value_or(platform::ClockSeed()));
    media::TrackProbe probe;
    chosen = ToCandidates(DrawCandidates(
        pool, random, drawLimit,
        [&probe](const Candidate& candidate) {
          // A size not read yet is told as unknown (0): the probe reads it itself.
          return probe.Seconds(candidate.path, std::max<std::int64_t>(candidate.sizeBytes, 0));
        },
        DrawMethod::kFastest, &report));
    ReadMissingSizes(chosen);
    if (chosen.empty())
      summary.nothingFits = WhyNothingFits(pool, drawLimit, request->freeSpace, report);
  }
  outcome.chosenPaths.reserve(chosen.size());
  std::int64_t chosenBytes = 0;
  for (const Candidate& candidate : chosen) {
    outcome.chosenPaths.push_back(candidate.path);
    chosenBytes += candidate.sizeBytes;
  }
  summary.chosenFiles = chosen.size();

  // Chosen files that the previous fill left on the destination stay there.
  const std::vector<Candidate> toCopy =
      settings.copyToFolder ? repeat.Settle(chosen) : std::vector<Candidate>();
  if (options.dryRun) {
    outcome.succeeded = true;
    if (settings.copyToFolder && !chosen.empty()) outcome.removedPaths = repeat.PathsToRemove();
    summary.doneFiles = settings.copyToFolder ? toCopy.size() : chosen.size();
    summary.doneBytes = settings.copyToFolder ? BytesOf(toCopy) : chosenBytes;
  } else if (settings.copyToFolder) {
    transfer::PlacementJournal* journal = nullptr;
    if (!chosen.empty()) {
      journal = repeat.BeginCopy(ports);
      outcome.removedPaths = repeat.RemovePrevious(ports);
    }
    bool started = false;
    transfer::FileOperationResult copied;
    outcome.succeeded = CopyChosen(settings, toCopy, fat, *destination, options.fileOperationOwner,
                                   journal, repeat.KeptTargets(), summary, started, copied);
    const bool repeating = repeat.active() && !chosen.empty();
    if (repeating)
      outcome.succeeded =
          repeat.FinishCopy(chosen, copied, options.fileOperationOwner, ports) && outcome.succeeded;
    if (copied.destinationGone)
      ports.ShowInformation({kDestinationGoneMessage, {settings.destination}});
    // The message says what went wrong; a line saying what was copied would hide it.
    if ((started || repeating) &&
        !WriteOutToDevice(*destination, options.fileOperationOwner, ports)) {
      outcome.succeeded = false;
      return outcome;
    }
    if (copied.destinationGone) return outcome;
  } else {
    PlaylistCounts counts;
    std::vector<std::string> relativeLines;
    if (settings.options.relative)
      relativeLines = RelativeEntryLines(settings.destination, outcome.chosenPaths);
    const std::vector<std::string>* lines = settings.options.relative ? &relativeLines : nullptr;
    const PlaylistResult written =
        WritePlaylist(settings.destination, outcome.chosenPaths, ports, &counts, lines);
    outcome.succeeded =
        written == PlaylistResult::kWritten || written == PlaylistResult::kCancelled;
    if (!outcome.succeeded) return outcome;
    if (repeat.active())
      outcome.succeeded =
          repeat.FinishPlaylist(ListedPaths(outcome.chosenPaths, lines, counts.written), ports);
    summary.cancelled = written == PlaylistResult::kCancelled;
    summary.doneFiles = counts.written;
    summary.skippedFiles = counts.leftOut;
    for (const Candidate& candidate : chosen)
      if (IsPlaylistEntryPath(candidate.path)) summary.doneBytes += candidate.sizeBytes;
  }
  if (settings.copyToFolder) summary.replacement = repeat.replacement();
  // Files kept from the previous fill are part of this one, though not copied again.
  const std::size_t kept = summary.replacement ? summary.replacement->kept : 0;
  if (request->limit.kind == DrawLimit::Kind::kSeconds && summary.doneFiles + kept == chosen.size())
    summary.doneSeconds = Sum(report.chosenAmounts);
  outcome.summary = std::move(summary);
  return outcome;
}

}  // namespace sorvina::engine
