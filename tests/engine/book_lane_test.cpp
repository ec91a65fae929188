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
        Case{"Disc 2 - 3", "Disc 2 - 12", true}, Case{"b", "A", false},
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

struct Heard : PlayHistory {
  std::optional<SongPlays> PlaysOf(std::string_view path) const override {
    if (path == "/b/A/3.mp3") return SongPlays{1, 500, std::nullopt};  // since the last fill
    if (path == "/b/A/4.mp3") return SongPlays{1, 90, std::nullopt};   // before it
    return std::nullopt;
  }
};

// The last fill left chapters 2 to 5 of A; 2 was taken off and 3 heard since: they are done,
// 4 and 5 stay whatever the hours, and the next chapters follow in order into B; chapters
// done that are no longer in the books are forgotten.
TEST(BookLaneTest, TheLaneMovesOnPastChaptersTakenOffOrHeard) {
  std::vector<Book> books(2);
  books[0] = {"/b/A", "Autor - A", {}};
  for (int i = 1; i <= 6; ++i)
    books[0].chapters.push_back({"/b/A/" + std::to_string(i) + ".mp3", 100, 1, 0});
  books[1] = {"/b/B", "B: zwei", {{"/b/B/1.mp3", 100, 1, 0}, {"/b/B/2.mp3", 100, 1, 0}}};
  BookLaneState previous;
  previous.done = {"/b/A/1.mp3", "/b/Gone/1.mp3"};
  for (int i = 2; i <= 5; ++i)
    previous.placed.emplace_back("Audiobooks/Autor - A/00" + std::to_string(i),
                                 "/b/A/" + std::to_string(i) + ".mp3");
  const Heard heard;
  LaneView view;
  view.present = [](const std::string& relative) { return !relative.ends_with("002"); };
  view.plays = &heard;
  view.since = 100;
  view.fat = true;
  BookLaneState next;
  const std::vector<LaneChapter> lane = PlanBookLane(
      books, previous, view, 35, [](const Candidate&) { return 10; }, next);
  std::vector<std::string> targets;
  for (const LaneChapter& chapter : lane)
    targets.push_back(chapter.target + (chapter.onPlayerAt.empty() ? "" : " (kept)"));
  EXPECT_THAT(
      targets,
      ElementsAre("Audiobooks/Autor - A/004 4.mp3 (kept)", "Audiobooks/Autor - A/005 5.mp3 (kept)",
                  "Audiobooks/Autor - A/006 6.mp3", "Audiobooks/B_ zwei/001 1.mp3"));
  EXPECT_THAT(next.done, ElementsAre("/b/A/1.mp3", "/b/A/2.mp3", "/b/A/3.mp3"));
}

}  // namespace
}  // namespace sorvina::engine
