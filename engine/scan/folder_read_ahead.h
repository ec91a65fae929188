// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/scan/folder_contents.h"
#include "media/file_types.h"
#include "platform/file_system.h"

namespace sorvina::engine {

// The folders a scan went through to reach one: what ends a link cycle.
struct FolderAncestry {
  platform::FileIdentity identity;
  std::shared_ptr<const FolderAncestry> parent;

  static bool Holds(const FolderAncestry* ancestry, platform::FileIdentity identity);
};

// Reads the folders of a depth-first scan ahead of it, on a few threads of its own, so
// that on a cold disk several folder reads wait at once rather than one after another.
// The scan still decides everything in its own order and takes each folder's contents
// from here when they are ready: what is read ahead is the listing the scan would have
// read itself, and where anything differs (the folder was replaced, or was never read
// ahead), the scan reads the folder itself.
//
// Folders are read ahead in the order the scan will come to them: offered subfolders go
// on a stack, the first on top, and each folder read ahead offers its own subfolders.
// At most kHeldLimit folders read ahead wait for the scan at a time.
class FolderReadAhead {
 public:
  static constexpr std::size_t kHeldLimit = 1024;

  // With no threads (or none that could be started) nothing is read ahead.
  FolderReadAhead(std::size_t threads, media::FileTypeChoice types, bool readSizes);
  ~FolderReadAhead();
  FolderReadAhead(const FolderReadAhead&) = delete;
  FolderReadAhead& operator=(const FolderReadAhead&) = delete;

  // Offers the folder at `path` (ending in a separator), reached through the folders of
  // `above`, for reading ahead. Paths longer than the system's limit are not taken.
  void Offer(std::string path, std::shared_ptr<const FolderAncestry> above);

  // The contents of the folder at `path` when they were read ahead from the folder
  // `identity` names; waits for a read under way. Nothing otherwise, and nothing more
  // will be read ahead for that path.
  std::optional<FolderContents> Take(const std::string& path, platform::FileIdentity identity);

  // The scan has left the folder at `path`: whatever is read ahead below it goes.
  void Leave(const std::string& path);

 private:
  enum class State { kOffered, kReading, kRead };
  struct Slot {
    State state = State::kOffered;
    FolderContents contents;
  };
  struct Task {
    std::string path;
    std::shared_ptr<const FolderAncestry> above;
  };

  void Work();
  // Reads one folder; nothing when it cannot be opened or is one of its own ancestors.
  std::optional<FolderContents> Read(const Task& task) const;
  // Puts `contents`, read for `task`, in its slot and offers its subfolders; the lock held.
  void Store(const Task& task, std::optional<FolderContents> contents);
  void OfferLocked(std::string path, std::shared_ptr<const FolderAncestry> above);

  const media::FileTypeChoice types_;
  const bool readSizes_;
  std::mutex mutex_;
  std::condition_variable workWaiting_;  // a task was offered or room was made
  std::condition_variable folderRead_;   // a read ended
  std::vector<Task> offered_;            // the next to read on top
  std::map<std::string, Slot, std::less<>> slots_;
  std::size_t held_ = 0;  // slots read and not yet taken
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace sorvina::engine
