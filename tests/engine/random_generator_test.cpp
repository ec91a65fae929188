// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/draw/random_generator.h"

#include <gtest/gtest.h>

namespace sorvina::engine {
namespace {

TEST(RandomGeneratorTest, GivesThePublishedMersenneTwisterSequence) {
  RandomGenerator generator;
  generator.Seed(5489);
  EXPECT_EQ(generator.NextUint32(), 3499211612u);
  EXPECT_EQ(generator.NextUint32(), 581869302u);
  for (int i = 3; i < 10000; ++i)
    generator.NextUint32();
  EXPECT_EQ(generator.NextUint32(), 4123659995u);

  generator.Seed(0);
  EXPECT_EQ(generator.NextUint32(), 2357136044u);
}

TEST(RandomGeneratorTest, ReseedingRestartsTheSequence) {
  RandomGenerator a;
  RandomGenerator b;
  a.Seed(1'700'000'000u);
  a.NextUint32();
  a.Seed(1'700'000'000u);
  b.Seed(1'700'000'000u);
  for (int i = 0; i < 700; ++i)
    ASSERT_EQ(a.NextDouble(), b.NextDouble()) << i;
}

TEST(RandomGeneratorTest, DoublesAreTheOutputOverTwoToThe32) {
  RandomGenerator generator;
  generator.Seed(5489);
  EXPECT_EQ(generator.NextDouble(), 3499211612.0 / 4294967296.0);
  EXPECT_DOUBLE_EQ(3499211612.0 / 4294967296.0, 0.8147236919030547);

  EXPECT_EQ(RandomGenerator::ToFraction(0), 0.0);
  EXPECT_EQ(RandomGenerator::ToFraction(4294967295u), 1.0 - 0x1p-32);
  EXPECT_LT(RandomGenerator::ToFraction(4294967295u), 1.0);
}

}  // namespace
}  // namespace sorvina::engine
