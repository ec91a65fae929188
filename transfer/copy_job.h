// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "transfer/file_operation.h"

namespace sorvina::transfer {

// Collects source and destination paths and runs one copy over them.
class CopyJob {
 public:
  // The operation that Run calls; tests put a recorder in its place.
  using Operation = std::function<FileOperationResult(const FileOperationRequest&)>;

  explicit CopyJob(Operation operation = PerformFileOperation);

  // Empties both lists, clears "set up" and resets the request.
  void Reset();
  // Stores the owner and the layout, and marks the job as set up.
  void Setup(FileOperationUi* owner, DestinationLayout layout);
  // Copies into `root`, held open, with destinations below it (FileOperationRequest).
  void SetRoot(const platform::ContainedFolder* root, std::string rootPath,
               PlacementJournal* journal, std::vector<std::string> reservedTargets);
  // Appends a path; false (nothing added) for an empty path or one that holds a NUL
  // byte, which no request can carry (IsRequestPath).
  bool AddSource(const std::string& path);
  bool AddDestination(const std::string& path);

  // Checks the request and runs the operation. Each out-parameter may be null. `started`
  // is always written; `outcome` and `aborted` (files left out on purpose) only when the
  // operation was called. More than one destination makes the layout kOnePerSource. True
  // only when the operation was called and succeeded.
  bool Run(bool* started = nullptr, OperationOutcome* outcome = nullptr, bool* aborted = nullptr);

  const FileOperationRequest& request() const { return request_; }
  // What the last Run's operation reported: counts of files handled, skipped and failed.
  const FileOperationResult& result() const { return result_; }
  const std::vector<std::string>& sources() const { return request_.sources; }
  const std::vector<std::string>& destinations() const { return request_.destinations; }

 private:
  Operation operation_;
  bool setUp_ = false;
  FileOperationRequest request_;
  FileOperationResult result_;
};

}  // namespace sorvina::transfer
