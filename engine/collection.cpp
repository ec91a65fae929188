#include "engine/collection.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/folder_weights.h"
#include "platform/file_system.h"
#include "platform/text_lines.h"

namespace sorvina::engine {
namespace {

using platform::EntryKind;
using platform::PathStyle;

constexpr PathStyle kNative = platform::NativePathStyle();

bool IsMp3Name(std::string_view name) {
  return platform::EndsWithNoCase(name, ".mp3");
}

// A folder being scanned: what its listing holds that the scan still has to handle.
struct ScanFrame {
  struct Item {
    std::string name;
    bool isFolder = false;
    std::int64_t sizeBytes = 0;
  };

  std::string folder;  // ends in a separator
  double weight = 1.0;
  platform::FileIdentity identity;
  std::vector<Item> items;  // in listing order
  std::size_t nextItem = 0;
};

// Lists `folder` and keeps what the scan will use: subfolders not beginning with ".",
// and, when the folder's weight lets its files in, the MP3 files with their sizes.
// Nothing when the folder cannot be listed or is one of `ancestors` (a link cycle).
std::optional<ScanFrame> OpenFrame(std::string folder, double inherited,
                                   const std::vector<FolderWeight>& weights,
                                   const std::vector<ScanFrame>& ancestors) {
  if (!platform::EndsWithSeparator(folder, kNative)) folder.push_back(platform::Separator(kNative));
  const double weight = FindScanWeight(folder, inherited, weights);

  auto listing = platform::DirectoryListing::Open(folder);
  if (!listing) return std::nullopt;
  const platform::FileIdentity identity = listing->identity();
  if (std::any_of(ancestors.begin(), ancestors.end(),
                  [&](const ScanFrame& frame) { return frame.identity == identity; })) {
    return std::nullopt;
  }

  ScanFrame frame{std::move(folder), weight, identity, {}, 0};
  for (platform::DirectoryEntry& entry : listing->ReadEntries()) {
    if (entry.kind == EntryKind::kDirectory) {
      if (!entry.name.starts_with('.')) frame.items.push_back({std::move(entry.name), true, 0});
    } else if (entry.kind == EntryKind::kFile && weight > 0 && entry.name.size() > 4 &&
               IsMp3Name(entry.name)) {
      // A file that vanished since the listing was read is not collected.
      if (const auto size = listing->SizeOf(entry.name)) {
        frame.items.push_back({std::move(entry.name), false, static_cast<std::int64_t>(*size)});
      }
    }
  }
  return frame;
}

}  // namespace

void CollectCandidates(const SelectionSettings& settings, CandidatePool& pool) {
  CandidateCollector collector(settings.folderWeights, pool);
  for (const std::string& source : settings.sources) {
    if (IsPlaylistSource(source)) {
      collector.ReadPlaylist(source);
    } else {
      collector.ScanFolder(source, 1.0);
    }
  }
}

std::optional<PlaylistEntry> ResolvePlaylistLine(std::string_view playlistPath,
                                                 std::string_view line, PathStyle style) {
  if (line.empty()) return std::nullopt;
  PlaylistEntry entry{{}, std::string(line)};
  platform::ToSeparators(entry.entryText, style);
  const std::string& text = entry.entryText;
  const char separator = platform::Separator(style);

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
  if (!IsMp3Name(entry.path)) return std::nullopt;
  return entry;
}

void CandidateCollector::ScanFolder(const std::string& folder, double weight) {
  // Depth first with an explicit stack rather than recursion, so that a very deep tree
  // cannot exhaust the call stack and only one folder is open at a time.
  // An empty entry names no folder (appending a separator would make it the root).
  if (folder.empty()) return;
  std::vector<ScanFrame> stack;
  if (auto root = OpenFrame(folder, weight, folderWeights_, stack))
    stack.push_back(std::move(*root));
  while (!stack.empty()) {
    ScanFrame& frame = stack.back();
    if (frame.nextItem == frame.items.size()) {
      stack.pop_back();
      continue;
    }
    ScanFrame::Item& item = frame.items[frame.nextItem++];
    std::string path = frame.folder + item.name;
    if (item.isFolder) {
      const double inherited = frame.weight;
      if (auto child = OpenFrame(std::move(path), inherited, folderWeights_, stack)) {
        stack.push_back(std::move(*child));
      }
    } else if (pool_.filter().RegisterPath(path) != nullptr) {
      pool_.Add(Candidate{std::move(path), item.sizeBytes, frame.weight});
    }
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
  std::optional<PlaylistEntry> entry = ResolvePlaylistLine(playlistPath, line);
  if (!entry) return;
  const auto status = platform::GetFileStatus(entry->path);
  if (!status || status->kind != EntryKind::kFile) return;
  if (pool_.filter().RegisterPath(entry->path) == nullptr) return;
  const double weight = FindPlaylistEntryWeight(entry->entryText, folderWeights_);
  pool_.Add(
      Candidate{std::move(entry->path), static_cast<std::int64_t>(status->sizeBytes), weight});
}

}  // namespace sorvina::engine
