// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/fill_journal.h"

#include <algorithm>
#include <cstdlib>
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
  if (error != 0) fd_.Reset();
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
    }
  }
  if (clean) RemoveLeftoverTemporaries(destination, recordFolder);

  RecordedFill fill;
  fill.time = journal.time;
  std::set<std::string> listed;
  for (const auto& [relative, place] : placing) {
    const std::optional<EntryStatus> now = destination.StatusOf(relative);
    if (!now) continue;
    const auto confirmed = placed.find(relative);
    const bool ours = confirmed != placed.end() ? SameFile(*now, confirmed->second->sizeBytes,
                                                           confirmed->second->modified)
                                                : LooksLikeItsCopy(*now, *place);
    if (ours) {
      fill.files.push_back({relative, now->sizeBytes, now->modified, place->source});
      listed.insert(relative);
    } else if (clean && confirmed == placed.end() && now->kind == EntryStatus::Kind::kFile &&
               now->sizeBytes == 0 && place->sizeBytes > 0 &&
               now->modified.seconds >= journal.time - kTimeSlackSeconds) {
      // The empty placeholder that holds a name on FAT for the instant before the copy
      // takes it, made after this fill began.
      (void)destination.RemoveFileIfUnchanged(relative, *now);
    }
  }
  if (fill.files.empty()) return std::nullopt;

  fill.folders = FoldersStillThere(made, destination);
  if (previous != nullptr) {
    for (std::string& folder : FoldersStillThere(*previous, destination))
      if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        fill.folders.push_back(std::move(folder));
    if (journal.replacing) {
      // What the fill had not removed yet of the one it replaced is its own to replace.
      for (const RecordedFile& file : previous->files)
        if (!listed.contains(file.relative) && IsUnchanged(file, destination))
          fill.files.push_back(file);
      for (const RecordedFile& playlist : previous->playlists)
        if (IsUnchanged(playlist, destination)) fill.playlists.push_back(playlist);
    }
  }
  return fill;
}

}  // namespace sorvina::engine
