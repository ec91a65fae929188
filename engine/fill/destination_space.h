// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "engine/draw/weighted_draw.h"
#include "platform/file_system.h"

namespace sorvina::engine {

// What filling the copy destination's free space keeps free besides what each file is
// charged (DestinationSpace): the unused rest of the clusters that folders hold already,
// which new entries may need, and the file system's own bookkeeping. Four allocation
// units, and at least 64 KiB: 128 KiB on a player with 32 KiB clusters.
std::int64_t FreeSpaceReserve(std::uint64_t allocationUnit);

// The allowance for "free": the space unprivileged writes may still take, less the
// reserve; never below 0.
std::int64_t FreeSpaceBudget(const platform::FileSystemSpace& space);

// What a copied file takes from the destination's free space: its size rounded up to the
// allocation unit (the cluster on FAT and exFAT), room for its directory entries, and for
// the first file in a folder not made yet, one allocation unit for that folder and its
// entry in the folder above. A folder counts as new until a chosen file lies in it; one
// that exists on the destination already is charged too, which errs on the safe side.
class DestinationSpace : public SpaceAccount {
 public:
  // `relativeTarget` gives where a candidate goes below the destination, names
  // separated by '/'.
  DestinationSpace(std::uint64_t allocationUnit,
                   std::function<std::string(const Candidate&)> relativeTarget);

  // Each chosen file also adds lines to files the run writes onto the destination after
  // the copies (the record of the fill, a playlist there), which are written whole while
  // their old versions still stand: `linesOf` gives how many bytes a file adds, given
  // where it goes; `written` is what those files hold before any file is added. The
  // clusters they fill are charged to the files whose lines fill them.
  void ChargeListings(std::function<std::int64_t(const Candidate&, const std::string&)> linesOf,
                      std::int64_t written);

  std::int64_t CostOf(const Candidate& candidate) const override;
  std::int64_t MinimumFor(std::int64_t sizeBytes) const override;
  void Chosen(const Candidate& candidate) override;

 private:
  std::int64_t RoundedUp(std::int64_t sizeBytes) const;
  std::int64_t ListingCost(const Candidate& candidate, const std::string& target) const;

  std::int64_t unit_;
  std::function<std::string(const Candidate&)> relativeTarget_;
  std::set<std::string, std::less<>> folders_;  // below the destination, already charged
  std::function<std::int64_t(const Candidate&, const std::string&)> linesOf_;
  std::int64_t listed_ = 0;  // bytes of the listings so far
};

// Room for the directory entries of one name of `nameBytes` bytes as FAT (a long-name
// entry per 13 characters, and the short entry) and exFAT (a name entry per 15 characters,
// and two more) store them, with one to spare, counted for the name and for the longer
// hidden name the file is written under before it takes its own.
std::int64_t DirectoryEntryBytes(std::size_t nameBytes);

}  // namespace sorvina::engine
