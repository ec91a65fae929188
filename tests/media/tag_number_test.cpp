// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in tags as taggers write them, and text that is no such number.
#include "media/tags/tag_number.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sorvina::media {
namespace {

TEST(TagNumberTest, ReadsSignsSeparatorsBlanksAndTheUnit) {
  const struct {
    std::string text;
    std::optional<double> number;  // with the unit "dB"
    std::optional<double> bare;    // without a unit
  } cases[] = {
      {"-6.5", -6.5, -6.5},
      {"\xE2\x88\x92"
       "6,5",
       -6.5, -6.5},  // the minus sign U+2212 and a decimal comma
      {"-6.5 dB", -6.5, std::nullopt},
      {"+3.20 dB", 3.2, std::nullopt},
      {"  \t-6.50dB \r\n", -6.5, std::nullopt},
      {"-6.5 DB", -6.5, std::nullopt},
      {" 0.988 ", 0.988, 0.988},
      {"12", 12, 12},
      {".5", 0.5, 0.5},
      {"5.", 5, 5},
      {"-0", -0.0, -0.0},
      // Junk.
      {"", std::nullopt, std::nullopt},
      {"dB", std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt},
      {"loud", std::nullopt, std::nullopt},
      {"1,000.5", std::nullopt, std::nullopt},
      {"1e3", std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt},
      {"inf", std::nullopt, std::nullopt},
      {"0x10", std::nullopt, std::nullopt},
      {"- 6.5", std::nullopt, std::nullopt},
      {"+-6.5", std::nullopt, std::nullopt},
      {"-6.5 dB dB", std::nullopt, std::nullopt},
      {"-6.5 LUFS", std::nullopt, std::nullopt},
      {"3/12", std::nullopt, std::nullopt},
      {"6.5\xC2\xA0", std::nullopt, std::nullopt},  // a no-break space is no blank
      {"1" + std::string(400, '0'), std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TagNumber(c.text, "dB"), c.number);
    EXPECT_EQ(TagNumber(c.text), c.bare);
  }
}

TEST(TagNumberTest, WholeNumbersWithinBounds) {
  EXPECT_EQ(WholeTagNumber(" -1536 ", -32768, 32767), -1536);
  EXPECT_EQ(WholeTagNumber("+256", -32768, 32767), 256);
  EXPECT_EQ(WholeTagNumber("03", 1, 99), 3);
  EXPECT_EQ(WholeTagNumber("7.0", 1, 99), 7);
  EXPECT_EQ(WholeTagNumber("7.5", 1, 99), std::nullopt);
  EXPECT_EQ(WholeTagNumber("0", 1, 99), std::nullopt);
  EXPECT_EQ(WholeTagNumber("100", 1, 99), std::nullopt);
  EXPECT_EQ(WholeTagNumber("4 stars", 1, 5), std::nullopt);
}

}  // namespace
}  // namespace sorvina::media
