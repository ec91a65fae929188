// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/folder_read_ahead.h"

#include <system_error>
#include <utility>

#include <climits>

#include "text/path_style.h"

namespace sorvina::engine {

bool FolderAncestry::Holds(const FolderAncestry* ancestry, platform::FileIdentity identity) {
  for (; ancestry != nullptr; ancestry = ancestry->parent.get())
    if (ancestry->identity == identity) return true;
  return false;
}

FolderReadAhead::FolderReadAhead(std::size_t threads, media::FileTypeChoice types, bool readSizes)
    : types_(std::move(types)), readSizes_(readSizes) {
  // A system out of threads scans all the same, only without reading ahead.
  try {
    for (std::size_t i = 0; i < threads; ++i)
      threads_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
  }
}

FolderReadAhead::~FolderReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workWaiting_.notify_all();
  for (std::thread& thread : threads_)
    thread.join();
}

void FolderReadAhead::Offer(std::string path, std::shared_ptr<const FolderAncestry> above) {
  if (threads_.empty()) return;
  {
    std::lock_guard lock(mutex_);
    OfferLocked(std::move(path), std::move(above));
  }
  workWaiting_.notify_one();
}

void FolderReadAhead::OfferLocked(std::string path, std::shared_ptr<const FolderAncestry> above) {
  // Such a path is opened a stretch at a time; the scan, which opens each folder relative to
  // its parent, is better placed to read it.
  if (path.size() >= PATH_MAX) return;
  if (!slots_.try_emplace(path).second) return;
  offered_.push_back(Task{std::move(path), std::move(above)});
}

std::optional<FolderContents> FolderReadAhead::Take(const std::string& path,
                                                    platform::FileIdentity identity) {
  std::unique_lock lock(mutex_);
  auto slot = slots_.find(path);
  folderRead_.wait(lock, [&] {
    slot = slots_.find(path);
    return slot == slots_.end() || slot->second.state != State::kReading;
  });
  if (slot == slots_.end()) return std::nullopt;
  std::optional<FolderContents> contents;
  // Threads wait for room only while the limit is reached; waking one at any other time
  // would only send it back to sleep, a switch per folder on a warm cache.
  bool madeRoom = false;
  if (slot->second.state == State::kRead) {
    madeRoom = held_-- == kHeldLimit;
    if (slot->second.contents.identity == identity) contents = std::move(slot->second.contents);
  }
  slots_.erase(slot);
  lock.unlock();
  if (madeRoom) workWaiting_.notify_one();
  return contents;
}

void FolderReadAhead::Leave(const std::string& path) {
  bool madeRoom = false;
  {
    std::lock_guard lock(mutex_);
    std::size_t freed = 0;
    for (auto slot = slots_.lower_bound(path);
         slot != slots_.end() && slot->first.starts_with(path);) {
      if (slot->second.state == State::kRead) ++freed;
      slot = slots_.erase(slot);
    }
    madeRoom = held_ >= kHeldLimit && held_ - freed < kHeldLimit;
    held_ -= freed;
  }
  if (madeRoom) workWaiting_.notify_all();
}

void FolderReadAhead::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workWaiting_.wait(lock,
                      [this] { return stopping_ || (!offered_.empty() && held_ < kHeldLimit); });
    if (stopping_) return;
    const Task task = std::move(offered_.back());
    offered_.pop_back();
    // Taken over by the scan, or left behind by it, since it was offered.
    const auto slot = slots_.find(task.path);
    if (slot == slots_.end() || slot->second.state != State::kOffered) continue;
    slot->second.state = State::kReading;
    lock.unlock();
    std::optional<FolderContents> contents = Read(task);
    lock.lock();
    Store(task, std::move(contents));
    folderRead_.notify_all();
  }
}

std::optional<FolderContents> FolderReadAhead::Read(const Task& task) const {
  std::optional<platform::DirectoryListing> folder = platform::DirectoryListing::Open(task.path);
  if (!folder || FolderAncestry::Holds(task.above.get(), folder->identity())) return std::nullopt;
  return ReadFolderContents(*folder, types_, readSizes_);
}

void FolderReadAhead::Store(const Task& task, std::optional<FolderContents> contents) {
  const auto slot = slots_.find(task.path);
  // The scan has left the folder above meanwhile.
  if (slot == slots_.end()) return;
  if (!contents) {
    slots_.erase(slot);
    return;
  }
  const auto ancestry = std::make_shared<const FolderAncestry>(contents->identity, task.above);
  const char separator = text::Separator(text::NativePathStyle());
  bool offered = false;
  for (auto item = contents->items.rbegin(); item != contents->items.rend(); ++item) {
    if (!item->isFolder) continue;
    std::string path;
    const std::string_view name = contents->NameOf(*item);
    path.reserve(task.path.size() + name.size() + 1);
    path.append(task.path).append(name).push_back(separator);
    OfferLocked(std::move(path), ancestry);
    offered = true;
  }
  slot->second.state = State::kRead;
  slot->second.contents = std::move(*contents);
  ++held_;
  if (offered) workWaiting_.notify_all();
}

}  // namespace sorvina::engine
