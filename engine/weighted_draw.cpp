#include "engine/weighted_draw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "platform/decimal.h"

namespace sorvina::engine {
namespace {

// 2^63 as a double: the first value that no longer fits a signed 64-bit count.
constexpr double kBudgetCeiling = 9223372036854775808.0;

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

void NoteMiss(DrawReport& report, std::int64_t amount) {
  if (report.firstMiss < 0) report.firstMiss = amount;
  if (report.smallestMiss < 0 || amount < report.smallestMiss) report.smallestMiss = amount;
}

// The draw loop, with `walk` finding each drawn candidate and `beforeRemove` told of each
// candidate just before it leaves the pool.
template <typename Walk, typename BeforeRemove>
std::vector<Candidate> Draw(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                            const DurationOf& durationOf, const Walk& walk,
                            const BeforeRemove& beforeRemove, DrawReport& report) {
  using Kind = DrawLimit::Kind;
  std::vector<Candidate> chosen;
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
    return pool.Remove(index);
  };

  while (pool.count() > 0) {
    if (filling && limit.kind == Kind::kSeconds && limit.budget == 0) break;
    if (smallest) {
      const std::int64_t least = minimumCost(smallest->Size());
      if (least > limit.budget) {
        NoteMiss(report, least);
        break;
      }
    }
    const CandidatePool::Index drawn = PickCandidate(pool, random, walk);
    const Candidate& candidate = pool[drawn];
    if (limit.kind != Kind::kNone) {
      std::int64_t cost = 0;
      if (limit.kind == Kind::kSeconds) {
        cost = durationOf(candidate);
      } else {
        cost = limit.space != nullptr ? limit.space->CostOf(candidate) : candidate.sizeBytes;
      }
      if (cost > limit.budget) {
        NoteMiss(report, cost);
        if (!filling) break;
        leave(drawn);
        continue;
      }
      limit.budget -= cost;
      if (limit.space != nullptr) limit.space->Chosen(candidate);
      report.chosenAmounts.push_back(cost);
    }
    chosen.push_back(leave(drawn));
  }
  return chosen;
}

}  // namespace

std::int64_t AmountToBudget(std::string_view amountText, std::int64_t unitsPerAmount) {
  const double units =
      platform::ParseLeadingDecimal(amountText) * static_cast<double>(unitsPerAmount) + 0.5;
  if (!(units >= 1.0)) return 0;
  if (units >= kBudgetCeiling) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(units);
}

CandidatePool::Index WalkToTarget(const CandidatePool& pool, double target) {
  double sum = 0.0;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const double weight = pool[i].weight;
    if (sum <= target && target <= sum + weight) return i;
    sum += weight;
  }
  return CandidatePool::kNone;
}

bool RunningSumsAreExact(const CandidatePool& pool) {
  // The common unit: the smallest lowest set bit among the weights.
  int unitExponent = std::numeric_limits<int>::max();
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const double weight = pool[i].weight;
    if (!(weight >= 0.0) || !std::isfinite(weight)) return false;
    if (weight > 0.0) unitExponent = std::min(unitExponent, LowestBitExponent(weight));
  }
  if (unitExponent == std::numeric_limits<int>::max()) return pool.totalWeight() == 0.0;

  // The sum in whole units, which must stay where every whole number is a double.
  std::uint64_t units = 0;
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
    const double weightUnits = std::ldexp(pool[i].weight, -unitExponent);
    if (!(weightUnits < static_cast<double>(kExactIntegerLimit))) return false;
    units += static_cast<std::uint64_t>(weightUnits);
    if (units >= kExactIntegerLimit) return false;
  }
  return pool.totalWeight() == std::ldexp(static_cast<double>(units), unitExponent);
}

std::optional<ExactWalk> ExactWalk::For(const CandidatePool& pool) {
  if (!RunningSumsAreExact(pool)) return std::nullopt;
  const CandidatePool::Index newest = pool.count() == 0 ? 0 : pool.head();
  std::vector<double> weights(pool.count() == 0 ? 0 : newest + 1, 0.0);
  for (CandidatePool::Index i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
    weights[newest - i] = pool[i].weight;
  return ExactWalk(newest, weights);
}

CandidatePool::Index ExactWalk::Walk(const CandidatePool& pool, double target) const {
  // A target of 0 is reached by the first candidate still in the pool; the tree would
  // also count the zeros left by candidates drawn before it.
  if (target <= 0.0) return pool.head();
  const std::size_t position = sums_.FirstReaching(target);
  return position < sums_.size() ? newest_ - position : CandidatePool::kNone;
}

void ExactWalk::Forget(CandidatePool::Index index, double weight) {
  sums_.Subtract(newest_ - index, weight);
}

std::vector<Candidate> DrawCandidates(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                                      const DurationOf& durationOf, DrawMethod method,
                                      DrawReport* report) {
  DrawReport unused;
  DrawReport& measured = report != nullptr ? *report : unused;
  if (method == DrawMethod::kFastest) {
    if (std::optional<ExactWalk> exact = ExactWalk::For(pool)) {
      return Draw(
          pool, random, limit, durationOf, [&](double target) { return exact->Walk(pool, target); },
          [&](CandidatePool::Index drawn) { exact->Forget(drawn, pool[drawn].weight); }, measured);
    }
  }
  return Draw(
      pool, random, limit, durationOf, [&](double target) { return WalkToTarget(pool, target); },
      [](CandidatePool::Index) {}, measured);
}

}  // namespace sorvina::engine
