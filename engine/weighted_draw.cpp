#include "engine/weighted_draw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

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

// The draw loop, with `walk` finding each drawn candidate and `beforeRemove` told of each
// candidate just before it leaves the pool.
template <typename Walk, typename BeforeRemove>
std::vector<Candidate> Draw(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                            const DurationOf& durationOf, const Walk& walk,
                            const BeforeRemove& beforeRemove) {
  std::vector<Candidate> chosen;
  if (limit.kind == DrawLimit::Kind::kNone) chosen.reserve(pool.count());
  while (pool.count() > 0) {
    const CandidatePool::Index drawn = PickCandidate(pool, random, walk);
    const Candidate& candidate = pool[drawn];
    if (limit.kind != DrawLimit::Kind::kNone) {
      const std::int64_t cost =
          limit.kind == DrawLimit::Kind::kBytes ? candidate.sizeBytes : durationOf(candidate);
      if (cost > limit.budget) break;
      limit.budget -= cost;
    }
    beforeRemove(drawn);
    chosen.push_back(pool.Remove(drawn));
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
                                      const DurationOf& durationOf, DrawMethod method) {
  if (method == DrawMethod::kFastest) {
    if (std::optional<ExactWalk> exact = ExactWalk::For(pool)) {
      return Draw(
          pool, random, limit, durationOf, [&](double target) { return exact->Walk(pool, target); },
          [&](CandidatePool::Index drawn) { exact->Forget(drawn, pool[drawn].weight); });
    }
  }
  return Draw(
      pool, random, limit, durationOf, [&](double target) { return WalkToTarget(pool, target); },
      [](CandidatePool::Index) {});
}

}  // namespace sorvina::engine
