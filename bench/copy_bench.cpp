// SPDX-License-Identifier: GPL-3.0-or-later
// Copies every regular file of SOURCE_DIR, in name order, into DEST_DIR with the file
// operation a selection run uses, so that compare_copy.sh can time it against cp(1)
// copying the same files.
//
// Usage: sorvina-copy-bench [--chunk-kib N] [--sync] [--part-files] [--flush] SOURCE_DIR
//                           DEST_DIR
//   --chunk-kib N  bytes per chunk (progress update and cancel point), in KiB
//   --sync         flush every copy to the device before it takes its name
//   --part-files   copy into hidden part files, as on FAT volumes, even where files
//                  without a name can be made
//   --flush        then write the destination's volume out to its device, as a selection
//                  run does after its copy, and print "COPY_US FLUSH_US" on standard
//                  output: the microseconds of each (compare_flush.sh)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_type.h"
#include "transfer/copy_job.h"
#include "transfer/file_operation.h"

namespace {

using namespace sorvina::transfer;

// An owner that answers like a user who is never asked anything, so that the progress
// calls of a real front end are part of what is measured.
class CountingOwner : public FileOperationUi {
 public:
  ConflictAnswer AskConflict(const std::string&, const std::string&) override {
    return {ConflictAction::kSkip, true};
  }
  ErrorAction ReportError(const std::string& path, const sorvina::text::UserText& reason) override {
    std::fprintf(stderr, "sorvina-copy-bench: %s: %s\n", path.c_str(),
                 sorvina::text::English(reason).c_str());
    return ErrorAction::kStop;
  }
  bool Progress(const FileProgress& progress) override {
    ++updates;
    lastDone = progress.bytesDone;
    return true;
  }

  unsigned long long updates = 0;
  unsigned long long lastDone = 0;
};

int Usage() {
  std::fprintf(
      stderr,
      "usage: sorvina-copy-bench [--chunk-kib N] [--sync] [--part-files] [--flush] SOURCE_DIR "
      "DEST_DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  FileOperationTuning tuning;
  bool flush = false;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--sync") {
      tuning.syncBeforeRename = true;
    } else if (argument == "--flush") {
      flush = true;
    } else if (argument == "--part-files") {
      tuning.unnamedPartFiles = false;
    } else if (argument == "--chunk-kib" && i + 1 < argc) {
      tuning.chunkBytes = std::strtoull(argv[++i], nullptr, 10) * 1024;
      if (tuning.chunkBytes == 0) return Usage();
    } else {
      operands.emplace_back(argument);
    }
  }
  if (operands.size() != 2) return Usage();

  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(operands[0], error)) {
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  }
  if (error) {
    std::fprintf(stderr, "sorvina-copy-bench: %s: %s\n", operands[0].c_str(),
                 error.message().c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());

  CountingOwner owner;
  CopyJob job([&tuning](const FileOperationRequest& request) {
    return PerformFileOperationWith(request, tuning);
  });
  job.Setup(&owner, DestinationLayout::kOneFolderForAll);
  job.AddDestination(operands[1]);
  for (const std::string& file : files)
    job.AddSource(file);
  // No files is nothing to copy, which is no failure; a request the job refuses is one.
  OperationOutcome outcome =
      files.empty() ? OperationOutcome::kSucceeded : OperationOutcome::kInvalid;
  const auto start = std::chrono::steady_clock::now();
  job.Run(nullptr, &outcome, nullptr);
  const auto copied = std::chrono::steady_clock::now();
  if (flush) {
    if (const int failed = sorvina::platform::FlushVolume(operands[1])) {
      std::fprintf(stderr, "sorvina-copy-bench: flushing %s: %s\n", operands[1].c_str(),
                   std::strerror(failed));
      return 1;
    }
    const auto flushed = std::chrono::steady_clock::now();
    const auto us = [](auto span) {
      return static_cast<long long>(
          std::chrono::duration_cast<std::chrono::microseconds>(span).count());
    };
    std::printf("%lld %lld\n", us(copied - start), us(flushed - copied));
  }
  std::fprintf(stderr, "copied %zu files, %llu bytes, %llu progress updates, result %d\n",
               files.size(), owner.lastDone, owner.updates, static_cast<int>(outcome));
  return outcome == OperationOutcome::kSucceeded ? 0 : 1;
}
