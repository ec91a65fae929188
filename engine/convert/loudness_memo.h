// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "media/loudness.h"

namespace sorvina::engine {

// Each song's loudness, measured once (or read from its tags) and kept in the cache
// folder, by the song's path, size and time of last change. The file is read as anything
// found on disk: only so much of it, and only figures a song can measure (integrated
// loudness from -70 to +5 LUFS, true peak from -70 to +20 dBTP, or unknown); any other
// line is passed over and its song measured again. Safe to use from several threads.
class LoudnessMemo {
 public:
  explicit LoudnessMemo(std::string file);
  // The loudness of `path`; nothing for a song that cannot be measured (silence), or
  // where `*cancel` becomes true while it is measured.
  std::optional<media::Loudness> Of(const std::string& path,
                                    const std::atomic<bool>* cancel = nullptr);
  // Writes what was measured in this run, whole or not at all.
  void Save();

 private:
  std::string file_;
  std::mutex mutex_;
  std::map<std::string, std::pair<media::Loudness, std::string>>
      known_;  // path: (figure, identity)
  bool changed_ = false;
};

}  // namespace sorvina::engine
