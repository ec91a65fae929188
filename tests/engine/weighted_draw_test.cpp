// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/weighted_draw.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "text/decimal.h"

namespace sorvina::engine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A pool filled in the order given; it is walked in the reverse order.
CandidatePool PoolOf(const std::vector<Candidate>& candidates) {
  CandidatePool pool;
  for (const Candidate& candidate : candidates)
    pool.Add(candidate.path, candidate.sizeBytes, candidate.weight);
  return pool;
}

template <typename Record>
std::vector<std::string> PathsOf(const std::vector<Record>& candidates) {
  std::vector<std::string> paths;
  for (const Record& candidate : candidates)
    paths.emplace_back(candidate.path);
  return paths;
}

std::vector<std::string> DrawAll(const std::vector<Candidate>& candidates, std::uint32_t seed) {
  CandidatePool pool = PoolOf(candidates);
  RandomGenerator random;
  random.Seed(seed);
  return PathsOf(DrawCandidates(pool, random, {}));
}

// The budget of an amount as typed.
std::int64_t Budget(std::string_view typed, std::int64_t unitsPerAmount) {
  return AmountToBudget(text::ParseLeadingDecimal(typed), unitsPerAmount);
}

TEST(AmountToBudgetTest, RoundsToWholeUnitsAndRefusesWhatIsNoAmount) {
  EXPECT_EQ(Budget("0.5", kBytesPerMegabyte), 524288);
  EXPECT_EQ(Budget("1.5", kSecondsPerHour), 5400);
  EXPECT_EQ(Budget(" 650 MB", kBytesPerMegabyte), 650 * kBytesPerMegabyte);
  // Amounts the 32-bit design could not hold.
  EXPECT_EQ(Budget("4096", kBytesPerMegabyte), std::int64_t{4096} * kBytesPerMegabyte);
  EXPECT_EQ(Budget("1e400", kBytesPerMegabyte), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Budget("1e300", kSecondsPerHour), std::numeric_limits<std::int64_t>::max());
  for (const char* nothing : {"0.0000001", "", "abc", "0", "-3", "nan", "-1e400"}) {
    EXPECT_EQ(Budget(nothing, kBytesPerMegabyte), 0) << nothing;
  }
}

TEST(WalkToTargetTest, SpansAreInclusiveAndBordersGoToTheEarlierCandidate) {
  // Walked c (1), b (2), a (3).
  const CandidatePool pool = PoolOf({{"a", 0, 3.0}, {"b", 0, 2.0}, {"c", 0, 1.0}});
  auto path = [&pool](double target) {
    const CandidatePool::Index i = WalkToTarget(pool, target);
    return i == CandidatePool::kNone ? std::string("none") : std::string(pool[i].path);
  };
  EXPECT_EQ(path(0.0), "c");
  EXPECT_EQ(path(1.0), "c");
  EXPECT_EQ(path(1.5), "b");
  EXPECT_EQ(path(3.0), "b");
  EXPECT_EQ(path(6.0), "a");
  EXPECT_EQ(path(6.5), "none");
}

TEST(DrawCandidatesTest, SelectAllTakesEveryCandidateOnceInAnOrderFixedByTheSeed) {
  std::vector<Candidate> candidates;
  for (int i = 0; i < 500; ++i)
    candidates.push_back({std::to_string(i), 0, 0.25 + i % 7});
  const std::vector<std::string> drawn = DrawAll(candidates, 7);

  std::vector<std::string> sorted = drawn;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> expected = PathsOf(candidates);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);
  EXPECT_EQ(DrawAll(candidates, 7), drawn);
  EXPECT_NE(DrawAll(candidates, 8), drawn);
}

TEST(DrawCandidatesTest, FileThatDoesNotFitEndsTheDraw) {
  constexpr std::int64_t kMegabyte = kBytesPerMegabyte;
  // The weights make the draw order 6 MB, 5 MB, 3 MB for this seed (and almost any).
  CandidatePool pool = PoolOf(
      {{"3mb", 3 * kMegabyte, 1.0}, {"5mb", 5 * kMegabyte, 1e6}, {"6mb", 6 * kMegabyte, 1e12}});
  RandomGenerator random;
  random.Seed(1);
  EXPECT_THAT(PathsOf(DrawCandidates(pool, random, {DrawLimit::Kind::kBytes, 10 * kMegabyte})),
              ElementsAre("6mb"));
  EXPECT_EQ(pool.count(), 2u);

  // A file that fits exactly is taken; a first file over the whole budget takes nothing.
  CandidatePool exact = PoolOf({{"a", 100, 1.0}});
  EXPECT_THAT(PathsOf(DrawCandidates(exact, random, {DrawLimit::Kind::kBytes, 100})),
              ElementsAre("a"));
  CandidatePool tooLarge = PoolOf({{"a", 101, 1.0}});
  EXPECT_THAT(DrawCandidates(tooLarge, random, {DrawLimit::Kind::kBytes, 100}), IsEmpty());
}

TEST(DrawCandidatesTest, DurationIsAskedOncePerDrawnFileOnly) {
  CandidatePool pool = PoolOf({{"a", 0, 1.0}, {"b", 0, 1.0}, {"c", 0, 1.0}, {"d", 0, 1.0}});
  RandomGenerator random;
  random.Seed(3);
  std::vector<std::string> asked;
  const std::vector<PooledCandidate> chosen =
      DrawCandidates(pool, random, {DrawLimit::Kind::kSeconds, 25}, [&asked](const Candidate& c) {
        asked.push_back(c.path);
        return std::int64_t{10};
      });
  // 10 + 10 fit into 25; the third file drawn ends the draw.
  EXPECT_EQ(chosen.size(), 2u);
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0], chosen[0].path);
  EXPECT_EQ(asked[1], chosen[1].path);
}

TEST(DrawCandidatesTest, FirstDrawsFollowTheWeights) {
  // Weights 3:1 should give the heavy file about three quarters of the first draws.
  int heavyFirst = 0;
  constexpr int kRuns = 4000;
  for (std::uint32_t seed = 1; seed <= kRuns; ++seed) {
    if (DrawAll({{"heavy", 0, 3.0}, {"light", 0, 1.0}}, seed).front() == "heavy") ++heavyFirst;
  }
  EXPECT_NEAR(static_cast<double>(heavyFirst) / kRuns, 0.75, 0.03);
}

TEST(DrawCandidatesTest, EndsWhenNoWalkCanDrawAnything) {
  // Zero weights with a total of exactly 0 draw the first candidate every time.
  EXPECT_THAT(DrawAll({{"a", 0, 0.0}, {"b", 0, 0.0}}, 1), ElementsAre("b", "a"));
  // Negative weights make every walk miss: after the retries the pool order decides.
  EXPECT_THAT(DrawAll({{"a", 0, -1.0}, {"b", 0, -2.0}, {"c", 0, -0.5}}, 1),
              ElementsAre("c", "b", "a"));
  // A total that drifted above the exact sum: 2^53 + 3 is rounded to 2^53 + 4, so once
  // the heavy file is gone the total says 4 where 3 remain.
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    EXPECT_THAT(DrawAll({{"heavy", 0, 9007199254740992.0}, {"a", 0, 3.0}}, seed),
                ElementsAre("heavy", "a"));
  }
  // Infinite weights (from "1e400") must not hang either.
  EXPECT_THAT(DrawAll({{"a", 0, HUGE_VAL}, {"b", 0, HUGE_VAL}, {"c", 0, 1.0}}, 2),
              ::testing::SizeIs(3));
}

TEST(RunningSumsAreExactTest, HoldsForWeightsOnOneBinaryGridWithASmallEnoughSum) {
  auto exact = [](const std::vector<double>& weights) {
    CandidatePool pool;
    for (const double weight : weights)
      pool.Add("x", 0, weight);
    return RunningSumsAreExact(pool);
  };
  EXPECT_TRUE(exact({}));
  EXPECT_TRUE(exact({1.0, 1.0, 1.0}));
  EXPECT_TRUE(exact({0.25, 3.0, 0.0, 1024.5}));
  EXPECT_TRUE(exact({2.33}));  // one weight alone is its own sum
  EXPECT_TRUE(exact({0.0, 0.0}));
  EXPECT_TRUE(exact({0x1p52, 0x1p52}));
  EXPECT_TRUE(exact({2.33, 1.0}));        // 3.33 still has room for every bit of 2.33
  EXPECT_FALSE(exact({2.33, 8.0, 8.0}));  // 18.33 has not
  EXPECT_FALSE(exact({0.1, 0.2}));
  EXPECT_FALSE(exact({0x1p53, 3.0}));
  EXPECT_FALSE(exact({1.0, 0x1p-1074}));
  EXPECT_FALSE(exact({1.0, -1.0}));
  EXPECT_FALSE(exact({1.0, HUGE_VAL}));
  EXPECT_FALSE(exact({1.0, std::nan("")}));

  // A total that carries the rounding of weights drawn before no longer qualifies.
  CandidatePool pool = PoolOf({{"a", 0, 1.0}, {"b", 0, 0.3}, {"c", 0, 0.6}});
  pool.Remove(pool.head());
  pool.Remove(pool.head());
  EXPECT_NE(pool.totalWeight(), 1.0);
  EXPECT_FALSE(RunningSumsAreExact(pool));
}

// How the weights of a random library are made.
enum class Weights {
  // On binary grids of several sizes, zeros among them: every running sum is exact.
  kBinaryGrid,
  // With two decimals, as the weight dialog gives them (1.10, 0.30, 2.33), zeros among
  // them: running sums round.
  kTwoDecimals,
  // Chosen to make rounding matter: weights so large that the smaller ones vanish from
  // the running sums next to them, weights below their rounding, subnormal ones, zeros.
  kAdversarial,
  // All alike, as where no folder has a weight of its own: 1.0, or another on a grid (some
  // tiny or huge), or 2.33, whose running sums round.
  kEqual,
};

double RandomWeight(std::mt19937& random, Weights weights, int gridExponent) {
  switch (weights) {
    case Weights::kBinaryGrid:
      return std::ldexp(std::uniform_int_distribution<int>(0, 12)(random), gridExponent);
    case Weights::kTwoDecimals:
      return std::uniform_int_distribution<int>(0, 999)(random) / 100.0;
    case Weights::kEqual: {
      // Grids at the ends of the range too, where scaling to units is not exact.
      static constexpr double kChoices[] = {0x3p-1074, 2.33, 2.33, 1.0,  1.0,
                                            1.0,       3.0,  6.0,  12.0, 0x3p1000};
      return kChoices[gridExponent + 6];
    }
    case Weights::kAdversarial: {
      static constexpr double kChoices[] = {0x1p53, 0x1p52 + 1, 1e16,      3.0, 1.0,    0.3,
                                            0.1,    1e-17,      0x1p-1074, 0.0, 1e-300, 2.33};
      return kChoices[std::uniform_int_distribution<std::size_t>(0,
                                                                 std::size(kChoices) - 1)(random)];
    }
  }
  return 1.0;
}

std::vector<Candidate> RandomLibrary(std::mt19937& random, std::size_t size,
                                     Weights weights = Weights::kBinaryGrid) {
  const int gridExponent = std::uniform_int_distribution<int>(-6, 3)(random);
  std::uniform_int_distribution<std::int64_t> bytes(0, 9'000'000);
  std::vector<Candidate> library;
  for (std::size_t i = 0; i < size; ++i) {
    library.push_back(
        {std::to_string(i), bytes(random), RandomWeight(random, weights, gridExponent)});
  }
  return library;
}

TEST(ExactWalkTest, FindsWhatTheWalkFindsOnEveryBorderAndBetween) {
  std::mt19937 random(11);
  std::size_t nearBorders = 0;
  for (const Weights weights :
       {Weights::kBinaryGrid, Weights::kTwoDecimals, Weights::kAdversarial, Weights::kEqual}) {
    for (int round = 0; round < 200; ++round) {
      CandidatePool pool = PoolOf(RandomLibrary(random, 1 + round % 40, weights));
      std::optional<ExactWalk> exact = ExactWalk::For(pool);
      ASSERT_TRUE(exact.has_value());
      while (pool.count() > 0) {
        // Every border as the walk rounds it and a step to either side, a point inside
        // every span, and the ends.
        std::vector<double> targets{0.0, -1.0, pool.totalWeight(),
                                    std::nextafter(pool.totalWeight(), HUGE_VAL)};
        double sum = 0.0;
        for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i)) {
          targets.push_back(sum + pool[i].weight / 2);
          sum += pool[i].weight;
          for (const double border : {sum, std::nextafter(sum, 0.0), std::nextafter(sum, HUGE_VAL)})
            targets.push_back(border);
        }
        for (const double target : targets) {
          ASSERT_EQ(exact->Walk(pool, target), WalkToTarget(pool, target))
              << "round " << round << ", target " << target;
        }
        // Take out a candidate anywhere in the pool, as a draw would.
        auto leaving = pool.head();
        for (int skip = std::uniform_int_distribution<int>(0, 5)(random);
             skip > 0 && pool.next(leaving) != CandidatePool::kNone; --skip) {
          leaving = pool.next(leaving);
        }
        exact->Forget(leaving);
        pool.Remove(leaving);
      }
      nearBorders += exact->walksNearBorders();
    }
  }
  EXPECT_GT(nearBorders, 1000u);  // the targets near rounded borders were left to the walk
}

TEST(ExactWalkTest, RefusesWeightsNoTreeCanHold) {
  for (const double weight : {-1.0, HUGE_VAL, std::nan(""), 1e308}) {
    EXPECT_FALSE(ExactWalk::For(PoolOf({{"a", 0, 1e308}, {"b", 0, weight}})).has_value()) << weight;
  }
  EXPECT_TRUE(ExactWalk::For(PoolOf({{"a", 0, 1e308}, {"b", 0, 0.0}})).has_value());
}

TEST(DrawCandidatesTest, FastDrawSelectsExactlyWhatTheReferenceWalkSelects) {
  std::mt19937 random(5);
  for (std::uint32_t seed = 1; seed <= 450; ++seed) {
    const Weights weights = seed % 7 < 2   ? Weights::kBinaryGrid
                            : seed % 7 < 4 ? Weights::kTwoDecimals
                            : seed % 7 < 6 ? Weights::kAdversarial
                                           : Weights::kEqual;
    const std::vector<Candidate> library = RandomLibrary(random, 1 + seed * 7 % 700, weights);
    DrawLimit limit = seed % 3 == 0   ? DrawLimit{}
                      : seed % 3 == 1 ? DrawLimit{DrawLimit::Kind::kBytes, 400'000'000}
                                      : DrawLimit{DrawLimit::Kind::kSeconds, 30'000};
    limit.keepFilling = seed / 3 % 2 == 1;
    auto durationOf = [](const Candidate& c) { return c.sizeBytes / 16'000; };

    std::vector<std::string> chosen[2];
    std::size_t left[2];
    std::uint32_t nextNumber[2];
    DrawReport reports[2];
    for (const DrawMethod method : {DrawMethod::kFastest, DrawMethod::kReferenceWalk}) {
      const int k = method == DrawMethod::kFastest ? 0 : 1;
      CandidatePool pool = PoolOf(library);
      if (seed % 4 == 1) {
        // Some candidates taken out before the draw, as avoiding recent fills does.
        for (CandidatePool::Index i = 0; i < library.size(); i += 1 + seed % 5)
          pool.Remove(i);
        pool.RecomputeTotalWeight();
      }
      RandomGenerator generator;
      generator.Seed(seed);
      chosen[k] = PathsOf(DrawCandidates(pool, generator, limit, durationOf, method, &reports[k]));
      left[k] = pool.count();
      nextNumber[k] = generator.NextUint32();
    }
    ASSERT_EQ(chosen[0], chosen[1]) << "seed " << seed;
    EXPECT_EQ(left[0], left[1]);
    EXPECT_EQ(nextNumber[0], nextNumber[1]);
    EXPECT_EQ(reports[0].chosenAmounts, reports[1].chosenAmounts);
    EXPECT_EQ(reports[0].smallestMiss, reports[1].smallestMiss);
  }
}

// The draw step by step as it is described, with nothing of the draw's own code but the
// walk: a number, a walk from the head, the limit test; a file that does not fit ends the
// draw, or, when filling, leaves the pool, until no file left can fit.
std::vector<std::string> ModelDraw(std::vector<Candidate> library, std::uint32_t seed,
                                   DrawLimit limit,
                                   const std::function<std::int64_t(const Candidate&)>& amountOf) {
  CandidatePool pool = PoolOf(library);
  RandomGenerator random;
  random.Seed(seed);
  std::vector<std::string> chosen;
  const auto anyCanFit = [&] {
    if (limit.kind == DrawLimit::Kind::kSeconds) return limit.budget > 0;
    for (auto i = pool.head(); i != CandidatePool::kNone; i = pool.next(i))
      if (amountOf(ToCandidate(pool[i])) <= limit.budget) return true;
    return false;
  };
  while (pool.count() > 0 && (!limit.keepFilling || anyCanFit())) {
    const CandidatePool::Index drawn = WalkToTarget(pool, random.NextDouble() * pool.totalWeight());
    EXPECT_NE(drawn, CandidatePool::kNone);  // sums on one grid never miss
    const std::int64_t amount = amountOf(ToCandidate(pool[drawn]));
    if (amount > limit.budget && !limit.keepFilling) break;
    if (amount <= limit.budget) {
      limit.budget -= amount;
      chosen.emplace_back(pool[drawn].path);
    }
    pool.Remove(drawn);
  }
  return chosen;
}

TEST(FillDrawTest, ClassicAndFilledDrawsFollowTheModelSeedForSeed) {
  std::mt19937 random(17);
  const auto secondsOf = [](const Candidate& c) { return c.sizeBytes / 100'000; };
  const auto bytesOf = [](const Candidate& c) { return c.sizeBytes; };
  int continued = 0;
  for (std::uint32_t seed = 1; seed <= 240; ++seed) {
    const std::vector<Candidate> library = RandomLibrary(random, 2 + seed % 60);
    const bool inSeconds = seed % 2 == 0;
    DrawLimit limit{inSeconds ? DrawLimit::Kind::kSeconds : DrawLimit::Kind::kBytes,
                    std::uniform_int_distribution<std::int64_t>(0, 60'000'000)(random) /
                        (inSeconds ? 100'000 : 1)};
    const auto amountOf = inSeconds ? std::function<std::int64_t(const Candidate&)>(secondsOf)
                                    : std::function<std::int64_t(const Candidate&)>(bytesOf);

    std::vector<std::string> drawn[2];
    for (const bool fill : {false, true}) {
      limit.keepFilling = fill;
      CandidatePool pool = PoolOf(library);
      RandomGenerator generator;
      generator.Seed(seed);
      drawn[fill] = PathsOf(DrawCandidates(pool, generator, limit, secondsOf));
      ASSERT_EQ(drawn[fill], ModelDraw(library, seed, limit, amountOf))
          << "seed " << seed << (fill ? ", filling" : "");
    }
    // The classic choice is where the filled one starts.
    ASSERT_GE(drawn[1].size(), drawn[0].size());
    EXPECT_TRUE(std::equal(drawn[0].begin(), drawn[0].end(), drawn[1].begin())) << seed;
    if (drawn[1].size() > drawn[0].size()) ++continued;
  }
  EXPECT_GT(continued, 60);  // the libraries give the continued draw work to do
}

TEST(FillDrawTest, EndsWithoutANumberWhenNothingLeftCanFit) {
  // Nothing fits from the start: no number is taken, and the smallest file is reported.
  CandidatePool pool = PoolOf({{"a", 300, 1.0}, {"b", 200, 0.0}, {"c", 500, 2.0}});
  RandomGenerator random;
  random.Seed(4);
  DrawReport report;
  EXPECT_THAT(DrawCandidates(pool, random, {DrawLimit::Kind::kBytes, 199, true}, {}, {}, &report),
              IsEmpty());
  EXPECT_EQ(report.smallestMiss, 200);
  EXPECT_EQ(report.firstMiss, 200);
  RandomGenerator fresh;
  fresh.Seed(4);
  EXPECT_EQ(random.NextUint32(), fresh.NextUint32());

  // A file that fits exactly is taken; the zero-weight one is still drawn once the
  // others are gone, and nothing is left that could fit.
  CandidatePool exact = PoolOf({{"a", 300, 1.0}, {"b", 200, 0.0}, {"c", 500, 2.0}});
  const std::vector<PooledCandidate> chosen =
      DrawCandidates(exact, random, {DrawLimit::Kind::kBytes, 500, true}, {}, {}, &report);
  std::int64_t taken = 0;
  for (const PooledCandidate& candidate : chosen)
    taken += candidate.sizeBytes;
  EXPECT_TRUE(taken == 500) << taken;
  for (auto i = exact.head(); i != CandidatePool::kNone; i = exact.next(i))
    EXPECT_GT(exact[i].sizeBytes, 500 - taken);

  // Seconds: the draw ends as the last second is taken, without analysing more files.
  CandidatePool timed = PoolOf({{"a", 0, 1.0}, {"b", 0, 1.0}, {"c", 0, 1.0}});
  int asked = 0;
  EXPECT_THAT(DrawCandidates(timed, random, {DrawLimit::Kind::kSeconds, 20, true},
                             [&asked](const Candidate&) { return ++asked, std::int64_t{10}; }),
              ::testing::SizeIs(2));
  EXPECT_EQ(asked, 2);
}

// Charges a file 100 more than its size, and 1,000 more the first time its folder (the
// path before its "/") is met.
class FolderCharges : public SpaceAccount {
 public:
  std::int64_t CostOf(const Candidate& candidate) const override {
    return candidate.sizeBytes + 100 + (charged_.count(FolderOf(candidate)) ? 0 : 1000);
  }
  std::int64_t MinimumFor(std::int64_t sizeBytes) const override { return sizeBytes + 100; }
  void Chosen(const Candidate& candidate) override { charged_.insert(FolderOf(candidate)); }

 private:
  static std::string FolderOf(const Candidate& c) { return c.path.substr(0, c.path.find('/')); }
  std::set<std::string> charged_;
};

TEST(FillDrawTest, ASpaceAccountPricesEachFileAsTheFilesBeforeItLeaveIt) {
  // Drawn x/1 first (weight), then x/2, then y/3: 1,200 + 200 fit into 1,600; y/3 would
  // take 1,200 more, although its size and the least a file takes would fit.
  CandidatePool pool = PoolOf({{"y/3", 100, 1.0}, {"x/2", 100, 1e6}, {"x/1", 100, 1e12}});
  RandomGenerator random;
  random.Seed(2);
  FolderCharges space;
  DrawReport report;
  EXPECT_THAT(PathsOf(DrawCandidates(pool, random, {DrawLimit::Kind::kBytes, 1600, true, &space},
                                     {}, {}, &report)),
              ElementsAre("x/1", "x/2"));
  EXPECT_THAT(report.chosenAmounts, ElementsAre(1200, 200));
  EXPECT_EQ(report.firstMiss, 1200);
}

}  // namespace
}  // namespace sorvina::engine
