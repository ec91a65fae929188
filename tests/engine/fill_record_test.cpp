// SPDX-License-Identifier: GPL-3.0-or-later
// The record of fills as written and as read back from whatever a player may hold.
#include "engine/fill/fill_record.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/fill/fill_journal.h"
#include "platform/content_fingerprint.h"

namespace sorvina::engine {
namespace {

// A record of the given body lines ("fill ...", "file ..."), as a writer of `version`
// would close it.
std::string Sealed(const std::string& body, int version = 2) {
  const std::string text = "sorvina-fills " + std::to_string(version) + "\n" + body;
  return text + "end\t" + TextHash(text) + "\n";
}

// A digest of every byte value.
FileDigest Digest(std::uint8_t first) {
  FileDigest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i)
    digest[i] = static_cast<std::uint8_t>(first + 37 * i);
  return digest;
}

FillHistory Example() {
  FillHistory history;
  history.fills.push_back(
      {1700000000,
       {{"Rock/Live: 2?/a.mp3",
         4096,
         {1690000000, 123456789},
         "/music/Rock/Live: 2?/a.mp3",
         Digest(1)},
        {"tab\there/new\nline %41.mp3", 0, {-5, 0}, "/music/tab\there/new\nline %41.mp3"},
        {"caf\xc3\xa9.mp3", 1, {1, 999999999}, "/music/caf\xc3\xa9.mp3"}},
       {{"Lists/Sorvina.m3u8", 300, {1700000000, 0}, "", Digest(200)}},
       {"Rock", "Rock/Live: 2?", "Lists"}});
  history.fills.push_back({1700000100, {}});
  history.fills.push_back({1700000200, {{"", 0, {}, "/lists/entry.mp3"}}});
  return history;
}

TEST(FillRecordTest, WhatIsWrittenReadsBackTheSameAndOnlyTheLastFillsAreKept) {
  const FillHistory history = Example();
  const std::string bytes = FormatFillRecord(history);
  const ParsedRecord parsed = ParseFillRecord(bytes);
  EXPECT_EQ(parsed.problem, RecordProblem::kNone);
  EXPECT_EQ(parsed.history, history);
  // One line per fill and per file, with the awkward bytes escaped.
  EXPECT_NE(bytes.find("file\t0\t-5.000000000\t-\ttab%09here/new%0Aline %2541.mp3\t"),
            std::string::npos);
  EXPECT_NE(bytes.find("\t" + platform::DigestText(Digest(1)) + "\tRock/Live: 2?/a.mp3\t"),
            std::string::npos);

  FillHistory many;
  for (int i = 0; i < 25; ++i)
    many.fills.push_back({i, {{"a.mp3", i, {i, 0}, "/m/" + std::to_string(i)}}});
  const ParsedRecord kept = ParseFillRecord(FormatFillRecord(many));
  ASSERT_EQ(kept.history.fills.size(), kKeptFills);
  EXPECT_EQ(kept.history.fills.front().time, 5);
  EXPECT_EQ(kept.history.fills.back().time, 24);
}

TEST(FillRecordTest, AnythingNotAsWrittenIsNotTakenAndSaysWhy) {
  const std::string good = FormatFillRecord(Example());
  std::string edited = good;
  edited[good.find("4096")] = '5';
  std::mt19937 random(7);
  std::string noise(4096, '\0');
  for (char& c : noise)
    c = static_cast<char>(random());
  const std::string file = "file\t1\t0.000000000\t";
  struct Case {
    const char* what;
    std::string bytes;
    RecordProblem problem;
  };
  const Case cases[] = {
      {"empty", "", RecordProblem::kForeign},
      {"random bytes", noise, RecordProblem::kForeign},
      {"a newer version", "sorvina-fills 4\nend\t0\n", RecordProblem::kForeign},
      {"a digest too short", Sealed("fill\t1\t1\n" + file + "abc\ta\t/s\n", 3),
       RecordProblem::kDamaged},
      {"a digest in capitals",
       Sealed("fill\t1\t1\n" + file + std::string(64, 'A') + "\ta\t/s\n", 3),
       RecordProblem::kDamaged},
      {"a version 2 line in version 3", Sealed("fill\t1\t1\n" + file + "a\t/s\n", 3),
       RecordProblem::kDamaged},
      {"a song without its source", Sealed("fill\t1\t1\n" + file + "a\t\n"),
       RecordProblem::kDamaged},
      {"a folder out of the destination", Sealed("fill\t1\t1\nfolder\t..\n"),
       RecordProblem::kUnsafePath},
      {"line ends of another system", "sorvina-fills 1\r\n", RecordProblem::kForeign},
      {"cut short", good.substr(0, good.size() / 2), RecordProblem::kDamaged},
      {"without its last line feed", good.substr(0, good.size() - 1), RecordProblem::kDamaged},
      {"a number changed by hand", edited, RecordProblem::kDamaged},
      {"more after the end", good + "fill\t1\t0\n", RecordProblem::kDamaged},
      {"fewer files than said", Sealed("fill\t1\t2\n" + file + "a\t/s\n"), RecordProblem::kDamaged},
      {"a raw control byte", Sealed("fill\t1\t1\n" + file + "a\x01\t/s\n"),
       RecordProblem::kDamaged},
      {"a bad escape", Sealed("fill\t1\t1\n" + file + "a%4\t/s\n"), RecordProblem::kDamaged},
      {"a negative size", Sealed("fill\t1\t1\nfile\t-1\t0.000000000\ta\t/s\n"),
       RecordProblem::kDamaged},
      {"a time out of range", Sealed("fill\t1\t1\nfile\t1\t0.1000000000\ta\t/s\n"),
       RecordProblem::kDamaged},
      {"a path out of the destination", Sealed("fill\t1\t1\n" + file + "../../etc/passwd\t/s\n"),
       RecordProblem::kUnsafePath},
      {"an absolute path", Sealed("fill\t1\t1\n" + file + "/etc/passwd\t/s\n"),
       RecordProblem::kUnsafePath},
      {"a dot name", Sealed("fill\t1\t1\n" + file + "a/./b\t/s\n"), RecordProblem::kUnsafePath},
      {"an escaped NUL", Sealed("fill\t1\t1\n" + file + "a%00b\t/s\n"), RecordProblem::kUnsafePath},
      {"more bytes than any record", std::string(kMaxRecordBytes + 1, '\n'),
       RecordProblem::kTooLarge},
      {"ten million empty lines", "sorvina-fills 1\n" + std::string(10'000'000, '\n'),
       RecordProblem::kDamaged},
      {"ten million files said", Sealed("fill\t1\t10000000\n" + file + "a\t/s\n"),
       RecordProblem::kTooLarge},
  };
  for (const Case& c : cases) {
    const ParsedRecord parsed = ParseFillRecord(c.bytes);
    EXPECT_EQ(parsed.problem, c.problem) << c.what;
    EXPECT_TRUE(parsed.history.fills.empty()) << c.what;
  }
  EXPECT_EQ(ParseFillRecord(Sealed("fill\t1\t1\n" + file + "a%2fb\t%2Fs\n")).problem,
            RecordProblem::kNone);
}

TEST(FillRecordTest, RecordsOfTheVersionsBeforeFingerprintsStillRead) {
  // The first version kept the playlist a fill wrote as a file without a source; neither
  // it nor the second kept digests.
  const ParsedRecord first = ParseFillRecord(Sealed(
      "fill\t5\t2\nfile\t1\t0.000000000\ta.mp3\t/m/a.mp3\nfile\t9\t0.000000000\tP.m3u8\t\n", 1));
  const ParsedRecord second = ParseFillRecord(Sealed(
      "fill\t5\t2\nfile\t1\t0.000000000\ta.mp3\t/m/a.mp3\nplaylist\t9\t0.000000000\tP.m3u8\n"));
  const RecordedFill expected{5, {{"a.mp3", 1, {}, "/m/a.mp3"}}, {{"P.m3u8", 9, {}, ""}}};
  for (const ParsedRecord& old : {first, second}) {
    ASSERT_EQ(old.problem, RecordProblem::kNone);
    EXPECT_EQ(old.history.fills, std::vector<RecordedFill>{expected});
    // Written again in the present version, they read back the same, digests still none.
    EXPECT_EQ(ParseFillRecord(FormatFillRecord(old.history)).history, old.history);
  }
}

TEST(FillJournalTest, ReadsBackWhatWasWrittenUpToTheFirstLineNotAsWritten) {
  const std::vector<JournalEntry> entries = {
      {JournalEntry::Kind::kFolder, "Rock", 0, {}, ""},
      {JournalEntry::Kind::kPlace,
       "Rock/a\tb.mp3",
       4096,
       {1690000000, 5},
       "/music/Rock/a\tb.mp3",
       {},
       Digest(3)},
      {JournalEntry::Kind::kPlaced, "Rock/a\tb.mp3", 4096, {1700000000, 0}, "", {}, Digest(4)},
      {JournalEntry::Kind::kFolder, "Lists", 0, {}, ""},
      {JournalEntry::Kind::kPlaylist, "Lists/P.m3u8", 77, {}, "", {}, Digest(5)},
      {JournalEntry::Kind::kWrite,
       "Pop/c.mp3",
       512,
       {1690000001, 0},
       "/music/c.mp3",
       {},
       Digest(6)}};
  std::string bytes = FormatJournalStart(1700000000, true);
  for (const JournalEntry& entry : entries)
    bytes += FormatJournalLine(entry);
  const ParsedJournal whole = ParseFillJournal(bytes);
  EXPECT_EQ(whole.problem, RecordProblem::kNone);
  EXPECT_EQ(whole.journal, (FillJournal{1700000000, true, entries}));

  // A device pulled out keeps some lines, a line cut short, or garbage after them.
  const std::string firstTwo =
      FormatJournalStart(1, false) + FormatJournalLine(entries[0]) + FormatJournalLine(entries[1]);
  for (const std::string& tail :
       {std::string(), FormatJournalLine(entries[2]).substr(0, 10), std::string(300, '\0'),
        std::string("placed\t-1\t0.000000000\tRock\n") + FormatJournalLine(entries[3])}) {
    const ParsedJournal cut = ParseFillJournal(firstTwo + tail);
    EXPECT_EQ(cut.problem, RecordProblem::kNone);
    EXPECT_EQ(cut.journal.entries, (std::vector<JournalEntry>{entries[0], entries[1]}));
  }
  EXPECT_EQ(ParseFillJournal("sorvina-fills 2\n").problem, RecordProblem::kForeign);
  // The version before fingerprints: the same lines without digests.
  const ParsedJournal first = ParseFillJournal(
      "sorvina-journal 1\nbegin\t7\t0\nplace\t1\t0.000000000\ta.mp3\t/m/a.mp3\n"
      "placed\t1\t2.000000000\ta.mp3\n");
  EXPECT_EQ(first.problem, RecordProblem::kNone);
  EXPECT_EQ(first.journal.entries,
            (std::vector<JournalEntry>{{JournalEntry::Kind::kPlace, "a.mp3", 1, {}, "/m/a.mp3"},
                                       {JournalEntry::Kind::kPlaced, "a.mp3", 1, {2, 0}, ""}}));
  EXPECT_EQ(ParseFillJournal(FormatJournalStart(1, false) + "folder\t../x\n").problem,
            RecordProblem::kUnsafePath);
  // Sealed, the present version: the seal reads back; a beginning without one is foreign.
  EXPECT_EQ(ParseFillJournal(FormatJournalStart(7, true, Digest(9)) + FormatJournalLine(entries[0]))
                .journal,
            (FillJournal{7, true, {entries[0]}, Digest(9)}));
  EXPECT_EQ(ParseFillJournal("sorvina-journal 3\nbegin\t7\t1\n").problem, RecordProblem::kForeign);
}

}  // namespace
}  // namespace sorvina::engine
