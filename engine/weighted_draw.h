#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/candidate_pool.h"
#include "engine/random_generator.h"

namespace sorvina::engine {

// What ends a draw besides an empty pool: a remaining allowance of bytes or of seconds.
struct DrawLimit {
  enum class Kind { kNone, kBytes, kSeconds };
  Kind kind = Kind::kNone;
  std::int64_t budget = 0;
};

inline constexpr std::int64_t kBytesPerMegabyte = 1048576;
inline constexpr std::int64_t kSecondsPerHour = 3600;

// Converts a typed amount ("650", "1.5") into whole units: number x unitsPerAmount + 0.5,
// truncated. Amounts beyond the 64-bit range give the largest budget; texts without a
// number, negative amounts and anything under one unit give 0 (which the caller refuses).
std::int64_t AmountToBudget(std::string_view amountText, std::int64_t unitsPerAmount);

// One draw attempt: walks the pool from its head with a running sum and returns the first
// candidate whose span [sum, sum + weight] holds `target` (both ends inclusive, so a
// border goes to the earlier candidate), or kNone when the walk passes every candidate.
CandidatePool::Index WalkToTarget(const CandidatePool& pool, double target);

// Playing time of a drawn candidate, asked only in the seconds mode and only once per
// drawn file.
using DurationOf = std::function<std::int64_t(const Candidate&)>;

// Draws candidates one by one, each with a chance proportional to its weight, without
// replacement, until the pool is empty or a drawn file does not fit the remaining
// allowance (a file that does not fit ends the draw; no smaller file is looked for).
// Returns the chosen candidates in draw order; they leave the pool.
//
// The draw always ends. A missed walk (the running total has drifted above the exact sum)
// is retried with a new number; after a second miss in a row the total is recomputed
// exactly, and after a third the first candidate in pool order is drawn. This also ends
// draws over pools whose remaining weights are all zero or negative.
std::vector<Candidate> DrawCandidates(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                                      const DurationOf& durationOf = {});

}  // namespace sorvina::engine
