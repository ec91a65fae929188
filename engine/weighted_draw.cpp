#include "engine/weighted_draw.h"

#include <limits>

#include "platform/decimal.h"

namespace sorvina::engine {
namespace {

// 2^63 as a double: the first value that no longer fits a signed 64-bit count.
constexpr double kBudgetCeiling = 9223372036854775808.0;

// Picks the next candidate, retrying missed walks as described in the header.
CandidatePool::Index PickCandidate(CandidatePool& pool, RandomGenerator& random) {
  for (int misses = 0;; ++misses) {
    if (misses == 2) pool.RecomputeTotalWeight();
    if (misses == 3) return pool.head();
    const double target = random.NextDouble() * pool.totalWeight();
    const CandidatePool::Index drawn = WalkToTarget(pool, target);
    if (drawn != CandidatePool::kNone) return drawn;
  }
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

std::vector<Candidate> DrawCandidates(CandidatePool& pool, RandomGenerator& random, DrawLimit limit,
                                      const DurationOf& durationOf) {
  std::vector<Candidate> chosen;
  while (pool.count() > 0) {
    const CandidatePool::Index drawn = PickCandidate(pool, random);
    const Candidate& candidate = pool[drawn];
    if (limit.kind != DrawLimit::Kind::kNone) {
      const std::int64_t cost =
          limit.kind == DrawLimit::Kind::kBytes ? candidate.sizeBytes : durationOf(candidate);
      if (cost > limit.budget) break;
      limit.budget -= cost;
    }
    chosen.push_back(pool.Remove(drawn));
  }
  return chosen;
}

}  // namespace sorvina::engine
