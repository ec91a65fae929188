// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's English: placeholders filled in one pass, whatever the values hold,
// numbers as English writes them, texts within texts, and long concatenations whole.
#include "text/user_text.h"

#include <gtest/gtest.h>

namespace sorvina::text {
namespace {

TEST(UserTextTest, FillsEachPlaceholderOnceAndLeavesTheRestAsWritten) {
  struct Case {
    const char* pattern;
    std::vector<std::string> values;
    const char* expected;
  };
  const Case cases[] = {
      {"Copied %1 files to %2", {"3", "/media/P/"}, "Copied 3 files to /media/P/"},
      {"%2 before %1", {"a", "b"}, "b before a"},
      // A path that holds a placeholder of its own is shown as it is.
      {"%1 (%2)", {"/music/100%2 pure/", "gone"}, "/music/100%2 pure/ (gone)"},
      {"%3 has no value, 50% neither, %", {"x"}, "%3 has no value, 50% neither, %"},
      {"%1%1", {"ab"}, "abab"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FillPlaceholders(c.pattern, c.values), c.expected) << c.pattern;
}

TEST(UserTextTest, WritesArgumentsInEnglish) {
  const UserText inner("it is %1", {std::string("gone")});
  const UserText text("%1 of %2 MB (%3): %4",
                      {7, DecimalNumber{1.5, 2}, std::string("%1"), TextArgument(inner)});
  EXPECT_EQ(English(text), "7 of 1.50 MB (%1): it is gone");
  EXPECT_EQ(English(Verbatim("50%1 off")), "50%1 off");
}

TEST(UserTextTest, ConcatenatesAnyNumberOfPartsInOrder) {
  for (int count : {0, 1, 9, 10, 25}) {
    std::vector<TextArgument> parts;
    std::string expected;
    for (int i = 0; i < count; ++i) {
      parts.emplace_back(std::to_string(i) + ",");
      expected += std::to_string(i) + ",";
    }
    EXPECT_EQ(English(Concatenated(std::move(parts))), expected) << count;
  }
}

TEST(UserTextTest, CountedTextsTakeTheirEnglishPluralForm) {
  struct Case {
    const char* source;
    std::int64_t count;
    std::vector<TextArgument> arguments;
    const char* expected;
  };
  const Case cases[] = {
      {"%n fill(s)", 1, {}, "1 fill"},
      {"%n fill(s)", 0, {}, "0 fills"},
      {"%n fill(s)", 2, {}, "2 fills"},
      {"%n fill(s)", -1, {}, "-1 fills"},
      {"stopped at %n song(s) of %1: %2",
       1,
       {7, std::string("a(s)%n")},
       "stopped at 1 song of 7: a(s)%n"},
      {"%Ln file(s) (%n)", 3, {}, "3 files (3)"},
      {"%Ln file(s)", 1234, {}, "1234 files"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(English(Counted(c.source, c.count, c.arguments)), c.expected) << c.source;
  // Without a count, "(s)" and %n are text like any other.
  EXPECT_EQ(English(UserText("%n fill(s)")), "%n fill(s)");
}

}  // namespace
}  // namespace sorvina::text
