// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/weighted_draw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory_resource>
#include <utility>
#include <vector>

#include "platform/memory_advice.h"
#include "text/decimal.h"

namespace sorvina::engine {
namespace {

// 2^63 as a double: the first value that no longer fits a signed 64-bit count.
constexpr double kTwoTo63 = 9223372036854775808.0;

// 2^53: from here on, not every whole number is a double.
constexpr std::uint64_t kExactIntegerLimit = std::uint64_t{1} << 53;

// Picks the next candidate with `walk` (target -> index or kNone), retrying missed walks
// as described in the header.
template <typename Walk>
CandidatePool::Index PickCandidate(CandidatePool& pool, RandomGenerator& random, const Walk& walk) {
  for (int misses = 0;; ++misses) {
    if (misses == 2) pool.RecomputeTotalWeight();
    if (misses == 3) return pool.head();
    const double target = random.NextDouble() * pool.totalWeight();
    const CandidatePool::Index drawn = walk(target);
    if (drawn != CandidatePool::kNone) return drawn;
  }
}

// The exponent of the lowest set bit of a finite, positive double: weight = odd * 2^that.
int LowestBitExponent(double weight) {
  int exponent = 0;
  const double fraction = std::frexp(weight, &exponent);  // weight = fraction * 2^exponent
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  return exponent - 53 + std::countr_zero(mantissa);
}

// Pools of this many candidates or more keep the walk: the error bound of the exact walk
// assumes fewer (see ExactWalk::For).
constexpr std::size_t kLargestExactPool = std::size_t{1} << 40;

// The exact walk's units are chosen so that the sum of the weights stays below 2^61 units
// by the walk's own reckoning, and so below 2^62 exactly.
constexpr int kUnitsBitsBelowTotal = 61;
constexpr std::uint64_t kUnitsBeyond = std::uint64_t{1} << 63;

// When every running sum over the pool is exact (RunningSumsAreExact): the exponent of the
// weights' common unit (0 when none is positive).
std::optional<int> ExactUnitExponent(const CandidatePool& pool) {
  // The common unit: the smallest lowest set bit among the weights.
  // Weights come in runs of the same value (a folder's), so the exponents are worked out
  // only where the weight changes.
  int unitExponent = std::numeric_limits<int>::max();
  double previous = 0.0;
  const bool refused = pool.FindInOrder([&](CandidatePool::Index index) {
    const double weight = pool.weight(index);
    if (weight == previous) return false;
    previous = weight;
    if (!(weight >= 0.0) || !std::isfinite(weight)) return true;
    if (weight > 0.0) unitExponent = std::min(unitExponent, LowestBitExponent(weight));
    return false;
  }) != CandidatePool::kNone;
  if (refused) return std::nullopt;
  if (unitExponent == std::numeric_limits<int>::max()) {
    if (pool.totalWeight() != 0.0) return std::nullopt;
    return 0;
  }

  // The sum in whole units, which must stay where every whole number is a double.
  std::uint64_t units = 0;
  previous = 0.0;
  std::uint64_t previousUnits = 0;
  const bool tooLarge = pool.FindInOrder([&](CandidatePool::Index index) {
    const double weight = pool.weight(index);
    if (weight != previous) {
      previous = weight;
      const double weightUnits = std::ldexp(weight, -unitExponent);
      if (!(weightUnits < static_cast<double>(kExactIntegerLimit))) return true;
      previousUnits = static_cast<std::uint64_t>(weightUnits);
    }
    units += previousUnits;
    return units >= kExactIntegerLimit;
  }) != CandidatePool::kNone;
  if (tooLarge) return std::nullopt;
  if (pool.totalWeight() != std::ldexp(static_cast<double>(units), unitExponent))
    return std::nullopt;
  return unitExponent;
}

// How far, in the exact walk's units, the walk's running sum after `rank` candidates may
// lie from the tree's prefix sum `units` there (see ExactWalk::For).
std::uint64_t Slack(std::uint64_t rank, std::uint64_t units) {
  // rank (units + rank) u, raised by 2^-9 for the bound's 1.001 and the four roundings
  // of this computation (two conversions, two products), each by at most a factor of
  // 1 - u: (1 + 2^-9)(1 - 4u) > 1.001. The scaling by 2^-53 and the ceiling are exact.
  constexpr double kRaised = 1.0 + 0x1p-9;
  const double rounding = std::ceil(
      std::ldexp(static_cast<double>(rank) * static_cast<double>(units + rank) * kRaised, -53));
  return static_cast<std::uint64_t>(rounding) + rank + 1;
}

// The size of the smallest candidate still in the pool, found without a walk: a heap of
// the sizes, made once in linear time, from which a candidate's entry is dropped only once
// it has left the pool and is on top; most fills never need more than a few drops.
class SmallestRemaining {
 public:
  explicit SmallestRemaining(const CandidatePool& pool) {
    heap_.reserve(pool.count());
    for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
      heap_.emplace_back(pool[i].sizeBytes, i);
    std::make_heap(heap_.begin(), heap_.end(), std::greater<>());
    gone_.assign(pool.count() == 0 ? 0 : pool.head() + 1, false);
  }

  void Forget(CandidatePool::Index index) { gone_[index] = true; }

  // The pool must not be empty.
  std::int64_t Size() {
    while (gone_[heap_.front().second]) {
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
      heap_.pop_back();
    }
    return heap_.front().first;
  }

 private:
  std::vector<std::pair<std::int64_t, CandidatePool::Index>> heap_;  // smallest on top
  std::vector<bool> gone_;
};

// The records of the chosen candidates, in draw order. They are copied only now, after
// the draw, whose every step waits for the memory that its search reads: here each
// record can be fetched well before it is copied, many at a time. The paths stay where
// the pool keeps them: a library's worth of strings made here would cost more than the
// whole draw.
std::vector<PooledCandidate> ChosenRecords(const CandidatePool& pool,
                                           const std::vector<CandidatePool::Index>& chosen) {
  constexpr std::size_t kFetchAhead = 16;
  std::vector<PooledCandidate> records;
  records.reserve(chosen.size());
  platform::AdviseLargePages(records.data(), chosen.size() * sizeof(PooledCandidate));
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (i + kFetchAhead < chosen.size()) pool.PrefetchRecord(chosen[i + kFetchAhead]);
    records.push_back(pool[chosen[i]]);
  }
  return records;
}

// The draw loop, with `walk` finding each drawn candidate and `beforeRemove` told of each
// candidate just before it leaves the pool.
template <typename Pick, typename BeforeRemove>
std::vector<PooledCandidate> Draw(CandidatePool& pool, DrawLimit limit,
                                  const DurationOf& durationOf, const Pick& pick,
                                  const BeforeRemove& beforeRemove, DrawReport& report) {
  using Kind = DrawLimit::Kind;
  std::vector<CandidatePool::Index> chosen;
  if (limit.kind == Kind::kNone) chosen.reserve(pool.count());
  const bool filling = limit.keepFilling && limit.kind != Kind::kNone;
  std::optional<SmallestRemaining> smallest;
  if (filling && limit.kind == Kind::kBytes) smallest.emplace(pool);
  const auto minimumCost = [&limit](std::int64_t sizeBytes) {
    return limit.space != nullptr ? limit.space->MinimumFor(sizeBytes) : sizeBytes;
  };
  const auto leave = [&](CandidatePool::Index index) {
    beforeRemove(index);
    if (smallest) smallest->Forget(index);
    pool.Remove(index);
  };

  while (pool.count() > 0) {
    if (filling && limit.kind == Kind::kSeconds && limit.budget == 0) break;
    if (smallest) {
      const std::int64_t least = minimumCost(smallest->Size());
      if (least > limit.budget) {
        report.NoteMiss(least);
        break;
      }
    }
    const CandidatePool::Index drawn = pick();
    // Only a gate, a duration or a destination's cost needs the candidate whole.
    const bool whole =
        limit.gate != nullptr || limit.kind == Kind::kSeconds || limit.space != nullptr;
    const Candidate candidate = whole ? ToCandidate(pool[drawn]) : Candidate{};
    if (limit.gate != nullptr && !limit.gate->Admits(candidate)) {
      leave(drawn);
      continue;
    }
    std::int64_t cost = 0;
    if (limit.kind != Kind::kNone) {
      cost = DrawCost(limit, candidate, pool[drawn].sizeBytes, durationOf);
      if (cost > limit.budget) {
        report.NoteMiss(cost);
        if (!filling) break;
        leave(drawn);
        continue;
      }
    }
    ChargeChosen(limit, candidate, cost, report);
    leave(drawn);
    chosen.push_back(drawn);
  }
  return ChosenRecords(pool, chosen);
}

}  // namespace

std::int64_t AmountToBudget(double amount, std::int64_t unitsPerAmount) {
  const double units = amount * static_cast<double>(unitsPerAmount) + 0.5;
  if (!(units >= 1.0)) return 0;
  if (units >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(units);
}

std::int64_t DrawCost(const DrawLimit& limit, const Candidate& candidate, std::int64_t sizeBytes,
                      const DurationOf& durationOf) {
  if (limit.kind == DrawLimit::Kind::kSeconds) return durationOf(candidate);
  if (limit.kind == DrawLimit::Kind::kBytes && limit.space != nullptr)
    return limit.space->CostOf(candidate);
  return sizeBytes;
}

void ChargeChosen(DrawLimit& limit, const Candidate& candidate, std::int64_t cost,
                  DrawReport& report) {
  if (limit.kind != DrawLimit::Kind::kNone) {
    limit.budget -= cost;
    if (limit.space != nullptr) limit.space->Chosen(candidate);
    report.chosenAmounts.push_back(cost);
  }
  if (limit.gate != nullptr) limit.gate->Chosen(candidate);
}

CandidatePool::Index WalkToTarget(const CandidatePool& pool, double target) {
  double sum = 0.0;
  return pool.FindInOrder([&](CandidatePool::Index index) {
    const double through = sum + pool.weight(index);
    if (sum <= target && target <= through) return true;
    sum = through;
    return false;
  });
}

bool RunningSumsAreExact(const CandidatePool& pool) {
  return ExactUnitExponent(pool).has_value();
}

// The walk's answer from the tree.
//
// Let the remaining weights in walk order be w_0, w_1, ... (finite, not negative), their
// exact prefix sums E_k = w_0 + ... + w_(k-1), and the walk's running sums S_0 = 0,
// S_(k+1) = fl(S_k + w_k), rounded to nearest in double precision (u = 2^-53). The walk
// draws the first k with S_k <= t <= S_(k+1); as the weights are not negative, the S_k
// never fall, so that is the first k with S_(k+1) >= t (for t > 0; S_0 = 0 < t).
//
// Bound. A sum rounded to nearest is (S_k + w_k)(1 + d) with |d| <= u (exactly so where
// the result is subnormal: sums there are exact), so the error e_k = |S_k - E_k| obeys
//   e_(k+1) <= e_k + u (S_k + w_k) <= e_k + u (E_(k+1) + e_k) = (1 + u) e_k + u E_(k+1).
// With e_0 = 0 and E_k never falling, induction gives e_k <= ((1 + u)^k - 1) E_k, and for
// k u <= 2^-13 (pools under 2^40 candidates) (1 + u)^k - 1 <= e^(ku) - 1 <= 1.001 k u:
//   |S_k - E_k| <= 1.001 k u E_k.
//
// The tree holds each weight in whole units of 2^unitExponent_, rounded down (the units
// are made so that the whole sum stays below 2^62), so its prefix sums P_k obey
// P_k <= E_k / unit <= P_k + k. Together, with t / unit = x and r = floor(x):
//   |S_k / unit - P_k| <= 1.001 k u (P_k + k) + k <= Slack(k, P_k),
// Slack(k, P) = ceil((1 + 2^-9) u k (P + k)) + k + 1, computed so that the rounding of its
// own computation cannot take it below that bound. The tree finds the first k* with
// P_(k*+1) >= r + 1. If P_k* + Slack < r, then S_k* / unit < r <= x, so every S_j, j <= k*, lies
// below t; if P_(k*+1) - Slack >= r + 1, then S_(k*+1) / unit > x, so the walk draws k* too. With
// no such k*, P_n <= r, and P_n + Slack < r makes every running sum fall short: the walk
// draws nothing. The rank k of a candidate is at most its place in the tree plus one and
// at most the count of the pool, which is what Slack is given. Anywhere else the target
// lies within the slack of a border, and the walk itself decides.
//
// Where the running sums are exact (RunningSumsAreExact), the units are the weights'
// common power of two, so P_k = E_k / unit = S_k / unit, and the walk draws the first k
// with P_(k+1) >= x, that is P_(k+1) >= ceil(x).
std::optional<ExactWalk> ExactWalk::For(const CandidatePool& pool) {
  if (pool.count() >= kLargestExactPool) return std::nullopt;
  double sum = 0.0;
  bool equalWeights = pool.count() > 0;
  const double first = pool.count() > 0 ? pool.weight(pool.head()) : 0.0;
  const bool refused = pool.FindInOrder([&](CandidatePool::Index index) {
    const double weight = pool.weight(index);
    if (!(weight >= 0.0) || !std::isfinite(weight)) return true;
    sum += weight;
    equalWeights =
        equalWeights && std::bit_cast<std::uint64_t>(weight) == std::bit_cast<std::uint64_t>(first);
    return false;
  }) != CandidatePool::kNone;
  if (refused || !std::isfinite(sum)) return std::nullopt;

  const std::optional<int> exactUnit = ExactUnitExponent(pool);
  const CandidatePool::Index newest = pool.count() == 0 ? 0 : pool.head();
  const std::size_t places = pool.count() == 0 ? 0 : newest + 1;
  if (exactUnit && equalWeights && first > 0.0) {
    ExactWalk walk(newest, *exactUnit, Mode::kEqualWeights);
    walk.unitsPerWeight_ = static_cast<std::uint64_t>(std::ldexp(first, -*exactUnit));
    walk.left_.emplace(places, [&pool](std::size_t index) { return pool.contains(index); });
    return walk;
  }

  int unitExponent = 0;
  if (exactUnit) {
    unitExponent = *exactUnit;
  } else {
    // The walk's sum strays from the exact one by far less than a factor of 2, and
    // sum < 2^exponent: the exact sum stays below 2^62 units.
    std::frexp(sum, &unitExponent);
    unitExponent -= kUnitsBitsBelowTotal;
  }
  ExactWalk walk(newest, unitExponent, exactUnit ? Mode::kExactSums : Mode::kRoundedSums);
  // Candidates gone before the walk was made count 0.
  walk.sums_.emplace(places, [&](std::size_t position) -> std::uint64_t {
    const CandidatePool::Index index = newest - position;
    if (!pool.contains(index)) return 0;
    return static_cast<std::uint64_t>(std::ldexp(pool.weight(index), -unitExponent));
  });
  return walk;
}

CandidatePool::Index ExactWalk::Walk(const CandidatePool& pool, double target) const {
  // A target of 0 is reached by the first candidate still in the pool, one below 0 (or
  // not a number) by none.
  if (!(target > 0.0)) return target == 0.0 ? pool.head() : CandidatePool::kNone;
  const double x = std::ldexp(target, -unitExponent_);

  if (mode_ == Mode::kEqualWeights) {
    const std::uint64_t left = left_->count();
    const std::uint64_t rank = RankFromOldest(x, left);
    return rank == 0 ? CandidatePool::kNone : left_->Select(rank);
  }

  // The weight of the candidate found is read next, as it leaves the pool: it is fetched
  // while the search waits for its block.
  const auto weightsOfBlock = [&](std::size_t first) {
    const std::size_t last = std::min(first + PrefixSumTree::kBlockSize - 1, newest_);
    return pool.weights(newest_ - last, newest_ - first);
  };
  if (mode_ == Mode::kExactSums) {
    if (x > static_cast<double>(sums_->total())) return CandidatePool::kNone;
    // A target too small for a unit still needs a unit: it lies above 0.
    const auto reaching = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(x)));
    return newest_ - sums_->FirstReaching(reaching, weightsOfBlock).position;
  }

  // x as whole units, rounded down; anything from 2^63 on lies beyond every sum.
  const std::uint64_t below = x < kTwoTo63 ? static_cast<std::uint64_t>(x) : kUnitsBeyond;
  const std::uint64_t count = pool.count();
  const PrefixSumTree::Reach reach = sums_->FirstReaching(below + 1, weightsOfBlock);
  if (reach.position == sums_->size()) {
    if (sums_->total() + Slack(count, sums_->total()) < below) return CandidatePool::kNone;
  } else {
    const std::uint64_t through = reach.sumBefore + sums_->ValueAt(reach.position);
    const std::uint64_t slack = Slack(std::min<std::uint64_t>(count, reach.position + 1), through);
    if (reach.sumBefore + slack < below && through >= below + 1 + slack)
      return newest_ - reach.position;
  }
  ++walksNearBorders_;
  return WalkToTarget(pool, target);
}

std::uint64_t ExactWalk::RankFromOldest(double x, std::uint64_t left) const {
  // The k-th candidate in pool order ends its span at k weights: the walk draws the
  // first k with k * unitsPerWeight_ >= x, that is >= ceil(x), so k = ceil(ceil(x) / units).
  if (x > static_cast<double>(left * unitsPerWeight_)) return 0;
  // ceil(x), at least 1, without a call to ceil (x < 2^53 here).
  const auto whole = static_cast<std::uint64_t>(x);
  const std::uint64_t reaching =
      std::max<std::uint64_t>(1, whole + (static_cast<double>(whole) < x ? 1 : 0));
  const std::uint64_t place = (reaching + unitsPerWeight_ - 1) / unitsPerWeight_;
  // Pool order runs from the newest: the place-th from there is the (left - place + 1)-th
  // from the oldest.
  return left - place + 1;
}

std::optional<std::vector<CandidatePool::Index>> ExactWalk::WalkAll(const CandidatePool& pool,
                                                                    RandomGenerator& random) const {
  const std::uint64_t count = pool.count();
  if (mode_ != Mode::kEqualWeights || count != left_->count() ||
      count > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  // The walks draw by place alone, and never miss: a fraction below 1 of the exact total
  // stays within it. So each number gives the rank of its draw among the candidates left,
  // as PickCandidate and Walk would, with the total the pool keeps (exact on the grid).
  //
  // Walk takes the target (a fraction of the total) in units of 2^unitExponent_. Scaling
  // by that is exact, and rounding the same in any scale, while the total and every target
  // above 0 (at least 2^-32 units) stay normal numbers, which holds for exponents from -990
  // to 970: there the target in units is the fraction of the total in units, with no
  // scaling at all.
  const bool scalingIsExact = unitExponent_ >= -990 && unitExponent_ <= 970;
  const auto targetUnits = [&](std::uint64_t totalUnits) {
    const double fraction = random.NextDouble();
    if (scalingIsExact) return fraction * static_cast<double>(totalUnits);
    const double total = std::ldexp(static_cast<double>(totalUnits), unitExponent_);
    return std::ldexp(fraction * total, -unitExponent_);
  };
  std::pmr::vector<std::uint32_t> ranks(count, platform::LargePageMemory());
  for (std::uint64_t drawn = 0; drawn < count; ++drawn) {
    const std::uint64_t left = count - drawn;
    const double x = targetUnits(left * unitsPerWeight_);
    ranks[drawn] = static_cast<std::uint32_t>(x > 0.0 ? RankFromOldest(x, left) : left);
  }
  return left_->SelectInTurn(ranks);
}

void ExactWalk::Forget(CandidatePool::Index index) {
  if (mode_ == Mode::kEqualWeights) {
    left_->Remove(index);
    return;
  }
  const std::size_t position = newest_ - index;
  sums_->Subtract(position, sums_->ValueAt(position));
}

std::vector<PooledCandidate> DrawCandidates(CandidatePool& pool, RandomGenerator& random,
                                            DrawLimit limit, const DurationOf& durationOf,
                                            DrawMethod method, DrawReport* report) {
  DrawReport unused;
  DrawReport& measured = report != nullptr ? *report : unused;
  if (method == DrawMethod::kFastest) {
    if (std::optional<ExactWalk> exact = ExactWalk::For(pool)) {
      if (limit.kind == DrawLimit::Kind::kNone && limit.gate == nullptr) {
        if (std::optional<std::vector<CandidatePool::Index>> order = exact->WalkAll(pool, random)) {
          for (const CandidatePool::Index drawn : *order)
            pool.Remove(drawn);
          return ChosenRecords(pool, *order);
        }
      }
      return Draw(
          pool, limit, durationOf,
          [&] {
            return PickCandidate(pool, random,
                                 [&](double target) { return exact->Walk(pool, target); });
          },
          [&](CandidatePool::Index drawn) { exact->Forget(drawn); }, measured);
    }
  }
  return Draw(
      pool, limit, durationOf,
      [&] {
        return PickCandidate(pool, random,
                             [&](double target) { return WalkToTarget(pool, target); });
      },
      [](CandidatePool::Index) {}, measured);
}

std::vector<PooledCandidate> DrawGrouped(CandidatePool& pool, RandomGenerator& random,
                                         DrawLimit limit, const DrawGroups& groups,
                                         const DurationOf& durationOf, DrawReport* report) {
  DrawReport unused;
  GroupedPick picker(pool, groups);
  return Draw(
      pool, limit, durationOf,
      [&] {
        const CandidatePool::Index drawn = picker.Pick(random);
        return drawn != CandidatePool::kNone ? drawn : pool.head();
      },
      [&](CandidatePool::Index drawn) { picker.Forget(drawn); },
      report != nullptr ? *report : unused);
}

}  // namespace sorvina::engine
