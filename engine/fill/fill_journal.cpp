// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_journal.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "platform/new_file.h"

namespace sorvina::engine {
namespace {

using platform::ContainedFolder;
using platform::EntryStatus;

// How far a copy's modification time may be from its source's: FAT keeps times in steps
// of two seconds.
constexpr std::int64_t kTimeSlackSeconds = 2;

// Removes what copies and playlists cut off half-way leave anywhere in `destination`
// (the record's folder aside): hidden part files and temporaries, known by their names
// alone, since the journal's last line, which would name one, may be cut short too.
void RemoveLeftoverTemporaries(const ContainedFolder& destination, const std::string& skipped) {
  std::vector<std::string> leftovers;
  destination.VisitFiles({skipped}, [&](const std::string& relative, const EntryStatus&) {
    const std::string_view name = std::string_view(relative).substr(relative.rfind('/') + 1);
    if (platform::IsHiddenSiblingName(name, ".part") || platform::IsHiddenSiblingName(name, ".tmp"))
      leftovers.push_back(relative);
  });
  for (const std::string& leftover : leftovers)
    if (const std::optional<EntryStatus> status = destination.StatusOf(leftover))
      (void)destination.RemoveFileIfUnchanged(leftover, *status);
}

bool SameFile(const EntryStatus& status, std::int64_t sizeBytes, const platform::FileTime& time) {
  return status.kind == EntryStatus::Kind::kFile && status.sizeBytes == sizeBytes &&
         status.modified == time;
}

// Whether `status` is what copying a file of this size and time gives, on any volume.
bool LooksLikeItsCopy(const EntryStatus& status, const JournalEntry& place) {
  return status.kind == EntryStatus::Kind::kFile && status.sizeBytes == place.sizeBytes &&
         std::llabs(status.modified.seconds - place.modified.seconds) <= kTimeSlackSeconds;
}

bool IsAtOrBelow(std::string_view path, std::string_view entry) {
  return !entry.empty() && path.starts_with(entry) &&
         (path.size() == entry.size() || path[entry.size()] == '/');
}

// The moves the journal tells of, in turn (a folder's move takes what is in it along).
class Moves {
 public:
  void Add(const std::string& from, const std::string& to) { moves_.emplace_back(from, to); }

  // Where what lay at `path` is now, as `destination` shows it: the last of the places
  // the moves took it to that holds an entry `isIt` takes for it. A move told of but cut
  // off left it where it was.
  std::optional<std::pair<std::string, EntryStatus>> Find(
      const std::string& path, const ContainedFolder& destination,
      const std::function<bool(const EntryStatus&)>& isIt) const {
    std::vector<std::string> places{path};
    for (const auto& [from, to] : moves_)
      if (IsAtOrBelow(places.back(), from))
        places.push_back(to + places.back().substr(from.size()));
    for (auto place = places.rbegin(); place != places.rend(); ++place) {
      const std::optional<EntryStatus> status = destination.StatusOf(*place);
      if (status && isIt(*status)) return std::pair{*place, *status};
    }
    return std::nullopt;
  }

 private:
  std::vector<std::pair<std::string, std::string>> moves_;
};

// Whether `status` is an empty file made since the fill began: what holds a name for the
// instant before a move takes it on FAT volumes, or took a free place among entries.
bool IsEmptyFileSince(const std::optional<EntryStatus>& status, std::int64_t time) {
  return status && status->kind == EntryStatus::Kind::kFile && status->sizeBytes == 0 &&
         status->modified.seconds >= time - kTimeSlackSeconds;
}

// Puts the destination's order work back together, as far as `journal` tells of it: each
// rebuild left half-done is finished, and the empty files that held names or free places
// go. `moves` receives what moved where, the moves the journal tells of included.
void FinishArrangingOf(const FillJournal& journal, const ContainedFolder& destination, bool clean,
                       Moves& moves) {
  std::vector<const JournalEntry*> open;  // "arrange" lines without their "arranged"
  std::vector<std::string> stopgaps;      // empty files of ours, where still empty
  for (const JournalEntry& entry : journal.entries) {
    switch (entry.kind) {
      case JournalEntry::Kind::kArrange:
        open.push_back(&entry);
        break;
      case JournalEntry::Kind::kMove:
        moves.Add(entry.relative, entry.to);
        // A move cut off after the empty file that holds its new name was made.
        if (destination.StatusOf(entry.relative)) stopgaps.push_back(entry.to);
        break;
      case JournalEntry::Kind::kArranged:
        std::erase_if(
            open, [&](const JournalEntry* arrange) { return arrange->relative == entry.relative; });
        // The temporary took the folder's name; the destination's files came back one
        // by one, each move told of.
        if (!entry.to.empty()) moves.Add(entry.relative, entry.to);
        break;
      case JournalEntry::Kind::kGap:
        stopgaps.push_back(entry.relative);
        break;
      default:
        break;
    }
  }
  if (!clean) return;
  for (const std::string& stopgap : stopgaps) {
    const std::optional<EntryStatus> status = destination.StatusOf(stopgap);
    if (IsEmptyFileSince(status, journal.time))
      (void)destination.RemoveFileIfUnchanged(stopgap, *status);
  }
  for (const JournalEntry* arrange : open) {
    for (const auto& [before, after] : FinishArranging(destination, arrange->to, arrange->relative))
      moves.Add(before, after);
    // Also where it was cut off after the temporary took the folder's name.
    if (!arrange->to.empty() && !destination.StatusOf(arrange->relative))
      moves.Add(arrange->relative, arrange->to);
  }
}

}  // namespace

int JournalWriter::Begin(std::int64_t time, bool replacing) {
  if (const int error = folder_.ReplaceFile(name_, FormatJournalStart(time, replacing)))
    return error;
  int error = 0;
  fd_ = folder_.OpenForAppending(name_, &error);
  return error;
}

int JournalWriter::Append(const JournalEntry& entry) {
  if (!fd_) return 0;
  const int error = platform::WriteAll(fd_.get(), FormatJournalLine(entry));
  // A line cut short is taken for the journal's end; nothing may be told after it.
  if (error != 0) {
    fd_.Reset();
    failure_ = error;
  }
  return error;
}

int JournalWriter::WillPlace(const std::string& relative, const std::string& source,
                             const EntryStatus& sourceStatus) {
  return Append({JournalEntry::Kind::kPlace, relative, sourceStatus.sizeBytes,
                 sourceStatus.modified, source});
}

void JournalWriter::Placed(const std::string& relative, const EntryStatus& status) {
  (void)Append({JournalEntry::Kind::kPlaced, relative, status.sizeBytes, status.modified, {}});
}

void JournalWriter::FolderMade(const std::string& relative) {
  (void)Append({JournalEntry::Kind::kFolder, relative, 0, {}, {}});
}

int JournalWriter::AppendAhead(const JournalEntry& entry) {
  return failure_ != 0 ? failure_ : Append(entry);
}

int JournalWriter::Arranging(const std::string& folder, const std::string& temporary) {
  return AppendAhead({JournalEntry::Kind::kArrange, temporary, 0, {}, {}, folder});
}

int JournalWriter::Moving(const std::string& from, const std::string& to) {
  return AppendAhead({JournalEntry::Kind::kMove, from, 0, {}, {}, to});
}

int JournalWriter::FillingGap(const std::string& relative) {
  return AppendAhead({JournalEntry::Kind::kGap, relative, 0, {}, {}, {}});
}

void JournalWriter::Arranged(const std::string& folder, const std::string& temporary) {
  (void)Append({JournalEntry::Kind::kArranged, temporary, 0, {}, {}, folder});
}

void JournalWriter::Remove() {
  fd_.Reset();
  // Gone already, or never written: nothing to do either way.
  if (const std::optional<EntryStatus> status = folder_.StatusOf(name_))
    (void)folder_.RemoveFileIfUnchanged(name_, *status);
}

bool IsUnchanged(const RecordedFile& file, const ContainedFolder& destination) {
  const std::optional<EntryStatus> now = destination.StatusOf(file.relative);
  return now && SameFile(*now, file.sizeBytes, file.modified);
}

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
                                                   const std::string& recordFolder) {
  std::map<std::string, const JournalEntry*> placing;  // the last "place" of each name
  std::map<std::string, const JournalEntry*> placed;
  RecordedFill made;  // the folders the journal names
  std::vector<std::string>& folders = made.folders;
  for (const JournalEntry& entry : journal.entries) {
    switch (entry.kind) {
      case JournalEntry::Kind::kPlace:
        placing[entry.relative] = &entry;
        break;
      case JournalEntry::Kind::kPlaced:
        placed[entry.relative] = &entry;
        break;
      case JournalEntry::Kind::kFolder:
        folders.push_back(entry.relative);
        break;
      default:  // the order work, below
        break;
    }
  }
  Moves moves;
  FinishArrangingOf(journal, destination, clean, moves);
  if (clean) RemoveLeftoverTemporaries(destination, recordFolder);

  RecordedFill fill;
  fill.time = journal.time;
  std::set<std::string> listed;
  for (const auto& [relative, place] : placing) {
    const auto confirmed = placed.find(relative);
    const auto found = moves.Find(relative, destination, [&](const EntryStatus& now) {
      return confirmed != placed.end()
                 ? SameFile(now, confirmed->second->sizeBytes, confirmed->second->modified)
                 : LooksLikeItsCopy(now, *place);
    });
    const std::optional<EntryStatus> now = found ? found->second : destination.StatusOf(relative);
    if (found) {
      fill.files.push_back({found->first, now->sizeBytes, now->modified, place->source});
      listed.insert(found->first);
    } else if (clean && now && confirmed == placed.end() && now->kind == EntryStatus::Kind::kFile &&
               now->sizeBytes == 0 && place->sizeBytes > 0 &&
               now->modified.seconds >= journal.time - kTimeSlackSeconds) {
      // The empty placeholder that holds a name on FAT for the instant before the copy
      // takes it, made after this fill began.
      (void)destination.RemoveFileIfUnchanged(relative, *now);
    }
  }
  // What the fill had not removed yet of the one it replaced is its own to replace, where
  // putting the destination in order took it.
  std::vector<RecordedFile> replaced;
  bool replacedMoved = false;
  if (previous != nullptr && journal.replacing) {
    for (const RecordedFile& file : previous->files) {
      const auto found = moves.Find(file.relative, destination, [&](const EntryStatus& now) {
        return SameFile(now, file.sizeBytes, file.modified);
      });
      if (!found || listed.contains(found->first)) continue;
      replacedMoved = replacedMoved || found->first != file.relative;
      replaced.push_back(file);
      replaced.back().relative = found->first;
    }
  }
  if (fill.files.empty() && !replacedMoved) return std::nullopt;

  fill.folders = FoldersStillThere(made, destination);
  if (previous != nullptr) {
    for (std::string& folder : FoldersStillThere(*previous, destination))
      if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        fill.folders.push_back(std::move(folder));
    fill.files.insert(fill.files.end(), replaced.begin(), replaced.end());
    if (journal.replacing) {
      for (const RecordedFile& playlist : previous->playlists)
        if (IsUnchanged(playlist, destination)) fill.playlists.push_back(playlist);
    }
  }
  return fill;
}

}  // namespace sorvina::engine
