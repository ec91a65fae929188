// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/playlist_fill.h"

#include <string>
#include <vector>

#include "engine/output/playlist_paths.h"
#include "engine/output/playlist_writer.h"

namespace sorvina::engine {
namespace {

// The chosen paths (in order) that a playlist with these path lines lists: all but those
// no line can hold, up to the `written` entries that made it into the file.
std::vector<std::string> ListedPaths(const std::vector<std::string>& paths,
                                     const std::vector<std::string>* lines, std::size_t written) {
  std::vector<std::string> listed;
  for (std::size_t i = 0; i < paths.size() && listed.size() < written; ++i)
    if (IsPlaylistEntryPath(lines != nullptr ? (*lines)[i] : paths[i])) listed.push_back(paths[i]);
  return listed;
}

}  // namespace

PlaylistFill::PlaylistFill(const SelectionSettings& settings, bool dryRun, RunPorts& ports)
    : settings_(settings), dryRun_(dryRun), ports_(ports) {}

bool PlaylistFill::BeforeDraw(CandidatePool& pool, DrawLimit& /*limit*/) {
  repeat_.emplace(settings_, dryRun_, settings_.options != ExtraOptions{});
  if (!repeat_->Begin(ports_, nullptr)) return false;
  if (repeat_->LeaveOutRecent(pool)) return true;
  ports_.ShowInformation(repeat_->NothingLeftMessage());
  return false;
}

void PlaylistFill::AfterDraw(DrawnSongs drawn, SelectionOutcome& outcome) {
  drawn.orderForPlay(drawn.chosen);
  RunSummary summary = SummaryOfChoice(drawn, false);
  summary.dryRun = dryRun_;
  summary.destination = settings_.destination;
  std::vector<std::int64_t> sizes;
  for (const PooledCandidate& song : drawn.chosen)
    sizes.push_back(song.sizeBytes);
  // The chosen files' paths are needed from here on only as the outcome lists them: they
  // move there rather than be held twice.
  for (Candidate& song : drawn.pool.TakeCandidates(drawn.chosen))
    outcome.chosenPaths.push_back(std::move(song.path));
  std::vector<PooledCandidate>().swap(drawn.chosen);
  const std::vector<std::string>& paths = outcome.chosenPaths;
  if (dryRun_) {
    outcome.succeeded = true;
    summary.doneFiles = paths.size();
    for (const std::int64_t size : sizes)
      summary.doneBytes += size;
  } else {
    PlaylistCounts counts;
    std::vector<std::string> relativeLines;
    if (settings_.options.relative)
      relativeLines = RelativeEntryLines(settings_.destination, paths);
    const std::vector<std::string>* lines = settings_.options.relative ? &relativeLines : nullptr;
    const PlaylistResult written =
        WritePlaylist(settings_.destination, paths, ports_, &counts, lines);
    outcome.succeeded =
        written == PlaylistResult::kWritten || written == PlaylistResult::kCancelled;
    if (!outcome.succeeded) return;
    if (repeat_->active())
      outcome.succeeded =
          repeat_->FinishPlaylist(ListedPaths(paths, lines, counts.written), ports_);
    summary.cancelled = written == PlaylistResult::kCancelled;
    summary.doneFiles = counts.written;
    summary.skippedFiles = counts.leftOut;
    for (std::size_t i = 0; i < paths.size(); ++i)
      if (IsPlaylistEntryPath(paths[i])) summary.doneBytes += sizes[i];
  }
  if (drawn.limit.kind == DrawLimit::Kind::kSeconds && summary.doneFiles == paths.size()) {
    std::int64_t seconds = 0;
    for (const std::int64_t amount : drawn.report.chosenAmounts)
      seconds += amount;
    summary.doneSeconds = seconds;
  }
  outcome.summary = std::move(summary);
}

}  // namespace sorvina::engine
