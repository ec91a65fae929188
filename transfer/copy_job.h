#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transfer/file_operation.h"

namespace sorvina::transfer {

// Collects source and destination paths and runs one file operation over them: the
// lists become the NUL-separated, double-NUL-terminated buffers of the request.
class CopyJob {
 public:
  // The operation that Run calls; tests put a recorder in its place.
  using Operation = std::function<int(FileOperationRecord&)>;

  explicit CopyJob(Operation operation = PerformFileOperation);

  // Empties both lists, clears "set up" and "started" and zeroes the record.
  void Reset();
  // Stores the operation code, the owner and the flags, and marks the job as set up.
  void Setup(unsigned operation, FileOperationUi* owner, std::uint16_t flags);
  // Appends a path; false (nothing added) for an empty path or one that holds a NUL
  // byte, which the buffer could not carry (it ends at the first empty path).
  bool AddSource(const std::string& path);
  bool AddDestination(const std::string& path);

  // Checks the request and runs the operation. Each out-parameter may be null. `started`
  // is always written; `result` and `aborted` only when the operation was called. True
  // only when the operation was called and returned 0.
  bool Run(bool* started = nullptr, int* result = nullptr, bool* aborted = nullptr);

  // Bytes of a list's buffer: the sum of (length + 1) over the paths, plus 1.
  static std::size_t GetListBufferSize(const std::vector<std::string>& list);
  // Writes the list's buffer: each path with its NUL, then one more NUL.
  static void FillListBuffer(char* buffer, const std::vector<std::string>& list);

  const FileOperationRecord& record() const { return record_; }
  const std::vector<std::string>& sources() const { return sources_; }
  const std::vector<std::string>& destinations() const { return destinations_; }

 private:
  Operation operation_;
  bool setUp_ = false;
  bool started_ = false;
  std::vector<std::string> sources_;
  std::vector<std::string> destinations_;
  FileOperationRecord record_;
  std::string progressTitle_;
};

}  // namespace sorvina::transfer
