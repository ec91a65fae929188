// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/caption.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "media/tags/tagged_audio.h"
#include "media/track_probe.h"
#include "tests/support/mp3_fixtures.h"
#include "tests/support/temp_dir.h"

namespace sorvina::media {
namespace {

using test::ReadBytes;

using text::PathStyle;

class CaptionTest : public ::testing::Test {
 protected:
  // A short MP3 file with the given ID3v2 texts (none when both are empty) and, when
  // `id3v1` is set, an ID3v1 tag with its texts.
  std::string TaggedFile(const std::string& name, std::string_view title, std::string_view artist,
                         int id3v2Version = 4,
                         std::optional<std::pair<std::string, std::string>> id3v1 = {}) {
    std::string content = test::SilentFrames(test::FrameFormat{}, 20);
    if (id3v1) content += test::Id3v1Tag(id3v1->first, id3v1->second);
    const std::string path = dir_.WriteFile(name, content);
    if (!title.empty() || !artist.empty()) {
      test::WriteId3v2Texts(path, title, artist, id3v2Version);
    }
    return path;
  }

  // The caption a playlist entry gets.
  static std::string ReadCaption(const std::string& path) {
    return TrackProbe().Probe(path).caption;
  }

  test::TempDir dir_;
};

// The caption from the tags of MPEG audio held in memory.
std::string ReadTagCaption(std::span<const unsigned char> bytes) {
  return ReadTaggedAudio(bytes, AudioFormat::kMpeg).caption;
}

TEST_F(CaptionTest, TakesId3v2ThenId3v1ThenTheFileName) {
  // The ID3v1 tag is not consulted once ID3v2 gave a title.
  EXPECT_EQ(ReadCaption(TaggedFile("a.mp3", "Blue", "Red", 4, {{"Other", "Texts"}})), "Red - Blue");
  // An artist without a title counts as no caption at all.
  EXPECT_EQ(ReadCaption(TaggedFile("b.mp3", "", "Red", 4, {{"Green", ""}})), "Green");
  EXPECT_EQ(ReadCaption(TaggedFile("c.mp3", "Just A Title", "")), "Just A Title");
  EXPECT_EQ(ReadCaption(TaggedFile("d.mp3", "", "", 4, {{"Old Title", "Old Artist"}})),
            "Old Artist - Old Title");
  EXPECT_EQ(ReadCaption(TaggedFile("Song One.mp3", "", "")), "Song One");
  // An ID3v1 tag with an artist but no title gives way to the file name too.
  EXPECT_EQ(ReadCaption(TaggedFile("Song Two.mp3", "", "", 4, {{"", "Nobody"}})), "Song Two");
}

TEST_F(CaptionTest, DecodesUnicodeTagsToUtf8) {
  EXPECT_EQ(ReadCaption(TaggedFile("v4.mp3", "Für Elise ♪", "Björk", 4)), "Björk - Für Elise ♪");
  EXPECT_EQ(ReadCaption(TaggedFile("v3.mp3", "Ölmühle 東京", "Sigur Rós", 3)),
            "Sigur Rós - Ölmühle 東京");
  // ID3v1 texts are Latin-1.
  EXPECT_EQ(ReadCaption(TaggedFile("v1.mp3", "", "", 4, {{"Caf\xE9", ""}})), "Café");
}

TEST_F(CaptionTest, KeepsEachCaptionOnOneLine) {
  EXPECT_EQ(ReadCaption(TaggedFile("lines.mp3", "One\r\nTwo\tThree", "")), "One  Two Three");
  EXPECT_EQ(ReadCaption(dir_.WriteFile("new\nline.mp3")), "new line");
}

TEST_F(CaptionTest, LeavesTheFileUntouched) {
  const std::string path = TaggedFile("keep.mp3", "Title", "Artist", 3, {{"T", "A"}});
  const std::string before = ReadBytes(path);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);  // readable is all it needs
  EXPECT_EQ(ReadCaption(path), "Artist - Title");
  EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(CaptionTest, FallsBackToTheFileNameForWhatIsNoTaggedFile) {
  EXPECT_EQ(ReadCaption(dir_ / "Missing Song.mp3"), "Missing Song");
  EXPECT_EQ(ReadCaption(dir_.MakeFolder("A Folder.mp3")), "A Folder");
  const std::string fifo = dir_ / "A Pipe.mp3";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(ReadCaption(fifo), "A Pipe");  // without waiting for a writer
  EXPECT_EQ(ReadCaption(dir_.WriteFile("Empty.mp3")), "Empty");
  // A tag header that claims 200 MB in a file of a few bytes.
  EXPECT_EQ(ReadCaption(dir_.WriteFile("Bogus.mp3", test::Id3v2Header(200 * 1024 * 1024))),
            "Bogus");
  std::string cut = test::Id3v2Header(1000);
  cut += "TIT2";
  EXPECT_EQ(ReadCaption(dir_.WriteFile("Cut.mp3", cut)), "Cut");
}

TEST_F(CaptionTest, ReadsTheSameTagsFromBytesInMemory) {
  const std::string path = TaggedFile("mem.mp3", "", "Red", 3, {{"Green", "Blue"}});
  const std::string content = ReadBytes(path);
  const std::span bytes(reinterpret_cast<const unsigned char*>(content.data()), content.size());
  // The ID3v2 tag has no title, so the caption comes from the ID3v1 tag, which counts
  // only where the given bytes end.
  EXPECT_EQ(ReadTagCaption(bytes), "Blue - Green");
  EXPECT_EQ(ReadTagCaption(bytes.first(bytes.size() - 1)), "");
}

TEST_F(CaptionTest, RefusesBytesBeyondFourGigabytesInsteadOfCuttingThem) {
  // A tagged file followed by 4 GiB of untouched (never committed) zero pages: cut to
  // 32 bits its length would be the tagged file's alone.
  const std::string content = ReadBytes(TaggedFile("big.mp3", "Title", "Artist"));
  const std::size_t size = (std::size_t{1} << 32) + content.size();
  void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  auto* bytes = static_cast<unsigned char*>(mapping);
  std::copy(content.begin(), content.end(), bytes);
  EXPECT_EQ(ReadTagCaption(std::span(bytes, content.size())), "Artist - Title");
  EXPECT_EQ(ReadTagCaption(std::span(bytes, size)), "");
  munmap(mapping, size);
}

std::string BigEndian32(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

// An AIFF chunk; data of odd length gets its pad byte unless `padded` is false.
std::string Chunk(std::string_view id, std::string_view data, bool padded = true) {
  std::string chunk = std::string(id) + BigEndian32(static_cast<std::uint32_t>(data.size()));
  chunk += data;
  if (padded && data.size() % 2 == 1) chunk += '\0';
  return chunk;
}

// An AIFF file of four silent 16-bit mono samples at 44.1 kHz, then `chunks`.
std::string AiffWith(const std::string& chunks) {
  const std::string common =
      Chunk("COMM", std::string("\0\1\0\0\0\4\0\x10\x40\x0E\xAC\x44", 12) + std::string(6, '\0'));
  const std::string sound = Chunk("SSND", std::string(16, '\0'));
  const std::string body = "AIFF" + common + sound + chunks;
  return "FORM" + BigEndian32(static_cast<std::uint32_t>(body.size())) + body;
}

std::string AiffCaption(const std::string& file) {
  const std::span bytes(reinterpret_cast<const unsigned char*>(file.data()), file.size());
  return ReadTaggedAudio(bytes, AudioFormat::kAiff).caption;
}

TEST(AiffTextChunksTest, GiveTheCaptionWithoutAnId3Chunk) {
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::string chunks;
    const char* caption;
  } cases[] = {
      {"author and name", Chunk("AUTH", "Generator") + Chunk("NAME", "Tone"), "Generator - Tone"},
      {"name alone", Chunk("NAME", "Tone"), "Tone"},
      {"author alone", Chunk("AUTH", "Generator"), ""},
      {"Latin-1, controls and an ending NUL",
       Chunk("NAME", "Caf\xE9\r\n\x85 \xBD\0"s) + Chunk("AUTH", "Bj\xF6rk"), "Björk - Café ½"},
      {"odd chunks with and without their pad byte",
       Chunk("ANNO", "odd") + Chunk("(c) ", "odd", false) + Chunk("AUTH", "A", false) +
           Chunk("NAME", "Tone"),
       "A - Tone"},
      {"a name beyond the end of the file", "NAME" + BigEndian32(1000) + "Tone", ""},
      {"a chunk claiming 4 GiB before the name",
       "ANNO" + BigEndian32(0xFFFFFFFF) + "x" + Chunk("NAME", "Tone"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(AiffCaption(AiffWith(c.chunks)), c.caption);
  }
  // A FORM chunk that claims more than the file holds still has its chunks read.
  std::string file = AiffWith(Chunk("NAME", "Tone"));
  file.replace(4, 4, BigEndian32(0xFFFFFFF0));
  EXPECT_EQ(AiffCaption(file), "Tone");
}

TEST(FileNameCaptionTest, DropsTheFolderAndTheLastFourCharacters) {
  EXPECT_EQ(FileNameCaption("C:\\Music\\Song One.mp3", PathStyle::kWindows), "Song One");
  EXPECT_EQ(FileNameCaption("Song One.mp3", PathStyle::kWindows), "Song One");
  EXPECT_EQ(FileNameCaption("/music/a\\b.mp3", PathStyle::kPosix), "a\\b");
  EXPECT_EQ(FileNameCaption("/music/.mp3", PathStyle::kPosix), "");
  EXPECT_EQ(FileNameCaption("/music/a.b", PathStyle::kPosix), "");
  EXPECT_EQ(FileNameCaption("/music/", PathStyle::kPosix), "");
  // Characters, not bytes: a name is never cut inside a UTF-8 sequence.
  EXPECT_EQ(FileNameCaption("/music/Grüße.mp3", PathStyle::kPosix), "Grüße");
  EXPECT_EQ(FileNameCaption("/music/xÄÖÜß", PathStyle::kPosix), "x");
  EXPECT_EQ(FileNameCaption("/music/♪♫.♪♫", PathStyle::kPosix), "♪");
}

}  // namespace
}  // namespace sorvina::media
