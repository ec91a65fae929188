// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/temp_dir.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace sorvina::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "sorvina-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  chmod(path_.c_str(), 0755);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Folders a test made unreadable must become readable again to be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

std::string TempDir::operator/(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

std::string TempDir::WriteFile(std::string_view relative, std::string_view content) const {
  const std::string path = *this / relative;
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string TempDir::MakeFolder(std::string_view relative) const {
  const std::string path = *this / relative;
  fs::create_directories(path);
  return path;
}

Tree Snapshot(const std::string& folder) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    tree[fs::relative(entry.path(), folder)] =
        entry.is_directory() ? "<folder>" : ReadBytes(entry.path().string());
  }
  return tree;
}

CacheFolderMoved::CacheFolderMoved(const std::string& folder) {
  if (const char* before = std::getenv("XDG_CACHE_HOME")) before_ = before;
  setenv("XDG_CACHE_HOME", folder.c_str(), 1);
}

CacheFolderMoved::~CacheFolderMoved() {
  if (before_) {
    setenv("XDG_CACHE_HOME", before_->c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  // A whole buffer at a time: byte by byte, a debug build takes seconds over a player.
  if (in) bytes << in.rdbuf();
  return std::move(bytes).str();
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RunInChild(const std::function<bool()>& prepare,
                       const std::function<std::string()>& body) {
  int channel[2];
  if (pipe(channel) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    ADD_FAILURE() << "fork failed";
    return {};
  }
  if (child == 0) {
    close(channel[0]);
    if (!prepare()) _exit(3);
    const std::string result = body();
    const bool written =
        write(channel[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
    _exit(written ? 0 : 4);
  }
  close(channel[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
    result.append(buffer, static_cast<std::size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the child was ended by signal " << WTERMSIG(status);
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "the child failed (status " << status << ")";
  }
  return result;
}

std::string RunUnprivileged(const std::function<std::string()>& body) {
  if (geteuid() != 0) return body();
  return RunInChild(
      [] {
        constexpr uid_t kNobody = 65534;
        return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
      },
      body);
}

std::string RunWithFileSizeLimit(std::uint64_t bytes, const std::function<std::string()>& body) {
  return RunInChild(
      [bytes] {
        const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
      },
      body);
}

}  // namespace sorvina::test
