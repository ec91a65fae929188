// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/tags/draw_tags.h"

#include <gtest/gtest.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/xiphcomment.h>

#include <string>
#include <vector>

#include "tests/support/encoded_audio.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

using test::ShellQuoted;

class DrawTagsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::ProgramsInstalled({"ffmpeg"})) GTEST_SKIP() << "ffmpeg is not installed";
  }

  // A third of a second of silence as `name` (its ending picks the codec), with
  // `metadata` as ffmpeg's -metadata arguments.
  std::string Encoded(const std::string& name, const std::vector<std::string>& metadata) {
    std::string command = "ffmpeg -v error -f lavfi -i anullsrc=r=48000:cl=mono -t 0.3";
    for (const std::string& item : metadata)
      command += " -metadata " + ShellQuoted(item);
    const std::string path = dir_ / name;
    EXPECT_TRUE(test::RunCommand(command + " " + ShellQuoted(path))) << command;
    return path;
  }

  test::TempDir dir_;
};

TEST_F(DrawTagsTest, ReadsTheTagsOfEachFormat) {
  const std::vector<std::string> full = {"artist=  Sigur Rós  ", "album_artist=Various",
                                         "album=Ágætis byrjun", "track=3/12", "disc=2/2"};
  const DrawTags expected{"Sigur Rós", "Various", "Ágætis byrjun", 3, 2, 0};
  for (const char* ending : {"mp3", "flac", "opus", "ogg", "m4a", "wma"}) {
    SCOPED_TRACE(ending);
    EXPECT_EQ(ReadDrawTags(Encoded(std::string("full.") + ending, full)), expected);
    // Without tags every field stays empty; the file still reads.
    EXPECT_EQ(ReadDrawTags(Encoded(std::string("bare.") + ending, {})), DrawTags{});
  }
}

TEST_F(DrawTagsTest, RefusesWhatIsNoFileOfItsType) {
  EXPECT_EQ(ReadDrawTags(dir_ / "missing.mp3"), std::nullopt);
  EXPECT_EQ(ReadDrawTags(dir_.WriteFile("text.flac", "not a FLAC file at all")), std::nullopt);
  EXPECT_EQ(ReadDrawTags(dir_.MakeFolder("folder.opus")), std::nullopt);
  // A file is read by its name's ending, not by what it holds.
  EXPECT_EQ(
      ReadDrawTags(dir_.WriteFile("notes.txt", test::ReadBytes(Encoded("n.mp3", {"artist=A"})))),
      std::nullopt);
}

// Sets the one rating `key` (the others removed) as players write it.
void SetXiphRating(TagLib::Ogg::XiphComment& comment, const std::string& key,
                   const std::string& value) {
  comment.removeFields("FMPS_RATING");
  comment.removeFields("RATING");
  comment.addField(key, value);
}

void SetRating(const std::string& path, const std::string& key, const std::string& value) {
  if (key == "POPM") {
    TagLib::MPEG::File file(path.c_str());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->removeFrames("POPM");
    auto* frame = new TagLib::ID3v2::PopularimeterFrame;
    frame->setEmail("someone@example.org");
    frame->setRating(std::stoi(value));
    tag->addFrame(frame);
    ASSERT_TRUE(file.save());
  } else if (path.ends_with(".flac")) {
    TagLib::FLAC::File file(path.c_str());
    SetXiphRating(*file.xiphComment(true), key, value);
    ASSERT_TRUE(file.save());
  } else if (path.ends_with(".opus")) {
    TagLib::Ogg::Opus::File file(path.c_str());
    SetXiphRating(*file.tag(), key, value);
    ASSERT_TRUE(file.save());
  } else {
    TagLib::MP4::File file(path.c_str());
    file.tag()->setItem(key, TagLib::MP4::Item(TagLib::StringList(value)));
    ASSERT_TRUE(file.save());
  }
}

TEST_F(DrawTagsTest, TurnsRatingsIntoStars) {
  const std::string mp3 = Encoded("rated.mp3", {"artist=A"});
  const std::string flac = Encoded("rated.flac", {"artist=A"});
  const std::string opus = Encoded("rated.opus", {"artist=A"});
  const std::string m4a = Encoded("rated.m4a", {"artist=A"});
  struct Case {
    const std::string& path;
    std::string key;
    std::string value;
    int stars;
  };
  const Case cases[] = {
      // The popularimeter's 0 to 255, at the edges of each star.
      {mp3, "POPM", "0", 0},
      {mp3, "POPM", "1", 1},
      {mp3, "POPM", "31", 1},
      {mp3, "POPM", "32", 2},
      {mp3, "POPM", "96", 3},
      {mp3, "POPM", "160", 4},
      {mp3, "POPM", "224", 5},
      {mp3, "POPM", "255", 5},
      // A fraction of five stars, rounded; nothing or less is unrated.
      {flac, "FMPS_RATING", "0.6", 3},
      {flac, "FMPS_RATING", "1.0", 5},
      {flac, "FMPS_RATING", "0", 0},
      {flac, "FMPS_RATING", "-0.5", 0},
      {flac, "FMPS_RATING", "7", 5},
      {flac, "FMPS_RATING", "high", 0},
      {opus, "FMPS_RATING", "0.4", 2},
      // Out of 100, or stars stated directly.
      {opus, "RATING", "20", 1},
      {opus, "RATING", "21", 2},
      {opus, "RATING", "80", 4},
      {opus, "RATING", "81", 5},
      {opus, "RATING", "3", 3},
      {opus, "RATING", "0", 0},
      {opus, "RATING", "101", 0},
      {opus, "RATING", "4 stars", 0},
      {m4a, "rate", "60", 3},
      {m4a, "rate", "100", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + c.key + "=" + c.value);
    SetRating(c.path, c.key, c.value);
    const std::optional<DrawTags> tags = ReadDrawTags(c.path);
    ASSERT_TRUE(tags.has_value());
    EXPECT_EQ(tags->rating, c.stars);
    EXPECT_EQ(tags->artist, "A");
  }
  // FMPS_RATING, where set, wins over RATING.
  SetRating(flac, "RATING", "100");
  {
    TagLib::FLAC::File file(flac.c_str());
    file.xiphComment()->addField("FMPS_RATING", "0.2");
    ASSERT_TRUE(file.save());
  }
  EXPECT_EQ(ReadDrawTags(flac)->rating, 1);
}

// Writes the tags the filters and the duplicate grouping read, as each format keeps them:
// several genres, a date, the recording's ids and a title.
void SetFilterTags(const std::string& path, const std::vector<std::string>& genres) {
  const TagLib::String date = "2004-06-01";
  const TagLib::String mbid = "8f3b2d1c-0000-4000-8000-000000000001";
  const TagLib::String isrc = "GBAYE0400001";
  TagLib::StringList genreList;
  for (const std::string& genre : genres)
    genreList.append(TagLib::String(genre, TagLib::String::UTF8));
  if (path.ends_with(".mp3")) {
    TagLib::MPEG::File file(path.c_str());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->setTitle("Song");
    auto* genre = new TagLib::ID3v2::TextIdentificationFrame("TCON", TagLib::String::UTF8);
    genre->setText(genreList);
    tag->removeFrames("TCON");
    tag->addFrame(genre);
    auto* year = new TagLib::ID3v2::TextIdentificationFrame("TDRC", TagLib::String::UTF8);
    year->setText(date);
    tag->addFrame(year);
    auto* code = new TagLib::ID3v2::TextIdentificationFrame("TSRC", TagLib::String::UTF8);
    code->setText(isrc);
    tag->addFrame(code);
    tag->addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame("http://musicbrainz.org",
                                                               mbid.data(TagLib::String::Latin1)));
    ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4));
    return;
  }
  const auto setXiph = [&](TagLib::Ogg::XiphComment& comment) {
    comment.addField("TITLE", "Song");
    for (const TagLib::String& genre : genreList)
      comment.addField("GENRE", genre, false);
    comment.addField("DATE", date);
    comment.addField("MUSICBRAINZ_TRACKID", mbid);
    comment.addField("ISRC", isrc);
  };
  if (path.ends_with(".flac")) {
    TagLib::FLAC::File file(path.c_str());
    setXiph(*file.xiphComment(true));
    ASSERT_TRUE(file.save());
  } else if (path.ends_with(".opus")) {
    TagLib::Ogg::Opus::File file(path.c_str());
    setXiph(*file.tag());
    ASSERT_TRUE(file.save());
  } else {
    TagLib::MP4::File file(path.c_str());
    TagLib::MP4::Tag& tag = *file.tag();
    tag.setItem("\251nam", TagLib::MP4::Item(TagLib::StringList("Song")));
    tag.setItem("\251gen", TagLib::MP4::Item(genreList));
    tag.setItem("\251day", TagLib::MP4::Item(TagLib::StringList(date)));
    tag.setItem("----:com.apple.iTunes:MusicBrainz Track Id",
                TagLib::MP4::Item(TagLib::StringList(mbid)));
    tag.setItem("----:com.apple.iTunes:ISRC", TagLib::MP4::Item(TagLib::StringList(isrc)));
    ASSERT_TRUE(file.save());
  }
}

TEST_F(DrawTagsTest, ReadsGenresDatesIdsAndLengthOnlyWhereAsked) {
  // A genre of a megabyte is cut, and a song's genres are kept once each.
  const std::string huge(1 << 20, 'x');
  for (const char* ending : {"mp3", "flac", "opus", "m4a"}) {
    SCOPED_TRACE(ending);
    const std::string path = Encoded(std::string("two-seconds.") + ending, {});
    test::RunCommand("ffmpeg -v error -y -f lavfi -i sine=d=2 " + ShellQuoted(path));
    SetFilterTags(path, {"Rock", "Jazz Fusion", "rock", huge});
    const std::optional<DrawTags> lengthless = ReadDrawTags(path);
    ASSERT_TRUE(lengthless.has_value());
    EXPECT_EQ(lengthless->seconds, std::nullopt);
    const std::optional<DrawTags> tags = ReadDrawTags(path, true);
    ASSERT_TRUE(tags.has_value());
    EXPECT_EQ(tags->title, "Song");
    ASSERT_EQ(tags->genres.size(), 3u);
    EXPECT_EQ(tags->genres[1], "Jazz Fusion");
    EXPECT_EQ(tags->genres[2], std::string(kMaxTagTextBytes, 'x'));
    EXPECT_EQ(tags->year, 2004);
    EXPECT_EQ(tags->recordingId, "8f3b2d1c-0000-4000-8000-000000000001");
    EXPECT_EQ(tags->isrc, "GBAYE0400001");
    EXPECT_EQ(tags->seconds, 2);
    EXPECT_GT(tags->bitrate, 0);
  }
}

TEST(DrawTagValuesTest, ReadsGenreNumbersDatesAndCutsText) {
  const std::pair<std::string, std::vector<std::string>> genres[] = {
      {"17", {"Rock"}},
      {"(17)", {"Rock"}},
      {"(17)(8)Eurodisco", {"Rock", "Jazz", "Eurodisco"}},
      {"(RX)(CR)", {"Remix", "Cover"}},
      {"((Brackets))", {"(Brackets))"}},
      {"1999", {"1999"}},
      {"(900)", {"(900)"}},
  };
  for (const auto& [value, names] : genres)
    EXPECT_EQ(Id3GenreNames(value), names) << value;
  EXPECT_EQ(YearOfDate("1999-12-31T10:00"), 1999);
  EXPECT_EQ(YearOfDate(" 2004"), 2004);
  EXPECT_EQ(YearOfDate("04"), 0);
  EXPECT_EQ(YearOfDate("May 2004"), 0);
  // Cut before the character it would split: "ä" is two bytes.
  EXPECT_EQ(CutToBytes("aä", 2), "a");
}

}  // namespace
}  // namespace sorvina::media
