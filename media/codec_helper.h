// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <atomic>
#include <optional>
#include <string>

#include "media/codec_messages.h"
#include "platform/unique_fd.h"

namespace sorvina::media {

// One codec helper process (sorvina-codecs) and the conversation with it: started at the
// first request, then asked one request at a time, and ended with this object. Private to
// media/; media/codecs.h says what it is for.
//
// The helper is found where it is installed beside the running program
// (bin/../libexec/sorvina), or, for a program that runs from the build tree, where the
// build put it. It ends by itself when the thread that started it ends or the program
// dies, and stops what it was doing cleanly then (its output removed). It ignores the
// terminal's interrupt and hangup, which reach the program too: the program ends it as
// it needs.
class CodecHelper {
 public:
  CodecHelper() = default;
  ~CodecHelper();
  CodecHelper(const CodecHelper&) = delete;
  CodecHelper& operator=(const CodecHelper&) = delete;

  // The helper of the calling thread.
  static CodecHelper& OfThisThread();

  // Where the helper program is looked for (the build tree's, for a program that runs
  // from there and has none installed beside it).
  static const std::string& ProgramPath();

  struct Answer {
    std::optional<codec_messages::Fields> fields;  // nothing where there is no answer
    std::string reason;                            // why there is none
    // The helper took the request: it may have begun the work it asks for.
    bool delivered = false;
  };

  // Sends `request` and waits for the answer, starting the helper where none runs. Where
  // `*cancel` becomes true meanwhile, the helper is killed at once; where it ends before
  // it answers (it crashed on the file), or cannot be started, there is no answer. The
  // next request then starts a new helper.
  [[nodiscard]] Answer Ask(const codec_messages::Fields& request, const std::atomic<bool>* cancel);

 private:
  bool Start(std::string& reason);
  // Kills the helper and collects it: the reason it ended, where it ended by itself.
  std::string End();

  pid_t pid_ = -1;
  pid_t owner_ = -1;  // the process that started it: after a fork, the child leaves it be
  platform::UniqueFd socket_;
};

}  // namespace sorvina::media
