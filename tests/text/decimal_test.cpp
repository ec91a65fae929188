// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/decimal.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sorvina::text {
namespace {

TEST(DecimalTest, ReadsTheNumberAtTheStartAndStopsWhereItEnds) {
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("2.50 C:\\Music\\"), 2.5);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("  \t0.5"), 0.5);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("-0.5"), -0.5);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("+3"), 3.0);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal(".25x"), 0.25);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("7."), 7.0);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("1.5e2MB"), 150.0);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("4e"), 4.0);  // an exponent without digits is no exponent
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("2,5"), 2.0);
  EXPECT_DOUBLE_EQ(ParseLeadingDecimal("0.0000001"), 1e-7);
}

TEST(DecimalTest, TextWithoutANumberGivesZero) {
  for (const char* text : {"", "   ", "abc", ".", "-", "+.", "nan", "inf", "e5", "0x10"}) {
    const double value = ParseLeadingDecimal(text);
    EXPECT_EQ(value, 0.0) << '"' << text << '"';
  }
}

TEST(DecimalTest, OutOfRangeValuesSaturateLikeTheCLibrary) {
  EXPECT_EQ(ParseLeadingDecimal("1e400"), HUGE_VAL);
  EXPECT_EQ(ParseLeadingDecimal("-1e400"), -HUGE_VAL);
  EXPECT_EQ(ParseLeadingDecimal("1e-400"), 0.0);
}

}  // namespace
}  // namespace sorvina::text
