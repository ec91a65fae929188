// The record of fills as written and as read back from whatever a player may hold.
#include "engine/fill_record.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace sorvina::engine {
namespace {

// A record of the given body lines ("fill ...", "file ..."), as a writer would close it.
std::string Sealed(const std::string& body) {
  const std::string text = "sorvina-fills 1\n" + body;
  return text + "end\t" + TextHash(text) + "\n";
}

FillHistory Example() {
  FillHistory history;
  history.fills.push_back(
      {1700000000,
       {{"Rock/Live: 2?/a.mp3", 4096, {1690000000, 123456789}, "/music/Rock/Live: 2?/a.mp3"},
        {"tab\there/new\nline %41.mp3", 0, {-5, 0}, "/music/tab\there/new\nline %41.mp3"},
        {"caf\xc3\xa9.mp3", 1, {1, 999999999}, "/music/caf\xc3\xa9.mp3"},
        {"Sorvina.m3u8", 300, {1700000000, 0}, ""}}});
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
  EXPECT_NE(bytes.find("file\t0\t-5.000000000\ttab%09here/new%0Aline %2541.mp3\t"),
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
      {"a newer version", "sorvina-fills 2\nend\t0\n", RecordProblem::kForeign},
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

}  // namespace
}  // namespace sorvina::engine
