// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scan/collection.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_set>
#include <utility>

#include "engine/scan/folder_contents.h"
#include "engine/scan/folder_read_ahead.h"
#include "engine/settings/folder_weights.h"
#include "platform/file_system.h"
#include "platform/text_lines.h"

namespace sorvina::engine {
namespace {

using platform::EntryKind;
using text::PathStyle;

constexpr PathStyle kNative = text::NativePathStyle();

// At most this many folders of one scan are held open at a time, well below the usual
// limit of 1,024 descriptors per process, however deep the tree. A folder further up than
// that is let go and opened again when the scan comes back to it.
constexpr std::size_t kOpenFolderLimit = 32;

struct IdentityHash {
  std::size_t operator()(const platform::FileIdentity& identity) const {
    return std::hash<std::uint64_t>()(identity.inode) ^
           (std::hash<std::uint64_t>()(identity.device) << 1);
  }
};

// A folder being scanned: what its listing holds that the scan still has to handle.
struct ScanFrame {
  std::optional<platform::DirectoryListing> folder;  // empty once let go
  platform::FileIdentity identity;
  DirectoryNode* node = nullptr;  // the duplicate filter's node of the folder
  std::size_t pathLength = 0;     // of the folder's path, its final separator included
  double weight = 1.0;
  FolderContents contents;
  std::size_t nextItem = 0;
  // The folders above and this one, for what is read ahead below it.
  std::shared_ptr<const FolderAncestry> ancestry;
};

// Offers the subfolders of the folder at `path` for reading ahead, the first last, so that
// it is read first.
void OfferSubfolders(FolderReadAhead& readAhead, const FolderContents& contents,
                     const std::string& path, const std::shared_ptr<const FolderAncestry>& above) {
  for (auto item = contents.items.rbegin(); item != contents.items.rend(); ++item) {
    if (!item->isFolder) continue;
    const std::string_view name = contents.NameOf(*item);
    std::string subfolder;
    subfolder.reserve(path.size() + name.size() + 1);
    subfolder.append(path).append(name).push_back(text::Separator(kNative));
    readAhead.Offer(std::move(subfolder), above);
  }
}

// Opens again a folder the scan let go: by its path, accepted only when that still leads
// to the same folder (it may have been moved or replaced meanwhile).
void Reopen(ScanFrame& frame, const std::string& path) {
  std::optional<platform::DirectoryListing> again = platform::DirectoryListing::Open(path);
  if (again && again->identity() == frame.identity) frame.folder = std::move(again);
}

}  // namespace

void CollectCandidates(const SelectionSettings& settings, CandidatePool& pool,
                       const CollectionOptions& options) {
  CandidateCollector collector(settings.folderWeights, pool,
                               media::FileTypeChoice(settings.options.fileTypes), options);
  for (std::size_t index = 0; index < settings.sources.size(); ++index) {
    const std::string& source = settings.sources[index];
    pool.BeginSource(index);
    if (IsPlaylistSource(source)) {
      collector.ReadPlaylist(source);
    } else {
      collector.ScanFolder(source, 1.0);
    }
  }
}

namespace {

template <typename File>
void ReadSizesNotRead(std::vector<File>& files) {
  for (File& file : files) {
    if (file.sizeBytes != kSizeNotRead) continue;
    const std::optional<platform::FileStatus> status =
        platform::GetFileStatus(std::string(file.path));
    file.sizeBytes = status ? static_cast<std::int64_t>(status->sizeBytes) : 0;
  }
}

}  // namespace

void ReadMissingSizes(std::vector<Candidate>& files) {
  ReadSizesNotRead(files);
}

void ReadMissingSizes(std::vector<PooledCandidate>& files) {
  ReadSizesNotRead(files);
}

std::optional<PlaylistEntry> ResolvePlaylistLine(std::string_view playlistPath,
                                                 std::string_view line, PathStyle style,
                                                 const media::FileTypeChoice& types) {
  if (line.empty()) return std::nullopt;
  PlaylistEntry entry{{}, std::string(line)};
  text::ToSeparators(entry.entryText, style);
  const std::string& text = entry.entryText;
  const char separator = text::Separator(style);

  if (style == PathStyle::kWindows && text.size() > 1 && text[1] == ':') {
    entry.path = text;  // drive-rooted
  } else if (text.front() == separator) {
    // Rooted: on Windows, at the playlist's own drive; on POSIX, absolute.
    entry.path =
        style == PathStyle::kWindows ? std::string(playlistPath.substr(0, 2)) + text : text;
  } else {
    const std::size_t folderEnd = playlistPath.rfind(separator);
    if (folderEnd == std::string_view::npos) {
      // A playlist named without a folder lies in the current directory, where its
      // relative entries resolve by themselves; Windows-style paths always carry a drive.
      if (style == PathStyle::kWindows) return std::nullopt;
      entry.path = text;
    } else {
      entry.path = std::string(playlistPath.substr(0, folderEnd + 1)) + text;
    }
  }
  if (types.ChosenEndingLength(entry.path) == 0) return std::nullopt;
  return entry;
}

void CandidateCollector::ScanFolder(const std::string& folder, double weight) {
  // Depth first with an explicit stack rather than recursion, so that a very deep tree
  // cannot exhaust the call stack. Each folder is opened relative to its parent's open
  // descriptor, so paths longer than the system's limit are scanned like any other. The
  // path of the folder on top of the stack is kept in one string that grows and shrinks
  // with the stack.
  // An empty entry names no folder (appending a separator would make it the root).
  if (folder.empty()) return;
  std::string path = folder;
  if (!text::EndsWithSeparator(path, kNative)) path.push_back(text::Separator(kNative));
  if (folderObserver_) folderObserver_(path);
  std::optional<platform::DirectoryListing> root = platform::DirectoryListing::Open(path);
  if (!root) return;
  // An observer is promised each folder before it is opened: nothing is read ahead of it.
  std::optional<FolderReadAhead> readAhead;
  if (!folderObserver_ && options_.readAheadThreads > 0)
    readAhead.emplace(options_.readAheadThreads, types_, options_.readSizes);
  DuplicateFilter& filter = pool_.filter();
  std::vector<ScanFrame> stack;
  // The folders on the stack, to end link cycles without walking the stack each time.
  std::unordered_set<platform::FileIdentity, IdentityHash> onStack{root->identity()};
  const auto enter = [&](platform::DirectoryListing opened, DirectoryNode& node, double weight,
                         const std::shared_ptr<const FolderAncestry>& above) {
    std::optional<FolderContents> contents;
    if (readAhead) contents = readAhead->Take(path, opened.identity());
    const bool readHere = !contents;
    if (readHere) contents = ReadFolderContents(opened, types_, options_.readSizes);
    if (weight > 0) {
      const auto files =
          std::count_if(contents->items.begin(), contents->items.end(),
                        [](const FolderContents::Item& item) { return !item.isFolder; });
      if (files > 0) filter.ExpectFiles(node, static_cast<std::size_t>(files));
    }
    ScanFrame frame{std::nullopt, opened.identity(),    &node, path.size(),
                    weight,       std::move(*contents), 0,     nullptr};
    frame.folder = std::move(opened);
    if (readAhead) {
      frame.ancestry = std::make_shared<const FolderAncestry>(frame.identity, above);
      if (readHere) OfferSubfolders(*readAhead, frame.contents, path, frame.ancestry);
    }
    stack.push_back(std::move(frame));
    if (stack.size() > kOpenFolderLimit) stack[stack.size() - 1 - kOpenFolderLimit].folder.reset();
  };
  enter(std::move(*root), filter.FolderNode(path), FindScanWeight(path, weight, folderWeights_),
        nullptr);

  while (!stack.empty()) {
    ScanFrame& frame = stack.back();
    if (frame.nextItem == frame.contents.items.size()) {
      if (readAhead) readAhead->Leave(path);
      std::optional<platform::DirectoryListing> left = std::move(frame.folder);
      onStack.erase(frame.identity);
      stack.pop_back();
      if (stack.empty()) break;
      ScanFrame& parent = stack.back();
      path.resize(parent.pathLength);
      // Going back up a tree deeper than the open-folder limit: ".." of the folder just
      // left is the parent again unless a link led down into it.
      if (!parent.folder && left) {
        std::optional<platform::DirectoryListing> up = left->OpenFolder("..");
        if (up && up->identity() == parent.identity) parent.folder = std::move(up);
      }
      continue;
    }

    const FolderContents::Item& item = frame.contents.items[frame.nextItem++];
    const std::string_view name = frame.contents.NameOf(item);
    if (!item.isFolder) {
      // A folder whose weight is not above zero gives no files. The filter is asked by name
      // in the folder's node: the path is made only for a file that is new to it.
      if (frame.weight > 0 && !filter.HasFile(*frame.node, name)) {
        path.append(name);
        pool_.Add(path, item.sizeBytes, frame.weight);
        path.resize(frame.pathLength);
        // The filter takes the name as the pool keeps it, at the end of its path.
        const std::string_view kept = pool_[pool_.head()].path;
        filter.RegisterKeptFile(*frame.node, kept.substr(kept.size() - name.size()));
      }
      continue;
    }

    if (!frame.folder) Reopen(frame, path);
    path.append(name);
    path.push_back(text::Separator(kNative));
    if (folderObserver_) folderObserver_(path);
    std::optional<platform::DirectoryListing> child;
    if (frame.folder) child = frame.folder->OpenFolder(std::string(name));
    // A folder that cannot be opened, or one already being scanned further up (a link
    // cycle), is passed over.
    if (!child || !onStack.insert(child->identity()).second) {
      path.resize(frame.pathLength);
      continue;
    }
    const double childWeight = FindScanWeight(path, frame.weight, folderWeights_);
    DirectoryNode& childNode = filter.Subfolder(*frame.node, name);
    // `frame` may move as the stack grows.
    const std::shared_ptr<const FolderAncestry> above = frame.ancestry;
    enter(std::move(*child), childNode, childWeight, above);
  }
}

void CandidateCollector::ReadPlaylist(const std::string& playlistPath) {
  platform::LineReader reader;
  if (!reader.Open(playlistPath)) return;
  std::string line;
  while (reader.Next(line)) {
    if (!line.empty() && line.front() == '#') continue;
    AddPlaylistEntry(playlistPath, line);
  }
}

void CandidateCollector::AddPlaylistEntry(const std::string& playlistPath, std::string_view line) {
  std::optional<PlaylistEntry> entry =
      ResolvePlaylistLine(playlistPath, line, text::NativePathStyle(), types_);
  if (!entry) return;
  const auto status = platform::GetFileStatus(entry->path);
  if (!status || status->kind != EntryKind::kFile) return;
  if (pool_.filter().RegisterPath(entry->path) == nullptr) return;
  const double weight = FindPlaylistEntryWeight(entry->entryText, folderWeights_);
  pool_.Add(entry->path, static_cast<std::int64_t>(status->sizeBytes), weight);
}

}  // namespace sorvina::engine
