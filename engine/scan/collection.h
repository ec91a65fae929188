// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/scan/folder_contents.h"
#include "engine/settings/selection_settings.h"
#include "media/file_types.h"
#include "text/path_style.h"

namespace sorvina::engine {

// How a scan goes about reading the file system; the files it collects, and their order,
// are the same whatever is chosen here.
struct CollectionOptions {
  // Whether the sizes of the files found by scanning are read; without them those files
  // hold kSizeNotRead until ReadMissingSizes, and a scan looks at far fewer files.
  bool readSizes = true;
  // Threads that read folders ahead of a scan (FolderReadAhead); none: one folder at a
  // time, on the calling thread.
  std::size_t readAheadThreads = 4;
};

// Fills `pool` from every source of `settings`, in list order: playlists are read, every
// other entry is scanned as a folder with the weight 1.0. Files of the chosen types are
// collected (`options.fileTypes`). The folder weights must have been parsed
// (ParseFolderWeightEntry). Whatever cannot be read is skipped silently.
void CollectCandidates(const SelectionSettings& settings, CandidatePool& pool,
                       const CollectionOptions& options = {});

// Reads the size of each of `files` that holds kSizeNotRead; a file gone meanwhile counts
// 0 bytes.
void ReadMissingSizes(std::vector<Candidate>& files);
void ReadMissingSizes(std::vector<PooledCandidate>& files);

// A playlist line resolved to the file it names.
struct PlaylistEntry {
  std::string path;       // the file, as the pool will hold it
  std::string entryText;  // the line as written, separators made native: for the weight
};

// Resolves one playlist line against the playlist's own path: an empty line, a line that
// does not name a file of the chosen types (".mp3" by default), or a relative line in a
// playlist whose path has no folder (Windows style) gives nothing. Pure text; the file is
// not looked at.
std::optional<PlaylistEntry> ResolvePlaylistLine(
    std::string_view playlistPath, std::string_view line,
    text::PathStyle style = text::NativePathStyle(),
    const media::FileTypeChoice& types = media::FileTypeChoice::Default());

// Collection over the file system for one run.
class CandidateCollector {
 public:
  // The weights and the pool are kept by reference and must outlive the collector. Files
  // are collected when their names end in an ending of `types` and are longer than it.
  CandidateCollector(const std::vector<FolderWeight>& folderWeights, CandidatePool& pool,
                     media::FileTypeChoice types = media::FileTypeChoice::Default(),
                     CollectionOptions options = {})
      : folderWeights_(folderWeights), pool_(pool), types_(std::move(types)), options_(options) {}
  CandidateCollector(std::vector<FolderWeight>&&, CandidatePool&,
                     media::FileTypeChoice = media::FileTypeChoice::Default(),
                     CollectionOptions = {}) = delete;

  // Collects the music files of `folder` and, depth first in listing order, of its
  // subfolders. Folders whose names begin with "." are skipped with all they hold; a
  // folder that is already being scanned further up (a link cycle) is not entered again;
  // a folder that cannot be read, or vanishes, contributes nothing and its siblings are
  // still scanned. Neither the depth of the tree nor the length of its paths is limited.
  void ScanFolder(const std::string& folder, double weight);

  // Called with the path of each folder a scan is about to open (ending in a separator):
  // to show where the scan is, or to change the tree under it in a test. Nothing is read
  // ahead while an observer is set.
  void SetFolderObserver(std::function<void(const std::string& folder)> observer) {
    folderObserver_ = std::move(observer);
  }

  // Collects the entries of one playlist; lines starting with "#" are skipped.
  void ReadPlaylist(const std::string& playlistPath);

  // Resolves one playlist line and collects the file when it exists, whatever its weight.
  void AddPlaylistEntry(const std::string& playlistPath, std::string_view line);

 private:
  const std::vector<FolderWeight>& folderWeights_;
  CandidatePool& pool_;
  media::FileTypeChoice types_;
  CollectionOptions options_;
  std::function<void(const std::string&)> folderObserver_;
};

}  // namespace sorvina::engine
