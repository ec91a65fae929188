// SPDX-License-Identifier: GPL-3.0-or-later
// The readers of play histories in text, each over sound and hostile input.
#include "engine/history/history_readers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::engine::history {
namespace {

using namespace std::string_literals;

constexpr std::int64_t kNow = 1'800'000'000;

std::string Optional(const std::optional<std::int64_t>& value) {
  return value ? std::to_string(*value) : "-";
}

// "path|artist|title|recording|seconds|plays|last played|last skipped"
std::string Describe(const HeardEntry& entry) {
  return entry.path + "|" + entry.artist + "|" + entry.title + "|" + entry.recordingId + "|" +
         std::to_string(entry.seconds) + "|" + std::to_string(entry.playCount) + "|" +
         Optional(entry.lastPlayed) + "|" + Optional(entry.lastSkipped);
}

enum class Reader { kPlayback, kScrobbler, kListens, kXml };

struct ReaderCase {
  const char* name;
  Reader reader;
  std::string input;
  std::vector<std::string> entries;
  std::size_t damaged = 0;
  bool cut = false;
};

SourceRead Read(Reader reader, std::string_view input) {
  const ReadLimits limits{.maxEntries = 3, .maxLineBytes = 200};
  switch (reader) {
    case Reader::kPlayback:
      return ParsePlaybackLog(input, kNow, limits);
    case Reader::kScrobbler:
      return ParseScrobblerLog(input, kNow, limits);
    case Reader::kListens:
      return ParseListens(input, kNow, limits);
    case Reader::kXml:
      return ParseSongXml(input, kNow, limits);
  }
  return {};
}

std::string Song(const std::string& inner) {
  return "<entry type=\"song\">" + inner + "</entry>";
}

TEST(HistoryReadersTest, ReadWhatIsSoundAndPassOverWhatIsNot) {
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  const ReaderCase cases[] = {
      {"half heard is a play, less a skip, colons stay in the path",
       Reader::kPlayback,
       "1700000000:100000:200000:/Music/a:b.mp3\n1700000100:5000:200000:/Music/c.mp3\n",
       {"/Music/a:b.mp3||||200|1|1700000000|-", "/Music/c.mp3||||200|0|-|1700000100"}},
      {"a line being written is left for later",
       Reader::kPlayback,
       "1700000000:100000:200000:/a.mp3\n1700000100:5000:200",
       {"/a.mp3||||200|1|1700000000|-"}},
      {"damaged lines: fields missing, NUL, overlong, no path",
       Reader::kPlayback,
       "1700000000:1:/a.mp3\n1700000000:9:9:/b\0.mp3\n1:1:1:/"s + std::string(300, 'x') +
           "\nx:1:1:/a.mp3\n1:1:1:a.mp3\n",
       {},
       5},
      {"a date in the future or before any player had a clock is none",
       Reader::kPlayback,
       "1900000000:100000:200000:/a.mp3\n12:100000:0:/b.mp3\n",
       {"/a.mp3||||200|1|-|-", "/b.mp3||||0|1|-|-"}},
      {"bounded entries",
       Reader::kPlayback,
       "1:1:1:/a\n1:1:1:/b\n1:1:1:/c\n1:1:1:/d\n",
       {"/a||||0|1|-|-", "/b||||0|1|-|-", "/c||||0|1|-|-"},
       0,
       true},
      {"scrobbler: listened, skipped, in UTC, id lower-cased",
       Reader::kScrobbler,
       "#AUDIOSCROBBLER/1.1\n#TZ/UTC\n#CLIENT/x\nA\tAlb\tT1\t1\t200\tL\t1700000000\tAB-12\n"
       "A\tAlb\tT2\t2\t180\tS\t1700000300\n",
       {"|A|T1|ab-12|200|1|1700000000|-", "|A|T2||180|0|-|1700000300"}},
      {"scrobbler: wrong field counts, ratings, numbers",
       Reader::kScrobbler,
       "A\tAlb\tT\t1\t200\tL\n A\tAlb\tT\t1\t200\tX\t1700000000\n"
       "A\tAlb\tT\t1\t-5\tL\t1700000000\nA\tAlb\t\t1\t5\tL\t1700000000\n",
       {},
       4},
      {"listens as an array, one damaged",
       Reader::kListens,
       R"([{"listened_at":1700000000,"track_metadata":{"artist_name":"A","track_name":"T",
          "additional_info":{"recording_mbid":"AB","duration_ms":201000}}},
          {"listened_at":1700000001}])",
       {"|A|T|ab|201|1|1700000000|-"},
       1},
      {"listens in a payload, id from the mapping, date as text",
       Reader::kListens,
       R"({"payload":{"listens":[{"listened_at":"2023-11-14T22:13:20Z","track_metadata":
          {"artist_name":"A","track_name":"T","additional_info":{"duration":90}},
          "mbid_mapping":{"recording_mbid":"cd"}}]}})",
       {"|A|T|cd|90|1|1700000000|-"}},
      {"listens one per line, a damaged line between",
       Reader::kListens,
       "{\"listened_at\":1700000000,\"track_metadata\":{\"track_name\":\"T\"}}\n{oops\n"
       "{\"listened_at\":1900000000,\"track_metadata\":{\"track_name\":\"U\"}}",
       {"||T||0|1|1700000000|-", "||U||0|1|-|-"},
       1},
      {"a cut array keeps the listens before the cut",
       Reader::kListens,
       R"([{"listened_at":1700000000,"track_metadata":{"track_name":"T"}},{"listened_at":17)",
       {"||T||0|1|1700000000|-"},
       1},
      {"deep nesting is no listen", Reader::kListens, deep, {}},
      {"a song with its plays; a stream; one never played",
       Reader::kXml,
       "<rhythmdb><entry type=\"song\"><title>T</title><artist>A</artist><duration>200"
       "</duration><location>file:///m/a%20b.mp3</location><play-count>3</play-count>"
       "<last-played>1700000000</last-played><mb-trackid>EF</mb-trackid></entry>"
       "<entry type=\"iradio\"><play-count>9</play-count></entry>"
       "<entry type=\"song\"><title>S</title><location>http://x/s</location><play-count>1"
       "</play-count></entry><entry type=\"song\"><title>N</title></entry></rhythmdb>",
       {"/m/a b.mp3|A|T|ef|200|3|1700000000|-", "||S||0|1|-|-"}},
      {"a damaged count, an overlong field",
       Reader::kXml,
       "<rhythmdb>" + Song("<title>T</title><play-count>x</play-count>") +
           Song("<title>" + std::string(300, 'x') + "</title><play-count>1</play-count>") +
           "</rhythmdb>",
       {},
       2},
      {"entities are refused",
       Reader::kXml,
       "<!DOCTYPE r [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]><rhythmdb><entry "
       "type=\"song\"><title>&b;</title><play-count>1</play-count></entry></rhythmdb>",
       {},
       1},
      {"a cut document keeps the songs before the cut",
       Reader::kXml,
       "<rhythmdb><entry type=\"song\"><title>T</title><play-count>2</play-count></entry><en",
       {"||T||0|2|-|-"},
       1},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SourceRead read = Read(c.reader, c.input);
    std::vector<std::string> entries;
    for (const HeardEntry& entry : read.entries)
      entries.push_back(Describe(entry));
    EXPECT_EQ(entries, c.entries);
    EXPECT_EQ(read.damaged, c.damaged);
    EXPECT_EQ(read.cut, c.cut);
  }
}

TEST(HistoryReadersTest, DatesAndUris) {
  EXPECT_EQ(ParseDate("1700000000.75"), 1700000000);
  EXPECT_EQ(ParseDate("2023-11-14 22:13:20"), 1700000000);
  EXPECT_EQ(ParseDate("2023-11-15T00:13:20+02:00"), 1700000000);
  for (const char* bad : {"", "-5", "2023-13-01", "2023-11-14X", "1e9", "2023-11-14 22"})
    EXPECT_EQ(ParseDate(bad), std::nullopt) << bad;
  EXPECT_EQ(PathOfFileUri("FILE://localhost/a%2Fb/%C3%A4"), "/a/b/\xC3\xA4");
  for (const char* bad : {"http://x/a", "file://host/a", "file:///a%0", "file:///a%00b"})
    EXPECT_EQ(PathOfFileUri(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace sorvina::engine::history
