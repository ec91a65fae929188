#include "engine/selection_run.h"

#include <cctype>
#include <optional>

#include "engine/collection.h"
#include "engine/folder_weights.h"
#include "engine/messages.h"
#include "engine/playlist_writer.h"
#include "engine/random_generator.h"
#include "engine/weighted_draw.h"
#include "media/track_probe.h"
#include "platform/file_system.h"
#include "transfer/copy_job.h"

namespace sorvina::engine {
namespace {

using platform::PathStyle;

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

// Checks what the user typed before anything is collected. Shows the first failure and
// returns nothing then.
std::optional<DrawLimit> CheckRequest(const SelectionSettings& settings, const LimitChoice& limit,
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
  } else if (!platform::EndsWithNoCase(settings.destination, ".m3u")) {
    ports.ShowInformation(kNoPlaylistFileMessage);
    return std::nullopt;
  }

  DrawLimit drawLimit;
  if (limit.megabytesChecked) {
    drawLimit = {DrawLimit::Kind::kBytes, AmountToBudget(limit.megabytesText, kBytesPerMegabyte)};
    if (drawLimit.budget < 1) {
      ports.ShowInformation(kNoMegabytesMessage);
      return std::nullopt;
    }
  }
  if (limit.hoursChecked) {
    const std::int64_t seconds = AmountToBudget(limit.hoursText, kSecondsPerHour);
    if (seconds < 1) {
      ports.ShowInformation(kNoHoursMessage);
      return std::nullopt;
    }
    if (!limit.megabytesChecked) drawLimit = {DrawLimit::Kind::kSeconds, seconds};
  }
  return drawLimit;
}

std::vector<std::string> PathsOf(std::vector<Candidate>&& chosen) {
  std::vector<std::string> paths;
  paths.reserve(chosen.size());
  for (Candidate& candidate : chosen)
    paths.push_back(std::move(candidate.path));
  return paths;
}

// Hands the chosen files to the copy. Nothing chosen: nothing to do, and nothing to say.
bool CopyChosen(const std::string& destination, const std::vector<std::string>& chosenPaths,
                transfer::FileOperationUi* owner) {
  if (chosenPaths.empty()) return true;
  transfer::CopyJob job;
  job.Setup(transfer::FileOperationKind::kCopy, owner,
            transfer::DestinationLayout::kOneFolderForAll);
  job.AddDestination(destination);
  for (const std::string& path : chosenPaths)
    job.AddSource(path);
  return job.Run();
}

}  // namespace

std::vector<std::string> DestinationLevels(std::string_view destination, PathStyle style) {
  // After "C:\" the drive's own separator is no level; elsewhere only an empty prefix.
  const std::size_t firstEnd = HasDriveLetter(destination, style) ? 3 : 1;
  std::vector<std::string> levels;
  for (std::size_t end = firstEnd; end < destination.size(); ++end) {
    if (platform::IsSeparator(destination[end], style)) {
      levels.emplace_back(destination.substr(0, end));
    }
  }
  return levels;
}

SelectionOutcome SelectionRun(SelectionSettings& settings, const LimitChoice& limit,
                              RunPorts& ports, const SelectionRunOptions& options) {
  SelectionOutcome outcome;
  const std::optional<DrawLimit> drawLimit = CheckRequest(settings, limit, ports, options.dryRun);
  if (!drawLimit) return outcome;
  for (FolderWeight& entry : settings.folderWeights)
    ParseFolderWeightEntry(entry);

  std::optional<ScopedWaitCursor> waitCursor(std::in_place, ports);
  std::vector<Candidate> chosen;
  {
    CandidatePool pool;
    CollectCandidates(settings, pool);
    if (pool.count() == 0) {
      waitCursor.reset();
      ports.ShowInformation(kNoMp3sFoundMessage);
      return outcome;
    }
    RandomGenerator random;
    random.Seed(options.seed.value_or(platform::ClockSeed()));
    media::TrackProbe probe;
    chosen = DrawCandidates(pool, random, *drawLimit, [&probe](const Candidate& candidate) {
      return probe.Seconds(candidate.path, candidate.sizeBytes);
    });
  }
  outcome.chosenPaths = PathsOf(std::move(chosen));

  if (options.dryRun) {
    outcome.succeeded = true;
  } else if (settings.copyToFolder) {
    outcome.succeeded =
        CopyChosen(settings.destination, outcome.chosenPaths, options.fileOperationOwner);
  } else {
    const PlaylistResult written = WritePlaylist(settings.destination, outcome.chosenPaths, ports);
    outcome.succeeded =
        written == PlaylistResult::kWritten || written == PlaylistResult::kCancelled;
  }
  return outcome;
}

}  // namespace sorvina::engine
