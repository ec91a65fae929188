// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/destination_space.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace sorvina::engine {
namespace {

constexpr std::int64_t kEntryBytes = 32;
constexpr std::size_t kCharactersPerEntry = 13;
// ".NAME.<random>.part" is at most this much longer than NAME.
constexpr std::size_t kHiddenNameExtra = 24;
constexpr std::int64_t kLeastReserve = 64 * 1024;
constexpr std::int64_t kReserveUnits = 4;

std::int64_t EntriesFor(std::size_t nameBytes) {
  const auto nameEntries =
      static_cast<std::int64_t>((nameBytes + kCharactersPerEntry - 1) / kCharactersPerEntry);
  return kEntryBytes * (3 + nameEntries);
}

}  // namespace

std::int64_t DirectoryEntryBytes(std::size_t nameBytes) {
  return EntriesFor(nameBytes) + EntriesFor(nameBytes + kHiddenNameExtra);
}

std::int64_t FreeSpaceReserve(std::uint64_t allocationUnit) {
  return std::max<std::int64_t>(kLeastReserve,
                                kReserveUnits * static_cast<std::int64_t>(allocationUnit));
}

std::int64_t FreeSpaceBudget(const platform::FileSystemSpace& space) {
  const auto available = static_cast<std::int64_t>(
      std::min<std::uint64_t>(space.availableBytes, std::uint64_t{1} << 62));
  return std::max<std::int64_t>(0, available - FreeSpaceReserve(space.allocationUnit));
}

DestinationSpace::DestinationSpace(std::uint64_t allocationUnit,
                                   std::function<std::string(const Candidate&)> relativeTarget)
    : unit_(static_cast<std::int64_t>(std::max<std::uint64_t>(allocationUnit, 1))),
      relativeTarget_(std::move(relativeTarget)) {}

std::int64_t DestinationSpace::MinimumFor(std::int64_t sizeBytes) const {
  return RoundedUp(sizeBytes) + DirectoryEntryBytes(1);
}

std::int64_t DestinationSpace::RoundedUp(std::int64_t sizeBytes) const {
  return (sizeBytes + unit_ - 1) / unit_ * unit_;
}

void DestinationSpace::ChargeListings(
    std::function<std::int64_t(const Candidate&, const std::string&)> linesOf,
    std::int64_t written) {
  linesOf_ = std::move(linesOf);
  listed_ = written;
}

std::int64_t DestinationSpace::ListingCost(const Candidate& candidate,
                                           const std::string& target) const {
  if (!linesOf_) return 0;
  return RoundedUp(listed_ + linesOf_(candidate, target)) - RoundedUp(listed_);
}

std::int64_t DestinationSpace::CostOf(const Candidate& candidate) const {
  const std::string target = relativeTarget_(candidate);
  std::int64_t cost = RoundedUp(candidate.sizeBytes) + ListingCost(candidate, target);
  std::size_t nameBegin = 0;
  for (std::size_t slash = target.find('/'); slash != std::string::npos;
       slash = target.find('/', nameBegin)) {
    if (!folders_.contains(std::string_view(target).substr(0, slash)))
      cost += unit_ + DirectoryEntryBytes(slash - nameBegin);
    nameBegin = slash + 1;
  }
  return cost + DirectoryEntryBytes(target.size() - nameBegin);
}

void DestinationSpace::Chosen(const Candidate& candidate) {
  const std::string target = relativeTarget_(candidate);
  if (linesOf_) listed_ += linesOf_(candidate, target);
  for (std::size_t slash = target.find('/'); slash != std::string::npos;
       slash = target.find('/', slash + 1))
    folders_.emplace(target.substr(0, slash));
}

}  // namespace sorvina::engine
