// SPDX-License-Identifier: GPL-3.0-or-later
// Players play a folder in the order of its entries on the device, and every FAT and
// exFAT driver gives a new entry the first run of free entries long enough for its name
// (a rename too). A fresh folder therefore takes the entries moved into it in turn, which
// is how a folder is put in order: rebuilt in a fresh sibling that then takes its name.
//
// The destination cannot be rebuilt. Its files leave for a folder in the record's folder,
// so that no folder of ours stands among its entries, and come back in play order, each
// into the first free run that fits it; a later, shorter name can land ahead of an
// earlier one where something that stays (the user's entry, the record's folder) left a
// run too short for the earlier name. Where the volume lists entries in their order on
// the device (the kernel's drivers: a fresh folder's listing shows it), each file's place
// is checked as it comes back, and one that landed ahead of the file before it goes out
// again while an empty file of ours takes that run; the empty files go at the end,
// leaving free entries ahead of the fill, which change no order. A driver in user space
// (exFAT through FUSE) lists the entries it made since it was mounted first, wherever
// they lie: there the order rests on the files taking the runs the fill had, in turn,
// which holds as long as no one freed entries among the destination's own.
#include "engine/fill/play_order.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string_view>

#include "platform/drive_type.h"
#include "platform/new_file.h"
#include "text/path_style.h"
#include "transfer/file_copy.h"

namespace sorvina::engine {
namespace {

using platform::ContainedFolder;
using platform::EntryStatus;

constexpr std::string_view kTemporarySuffix = ".order";
// The name the destination's waiting folder is made from: ".fill.<16 hex digits>.order".
constexpr char kWaitingName[] = "fill";
// Names tried for a temporary, a numbered target or a filler before giving up.
constexpr unsigned kAttempts = 100;
// Empty files of ours made for one file, and in all, before the destination's order is
// left as the volume gives it. A run of free entries ahead of a file is shorter than the
// longest name (19 entries), so a few suffice.
constexpr int kFillersPerFile = 64;
constexpr std::size_t kFillersInAll = 4096;

std::size_t DepthOf(std::string_view folder) {
  return folder.empty()
             ? 0
             : 1 + static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '/'));
}

// Errors of a folder's move that say the volume cannot move folders at all.
bool FolderMovesUnavailable(int error) {
  return error == EPERM || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

// Where `path` is once the entry `from` became `to`.
std::string AfterMove(const std::string& path, const std::string& from, const std::string& to) {
  return text::IsAtOrBelow(path, from) ? to + path.substr(from.size()) : path;
}

// A folder below the destination, or the destination itself.
struct Opened {
  std::optional<ContainedFolder> below;
  const ContainedFolder* destination = nullptr;
  const ContainedFolder& operator*() const { return below ? *below : *destination; }
  const ContainedFolder* operator->() const { return &**this; }
};

// The folder `relative` below `destination`, "" for the destination itself; nothing,
// with the errno value in `error`, where it cannot be reached.
std::optional<Opened> Open(const ContainedFolder& destination, const std::string& relative,
                           bool create = false, int* error = nullptr,
                           std::vector<std::string>* made = nullptr) {
  if (relative.empty()) return Opened{std::nullopt, &destination};
  std::optional<ContainedFolder> folder = destination.Folder(relative, create, error, made);
  if (!folder) return std::nullopt;
  return Opened{std::move(folder), &destination};
}

class Arranger {
 public:
  Arranger(const ContainedFolder& destination, const std::vector<ArrangedFile>& files,
           const std::vector<std::string>& skipped, ArrangeJournal* journal,
           const std::string& holdingFolder)
      : destination_(destination),
        files_(files),
        skipped_(skipped),
        journal_(journal),
        holdingFolder_(holdingFolder),
        reached_(files.size(), false) {
    for (const ArrangedFile& file : files)
      current_.push_back(file.current);
  }

  ArrangeResult Run() {
    result_.placed.assign(files_.size(), std::nullopt);
    if (Validate()) {
      fat_ = platform::IsFatDevice(destination_.device());
      // The kernel's other file systems list what they list: their only order.
      listing_ =
          fat_ || destination_.KeptInUserSpace() ? Listing::kUntested : Listing::kInEntryOrder;
      for (const auto& [folder, members] : FoldersInTurn())
        if (!ArrangeFolder(folder, members)) break;
    }
    for (std::size_t i = 0; i < files_.size(); ++i)
      if (reached_[i]) result_.placed[i] = current_[i];
    return std::move(result_);
  }

 private:
  // Whether the volume's listing shows entries in their order on the device.
  enum class Listing { kUntested, kInEntryOrder, kOtherOrder };
  enum class Capability { kUntested, kYes, kNo };
  // What became of a folder's rebuilding: kFoldersStay where it is put in order otherwise.
  enum class Outcome { kDone, kFailed, kFoldersStay };

  bool Fail(int error, const std::string& path) {
    if (result_.error == 0) {
      result_.error = error != 0 ? error : EIO;
      result_.failedPath = path;
    }
    return false;
  }

  bool IsSkipped(const std::string& path) const {
    const std::string top = path.substr(0, path.find('/'));
    return std::find(skipped_.begin(), skipped_.end(), top) != skipped_.end() ||
           text::IsAtOrBelow(path, holdingFolder_);
  }

  // Every path inside the destination and out of what is never touched, each file named
  // once and there as a regular file.
  bool Validate() {
    if (!holdingFolder_.empty() && !ContainedFolder::IsContainedPath(holdingFolder_))
      return Fail(EINVAL, holdingFolder_);
    std::set<std::string> currents;
    std::set<std::string> targets;
    for (const ArrangedFile& file : files_) {
      for (const std::string* path : {&file.current, &file.target})
        if (!ContainedFolder::IsContainedPath(*path) || IsSkipped(*path))
          return Fail(EINVAL, *path);
      if (!currents.insert(file.current).second) return Fail(EINVAL, file.current);
      if (!targets.insert(file.target).second) return Fail(EINVAL, file.target);
      const std::optional<EntryStatus> status = destination_.StatusOf(file.current);
      if (!status || status->kind != EntryStatus::Kind::kFile)
        return Fail(status ? EINVAL : ENOENT, file.current);
      ours_.emplace(status->device, status->inode);
    }
    return true;
  }

  // The target folders with their files in play order, the deepest first.
  std::vector<std::pair<std::string, std::vector<std::size_t>>> FoldersInTurn() const {
    std::vector<std::pair<std::string, std::vector<std::size_t>>> folders;
    std::map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      const auto [where, added] = at.emplace(text::ParentPath(files_[i].target), folders.size());
      if (added) folders.push_back({where->first, {}});
      folders[where->second].second.push_back(i);
    }
    // Deepest first, and in the order of their first file among equals (a plain sort with
    // that tie-break: libstdc++'s stable sort is deprecated under clang's warnings).
    std::vector<std::size_t> order(folders.size());
    for (std::size_t i = 0; i < order.size(); ++i)
      order[i] = i;
    std::sort(order.begin(), order.end(), [&folders](std::size_t a, std::size_t b) {
      const std::size_t depthA = DepthOf(folders[a].first);
      const std::size_t depthB = DepthOf(folders[b].first);
      return depthA != depthB ? depthA > depthB : a < b;
    });
    std::vector<std::pair<std::string, std::vector<std::size_t>>> sorted;
    sorted.reserve(folders.size());
    for (const std::size_t i : order)
      sorted.push_back(std::move(folders[i]));
    return sorted;
  }

  bool ArrangeFolder(const std::string& folder, const std::vector<std::size_t>& members) {
    moves_.clear();
    int error = 0;
    if (journal_ != nullptr && !folder.empty()) {
      const std::vector<std::string> missing = destination_.MissingFolders(folder);
      if (!missing.empty() && (error = journal_->WillMakeFolders(missing)) != 0)
        return Fail(error, folder);
    }
    std::vector<std::string> made;
    const std::optional<Opened> here = Open(destination_, folder, true, &error, &made);
    for (const std::string& path : made) {
      if (journal_ != nullptr) journal_->FolderMade(path);
      result_.madeFolders.push_back(path);
    }
    if (!here) return Fail(error, folder);
    std::vector<std::string> names;
    if (const int listError = (*here)->ListNames(names)) return Fail(listError, folder);
    if (!InOrder(folder, names, members)) {
      const Outcome outcome =
          folder.empty() ? Outcome::kFoldersStay : Rebuild(folder, **here, names, members);
      if (outcome == Outcome::kFailed) return false;
      if (outcome == Outcome::kFoldersStay && !RoundTrip(folder, **here, members)) return false;
    }
    for (const std::size_t i : members)
      reached_[i] = true;
    return true;
  }

  // Whether the folder's listing, where it can be trusted, already shows its files in
  // play order under their target names: ahead of all else where it would be rebuilt,
  // else among themselves.
  bool InOrder(const std::string& folder, const std::vector<std::string>& names,
               const std::vector<std::size_t>& members) const {
    if (listing_ != Listing::kInEntryOrder) return false;
    std::vector<std::string> expected;
    for (const std::size_t i : members) {
      if (current_[i] != files_[i].target) return false;
      expected.push_back(text::LastName(current_[i]));
    }
    if (!folder.empty() && folderMoves_ != Capability::kNo)
      return names.size() >= expected.size() &&
             std::equal(expected.begin(), expected.end(), names.begin());
    const std::set<std::string> wanted(expected.begin(), expected.end());
    std::vector<std::string> listed;
    for (const std::string& name : names)
      if (wanted.contains(name)) listed.push_back(name);
    return listed == expected;
  }

  // Rebuilds `folder` (open as `here`) in a fresh sibling: its files in play order, then
  // the rest of what it holds, then the sibling takes its name. kFoldersStay, with
  // nothing moved, where the volume cannot move folders.
  Outcome Rebuild(const std::string& folder, const ContainedFolder& here,
                  const std::vector<std::string>& names, const std::vector<std::size_t>& members) {
    int error = 0;
    const std::optional<Opened> parent =
        Open(destination_, text::ParentPath(folder), false, &error);
    if (!parent) {
      Fail(error, text::ParentPath(folder));
      return Outcome::kFailed;
    }
    std::string temporary;
    const std::optional<ContainedFolder> rebuilt = MakeTemporary(
        **parent, text::ParentPath(folder), text::LastName(folder), folder, temporary);
    if (!rebuilt) return Outcome::kFailed;
    if (folderMoves_ == Capability::kUntested) {
      // Found out on the empty temporary, before anything depends on it: some drivers in
      // user space refuse to move a folder (fusefat), and the temporary could then never
      // take the folder's name.
      const std::string renamed =
          text::JoinPath(text::ParentPath(folder),
                         platform::HiddenSiblingPath(text::LastName(folder), kTemporarySuffix));
      error = journal_ != nullptr ? journal_->Arranging(folder, renamed) : 0;
      if (error == 0)
        error = (*parent)->MoveTo(text::LastName(temporary), **parent, text::LastName(renamed));
      if (error == 0) {
        folderMoves_ = Capability::kYes;
        temporary = renamed;
      } else {
        PutRight(folder, temporary);
        if (!FolderMovesUnavailable(error)) {
          Fail(error, folder);
          return Outcome::kFailed;
        }
        folderMoves_ = Capability::kNo;
        return Outcome::kFoldersStay;
      }
    }
    const auto failed = [&](int failure, const std::string& path) {
      Fail(failure, path);
      PutRight(folder, temporary);
      return Outcome::kFailed;
    };

    std::vector<std::string> order;  // the names the temporary took, in turn
    if (!MoveFilesInto(here, *rebuilt, temporary, members, order)) return failed(0, folder);
    // What else the folder holds follows, in its own order; then anything that came
    // meanwhile, so that the folder can go.
    std::vector<std::string> rest;
    for (const std::string& name : names)
      if (here.StatusOf(name)) rest.push_back(name);
    for (int round = 0; round < 3 && !rest.empty(); ++round) {
      for (const std::string& name : rest) {
        if (const int moveError = here.MoveTo(name, *rebuilt, name))
          return failed(moveError, text::JoinPath(folder, name));
        MovedEntry(text::JoinPath(folder, name), text::JoinPath(temporary, name));
        order.push_back(name);
      }
      if (const int listError = here.ListNames(rest)) return failed(listError, folder);
    }
    LearnListing(*rebuilt, order);
    if (const int removeError = destination_.RemoveFolderIfEmpty(folder))
      return failed(removeError, folder);
    if (const int renameError =
            (*parent)->MoveTo(text::LastName(temporary), **parent, text::LastName(folder)))
      return failed(renameError, folder);
    MovedEntry(temporary, folder);
    if (journal_ != nullptr) journal_->Arranged(folder, temporary);
    return Outcome::kDone;
  }

  // Moves the files of `folder` (open as `here`) out to a waiting folder and back in
  // play order; what else it holds stays where it is.
  bool RoundTrip(const std::string& folder, const ContainedFolder& here,
                 const std::vector<std::size_t>& members) {
    int error = 0;
    std::string holding = holdingFolder_;
    std::optional<Opened> waitingIn = Open(destination_, holding, false, &error);
    if (!waitingIn && error == ENOENT) {
      holding.clear();
      waitingIn = Open(destination_, holding);
    }
    if (!waitingIn) return Fail(error, holding);
    std::string temporary;
    const std::optional<ContainedFolder> waiting =
        MakeTemporary(**waitingIn, holding, kWaitingName, folder, temporary);
    if (!waiting) return false;
    const auto failed = [&](int failure, const std::string& path) {
      Fail(failure, path);
      PutRight(folder, temporary);
      RemoveFillers(here);
      return false;
    };

    std::vector<std::string> order;
    if (!MoveFilesInto(here, *waiting, temporary, members, order)) return failed(0, folder);
    LearnListing(*waiting, order);

    const bool checked = fat_ && listing_ == Listing::kInEntryOrder;
    std::string previous;
    for (std::size_t k = 0; k < members.size(); ++k) {
      const std::size_t i = members[k];
      for (int fillers = 0;; ++fillers) {
        if (!MoveFile(i, here, folder, order[k])) return failed(0, folder);
        if (!checked || previous.empty() || fillers >= kFillersPerFile ||
            fillers_.size() >= kFillersInAll || LandedAfter(here, order[k], previous))
          break;
        // It took a run ahead of the file before it: an empty file of ours takes that
        // run, and it comes back again.
        if (!MoveFile(i, *waiting, temporary, order[k]) || !MakeFiller(here, folder))
          return failed(0, folder);
      }
      previous = order[k];
    }
    RemoveFillers(here);
    if (const int removeError = destination_.RemoveFolderIfEmpty(temporary))
      return failed(removeError, temporary);
    if (journal_ != nullptr) journal_->Arranged(folder, temporary);
    return true;
  }

  // Makes a fresh hidden folder ".NAME.<16 hex digits>.order" in `parent` (at
  // `parentPath`), told to the journal first as where `folder` is rebuilt; its path goes
  // to `temporary`.
  std::optional<ContainedFolder> MakeTemporary(const ContainedFolder& parent,
                                               const std::string& parentPath,
                                               const std::string& name, const std::string& folder,
                                               std::string& temporary) {
    for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
      const std::string hidden = platform::HiddenSiblingPath(name, kTemporarySuffix);
      temporary = text::JoinPath(parentPath, hidden);
      int error = journal_ != nullptr ? journal_->Arranging(folder, temporary) : 0;
      if (error == 0) error = parent.MakeFolder(hidden);
      if (error == EEXIST) continue;
      if (error != 0) {
        Fail(error, temporary);
        return std::nullopt;
      }
      std::optional<ContainedFolder> made = parent.Folder(hidden, false, &error);
      if (!made) {
        (void)parent.RemoveFolderIfEmpty(hidden);
        Fail(error, temporary);
      }
      return made;
    }
    Fail(EEXIST, text::JoinPath(parentPath, name));
    return std::nullopt;
  }

  // Moves the files `members` in turn into `into` (at `intoPath`) under their target
  // names, numbered where the user holds the name in `folder`; `order` receives the names.
  bool MoveFilesInto(const ContainedFolder& folder, const ContainedFolder& into,
                     const std::string& intoPath, const std::vector<std::size_t>& members,
                     std::vector<std::string>& order) {
    for (const std::size_t i : members) {
      const std::optional<std::string> name =
          FreeName(folder, into, text::LastName(files_[i].target));
      if (!name) return Fail(EEXIST, files_[i].target);
      if (!MoveFile(i, into, intoPath, *name)) return false;
      order.push_back(*name);
    }
    return true;
  }

  // `target`, or the first of its numbered names, that nothing but one of the files holds
  // in `folder` and nothing holds in `into` (in the volume's own comparison of names).
  std::optional<std::string> FreeName(const ContainedFolder& folder, const ContainedFolder& into,
                                      const std::string& target) const {
    for (unsigned number = 1; number <= kAttempts; ++number) {
      std::string name = number == 1 ? target : transfer::NumberedName(target, number);
      const std::optional<EntryStatus> there = folder.StatusOf(name);
      if (there && !ours_.contains({there->device, there->inode})) continue;
      if (!into.StatusOf(name)) return name;
    }
    return std::nullopt;
  }

  // Moves file `i` into `into` (at `intoPath`) as `name`, told to the journal first.
  bool MoveFile(std::size_t i, const ContainedFolder& into, const std::string& intoPath,
                const std::string& name) {
    const std::string from = current_[i];
    const std::string to = text::JoinPath(intoPath, name);
    int error = 0;
    const std::optional<Opened> source = Open(destination_, text::ParentPath(from), false, &error);
    if (source) {
      if (journal_ != nullptr) error = journal_->Moving(from, to);
      if (error == 0) error = (*source)->MoveTo(text::LastName(from), into, name);
    }
    if (error != 0) return Fail(error, from);
    MovedEntry(from, to);
    moves_.emplace_back(i, from);
    return true;
  }

  // Follows the entry `from` (and all below it) that became `to`.
  void MovedEntry(const std::string& from, const std::string& to) {
    for (std::size_t i = 0; i < current_.size(); ++i) {
      std::string after = AfterMove(current_[i], from, to);
      if (after == current_[i]) continue;
      current_[i] = std::move(after);
      reached_[i] = true;
    }
  }

  // After a failure: the files still in `temporary` go back where they came from, under
  // their old names where those are free, and the rest into `folder`, as the next run
  // would put it.
  void PutRight(const std::string& folder, const std::string& temporary) {
    for (auto undo = moves_.rbegin(); undo != moves_.rend(); ++undo) {
      const auto& [i, from] = *undo;
      const std::string at = current_[i];
      const std::optional<Opened> source = Open(destination_, text::ParentPath(at));
      const std::optional<Opened> origin = Open(destination_, text::ParentPath(from));
      // Told of by no line: the next run finds the file where it was, the move's start.
      if (text::IsAtOrBelow(at, temporary) && source && origin &&
          (*source)->MoveTo(text::LastName(at), **origin, text::LastName(from)) == 0)
        MovedEntry(at, from);
    }
    moves_.clear();
    for (const auto& [before, after] : FinishArranging(destination_, folder, temporary))
      MovedEntry(before, after);
    if (!destination_.StatusOf(temporary) && journal_ != nullptr)
      journal_->Arranged(folder, temporary);
  }

  // A fresh folder took `order` in turn. A driver that lists the entries made since it
  // was mounted first shows them newest first; any other listing is taken for the
  // entries' order on the device (which a driver that leaves old entries in a new
  // folder's space, as fusefat does, need not have filled in turn).
  void LearnListing(const ContainedFolder& fresh, const std::vector<std::string>& order) {
    if (listing_ != Listing::kUntested || order.size() < 2) return;
    std::vector<std::string> names;
    if (fresh.ListNames(names) != 0) return;
    listing_ = std::equal(names.begin(), names.end(), order.rbegin(), order.rend())
                   ? Listing::kOtherOrder
                   : Listing::kInEntryOrder;
  }

  // Whether `name` comes after `previous` in the listing of `folder`; where the listing
  // fails, the next move says why.
  static bool LandedAfter(const ContainedFolder& folder, const std::string& name,
                          const std::string& previous) {
    std::vector<std::string> names;
    if (folder.ListNames(names) != 0) return true;
    const auto at = std::find(names.begin(), names.end(), name);
    return std::find(names.begin(), at, previous) != at;
  }

  // An empty file of ours in `here` (at `folder`), which takes the first free run there.
  // Its name is a short one of capitals alone, which FAT keeps in a single entry, so that
  // it fits every run a name can take.
  bool MakeFiller(const ContainedFolder& here, const std::string& folder) {
    static std::mt19937 random{std::random_device{}()};
    for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
      char name[16];
      std::snprintf(name, sizeof name, "SV%06X", static_cast<unsigned>(random() & 0xFFFFFF));
      int error = journal_ != nullptr ? journal_->FillingGap(text::JoinPath(folder, name)) : 0;
      if (error == 0) error = here.MakeEmptyFile(name);
      if (error == 0) {
        fillers_.emplace_back(name);
        return true;
      }
      if (error != EEXIST) return Fail(error, text::JoinPath(folder, name));
    }
    return Fail(EEXIST, folder);
  }

  void RemoveFillers(const ContainedFolder& here) {
    for (const std::string& name : fillers_) {
      const std::optional<EntryStatus> status = here.StatusOf(name);
      if (status && status->kind == EntryStatus::Kind::kFile && status->sizeBytes == 0)
        (void)here.RemoveFileIfUnchanged(name, *status);  // a leftover goes with the journal
    }
    fillers_.clear();
  }

  const ContainedFolder& destination_;
  const std::vector<ArrangedFile>& files_;
  const std::vector<std::string>& skipped_;
  ArrangeJournal* const journal_;
  const std::string holdingFolder_;
  std::vector<std::string> current_;                        // where each file is now
  std::vector<bool> reached_;                               // moved, or found in order
  std::set<std::pair<std::uint64_t, std::uint64_t>> ours_;  // the files' device and inode
  bool fat_ = false;
  Listing listing_ = Listing::kUntested;
  Capability folderMoves_ = Capability::kUntested;
  std::vector<std::string> fillers_;
  // The files moved for the folder being arranged, and where each was before.
  std::vector<std::pair<std::size_t, std::string>> moves_;
  ArrangeResult result_;
};

}  // namespace

ArrangeResult ArrangeInPlayOrder(const ContainedFolder& destination,
                                 const std::vector<ArrangedFile>& files,
                                 const std::vector<std::string>& skipped, ArrangeJournal* journal,
                                 const std::string& holdingFolder) {
  return Arranger(destination, files, skipped, journal, holdingFolder).Run();
}

std::vector<std::pair<std::string, std::string>> FinishArranging(const ContainedFolder& destination,
                                                                 const std::string& folder,
                                                                 const std::string& temporary) {
  std::vector<std::pair<std::string, std::string>> moved;
  if (!ContainedFolder::IsContainedPath(temporary) ||
      !platform::IsHiddenSiblingName(text::LastName(temporary), kTemporarySuffix) ||
      (!folder.empty() && !ContainedFolder::IsContainedPath(folder)))
    return moved;
  const std::optional<Opened> waiting = Open(destination, temporary);
  if (!waiting) return moved;
  if (!folder.empty() && !destination.StatusOf(folder)) {
    // Cut off between the folder's going and the temporary's taking its name.
    const std::optional<Opened> from = Open(destination, text::ParentPath(temporary));
    const std::optional<Opened> to = Open(destination, text::ParentPath(folder));
    if (from && to && (*from)->MoveTo(text::LastName(temporary), **to, text::LastName(folder)) == 0)
      moved.emplace_back(temporary, folder);
    return moved;
  }
  const std::optional<Opened> target = Open(destination, folder);
  std::vector<std::string> names;
  if (!target || (*waiting)->ListNames(names) != 0) return moved;
  for (const std::string& name : names) {
    // An empty folder whose name the folder holds is what holds a folder's new name for
    // the instant before it moves (MoveTo), left by a move cut off.
    const std::optional<platform::EntryStatus> status = (*waiting)->StatusOf(name);
    if (status && status->kind == platform::EntryStatus::Kind::kFolder &&
        (*target)->StatusOf(name) && (*waiting)->RemoveFolderIfEmpty(name) == 0)
      continue;
    std::string placed = name;
    int error = (*waiting)->MoveTo(name, **target, placed);
    for (unsigned number = 2; error == EEXIST && number <= kAttempts; ++number) {
      placed = transfer::NumberedName(name, number);
      error = (*waiting)->MoveTo(name, **target, placed);
    }
    if (error != 0) return moved;  // the rest waits for the next run
    moved.emplace_back(text::JoinPath(temporary, name), text::JoinPath(folder, placed));
  }
  (void)destination.RemoveFolderIfEmpty(temporary);
  return moved;
}

}  // namespace sorvina::engine
