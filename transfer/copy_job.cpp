// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/copy_job.h"

#include <utility>

namespace sorvina::transfer {

CopyJob::CopyJob(Operation operation) : operation_(std::move(operation)) {
  Reset();
}

void CopyJob::Reset() {
  setUp_ = false;
  request_ = FileOperationRequest{};
  result_ = FileOperationResult{};
}

void CopyJob::Setup(FileOperationUi* owner, DestinationLayout layout) {
  request_.owner = owner;
  request_.layout = layout;
  setUp_ = true;
}

void CopyJob::SetRoot(const platform::ContainedFolder* root, std::string rootPath,
                      PlacementJournal* journal, std::vector<std::string> reservedTargets) {
  request_.root = root;
  request_.rootPath = std::move(rootPath);
  request_.journal = journal;
  request_.reservedTargets = std::move(reservedTargets);
}

bool CopyJob::AddSource(const std::string& path) {
  if (!IsRequestPath(path)) return false;
  request_.sources.push_back(path);
  return true;
}

bool CopyJob::AddDestination(const std::string& path) {
  if (!IsRequestPath(path)) return false;
  request_.destinations.push_back(path);
  return true;
}

bool CopyJob::Run(bool* started, OperationOutcome* outcome, bool* aborted) {
  if (started != nullptr) *started = false;
  if (!setUp_) return false;
  const std::vector<std::string>& sources = request_.sources;
  const std::vector<std::string>& destinations = request_.destinations;
  if (sources.empty()) return false;
  if (destinations.empty() || (destinations.size() != 1 && destinations.size() != sources.size()))
    return false;
  if (destinations.size() > 1) request_.layout = DestinationLayout::kOnePerSource;

  if (started != nullptr) *started = true;
  result_ = operation_ ? operation_(request_) : FileOperationResult{};
  if (outcome != nullptr) *outcome = result_.outcome;
  if (aborted != nullptr) *aborted = result_.anyFilesLeftOut;
  return result_.outcome == OperationOutcome::kSucceeded;
}

}  // namespace sorvina::transfer
