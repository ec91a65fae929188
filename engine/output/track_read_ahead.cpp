// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/output/track_read_ahead.h"

#include <system_error>
#include <utility>

namespace sorvina::engine {

TrackReadAhead::TrackReadAhead(const std::vector<std::string>& paths,
                               std::function<bool(std::size_t)> wanted, std::size_t threads,
                               std::size_t window)
    : paths_(paths), wanted_(std::move(wanted)), slots_(window == 0 ? 1 : window) {
  // A system out of threads writes all the same, probing each file as it is taken.
  try {
    for (std::size_t i = 0; i < threads && i < paths.size(); ++i)
      threads_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
  }
}

TrackReadAhead::~TrackReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  roomMade_.notify_all();
  for (std::thread& thread : threads_)
    thread.join();
}

media::TrackSummary TrackReadAhead::Take(std::size_t index) {
  if (threads_.empty()) return ownProbe_.Probe(paths_[index]);
  std::unique_lock lock(mutex_);
  Slot& slot = slots_[index % slots_.size()];
  probed_.wait(lock, [&] { return slot.index == index && slot.summary.has_value(); });
  media::TrackSummary summary = std::move(*slot.summary);
  slot = Slot{};
  lock.unlock();
  // One slot made free: one thread can take a file on.
  roomMade_.notify_one();
  return summary;
}

void TrackReadAhead::Work() {
  media::TrackProbe probe;
  std::unique_lock lock(mutex_);
  for (;;) {
    // A file not wanted takes no slot; a wanted one waits for its slot to be taken from.
    roomMade_.wait(lock, [this] {
      return stopping_ || next_ == paths_.size() || !wanted_(next_) ||
             !slots_[next_ % slots_.size()].reserved;
    });
    if (stopping_ || next_ == paths_.size()) return;
    const std::size_t index = next_++;
    if (!wanted_(index)) continue;
    Slot& slot = slots_[index % slots_.size()];
    slot.index = index;
    slot.reserved = true;
    lock.unlock();
    media::TrackSummary summary = probe.Probe(paths_[index]);
    lock.lock();
    slot.summary = std::move(summary);
    probed_.notify_all();
  }
}

}  // namespace sorvina::engine
