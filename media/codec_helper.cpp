// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codec_helper.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

extern char** environ;

namespace sorvina::media {
namespace {

namespace fs = std::filesystem;
namespace messages = codec_messages;

// How often a wait for the helper looks whether it is cancelled.
constexpr int kCancelLookMs = 20;

std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Why a helper collected with `status` ended.
std::string EndText(int status) {
  if (WIFSIGNALED(status)) {
    const char* name = sigdescr_np(WTERMSIG(status));
    return "the conversion program stopped on this file (" +
           (name != nullptr ? std::string(name) : "signal " + std::to_string(WTERMSIG(status))) +
           ")";
  }
  if (WIFEXITED(status))
    return "the conversion program stopped on this file (exit status " +
           std::to_string(WEXITSTATUS(status)) + ")";
  return "the conversion program stopped on this file";
}

// posix_spawn's settings, freed however the start ends.
struct SpawnSettings {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSettings() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
};

}  // namespace

CodecHelper::~CodecHelper() {
  End();
}

CodecHelper& CodecHelper::OfThisThread() {
  // Ended with the thread: its destructor kills an idle helper, which holds nothing.
  thread_local CodecHelper helper;
  return helper;
}

const std::string& CodecHelper::ProgramPath() {
  static const std::string path = [] {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const fs::path installed =
        (self.parent_path() / SORVINA_CODECS_FROM_BINDIR / "sorvina-codecs").lexically_normal();
    if (error || access(installed.c_str(), X_OK) == 0) return installed.string();
    // The build tree's helper serves only programs that run from the build tree: an
    // installed program never runs what lies where it was once built.
    const fs::path build = fs::weakly_canonical(SORVINA_BUILD_DIR, error);
    if (!error && self.string().starts_with(build.string() + '/'))
      return std::string(SORVINA_CODECS_BUILD_PATH);
    return installed.string();
  }();
  return path;
}

bool CodecHelper::Start(std::string& reason) {
  const std::string& program = ProgramPath();
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    reason = "cannot start the conversion program: " + ErrnoText(errno);
    return false;
  }
  platform::UniqueFd mine(ends[0]);
  platform::UniqueFd theirs(ends[1]);
  // Moved onto the helper's descriptor from above it: a descriptor moved onto itself
  // would keep its close-on-exec flag.
  if (theirs.get() <= messages::kHelperSocket)
    theirs.Reset(fcntl(theirs.get(), F_DUPFD_CLOEXEC, messages::kHelperSocket + 1));
  SpawnSettings settings;
  // Nothing else of this program's goes with it: no terminal input, nothing mixed into
  // its output (a dry run's list), no other descriptor. Standard error stays, for
  // what only a crash says.
  posix_spawn_file_actions_addopen(&settings.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&settings.actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&settings.actions, theirs.get(), messages::kHelperSocket);
  posix_spawn_file_actions_addclosefrom_np(&settings.actions, messages::kHelperSocket + 1);
  // Whatever this thread blocks or this program ignores, the helper starts with the
  // signals it handles itself as the system sets them.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&settings.attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGXFSZ})
    sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&settings.attributes, &defaults);
  posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const std::string parent = std::to_string(getpid());
  const char* arguments[] = {"sorvina-codecs", "--parent", parent.c_str(), nullptr};
  pid_t pid = -1;
  const int error = theirs
                        ? posix_spawn(&pid, program.c_str(), &settings.actions,
                                      &settings.attributes, const_cast<char**>(arguments), environ)
                        : errno;
  if (error != 0) {
    reason = "cannot start the conversion program " + program + ": " + ErrnoText(error);
    return false;
  }
  pid_ = pid;
  owner_ = getpid();
  socket_ = std::move(mine);
  return true;
}

std::string CodecHelper::End() {
  if (pid_ < 0) return {};
  const pid_t pid = std::exchange(pid_, -1);
  socket_.Reset();
  // A forked child holds a copy of its parent's helper: not its own to end.
  if (std::exchange(owner_, -1) != getpid()) return {};
  // One that has ended already keeps the status it ended with.
  kill(pid, SIGKILL);
  int status = 0;
  pid_t collected;
  while ((collected = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  return collected == pid ? EndText(status) : "the conversion program stopped on this file";
}

CodecHelper::Answer CodecHelper::Ask(const codec_messages::Fields& request,
                                     const std::atomic<bool>* cancel) {
  Answer answer;
  if (owner_ != getpid()) End();
  if (pid_ < 0 && !Start(answer.reason)) return answer;
  // A helper that ended after its last answer is found out here, and replaced once.
  if (messages::Write(socket_.get(), messages::Encode(request)) != 0) {
    End();
    if (!Start(answer.reason)) return answer;
    if (const int error = messages::Write(socket_.get(), messages::Encode(request)); error != 0) {
      answer.reason = "cannot reach the conversion program: " + ErrnoText(error);
      End();
      return answer;
    }
  }
  answer.delivered = true;
  codec_messages::Fields fields;
  switch (messages::Read(socket_.get(), fields, cancel, cancel != nullptr ? kCancelLookMs : -1)) {
    case messages::ReadResult::kMessage:
      answer.fields = std::move(fields);
      return answer;
    case messages::ReadResult::kStopped:
      End();
      answer.reason = "cancelled";
      return answer;
    case messages::ReadResult::kClosed:
      answer.reason = End();
      return answer;
    case messages::ReadResult::kMalformed:
      break;
  }
  End();
  answer.reason = "the conversion program gave no answer";
  return answer;
}

}  // namespace sorvina::media
