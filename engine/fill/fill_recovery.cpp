// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_recovery.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

#include "media/file_types.h"
#include "platform/new_file.h"
#include "text/path_style.h"

namespace sorvina::engine {
namespace {

using platform::ContainedFolder;
using platform::EntryStatus;

// How far a file's modification time may be from when its step was told of: FAT keeps
// times in steps of two seconds.
constexpr std::int64_t kTimeSlackSeconds = 2;
// What ArrangeInPlayOrder calls its temporaries, and the destination's waiting folder.
constexpr std::string_view kOrderSuffix = ".order";
constexpr std::string_view kWaitingName = "fill";
// How deep the search for temporaries nobody told of goes.
constexpr int kMaxDepth = 64;

// Removes what copies and playlists cut off half-way leave anywhere in `destination`
// (the record's folder aside): hidden part files and temporaries, known by their names
// alone, since the journal's last line, which would name one, may be cut short too.
void RemoveCutOffTemporaries(const ContainedFolder& destination, const std::string& skipped) {
  std::vector<std::string> leftovers;
  destination.VisitFiles({skipped}, [&](const std::string& relative, const EntryStatus&) {
    const std::string name = text::LastName(relative);
    if (platform::IsHiddenSiblingName(name, ".part") || platform::IsHiddenSiblingName(name, ".tmp"))
      leftovers.push_back(relative);
  });
  for (const std::string& leftover : leftovers)
    if (const std::optional<EntryStatus> status = destination.StatusOf(leftover))
      (void)destination.RemoveFileIfUnchanged(leftover, *status);
}

// The names the steps of a fill give empty files: a song's name (the placeholder that
// holds it on FAT for the instant before a copy or a move takes it), or "SV" and six
// capital hexadecimal digits (the empty files that take free places among a folder's
// entries).
bool IsSongName(std::string_view name) {
  return media::TypeOfName(name).type != nullptr;
}

bool IsFillerName(std::string_view name) {
  return name.size() == 8 && name.starts_with("SV") &&
         std::all_of(name.begin() + 2, name.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// Removes the file at `relative` where it is empty, was made since `time`, and bears a
// name of the kind `isOurName` takes: only such a file can be one a step of ours made.
void RemoveEmptyOfOurs(const ContainedFolder& destination, const std::string& relative,
                       std::int64_t time, bool (*isOurName)(std::string_view)) {
  if (!isOurName(text::LastName(relative))) return;
  const std::optional<EntryStatus> status = destination.StatusOf(relative);
  if (status && status->kind == EntryStatus::Kind::kFile && status->sizeBytes == 0 &&
      status->modified.seconds >= time - kTimeSlackSeconds)
    (void)destination.RemoveFileIfUnchanged(relative, *status);
}

// Removes the file at `relative` where it was made since `time`, with a name of the kind
// `isOurName` takes (none: any): a file written under its name that its fill cut off,
// which proved not to be whole.
void RemoveNotWholeOfOurs(const ContainedFolder& destination, const std::string& relative,
                          std::int64_t time, bool (*isOurName)(std::string_view)) {
  if (isOurName != nullptr && !isOurName(text::LastName(relative))) return;
  const std::optional<EntryStatus> status = destination.StatusOf(relative);
  if (status && status->kind == EntryStatus::Kind::kFile &&
      status->modified.seconds >= time - kTimeSlackSeconds)
    (void)destination.RemoveFileIfUnchanged(relative, *status);
}

// Removes those of `folders` that are empty, the deepest first, so that a folder that held
// only others of them goes too; the record's folder `recordFolder` and what is in it stay.
void RemoveEmptyFolders(const ContainedFolder& destination, const std::set<std::string>& folders,
                        const std::string& recordFolder) {
  std::vector<std::string> deepestFirst(folders.begin(), folders.end());
  std::sort(deepestFirst.begin(), deepestFirst.end(),
            [](const std::string& a, const std::string& b) {
              return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
            });
  for (const std::string& folder : deepestFirst)
    if (folder != recordFolder && !folder.starts_with(recordFolder + "/"))
      (void)destination.RemoveFolderIfEmpty(folder);
}

// RemoveEmptyOfOurs for every file in `folders` whose name `isOurName` takes.
void RemoveEmptyFilesIn(const ContainedFolder& destination, const std::set<std::string>& folders,
                        std::int64_t time, bool (*isOurName)(std::string_view)) {
  for (const std::string& folder : folders) {
    std::optional<ContainedFolder> opened;
    if (!folder.empty() && !(opened = destination.Folder(folder, false))) continue;
    std::vector<std::string> names;
    if ((folder.empty() ? destination : *opened).ListNames(names) != 0) continue;
    for (const std::string& name : names)
      if (isOurName(name))
        RemoveEmptyOfOurs(destination, text::JoinPath(folder, name), time, isOurName);
  }
}

// Whether the folders of a destination are there, each asked of the system once: for a
// stretch of work that makes and removes no folder, so that a journal of a whole library's
// songs, gone from the player with their folders, is followed without a call for each.
class FoldersThere {
 public:
  explicit FoldersThere(const ContainedFolder& destination) : destination_(destination) {}

  // Whether the folder that holds `path` is there ("" for the destination: always).
  bool HoldsPath(const std::string& path) {
    const std::string folder = text::ParentPath(path);
    if (folder.empty()) return true;
    const auto [known, added] = there_.try_emplace(folder, false);
    if (added) {
      const std::optional<EntryStatus> status = destination_.StatusOf(folder);
      known->second = status && status->kind == EntryStatus::Kind::kFolder;
    }
    return known->second;
  }

 private:
  const ContainedFolder& destination_;
  std::unordered_map<std::string, bool> there_;
};

// The moves the journal tells of, in turn (a folder's move takes what is in it along),
// indexed by where each began: a journal of a whole library's moves is followed in time
// that grows with its length, not with its square.
class Moves {
 public:
  void Add(const std::string& from, const std::string& to) {
    byFrom_[from].push_back(moves_.size());
    moves_.emplace_back(from, to);
  }

  // Where what lay at `path` went, move by move: `path` first.
  std::vector<std::string> PlacesOf(const std::string& path) const {
    std::vector<std::string> places{path};
    std::size_t after = 0;  // the moves before this one are past
    while (const std::optional<std::size_t> next = NextMoveOf(places.back(), after)) {
      const auto& [from, to] = moves_[*next];
      places.push_back(to + places.back().substr(from.size()));
      after = *next + 1;
    }
    return places;
  }

 private:
  // The first move at or after `after` of `path` or of a folder above it.
  std::optional<std::size_t> NextMoveOf(const std::string& path, std::size_t after) const {
    std::optional<std::size_t> first;
    for (std::size_t end = path.size(); end != std::string::npos && end > 0;
         end = path.rfind('/', end - 1)) {
      const auto found = byFrom_.find(path.substr(0, end));
      if (found == byFrom_.end()) continue;
      const auto next = std::lower_bound(found->second.begin(), found->second.end(), after);
      if (next != found->second.end() && (!first || *next < *first)) first = *next;
    }
    return first;
  }

  std::vector<std::pair<std::string, std::string>> moves_;
  std::unordered_map<std::string, std::vector<std::size_t>> byFrom_;
};

// The folder that the order temporary `name` in `folder` rebuilds, where it is one:
// ".NAME.<16 hex digits>.order" stands for NAME beside it. A name cut to fit is passed
// over, since the folder it stood for cannot be told.
std::optional<std::string> RebuiltBy(const std::string& folder, const std::string& name) {
  if (!platform::IsHiddenSiblingName(name, kOrderSuffix) || name.size() >= 255) return std::nullopt;
  return text::JoinPath(
      folder, std::string_view(name).substr(1, name.size() - 1 - 17 - kOrderSuffix.size()));
}

// The subfolders of `folder` in `destination`, by name.
std::vector<std::string> SubfoldersOf(const ContainedFolder& destination,
                                      const std::string& folder) {
  std::optional<ContainedFolder> opened;
  if (!folder.empty() && !(opened = destination.Folder(folder, false))) return {};
  const ContainedFolder& here = folder.empty() ? destination : *opened;
  std::vector<std::string> names;
  if (here.ListNames(names) != 0) return {};
  std::erase_if(names, [&](const std::string& name) {
    const std::optional<EntryStatus> status = here.StatusOf(name);
    return !status || status->kind != EntryStatus::Kind::kFolder;
  });
  return names;
}

// The order temporaries below `folder` that no line may tell of, as (folder rebuilt,
// temporary) pairs; the record's folder `recordFolder` holds only the destination's own
// waiting folders, ".fill.<16 hex digits>.order".
void FindOrderTemporaries(const ContainedFolder& destination, const std::string& folder,
                          const std::string& recordFolder, int depth,
                          std::vector<std::pair<std::string, std::string>>& found) {
  for (const std::string& name : SubfoldersOf(destination, folder)) {
    const std::string path = text::JoinPath(folder, name);
    if (path == recordFolder) {
      for (const std::string& waiting : SubfoldersOf(destination, path))
        if (RebuiltBy({}, waiting) == kWaitingName)
          found.emplace_back(std::string(), text::JoinPath(path, waiting));
    } else if (std::optional<std::string> rebuilt = RebuiltBy(folder, name)) {
      found.emplace_back(std::move(*rebuilt), path);
    } else if (depth < kMaxDepth) {
      FindOrderTemporaries(destination, path, recordFolder, depth + 1, found);
    }
  }
}

// Puts the destination's order work back together, as far as `journal` and the names of
// its temporaries tell of it: each rebuild left half-done is finished, and the empty files
// that held names or free places go. `moves` receives what moved where, the moves the
// journal tells of included; `arranged` the folders whose order work was under way.
void FinishArrangingOf(const FillJournal& journal, const ContainedFolder& destination, bool clean,
                       const std::string& recordFolder, Moves& moves,
                       std::set<std::string>& arranged) {
  std::vector<const JournalEntry*> open;  // "arrange" lines without their "arranged"
  std::vector<std::string> stopgaps;      // empty files of ours, where still empty
  std::vector<std::string> gaps;
  FoldersThere there(destination);  // nothing is changed before the lines are read
  for (const JournalEntry& entry : journal.entries) {
    switch (entry.kind) {
      case JournalEntry::Kind::kArrange:
        open.push_back(&entry);
        arranged.insert(entry.to);
        break;
      case JournalEntry::Kind::kMove:
        moves.Add(entry.relative, entry.to);
        // A move cut off after the empty file that holds its new name was made.
        if (clean && there.HoldsPath(entry.relative) && destination.StatusOf(entry.relative))
          stopgaps.push_back(entry.to);
        break;
      case JournalEntry::Kind::kArranged:
        std::erase_if(
            open, [&](const JournalEntry* arrange) { return arrange->relative == entry.relative; });
        // The temporary took the folder's name; the destination's files came back one
        // by one, each move told of.
        if (!entry.to.empty()) moves.Add(entry.relative, entry.to);
        break;
      case JournalEntry::Kind::kGap:
        gaps.push_back(entry.relative);
        break;
      default:
        break;
    }
  }
  if (!clean) return;
  for (const std::string& stopgap : stopgaps)
    RemoveEmptyOfOurs(destination, stopgap, journal.time, IsSongName);
  std::vector<std::pair<std::string, std::string>> unfinished;
  for (const JournalEntry* arrange : open)
    unfinished.emplace_back(arrange->to, arrange->relative);
  // Those whose line did not reach the device before the device went away.
  std::vector<std::pair<std::string, std::string>> found;
  FindOrderTemporaries(destination, std::string(), recordFolder, 0, found);
  for (auto& temporary : found)
    if (std::none_of(unfinished.begin(), unfinished.end(),
                     [&](const auto& known) { return known.second == temporary.second; }))
      unfinished.push_back(std::move(temporary));
  // The empty files that held a song's new name for the instant before a move took it
  // (MoveTo), where the move's line did not reach the device: finishing the rebuild
  // would otherwise give the song a numbered name beside its empty stand-in.
  std::set<std::string> worked(arranged);
  for (const auto& [folder, temporary] : unfinished) {
    worked.insert(folder);
    worked.insert(temporary);
  }
  RemoveEmptyFilesIn(destination, worked, journal.time, IsSongName);
  for (const auto& [folder, temporary] : unfinished) {
    arranged.insert(folder);
    for (const auto& [before, after] : FinishArranging(destination, folder, temporary))
      moves.Add(before, after);
    // Also where it was cut off after the temporary took the folder's name.
    if (!folder.empty() && !destination.StatusOf(temporary)) moves.Add(temporary, folder);
  }
  // The empty files that took free places, told of or not.
  for (const std::string& gap : gaps)
    RemoveEmptyOfOurs(destination, gap, journal.time, IsFillerName);
  RemoveEmptyFilesIn(destination, arranged, journal.time, IsFillerName);
}

// Finds a fill's files by their content in the folders a cut-off fill worked in: what its
// journal lost of the moves of the order work left some of them where no line says.
class ContentSearch {
 public:
  ContentSearch(const ContainedFolder& destination, const FileOwnership& ownership)
      : destination_(destination), ownership_(ownership) {}

  void AddFolder(const std::string& folder) { folders_.insert(folder); }

  // A file of the folders that `wanted` proves to be, and is no file `claimed` holds.
  std::optional<std::pair<std::string, OwnedFile>> Find(const RecordedFile& wanted,
                                                        const std::set<std::string>& claimed) {
    if (!listed_) List();
    const auto [first, last] = bySize_.equal_range(wanted.sizeBytes);
    for (auto file = first; file != last; ++file) {
      if (claimed.contains(file->second)) continue;
      if (std::optional<OwnedFile> owned = ownership_.Verify(destination_, file->second, wanted))
        return std::pair{file->second, *owned};
    }
    return std::nullopt;
  }

 private:
  void List() {
    listed_ = true;
    for (const std::string& folder : folders_) {
      std::optional<ContainedFolder> opened;
      if (!folder.empty() && !(opened = destination_.Folder(folder, false))) continue;
      const ContainedFolder& here = folder.empty() ? destination_ : *opened;
      std::vector<std::string> names;
      if (here.ListNames(names) != 0) continue;
      for (const std::string& name : names) {
        const std::optional<EntryStatus> status = here.StatusOf(name);
        if (status && status->kind == EntryStatus::Kind::kFile)
          bySize_.emplace(status->sizeBytes, text::JoinPath(folder, name));
      }
    }
  }

  const ContainedFolder& destination_;
  const FileOwnership& ownership_;
  std::set<std::string> folders_;
  bool listed_ = false;
  std::multimap<std::int64_t, std::string> bySize_;
};

}  // namespace

std::vector<std::string> FoldersStillThere(const RecordedFill& previous,
                                           const ContainedFolder& destination) {
  std::vector<std::string> folders;
  for (const std::string& folder : previous.folders) {
    const std::optional<EntryStatus> now = destination.StatusOf(folder);
    if (now && now->kind == EntryStatus::Kind::kFolder) folders.push_back(folder);
  }
  return folders;
}

std::optional<RecordedFill> RecoverInterruptedFill(const FillJournal& journal,
                                                   const ContainedFolder& destination,
                                                   const RecordedFill* previous, bool clean,
                                                   const std::string& recordFolder,
                                                   const FileOwnership& ownership) {
  // The last line of each kind for each name.
  std::map<std::string, const JournalEntry*> placing;
  std::map<std::string, const JournalEntry*> placed;
  std::map<std::string, const JournalEntry*> playlists;
  std::set<std::string> writtenInPlace;  // made under their names, whole or not
  RecordedFill made;                     // the folders the journal names
  for (const JournalEntry& entry : journal.entries) {
    switch (entry.kind) {
      case JournalEntry::Kind::kPlace:
        placing[entry.relative] = &entry;
        break;
      case JournalEntry::Kind::kWrite:
        placing[entry.relative] = &entry;
        writtenInPlace.insert(entry.relative);
        break;
      case JournalEntry::Kind::kPlaced:
        placed[entry.relative] = &entry;
        break;
      case JournalEntry::Kind::kPlaylist:
        playlists[entry.relative] = &entry;
        break;
      case JournalEntry::Kind::kFolder:
        made.folders.push_back(entry.relative);
        break;
      default:  // the order work, below
        break;
    }
  }
  // Only the user's own fill made the files that a journal with this seal names.
  const bool sealed = journal.seal && *journal.seal == JournalSeal(journal.time, journal.replacing,
                                                                   ownership.key());
  Moves moves;
  std::set<std::string> arranged;
  FinishArrangingOf(journal, destination, clean, recordFolder, moves, arranged);
  if (clean) RemoveCutOffTemporaries(destination, recordFolder);

  ContentSearch search(destination, ownership);
  for (const std::string& folder : arranged)
    search.AddFolder(folder);
  for (const auto& [relative, place] : placing)
    search.AddFolder(text::ParentPath(relative));
  std::set<std::string> claimed;
  // From here on files are removed, but no folder is made or removed until the fill's
  // songs are found.
  FoldersThere there(destination);
  // Where the file `expected` describes is now: where the moves took it, else anywhere
  // in the folders the fill worked in.
  const auto locate =
      [&](const std::string& relative,
          const RecordedFile& expected) -> std::optional<std::pair<std::string, OwnedFile>> {
    const std::vector<std::string> places = moves.PlacesOf(relative);
    for (auto place = places.rbegin(); place != places.rend(); ++place) {
      if (claimed.contains(*place) || !there.HoldsPath(*place)) continue;
      if (std::optional<OwnedFile> owned = ownership.Verify(destination, *place, expected))
        return std::pair{*place, *owned};
    }
    return search.Find(expected, claimed);
  };
  const auto take = [&](std::vector<RecordedFile>& into, const std::string& relative,
                        const OwnedFile& owned, const std::string& source) {
    claimed.insert(relative);
    into.push_back({relative, owned.status.sizeBytes, owned.status.modified, source, owned.digest});
  };

  RecordedFill fill;
  fill.time = journal.time;
  for (const auto& [relative, place] : placing) {
    // What the copy wrote, where its placing was confirmed; else what it was to write.
    const auto confirmed = placed.find(relative);
    const JournalEntry& told = confirmed != placed.end() ? *confirmed->second : *place;
    const RecordedFile expected{relative, told.sizeBytes, told.modified, place->source,
                                told.digest};
    if (const auto found = locate(relative, expected)) {
      take(fill.files, found->first, found->second, place->source);
    } else if (clean && there.HoldsPath(relative)) {
      // The empty placeholder that holds a name on FAT for the instant before the copy
      // takes it, or a copy whose bytes never reached a device that went away.
      RemoveEmptyOfOurs(destination, relative, journal.time, IsSongName);
      // A copy written under its name and cut short, or whose bytes are not what it was
      // to write: the fill made that name since it began.
      if (sealed && writtenInPlace.contains(relative))
        RemoveNotWholeOfOurs(destination, relative, journal.time, IsSongName);
    }
  }
  for (const auto& [relative, playlist] : playlists) {
    const RecordedFile expected{relative, playlist->sizeBytes, {}, {}, playlist->digest};
    if (const std::optional<OwnedFile> owned = ownership.Verify(destination, relative, expected))
      take(fill.playlists, relative, *owned, {});
    else if (clean && sealed && !writtenInPlace.empty())
      // Where the fill wrote in place, so was its playlist: one it cut short goes.
      RemoveNotWholeOfOurs(destination, relative, journal.time, nullptr);
  }
  // What the fill had not removed yet of the one it replaced is its own to replace, where
  // putting the destination in order took it.
  std::vector<RecordedFile> replaced;
  bool replacedMoved = false;
  std::vector<std::string> gone;  // removed by the fill cut off, or by someone else
  if (previous != nullptr && journal.replacing) {
    for (const RecordedFile& file : previous->files)
      search.AddFolder(text::ParentPath(file.relative));
    for (const RecordedFile& file : previous->files) {
      if (file.relative.empty()) continue;
      const auto found = locate(file.relative, file);
      if (!found) {
        gone.push_back(file.relative);
        continue;
      }
      replacedMoved = replacedMoved || found->first != file.relative;
      take(replaced, found->first, found->second, file.source);
    }
  }
  // A journal that anyone could have written may name the user's empty folders.
  if (clean && sealed) {
    std::set<std::string> folders(made.folders.begin(), made.folders.end());
    if (previous != nullptr) {
      const std::set<std::string> fillsFolders(previous->folders.begin(), previous->folders.end());
      for (const std::string& relative : gone)
        for (std::string folder = text::ParentPath(relative); !folder.empty();
             folder = text::ParentPath(folder))
          if (fillsFolders.contains(folder)) folders.insert(folder);
    }
    RemoveEmptyFolders(destination, folders, recordFolder);
  }
  if (fill.files.empty() && fill.playlists.empty() && !replacedMoved) return std::nullopt;

  fill.folders = FoldersStillThere(made, destination);
  if (previous != nullptr) {
    for (std::string& folder : FoldersStillThere(*previous, destination))
      if (std::find(made.folders.begin(), made.folders.end(), folder) == made.folders.end())
        fill.folders.push_back(std::move(folder));
    fill.files.insert(fill.files.end(), replaced.begin(), replaced.end());
    if (journal.replacing) {
      for (const RecordedFile& playlist : previous->playlists)
        if (!claimed.contains(playlist.relative) &&
            ownership.Verify(destination, playlist.relative, playlist))
          fill.playlists.push_back(playlist);
    }
  }
  return fill;
}

}  // namespace sorvina::engine
