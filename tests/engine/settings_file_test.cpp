// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/settings/settings_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "engine/settings/settings_text.h"
#include "tests/support/temp_dir.h"

namespace sorvina::engine {
namespace {

using test::ReadBytes;

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using std::string_literals::operator""s;

SettingsText Example() {
  SettingsText settings;
  settings.sources = {"/lists/party.m3u", "/music/rock/"};
  settings.copyToFolder = true;
  settings.destination = "/player/";
  settings.weightEntries = {"2.50 /music/rock/"};
  settings.amountText = "650";
  return settings;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  SettingsFileContents Read(const std::string& content) {
    return ReadSettingsFile(dir_.WriteFile("read.txt", content)).value();
  }

  // Writes `settings`, reads the file back and expects every field as it was.
  SettingsText RoundTrip(const SettingsText& settings, bool sameMode = true) {
    const std::string path = dir_ / "round-trip.txt";
    EXPECT_EQ(WriteSettingsFile(path, settings), SettingsWriteResult::kWritten);
    const SettingsText read = ReadSettingsFile(path).value().settings;
    EXPECT_EQ(read.sources, settings.sources);
    EXPECT_EQ(read.destination, settings.destination);
    EXPECT_EQ(read.copyToFolder, !DestinationIsPlaylist(settings.destination));
    EXPECT_EQ(read.weightEntries, settings.weightEntries);
    if (sameMode) {
      EXPECT_EQ(read.limitMode, settings.limitMode);
    }
    EXPECT_EQ(read.amountText, settings.amountText);
    EXPECT_EQ(read.options, settings.options);
    return read;
  }

  test::TempDir dir_;
};

TEST_F(SettingsFileTest, WritesTheSevenLineExampleByteForByte) {
  const std::string path = dir_ / "party.txt";
  ASSERT_EQ(WriteSettingsFile(path, Example()), SettingsWriteResult::kWritten);
  EXPECT_EQ(ReadBytes(path),
            "2\r\n/lists/party.m3u\r\n/music/rock/\r\n/player/\r\n1\r\n"
            "2.50 /music/rock/\r\n0 650\r\n");
  RoundTrip(Example());
}

TEST_F(SettingsFileTest, RoundTripsEveryFieldExactly) {
  SettingsText odd = Example();
  odd.sources = {" /with blanks/ ", "/a, b & c/", "/ends in cr\r"};
  odd.destination = "";
  odd.weightEntries.clear();
  odd.limitMode = kLimitHours;
  odd.amountText = " 2.5 hours ";
  RoundTrip(odd);

  // "Select all" with no amount ever stored: the last line is the digit and one blank.
  SettingsText all;
  all.limitMode = kLimitAll;
  RoundTrip(all);
  EXPECT_EQ(ReadBytes(dir_ / "round-trip.txt"), "0\r\n\r\n0\r\n2 \r\n");

  // A mode no digit holds (from a hand-edited file) stays invalid; the amount is intact.
  SettingsText invalid = Example();
  invalid.limitMode = -'0';
  const int mode = RoundTrip(invalid, false).limitMode;
  EXPECT_TRUE(mode < 0 || mode > 2) << mode;
}

TEST_F(SettingsFileTest, WritesOptionsAfterTheLimitLineOnlyWhenSet) {
  SettingsText settings = Example();
  ExtraOptions& options = settings.options;
  options = {true,
             true,
             true,
             3,
             "Sorvina.m3u8",
             true,
             {"mp3", "flac"},
             "car",
             true,
             true,
             "auto:aac",
             192,
             -14.5,
             2,
             true,
             {{1, 0.2, 0.5, 1, 2, 4}}};
  RoundTrip(settings);
  const std::string classic =
      "2\r\n/lists/party.m3u\r\n/music/rock/\r\n/player/\r\n1\r\n2.50 /music/rock/\r\n0 650\r\n";
  EXPECT_EQ(ReadBytes(dir_ / "round-trip.txt"),
            classic +
                "fill=1\r\nkeep-folders=1\r\nreplace-previous=1\r\navoid-last=3\r\n"
                "device-playlist=Sorvina.m3u8\r\nrelative=1\r\ntypes=mp3,flac\r\nplayer=car\r\n"
                "order=1\r\nnumber=1\r\nconvert=auto:aac\r\nbitrate=192\r\nloudness=-14.5\r\n"
                "max-per-artist=2\r\nspread=1\r\nrating-weights=1,0.2,0.5,1,2,4\r\n");

  // One option alone: only its line follows the classic part.
  options = {};
  options.avoidLast = 2;
  RoundTrip(settings);
  EXPECT_EQ(ReadBytes(dir_ / "round-trip.txt"), classic + "avoid-last=2\r\n");

  // The play history's options; its files one a line, after every other option.
  options = {};
  options.replacePrevious = true;
  options.replaceHeard = true;
  options.preferUnplayed = true;
  options.avoidPlayedDays = 14;
  options.historySources = {"/home/a/beets.db", "/home/a/rhythmdb.xml"};
  RoundTrip(settings);
  EXPECT_EQ(ReadBytes(dir_ / "round-trip.txt"),
            classic +
                "replace-previous=1\r\nreplace=heard\r\nprefer-unplayed=1\r\navoid-played=14\r\n"
                "history=/home/a/beets.db\r\nhistory=/home/a/rhythmdb.xml\r\n");

  // The books: how far ahead among the options, the folders one a line after the history.
  options = {};
  options.booksAheadHours = 2.5;
  options.splitChapters = true;
  options.historySources = {"/home/a/beets.db"};
  options.bookFolders = {"/books/audio", "/books/podcasts"};
  RoundTrip(settings);
  EXPECT_EQ(ReadBytes(dir_ / "round-trip.txt"),
            classic +
                "split-chapters=1\r\nbooks-ahead=2.5\r\nhistory=/home/a/beets.db\r\nbooks=/books/"
                "audio\r\n"
                "books=/books/podcasts\r\n");

  // Unknown names, lines that are no option and values an option cannot take are passed
  // over; the classic part reads as it always did.
  const SettingsFileContents c =
      Read(classic +
           "colour=blue\r\nfill\r\nfill=yes\r\navoid-last=-1\r\n"
           "avoid-last=4x\r\ntypes=\r\nrelative=1\r\ntypes=MP3, ogg\r\nplayer=any\r\norder=2\r\n"
           "convert=flac\r\nloudness=-3\r\nloudness=-16,5\r\nmax-per-artist=x\r\nspread=2\r\n"
           "rating-weights=1,2,3,4,5\r\nrating-weights=1,2,3,4,5,6,7\r\n"
           "rating-weights=1,-1,1,1,1,1\r\nrating-weights=0,0,0,0,0,0\r\n"
           "rating-weights=1,2,,4,5,6\r\nrating-weights=1,2,3,4,5,inf\r\n"
           "rating-weights= 0 , 1e-3,2,3,4,5 \r\nreplace=later\r\navoid-played=-3\r\n"
           "prefer-unplayed=yes\r\nhistory=\r\nbooks=\r\nbooks-ahead=0\r\nbooks-ahead=-1\r\n"
           "books-ahead=nan\r\nbooks-ahead=1e9\r\n");
  EXPECT_THAT(c.settings.sources, ElementsAre("/lists/party.m3u", "/music/rock/"));
  EXPECT_EQ(std::make_pair(c.settings.limitMode, c.settings.amountText), std::make_pair(0, "650"s));
  ExtraOptions expected;
  expected.relative = true;
  expected.fileTypes = {"mp3", "ogg"};
  expected.ratingWeights = {{0, 0.001, 2, 3, 4, 5}};
  EXPECT_EQ(c.settings.options, expected);
}

TEST_F(SettingsFileTest, KeepsTheFiltersOneListEntryALine) {
  SettingsText settings = Example();
  ExtraOptions& options = settings.options;
  options.excludePatterns = {"Christmas/**", "*.m4b"};
  options.genres = {"Rock", "Jazz Fusion"};
  options.notGenres = {"Christmas"};
  options.years = {{1990, 1999}};
  options.lengthSeconds = {{120, 450}};
  options.addedWithinDays = 30;
  options.skipDuplicates = true;
  RoundTrip(settings);
  const std::string classic =
      "2\r\n/lists/party.m3u\r\n/music/rock/\r\n/player/\r\n1\r\n2.50 /music/rock/\r\n0 650\r\n";
  EXPECT_EQ(ReadBytes(dir_ / "round-trip.txt"),
            classic +
                "exclude=Christmas/**\r\nexclude=*.m4b\r\ngenre=Rock,Jazz Fusion\r\n"
                "not-genre=Christmas\r\nyear=1990-1999\r\nlength=2:00-7:30\r\n"
                "added-within=30\r\nskip-duplicates=1\r\n");
  // Values a filter cannot take leave it as it was.
  const SettingsFileContents c =
      Read(classic +
           "exclude=\r\nyear=1999-1990\r\nyear=19x\r\nlength=7:30-2:00\r\n"
           "length=2:5-3:00\r\nadded-within=-3\r\nskip-duplicates=2\r\n"
           "length=-3:00\r\n");
  ExtraOptions expected;
  expected.lengthSeconds = {{0, 180}};
  EXPECT_EQ(c.settings.options, expected);
}

TEST(ParseSettingsTest, TheRunReadsWhatTheTextsStandFor) {
  SettingsText text = Example();
  text.weightEntries = {"2.50 /music/rock", "/no-blank/", "0.5x /my music/"};
  const SelectionSettings parsed = ParseSettings(text);
  EXPECT_EQ(parsed.sources, text.sources);
  EXPECT_EQ(parsed.destination, "/player/");
  EXPECT_TRUE(parsed.copyToFolder);
  EXPECT_EQ(parsed.folderWeights,
            (std::vector<FolderWeight>{{"/music/rock/", 2.5}, {"/my music/", 0.5}}));
  struct Case {
    int mode;
    const char* amount;
    Amount parsed;
  };
  using Kind = Amount::Kind;
  const Case cases[] = {
      {kLimitMegabytes, "650 MB", {Kind::kMegabytes, 650}},
      {kLimitMegabytes, " FREE ", {Kind::kFreeSpace, 0}},
      {kLimitMegabytes, "free space", {Kind::kMegabytes, 0}},
      {kLimitHours, "1.5", {Kind::kHours, 1.5}},
      {kLimitHours, "free", {Kind::kHours, 0}},
      {kLimitAll, "650", {Kind::kAll, 0}},
      {7, "650", {Kind::kMegabytes, 0}},  // a mode no button stands for, nothing typed
  };
  for (const Case& c : cases) {
    text.limitMode = c.mode;
    text.amountText = c.amount;
    EXPECT_EQ(ParseSettings(text).amount, c.parsed) << c.mode << " " << c.amount;
  }
}

TEST_F(SettingsFileTest, ReadsCountsAsTheDecimalConversionDoes) {
  SettingsFileContents c = Read(" \t+2 sources\n/a/\n/b/\n/dest/\n1x\n1.00 /a/\n1 3\n");
  EXPECT_THAT(c.settings.sources, ElementsAre("/a/", "/b/"));
  EXPECT_EQ(c.settings.destination, "/dest/");
  EXPECT_THAT(c.settings.weightEntries, ElementsAre("1.00 /a/"));
  EXPECT_EQ(std::make_pair(c.settings.limitMode, c.settings.amountText), std::make_pair(1, "3"s));

  // No number, zero and negative counts read no lines: the next line is the next field.
  c = Read("none\n/dest/\n-3\n2 \n");
  EXPECT_THAT(c.settings.sources, IsEmpty());
  EXPECT_EQ(c.settings.destination, "/dest/");
  EXPECT_THAT(c.settings.weightEntries, IsEmpty());
  EXPECT_EQ(std::make_pair(c.settings.limitMode, c.settings.amountText), std::make_pair(2, ""s));

  // Counts beyond int are held at its ends, not wrapped round.
  EXPECT_THAT(Read("99999999999999999999\n/a/\n").settings.sources, ElementsAre("/a/"));
  EXPECT_EQ(Read("-99999999999999999999\n/dest/\n").settings.destination, "/dest/");
}

TEST_F(SettingsFileTest, TakesTheModeAndAmountFromTheLastLine) {
  auto last = [&](const std::string& line) {
    const SettingsFileContents c = Read("0\r\n/d/\r\n0\r\n" + line);
    return std::make_pair(c.settings.limitMode, c.settings.amountText);
  };
  EXPECT_EQ(last("0 650"), std::make_pair(0, "650"s));  // no line end
  EXPECT_EQ(last("1\r\n"), std::make_pair(1, ""s));
  EXPECT_EQ(last("2x"), std::make_pair(2, ""s));
  EXPECT_EQ(last("0  6 5 0 \r\n"), std::make_pair(0, " 6 5 0 "s));
  EXPECT_EQ(last("7 1\r\n"), std::make_pair(7, "1"s));
  EXPECT_EQ(last("\r\n"), std::make_pair(-'0', ""s));  // none of the three
  EXPECT_EQ(last(""), std::make_pair(0, ""s));         // no last line at all
}

TEST_F(SettingsFileTest, ReadsAFileThatEndsEarlyAsEmptyLinesAndNothingMore) {
  SettingsFileContents c = Read("2\r\n/a/\r\n/b/\r\n");
  EXPECT_THAT(c.settings.sources, ElementsAre("/a/", "/b/"));
  EXPECT_EQ(c.settings.destination, "");
  EXPECT_THAT(c.settings.weightEntries, IsEmpty());
  EXPECT_EQ(std::make_pair(c.settings.limitMode, c.settings.amountText), std::make_pair(0, ""s));

  // Absurd counts take what is there; nothing is set aside for the count itself.
  EXPECT_THAT(Read("2000000000\r\n/a/\r\n/b/\r\n").settings.sources, ElementsAre("/a/", "/b/"));
  c = Read("0\r\n/d/\r\n2147483647\r\n1.00 /a/\r\n");
  EXPECT_THAT(c.settings.weightEntries, ElementsAre("1.00 /a/"));
  EXPECT_EQ(c.settings.limitMode, kLimitMegabytes);

  // Binary junk: NUL bytes and no line end anywhere.
  std::string junk(70'000, '\0');
  for (std::size_t i = 0; i < junk.size(); i += 7)
    junk[i] = static_cast<char>(i % 251 == '\n' ? 'n' : i % 251);
  EXPECT_THAT(Read("3\n" + junk).settings.sources, ElementsAre(junk));
  EXPECT_THAT(Read(junk).settings.sources, IsEmpty());
}

TEST_F(SettingsFileTest, ReportsWhatCannotBeReadOrWrittenAndKeepsTheOldFile) {
  EXPECT_FALSE(ReadSettingsFile(dir_ / "missing.txt"));
  EXPECT_FALSE(ReadSettingsFile(dir_.MakeFolder("folder.txt")));
  ASSERT_EQ(mkfifo((dir_ / "fifo.txt").c_str(), 0600), 0);
  EXPECT_FALSE(ReadSettingsFile(dir_ / "fifo.txt"));
  // Opens, then every read fails: not an empty settings file.
  EXPECT_FALSE(ReadSettingsFile("/proc/self/mem"));

  EXPECT_EQ(WriteSettingsFile(dir_ / "missing/s.txt", Example()), SettingsWriteResult::kCannotOpen);
  EXPECT_EQ(WriteSettingsFile(dir_ / "folder.txt", Example()), SettingsWriteResult::kCannotOpen);
  EXPECT_EQ(WriteSettingsFile("/dev/full", Example()), SettingsWriteResult::kCannotWrite);
  // A value with a line feed would shift every field after it when read back.
  const std::string path = dir_.WriteFile("s.txt", "old");
  SettingsText broken = Example();
  broken.destination = "/player/\nsecond line";
  EXPECT_EQ(WriteSettingsFile(path, broken), SettingsWriteResult::kCannotWrite);
  EXPECT_EQ(ReadBytes(path), "old");
}

}  // namespace
}  // namespace sorvina::engine
