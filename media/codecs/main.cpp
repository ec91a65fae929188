// SPDX-License-Identifier: GPL-3.0-or-later
// sorvina-codecs: converts songs and measures their loudness for sorvina and sorvina-cli,
// which start it when a run first needs that (media/codec_helper.h) and talk to it over
// a socket on descriptor 3, one request at a time (media/codec_messages.h). Only this
// program loads FFmpeg and libebur128, and a decoder that crashes on a hostile file takes
// only it down.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "media/codec_messages.h"
#include "media/codecs/chapter_split.h"
#include "media/codecs/fitted_cover.h"
#include "media/codecs/loudness_meter.h"
#include "media/codecs/transcoder.h"

namespace {

namespace codecs = sorvina::media::codecs;
namespace messages = sorvina::media::codec_messages;

// Set when the program that started this one is gone, or asks it to end: the work under
// way stops as a cancel stops it, its output removed. Should the work not come to a check
// in time, the alarm ends the process.
std::atomic<bool> stopping = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
constexpr unsigned kGraceSeconds = 2;

void OnStop(int) {
  stopping.store(true);
  alarm(kGraceSeconds);
}

void HandleSignals() {
  struct sigaction stop {};
  stop.sa_handler = OnStop;
  sigemptyset(&stop.sa_mask);
  // No SA_RESTART: a wait for the next request is interrupted, and ends.
  sigaction(SIGTERM, &stop, nullptr);
  // A terminal's interrupt and hangup reach every process in its group: the program that
  // started this one handles them, and ends this one as it needs.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, nullptr);
  sigaction(SIGHUP, &ignore, nullptr);
  sigaction(SIGPIPE, &ignore, nullptr);
}

messages::Fields Answer(const messages::Fields& request) {
  if (std::optional<messages::TranscodeRequest> transcode = messages::TranscodeRequestOf(request))
    return messages::ToFields(
        codecs::Transcode(transcode->source, transcode->output, transcode->params, &stopping));
  if (std::optional<messages::CoverCopyRequest> copy = messages::CoverCopyRequestOf(request)) {
    return messages::ToFields(codecs::CopyWithFittedCovers(
        copy->source, copy->output, copy->maxSide, copy->gainSteps, &stopping));
  }
  if (std::optional<messages::ChapterSplitRequest> split = messages::ChapterSplitRequestOf(request))
    return messages::ToFields(
        codecs::SplitAtChapters(split->source, split->outputFolder, &stopping));
  if (std::optional<messages::LoudnessRequest> loudness = messages::LoudnessRequestOf(request)) {
    messages::LoudnessAnswer answer;
    answer.loudness = codecs::MeasureLoudness(loudness->path, &answer.reason, &stopping);
    return messages::ToFields(answer);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "--parent") {
    std::fputs("sorvina-codecs is started by sorvina and sorvina-cli, not by hand\n", stderr);
    return 2;
  }
  HandleSignals();
  // Ends with the thread that started it, also where that program is killed; where it is
  // gone already, before this could ask for that, there is nothing to do.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (std::to_string(getppid()) != argv[2]) return 1;

  messages::Fields request;
  while (messages::Read(messages::kHelperSocket, request, &stopping, -1) ==
         messages::ReadResult::kMessage) {
    const messages::Fields answer = Answer(request);
    // A request of another kind comes from no program of ours.
    if (answer.empty()) return 2;
    if (messages::Write(messages::kHelperSocket, messages::Encode(answer)) != 0 ||
        stopping.load()) {
      return 0;
    }
  }
  return 0;
}
