// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/draw/count_tree.h"
#include "engine/draw/grouped_pick.h"
#include "engine/draw/prefix_sum_tree.h"
#include "engine/draw/random_generator.h"

namespace sorvina::engine {

// What a file takes from an allowance of bytes where that is more than its size: the
// space it will take on the copy destination, which may depend on the files chosen
// before it (the first file in a new folder pays for the folder).
class SpaceAccount {
 public:
  virtual ~SpaceAccount() = default;
  // What `candidate` takes if it is chosen now; never less than MinimumFor(its size).
  virtual std::int64_t CostOf(const Candidate& candidate) const = 0;
  // The least that any file of `sizeBytes` takes; never falls as the size grows.
  virtual std::int64_t MinimumFor(std::int64_t sizeBytes) const = 0;
  // `candidate` was chosen at the cost CostOf gave.
  virtual void Chosen(const Candidate& candidate) = 0;
};

// Whether a drawn file may be chosen at all, whatever it costs: a player may refuse it, or
// have no room left for the folder it needs.
class CandidateGate {
 public:
  virtual ~CandidateGate() = default;
  // Whether `candidate` may be chosen now; one refused leaves the pool unchosen.
  virtual bool Admits(const Candidate& candidate) = 0;
  // `candidate`, admitted, was chosen.
  virtual void Chosen(const Candidate& candidate) = 0;
};

// What ends a draw besides an empty pool: a remaining allowance of bytes or of seconds.
struct DrawLimit {
  enum class Kind { kNone, kBytes, kSeconds };
  Kind kind = Kind::kNone;
  std::int64_t budget = 0;
  // A drawn file that does not fit leaves the pool unchosen and the draw goes on, until
  // the pool is empty, no remaining file is small enough (bytes) or no second is left
  // (seconds). False: the first file that does not fit ends the draw.
  bool keepFilling = false;
  // Bytes only: how much each file takes; none: its size.
  SpaceAccount* space = nullptr;
  // Any kind: decides first whether a drawn file may be chosen at all (a refused one
  // leaves the pool and the draw goes on); none: every file may.
  CandidateGate* gate = nullptr;
};

// What a draw measured, in the limit's unit (bytes or seconds), for telling the user.
struct DrawReport {
  // What each chosen file took from the allowance, in draw order.
  std::vector<std::int64_t> chosenAmounts;
  // The first drawn file that did not fit (what ends a draw that does not keep filling),
  // and the least of every file found not to fit, -1 when there was none. In a filled
  // bytes draw the smallest file still in the pool at its end counts as found.
  std::int64_t firstMiss = -1;
  std::int64_t smallestMiss = -1;

  // A drawn file (or album) that did not fit took `amount`.
  void NoteMiss(std::int64_t amount) {
    if (firstMiss < 0) firstMiss = amount;
    if (smallestMiss < 0 || amount < smallestMiss) smallestMiss = amount;
  }
};

// Playing time of a drawn candidate, asked only in the seconds mode and only once per
// drawn file.
using DurationOf = std::function<std::int64_t(const Candidate&)>;

// What `candidate`, of `sizeBytes`, takes from the allowance of `limit` if it is chosen
// now: its playing time (seconds; `durationOf` is asked), what the space account says
// (bytes, with one), else its size. `candidate` may be left empty where none of these
// needs it.
std::int64_t DrawCost(const DrawLimit& limit, const Candidate& candidate, std::int64_t sizeBytes,
                      const DurationOf& durationOf);

// Charges `candidate`, chosen at `cost` (DrawCost's), against `limit`: where there is an
// allowance, the cost leaves the budget, the space account takes the file and the report
// notes the amount; the gate, where there is one, is told of the choice in any case.
void ChargeChosen(DrawLimit& limit, const Candidate& candidate, std::int64_t cost,
                  DrawReport& report);

inline constexpr std::int64_t kBytesPerMegabyte = 1048576;
inline constexpr std::int64_t kSecondsPerHour = 3600;

// Converts an amount (650 MB, 1.5 hours) into whole units: amount x unitsPerAmount + 0.5,
// truncated. Amounts beyond the 64-bit range give the largest budget; negative amounts,
// anything under one unit and what is no number give 0 (which the caller refuses).
std::int64_t AmountToBudget(double amount, std::int64_t unitsPerAmount);

// One draw attempt: walks the pool from its head with a running sum and returns the first
// candidate whose span [sum, sum + weight] holds `target` (both ends inclusive, so a
// border goes to the earlier candidate), or kNone when the walk passes every candidate.
CandidatePool::Index WalkToTarget(const CandidatePool& pool, double target);

// Whether every running sum a walk over the pool can form is exact in double precision:
// the weights are finite, none is negative, all are whole multiples of one power of two,
// and their sum, in those units, stays below 2^53. The pool's total must equal that exact
// sum (it does unless inexact weights were added and removed before). Weights such as
// 1.0, 2.0 and 0.25 qualify; 2.33 next to 1.0 does not.
bool RunningSumsAreExact(const CandidatePool& pool);

// Answers WalkToTarget in O(log n) per draw, with the very same answer, for any pool whose
// weights are finite and not negative: a prefix-sum tree over the pool order, in whole
// units of a power of two, finds the candidate whose exact span holds the target. Where
// the walk's running sums are exact, that is the walk's answer. Elsewhere the walk's sums
// stray from the exact ones by rounding, within a bound the tree knows (see the .cpp):
// where the target lies farther than that from the borders of the span, the walk draws the
// same candidate; where it lies nearer, which is rare, the walk itself is taken.
class ExactWalk {
 public:
  // Empty when a weight is negative, infinite or not a number, the sum overflows, or the
  // pool holds 2^40 candidates or more (beyond the rounding bound's reach).
  static std::optional<ExactWalk> For(const CandidatePool& pool);

  // The candidate WalkToTarget(pool, target) returns, for the pool this was made for with
  // the removals since told to Forget.
  CandidatePool::Index Walk(const CandidatePool& pool, double target) const;

  // To be called as the candidate at `index` leaves the pool.
  void Forget(CandidatePool::Index index);

  // For a draw of the whole pool with no limit, where every weight left is the same: the
  // candidates in the order that drawing them one by one with `random` takes them, found
  // all at once, which is several times faster; the numbers are used as that draw uses
  // them. Empty, with no number used, for other weights or a pool this does not hold as it
  // was made.
  std::optional<std::vector<CandidatePool::Index>> WalkAll(const CandidatePool& pool,
                                                           RandomGenerator& random) const;

  // How many walks fell near a border and were left to WalkToTarget.
  std::size_t walksNearBorders() const { return walksNearBorders_; }

 private:
  // How the tree answers.
  enum class Mode {
    // Every weight left is the same, and every running sum exact (the default weights):
    // the walk draws the candidate whose place in pool order the target gives, which a
    // count of the candidates left finds.
    kEqualWeights,
    // Every running sum exact: the walk draws where the exact prefix sums say.
    kExactSums,
    // Running sums round: the exact prefix sums decide away from borders.
    kRoundedSums,
  };

  // kEqualWeights: the rank, counted from the oldest of the `left` candidates, of the
  // one a walk to x units draws; 0 when it passes them all.
  std::uint64_t RankFromOldest(double x, std::uint64_t left) const;

  ExactWalk(CandidatePool::Index newest, int unitExponent, Mode mode)
      : newest_(newest), unitExponent_(unitExponent), mode_(mode) {}

  // The pool is walked from the newest candidate to the oldest, and indices grow with
  // age reversed, so a candidate's place in the walk is `newest_ - index`; candidates
  // gone before the walk was made hold 0 there.
  CandidatePool::Index newest_;
  int unitExponent_;  // the trees count in units of 2^unitExponent_
  Mode mode_;
  std::uint64_t unitsPerWeight_ = 0;   // kEqualWeights: the one weight, in units
  std::optional<CountTree> left_;      // kEqualWeights: the candidates left, by index
  std::optional<PrefixSumTree> sums_;  // the others: the weights in walk order, in units
  mutable std::size_t walksNearBorders_ = 0;
};

// How the draw finds the drawn candidate. Both give the same selection for the same pool
// and seed; the fast one takes ExactWalk wherever the weights are finite and not negative.
enum class DrawMethod { kFastest, kReferenceWalk };

// Draws candidates one by one, each with a chance proportional to its weight, without
// replacement, until the pool is empty or a drawn file does not fit the remaining
// allowance (a file that does not fit ends the draw; no smaller file is looked for).
// Returns the chosen candidates in draw order, as the pool holds them (their paths are
// the pool's: ToCandidates gives them paths of their own); they leave the pool. With
// `limit.keepFilling`, a file that does not fit leaves the pool too and the draw goes on
// with the next number: the files chosen are those of the draw that stops, followed by
// what the continued draw takes. `report`, where given, receives what was measured.
//
// The draw always ends. A missed walk (the running total has drifted above the exact sum)
// is retried with a new number; after a second miss in a row the total is recomputed
// exactly, and after a third the first candidate in pool order is drawn. This also ends
// draws over pools whose remaining weights are all zero or negative.
std::vector<PooledCandidate> DrawCandidates(CandidatePool& pool, RandomGenerator& random,
                                            DrawLimit limit, const DurationOf& durationOf = {},
                                            DrawMethod method = DrawMethod::kFastest,
                                            DrawReport* report = nullptr);

// Draws as DrawCandidates does, with the same limits, but each pick first draws one of
// `groups` (an artist's songs, an album, a folder), weighted by the mean weight of its
// candidates still in the pool, and then one of those by its weight: a group of 500 songs
// is no likelier than one of 5. Where no weight above 0 is left, the first candidate in
// pool order is drawn, as DrawCandidates draws it.
std::vector<PooledCandidate> DrawGrouped(CandidatePool& pool, RandomGenerator& random,
                                         DrawLimit limit, const DrawGroups& groups,
                                         const DurationOf& durationOf = {},
                                         DrawReport* report = nullptr);

}  // namespace sorvina::engine
