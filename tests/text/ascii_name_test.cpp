// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/ascii_name.h"

#include <gtest/gtest.h>

namespace sorvina::text {
namespace {

TEST(AsciiNameTest, LettersLoseTheirAccentsAndTheRestBecomesUnderscores) {
  EXPECT_EQ(AsciiName("Ärger über Straße, café, Łódź"), "Aerger ueber Strasse, cafe, Lodz");
  EXPECT_EQ(AsciiName("e\xCC\x81t\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5\xF0\x9F\x8E\xB5"), "ete - __");
  EXPECT_EQ(AsciiName("cut \xC3"), "cut _");
}

}  // namespace
}  // namespace sorvina::text
