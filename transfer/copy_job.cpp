#include "transfer/copy_job.h"

#include <cstring>
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

void CopyJob::Setup(FileOperationKind kind, FileOperationUi* owner, DestinationLayout layout) {
  request_.kind = kind;
  request_.owner = owner;
  request_.layout = layout;
  setUp_ = true;
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
  const FileOperationKind kind = request_.kind;
  if (kind < FileOperationKind::kMove || kind > FileOperationKind::kRename) return false;
  const std::vector<std::string>& sources = request_.sources;
  const std::vector<std::string>& destinations = request_.destinations;
  if (sources.empty()) return false;
  if (kind != FileOperationKind::kDelete &&
      (destinations.empty() ||
       (destinations.size() != 1 && destinations.size() != sources.size()))) {
    return false;
  }
  if (destinations.size() > 1) request_.layout = DestinationLayout::kOnePerSource;

  if (started != nullptr) *started = true;
  result_ = operation_ ? operation_(request_) : FileOperationResult{};
  if (outcome != nullptr) *outcome = result_.outcome;
  if (aborted != nullptr) *aborted = result_.anyFilesLeftOut;
  return result_.outcome == OperationOutcome::kSucceeded;
}

std::size_t CopyJob::GetListBufferSize(const std::vector<std::string>& list) {
  std::size_t size = 1;
  for (const std::string& path : list)
    size += path.size() + 1;
  return size;
}

void CopyJob::FillListBuffer(char* buffer, const std::vector<std::string>& list) {
  for (const std::string& path : list) {
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    buffer += path.size() + 1;
  }
  *buffer = '\0';
}

}  // namespace sorvina::transfer
