// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "media/track_probe.h"

namespace sorvina::engine {

// Probes the files of a list ahead of a writer that takes their summaries one after
// another, on a few threads of its own: on a cold disk several files are read at once
// rather than one after another, while the writer keeps its own order. At most `window`
// files are probed and not yet taken at a time; leaving (the writer stopped, cancelled
// or failed) waits only for the probes under way, one file per thread.
class TrackReadAhead {
 public:
  // The threads mostly wait for the disk, so there are more of them than cores: a cold
  // disk answers many reads at once far sooner than one after another (16 threads took
  // under half the sequential time on two cores, 4 about six tenths), and on a warm cache
  // they still cost no more than probing each file in turn.
  static constexpr std::size_t kDefaultThreads = 16;
  static constexpr std::size_t kDefaultWindow = 128;

  // Probes `paths[i]` for each i that `wanted` accepts. `paths` must outlive this. With no
  // threads (or none that could be started) each file is probed as it is taken.
  TrackReadAhead(const std::vector<std::string>& paths, std::function<bool(std::size_t)> wanted,
                 std::size_t threads = kDefaultThreads, std::size_t window = kDefaultWindow);
  ~TrackReadAhead();
  TrackReadAhead(const TrackReadAhead&) = delete;
  TrackReadAhead& operator=(const TrackReadAhead&) = delete;

  // The summary of `paths[index]`; indices wanted, taken in increasing order.
  media::TrackSummary Take(std::size_t index);

 private:
  // Reserved for file `index` from when a thread takes it on until the writer takes it.
  struct Slot {
    std::size_t index = 0;
    bool reserved = false;
    std::optional<media::TrackSummary> summary;
  };

  void Work();

  const std::vector<std::string>& paths_;
  const std::function<bool(std::size_t)> wanted_;
  std::mutex mutex_;
  std::condition_variable roomMade_;  // the writer took a file, or is leaving
  std::condition_variable probed_;    // a file was probed
  std::vector<Slot> slots_;           // file i in slot i % window
  std::size_t next_ = 0;              // the next file to hand to a thread
  bool stopping_ = false;
  media::TrackProbe ownProbe_;  // without threads
  std::vector<std::thread> threads_;
};

}  // namespace sorvina::engine
