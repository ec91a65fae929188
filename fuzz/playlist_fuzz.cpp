// SPDX-License-Identifier: GPL-3.0-or-later
// Playlists from other programs: every line resolved as pure text against several
// playlist paths in both path styles (the input's first line among them), and the whole
// input read as a playlist file beside a few real MP3 files.
#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/scan/collection.h"
#include "engine/settings/folder_weights.h"
#include "fuzz/fuzz_support.h"
#include "text/path_style.h"

namespace {

using sorvina::engine::CandidatePool;
using sorvina::engine::FolderWeight;
using sorvina::engine::PlaylistEntry;
using sorvina::engine::ResolvePlaylistLine;
using sorvina::text::PathStyle;

// Lines as the reader gives them, near enough for the checks below: split at line feeds.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    lines.push_back(text.substr(0, feed));
    if (feed == std::string_view::npos) break;
    text.remove_prefix(feed + 1);
  }
  return lines;
}

void CheckResolution(std::string_view playlistPath, std::string_view line, PathStyle style) {
  const std::optional<PlaylistEntry> entry = ResolvePlaylistLine(playlistPath, line, style);
  if (!entry) return;
  FUZZ_CHECK(!line.empty());
  std::string expected(line);
  sorvina::text::ToSeparators(expected, style);
  FUZZ_CHECK(entry->entryText == expected);
  FUZZ_CHECK(sorvina::text::EndsWithNoCase(entry->path, ".mp3"));
  // The path is the line, made native, after at most a part of the playlist's path.
  const std::string& path = entry->path;
  FUZZ_CHECK(path.size() >= expected.size() && path.ends_with(expected));
  const std::size_t prefix = path.size() - expected.size();
  FUZZ_CHECK(prefix <= playlistPath.size());
  FUZZ_CHECK(std::string_view(path).substr(0, prefix) == playlistPath.substr(0, prefix));
}

struct Place {
  std::string folder;  // ends in '/'
  std::string playlist;
  std::vector<FolderWeight> weights;
};

// A folder with a playlist path, MP3 files for its relative lines to find, a folder whose
// name ends in ".mp3", and weights for some of the folders.
const Place& ThePlace() {
  static const Place place = [] {
    Place made;
    made.folder = sorvina::fuzz::ProcessFolder() + "/";
    const std::string lists = made.folder + "lists/";
    FUZZ_CHECK(mkdir(lists.c_str(), 0700) == 0);
    FUZZ_CHECK(mkdir((lists + "Sub").c_str(), 0700) == 0);
    FUZZ_CHECK(mkdir((lists + "folder.mp3").c_str(), 0700) == 0);
    sorvina::fuzz::WriteWholeFile(lists + "a.mp3", "a");
    sorvina::fuzz::WriteWholeFile(lists + "Sub/b.mp3", "bb");
    sorvina::fuzz::WriteWholeFile(made.folder + "c.MP3", "ccc");
    made.playlist = lists + "x.m3u";
    for (const char* entry : {"2.00 Sub", "0.00 lists/", "3.00 /"})
      made.weights.push_back(sorvina::engine::ParseFolderWeightEntry(entry).value());
    return made;
  }();
  return place;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = sorvina::fuzz::AsText(data, size);
  const std::vector<std::string_view> lines = SplitLines(text);

  // Pure resolution, bounded so that an input of many short lines stays quick.
  const std::string_view firstLine = lines.empty() ? std::string_view() : lines.front();
  const std::string_view playlistPaths[] = {"C:\\Lists\\x.m3u", "x.m3u", "\\x.m3u",
                                            "/lists/x.m3u",     "",      firstLine};
  for (std::size_t i = 0; i < lines.size() && i < 64; ++i) {
    for (std::string_view playlistPath : playlistPaths) {
      CheckResolution(playlistPath, lines[i], PathStyle::kWindows);
      CheckResolution(playlistPath, lines[i], PathStyle::kPosix);
    }
  }

  // The same bytes as a playlist file.
  const Place& place = ThePlace();
  sorvina::fuzz::WriteWholeFile(place.playlist, text);
  CandidatePool pool;
  sorvina::engine::CandidateCollector collector(place.weights, pool);
  collector.ReadPlaylist(place.playlist);
  FUZZ_CHECK(pool.count() <= lines.size());

  // What was collected: existing files, each once, each named by a line of the input, with
  // the weight of that line.
  std::set<std::string> resolved;
  for (std::string_view line : lines) {
    for (std::string_view form : {line, line.substr(0, line.size() - line.ends_with('\r'))}) {
      if (auto entry = ResolvePlaylistLine(place.playlist, form)) resolved.insert(entry->path);
      if (form.starts_with("\xEF\xBB\xBF")) form.remove_prefix(3);
      if (auto entry = ResolvePlaylistLine(place.playlist, form)) resolved.insert(entry->path);
    }
  }
  std::set<std::string> collected;
  for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const sorvina::engine::Candidate candidate = ToCandidate(pool[i]);
    FUZZ_CHECK(collected.insert(candidate.path).second);
    // A NUL byte would make the path name another file than the one it spells.
    FUZZ_CHECK(candidate.path.find('\0') == std::string::npos);
    FUZZ_CHECK(resolved.count(candidate.path) == 1);
    struct stat status {};
    FUZZ_CHECK(stat(candidate.path.c_str(), &status) == 0 && S_ISREG(status.st_mode));
    FUZZ_CHECK(candidate.sizeBytes == status.st_size);
  }

  // Reading the playlist again adds nothing: every file is registered once.
  const std::size_t count = pool.count();
  collector.ReadPlaylist(place.playlist);
  FUZZ_CHECK(pool.count() == count);
  return 0;
}
