// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/contained_folder.h"

namespace sorvina::engine {

// One file of a fill: where it lies on the destination now, and where it is to be when
// the fill is over (paths below the destination, names separated by '/').
struct ArrangedFile {
  std::string current;
  std::string target;
};

// Told ahead of every step that moves files, so that a run cut off part-way can be put
// right by the next one (FinishArranging). Each call's line must reach the system before
// the step it announces: the calls ahead of a step return 0, or the errno value of a
// failure, which stops the arranging before the step (a file moved where no journal
// tells of it might stay hidden in a temporary). Folders below the destination are named
// by their paths, the destination itself by "".
class ArrangeJournal {
 public:
  virtual ~ArrangeJournal() = default;
  // `folder` is about to be rebuilt in `temporary` (for the destination: its files are
  // about to wait in `temporary` and come back in order).
  [[nodiscard]] virtual int Arranging(const std::string& folder, const std::string& temporary) = 0;
  // A file is about to be moved from `from` to `to`.
  [[nodiscard]] virtual int Moving(const std::string& from, const std::string& to) = 0;
  // An empty file of ours is about to be made at `relative`, to take a free place among
  // the destination's entries; it goes again before the destination is arranged.
  [[nodiscard]] virtual int FillingGap(const std::string& relative) = 0;
  // `folder` holds its content under its own name again; `temporary` is gone.
  virtual void Arranged(const std::string& folder, const std::string& temporary) = 0;
  // The folders `folders` (from the top down) are about to be made for files' targets.
  [[nodiscard]] virtual int WillMakeFolders(const std::vector<std::string>& folders) = 0;
  // The folder `relative` was made for a file's target.
  virtual void FolderMade(const std::string& relative) = 0;
};

struct ArrangeResult {
  // For each file given, in the same order, where it is now: its target (numbered where
  // the name was taken), or after a failure wherever it was left, on the destination;
  // nothing for a file the arranging did not reach, which stays where it was.
  std::vector<std::optional<std::string>> placed;
  // The folders made for targets, from the top down.
  std::vector<std::string> madeFolders;
  int error = 0;  // errno of the first failure; 0 when every folder was arranged
  std::string failedPath;
};

// Puts the files, given in play order, at their targets, so that every folder that holds
// one lists them, in its directory entries, in that order, ahead of anything else it
// holds (which keeps its own order). A folder is rebuilt in a fresh hidden sibling
// ".NAME.<16 hex digits>.order": the files are moved there in order (never copied), then
// what else the folder held, then the sibling takes the folder's name; a folder already
// in order is left alone. Deeper folders go first, so that the folders rebuilt inside one
// are in place before it is.
//
// The destination itself cannot be swapped (it may be a volume's root, held open by the
// run): its files leave for a hidden folder in `holdingFolder` and come back in order,
// while what else it holds stays where it is; they are then in play order among
// themselves, with the user's entries where they were (see play_order.cpp for what the
// volumes do with the places freed). So are the folders of a volume that cannot move
// folders. `holdingFolder` is a folder below the destination that holds none of the
// files (the record's folder); where empty, the hidden folder is made in the destination
// itself.
//
// A target name held by something that is not one of the files gets " (2)" (" (3)", ...)
// before its extension. `skipped`: top-level entries of the destination never touched
// (the record's folder). On the first failure the arranging stops, puts the folder it
// was rebuilding back together where the volume still allows, and says why; every file
// stays somewhere on the destination, and the journal lets the next run finish the rest.
ArrangeResult ArrangeInPlayOrder(const platform::ContainedFolder& destination,
                                 const std::vector<ArrangedFile>& files,
                                 const std::vector<std::string>& skipped, ArrangeJournal* journal,
                                 const std::string& holdingFolder = {});

// Puts right a rebuild of `folder` in `temporary` that was cut off: when the folder is
// gone, the temporary takes its name; else everything in the temporary goes back into
// the folder (numbered where a name is taken meanwhile) and the temporary is removed.
// Returns where the entries it moved now are, as (path before, path after) pairs; a
// folder's pair stands for everything in it. Only a temporary named as
// ArrangeInPlayOrder names them is looked at, and nothing is ever removed but that
// temporary, once empty.
std::vector<std::pair<std::string, std::string>> FinishArranging(
    const platform::ContainedFolder& destination, const std::string& folder,
    const std::string& temporary);

}  // namespace sorvina::engine
