#include "transfer/copy_job.h"

#include <cstring>
#include <utility>

#include "platform/file_system.h"

namespace sorvina::transfer {
namespace {

// The list buffer ends at the first empty path, so neither an empty path nor one holding
// a NUL byte can be carried: the paths after it would silently drop out of the request.
bool CanCarry(const std::string& path) {
  return !path.empty() && !platform::HasNulByte(path);
}

}  // namespace

CopyJob::CopyJob(Operation operation) : operation_(std::move(operation)) {
  Reset();
}

void CopyJob::Reset() {
  sources_.clear();
  destinations_.clear();
  setUp_ = false;
  started_ = false;
  progressTitle_.clear();
  record_ = FileOperationRecord{};
}

void CopyJob::Setup(unsigned operation, FileOperationUi* owner, std::uint16_t flags) {
  record_.operation = operation;
  record_.owner = owner;
  record_.flags = flags;
  setUp_ = true;
}

bool CopyJob::AddSource(const std::string& path) {
  if (!CanCarry(path)) return false;
  sources_.push_back(path);
  return true;
}

bool CopyJob::AddDestination(const std::string& path) {
  if (!CanCarry(path)) return false;
  destinations_.push_back(path);
  return true;
}

bool CopyJob::Run(bool* started, int* result, bool* aborted) {
  started_ = false;
  if (started != nullptr) *started = false;
  if (!setUp_) return false;
  const unsigned operation = record_.operation;
  if (operation < FO_MOVE || operation > FO_RENAME) return false;
  if (sources_.empty()) return false;
  const bool deleting = operation == FO_DELETE;
  if (!deleting && (destinations_.empty() ||
                    (destinations_.size() != 1 && destinations_.size() != sources_.size()))) {
    return false;
  }

  // The buffers live for this one call only.
  std::vector<char> from(GetListBufferSize(sources_));
  std::vector<char> to;
  if (!deleting) to.resize(GetListBufferSize(destinations_));
  FillListBuffer(from.data(), sources_);
  if (!deleting) FillListBuffer(to.data(), destinations_);

  record_.from = from.data();
  record_.to = deleting ? nullptr : to.data();
  record_.progressTitle = progressTitle_.c_str();
  if (destinations_.size() > 1) record_.flags |= FOF_MULTIDESTFILES;
  record_.anyOperationsAborted = false;

  started_ = true;
  if (started != nullptr) *started = true;
  const int returned = operation_ ? operation_(record_) : kOperationInvalid;
  if (result != nullptr) *result = returned;
  if (aborted != nullptr) *aborted = record_.anyOperationsAborted;
  // The record must not point into buffers that are about to go.
  record_.from = nullptr;
  record_.to = nullptr;
  return started_ && returned == kOperationSucceeded;
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
