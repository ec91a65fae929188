// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fill/book_lane.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace sorvina::engine {
namespace {

using ::testing::ElementsAre;

TEST(BookLaneTest, OrdersNamesNaturallyAndTellsFilesBelowBookFolders) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  for (const Case& c :
       {Case{"2.mp3", "10.mp3", true}, Case{"10.mp3", "2.mp3", false},
        Case{"Chapter 9", "chapter 10", true}, Case{"007 x", "7 y", true}, Case{"a", "a1", true},
        Case{"Part 2 - 3", "Part 2 - 12", true}, Case{"b", "A", false},
        Case{"99999999999999999999", "100000000000000000000", true}})
    EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;

  const std::vector<std::string> folders = {"/books/", "/pods"};
  for (const auto& [path, below] :
       {std::pair{"/books/A/1.mp3", true}, std::pair{"/pods/x.mp3", true},
        std::pair{"/podsX/x.mp3", false}, std::pair{"/bookstore/1.mp3", false},
        std::pair{"/music/books/1.mp3", false}})
    EXPECT_EQ(IsBelowAny(path, folders), below) << path;
}

TEST(BookLaneTest, ReadsItsStateBackAndPassesOverLinesItCannotUse) {
  const BookLaneState state = {{"/books/A/1.mp3", "/books/A/2.mp3"},
                               {{"Audiobooks/A/003 3.mp3", "/books/A/3.mp3"}}};
  EXPECT_EQ(ParseBookLaneState(FormatBookLaneState(state)), state);

  const BookLaneState read = ParseBookLaneState(
      "done\t/b/1.mp3\nplaced\t\t/b/2.mp3\nplaced\tAudiobooks/x\t\r\nplaced\tonly\r\n"
      "later\tkind\tof line\n\ndone\t\ndone\t/b/3.mp3\r\nplaced\tAudiobooks/B/004 4.mp3\t/b/4.mp3");
  EXPECT_THAT(read.done, ElementsAre("/b/1.mp3", "/b/3.mp3"));
  EXPECT_THAT(read.placed, ElementsAre(std::pair<std::string, std::string>("Audiobooks/B/004 4.mp3",
                                                                           "/b/4.mp3")));
  // A state of a million lines is read no further than the bound.
  std::string huge;
  for (int i = 0; i < 1000000; ++i)
    huge += "done\t/b/" + std::to_string(i) + "\n";
  EXPECT_EQ(ParseBookLaneState(huge, 1000).done.size(), 1000u);
}

}  // namespace
}  // namespace sorvina::engine
