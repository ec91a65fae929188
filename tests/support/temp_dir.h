// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvina::test {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes. Readable by every user, so that tests may drop privileges inside it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string operator/(std::string_view relative) const;

  // Writes `content` to `relative`, creating the folders on the way; returns the path.
  std::string WriteFile(std::string_view relative, std::string_view content = {}) const;
  // Creates the folder `relative` and the folders on the way; returns its path.
  std::string MakeFolder(std::string_view relative) const;

 private:
  std::string path_;
};

// The user's cache folder ($XDG_CACHE_HOME) moved to `folder` for as long as this lives,
// for the processes started meanwhile too.
class CacheFolderMoved {
 public:
  explicit CacheFolderMoved(const std::string& folder);
  ~CacheFolderMoved();
  CacheFolderMoved(const CacheFolderMoved&) = delete;
  CacheFolderMoved& operator=(const CacheFolderMoved&) = delete;

 private:
  std::optional<std::string> before_;
};

// Everything under a folder, hidden files included: each path relative to the folder,
// with the file's bytes, or "<folder>" for a folder.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::string& folder);

// The lines of `text`, split at line feeds.
std::vector<std::string> LinesOf(const std::string& text);

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadBytes(const std::string& path);

// The names in `folder`, hidden ones included, sorted bytewise.
std::vector<std::string> NamesIn(const std::string& folder);

// Runs `body` in a child process once `prepare` has succeeded there, so that what
// either changes (limits, privileges, signal handling) stays in the child. What `body`
// returns comes back as text. Fails the current test if the child cannot be run, cannot
// be prepared, or does not end normally.
std::string RunInChild(const std::function<bool()>& prepare,
                       const std::function<std::string()>& body);

// Runs `body` in a child process whose files may not grow past `bytes`: a write beyond
// them fails (EFBIG) as on a full device. SIGXFSZ is left as it is; a body that does not
// expect the code under test to ignore it should ignore it itself.
std::string RunWithFileSizeLimit(std::uint64_t bytes, const std::function<std::string()>& body);

// Runs `body` without root's power to read every file: in a child process that has
// dropped to an unprivileged user when the tests run as root, else directly. What `body`
// returns comes back as text. Fails the current test if the child cannot be run.
std::string RunUnprivileged(const std::function<std::string()>& body);

}  // namespace sorvina::test
