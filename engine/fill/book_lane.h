// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/draw/candidate_pool.h"
#include "engine/history/play_history.h"
#include "engine/report/run_ports.h"

namespace sorvina::engine {

// The lane of audiobooks and podcasts: books that go onto the player in order, a few hours
// at a time, beside the random songs and never among them. Each book is a sub-folder of a
// books folder, its audio files (at any depth) its chapters in natural name order, or one
// audio file directly in the books folder. A fill puts the next chapters not yet done into
// "Audiobooks/Author - Title/" on the player, numbered "001 ...", so that players that sort
// by name and players that play the directory order both play them in order.

// The folder on the player that holds the books.
inline constexpr char kBooksFolderName[] = "Audiobooks";
// The lane's own state, a small file of its own beside the fill record: the record's
// format is read by every version, and the lane's lines would only be noise there.
inline constexpr char kBookLaneFileName[] = "books.txt";

// Whether `a` goes before `b` in natural order: runs of digits compare by their value
// ("2" before "10"), the rest byte by byte with letter case ignored, then as they are.
bool NaturalLess(std::string_view a, std::string_view b);

// Whether `path` lies below (or is) one of `folders`.
bool IsBelowAny(std::string_view path, const std::vector<std::string>& folders);

// What the lane keeps on the player between fills: the chapters done (their paths in the
// books folders) and the chapters the last fill left there (path below the destination,
// chapter path).
struct BookLaneState {
  std::set<std::string> done;
  std::vector<std::pair<std::string, std::string>> placed;
  friend bool operator==(const BookLaneState&, const BookLaneState&) = default;
};

// The state as lines ("done\tPATH", "placed\tRELATIVE\tPATH"), and read back: a line of
// another kind, or one that cannot be used, is passed over; no more than `maxLines` are
// read.
std::string FormatBookLaneState(const BookLaneState& state);
BookLaneState ParseBookLaneState(std::string_view bytes, std::size_t maxLines = 200000);

struct Book {
  std::string path;                 // its folder, or its one file
  std::string shelf;                // "Author - Title", its folder's name on the player
  std::vector<Candidate> chapters;  // in order
  // The chapters' names on the player, where they are not their files' names (a long file
  // split at its chapter marks); else empty.
  std::vector<std::string> names = {};
};

// The books of `folders`, in order: the folders as given, the books of each in natural
// name order. Unreadable folders are passed over. At most `maxBooks` books of at most
// `maxChapters` chapters each are taken.
std::vector<Book> FindBooks(const std::vector<std::string>& folders, std::size_t maxBooks = 10000,
                            std::size_t maxChapters = 10000);

// Each book that is one long file with chapter marks becomes a book of one file per chapter,
// split into a folder of its own below `cacheFolder` (named after the file's path, size and
// time) and kept there for the next fills. A file whose marks cannot be read or used stays
// one file, with a warning that says why.
void SplitLongBooks(std::vector<Book>& books, const std::string& cacheFolder, RunPorts& ports);

// A chapter this fill has in the lane, and where it goes on the player.
struct LaneChapter {
  Candidate chapter;
  std::string target;
  std::int64_t seconds = 0;
  // Where the last fill left it on the player, where it is still there and not done;
  // empty: it is to be copied.
  std::string onPlayerAt;
};

// What the lane asks of the destination and the plays.
struct LaneView {
  // Whether the file at a path below the destination is still there.
  std::function<bool(const std::string&)> present;
  // The plays, and when the last fill was: chapters heard since are done.
  const PlayHistory* plays = nullptr;
  std::int64_t since = 0;
  // Names on the player keep FAT's rules.
  bool fat = false;
};

// The chapters the lane brings this fill: the chapters of the last fill that the user took
// off the player, or heard since, are done; then the chapters not done, books and chapters
// in order, until they last `aheadSeconds` (the last one may go over); chapters still on
// the player stay in the lane whatever they last. `next` receives the state to keep once these
// chapters are on the player.
std::vector<LaneChapter> PlanBookLane(const std::vector<Book>& books, const BookLaneState& previous,
                                      const LaneView& view, std::int64_t aheadSeconds,
                                      const std::function<std::int64_t(const Candidate&)>& seconds,
                                      BookLaneState& next);

}  // namespace sorvina::engine
