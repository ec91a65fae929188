// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

using test::NamesIn;
using test::ReadBytes;

using ::testing::ElementsAre;

std::vector<std::string> ReadAllLines(const std::string& path) {
  LineReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::vector<std::string> lines;
  for (std::string line; reader.Next(line);)
    lines.push_back(line);
  return lines;
}

TEST(LineReaderTest, SplitsAtLineFeedsAndDropsTheCarriageReturnBeforeThem) {
  test::TempDir dir;
  EXPECT_THAT(ReadAllLines(dir.WriteFile("crlf.m3u", "#EXTM3U\r\na.mp3\r\n\r\nb.mp3")),
              ElementsAre("#EXTM3U", "a.mp3", "", "b.mp3"));
  EXPECT_THAT(ReadAllLines(dir.WriteFile("lf.m3u", "a.mp3\nb.mp3\n")),
              ElementsAre("a.mp3", "b.mp3"));
  // A lone carriage return is no line end; only the one right before a line feed goes.
  EXPECT_THAT(ReadAllLines(dir.WriteFile("cr.m3u", "a\rb\r\r\nc")), ElementsAre("a\rb\r", "c"));
  EXPECT_THAT(ReadAllLines(dir.WriteFile("empty.m3u", "")), ElementsAre());
}

TEST(LineReaderTest, SkipsAByteOrderMarkOnlyAtTheVeryStart) {
  test::TempDir dir;
  EXPECT_THAT(ReadAllLines(dir.WriteFile("bom.m3u8",
                                         "\xEF\xBB\xBF"
                                         "a.mp3\r\n\xEF\xBB\xBF"
                                         "b.mp3\r\n")),
              ElementsAre("a.mp3",
                          "\xEF\xBB\xBF"
                          "b.mp3"));
  EXPECT_THAT(ReadAllLines(dir.WriteFile("only-bom.m3u8", "\xEF\xBB\xBF")), ElementsAre());
}

TEST(LineReaderTest, KeepsLongLinesWholeAndNulBytesInPlace) {
  test::TempDir dir;
  const std::string longLine(200'000, 'x');  // spans several reads of the buffer
  const std::string withNul("a\0b.mp3", 7);
  EXPECT_THAT(ReadAllLines(dir.WriteFile("long.m3u", longLine + "\r\n" + withNul + "\n")),
              ElementsAre(longLine, withNul));
}

TEST(LineReaderTest, RefusesWhatIsNoReadableFile) {
  test::TempDir dir;
  LineReader reader;
  EXPECT_FALSE(reader.Open(dir / "missing.m3u"));
  EXPECT_FALSE(LineReader().Open(dir.MakeFolder("folder.m3u")));
  EXPECT_FALSE(LineReader().Open(std::string("a\0b", 3)));
  // A FIFO nobody writes to would block a plain open for ever.
  ASSERT_EQ(mkfifo((dir / "fifo.m3u").c_str(), 0600), 0);
  EXPECT_FALSE(LineReader().Open(dir / "fifo.m3u"));
}

TEST(LineReaderTest, TellsAReadErrorFromTheEndOfTheFile) {
  test::TempDir dir;
  LineReader whole;
  ASSERT_TRUE(whole.Open(dir.WriteFile("list.m3u", "a\n")));
  std::string line;
  while (whole.Next(line)) {
  }
  EXPECT_FALSE(whole.failed());
  // Reading a process's memory from its start fails: an open file whose reads fail.
  LineReader broken;
  ASSERT_TRUE(broken.Open("/proc/self/mem"));
  EXPECT_FALSE(broken.Next(line));
  EXPECT_TRUE(broken.failed());
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  LineWriter writer;
  if (!writer.Open(path)) return false;
  bool written = true;
  for (const std::string& line : lines)
    written = writer.WriteLine(line) && written;
  return writer.Commit() && written;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
  return status.st_mode;
}

TEST(LineWriterTest, EndsEveryLineWithCarriageReturnAndLineFeed) {
  test::TempDir dir;
  const std::string path = dir / "out.txt";
  LineWriter writer;
  ASSERT_TRUE(writer.Open(path));
  EXPECT_TRUE(writer.WriteLine("2"));
  EXPECT_TRUE(writer.WriteLine(""));
  EXPECT_TRUE(writer.WriteLine("/music/"));
  EXPECT_TRUE(writer.Commit());
  EXPECT_EQ(ReadBytes(path), "2\r\n\r\n/music/\r\n");
  EXPECT_THAT(ReadAllLines(path), ElementsAre("2", "", "/music/"));
  EXPECT_THAT(NamesIn(dir.path()), ElementsAre("out.txt"));
}

TEST(LineWriterTest, LeavesTheTargetAloneUntilCommitAndWithoutIt) {
  test::TempDir dir;
  const std::string path = dir.WriteFile("out.txt", "old\r\n");
  {
    LineWriter writer;
    ASSERT_TRUE(writer.Open(path));
    EXPECT_TRUE(writer.WriteLine(std::string(200'000, 'x')));  // beyond what is kept in memory
    EXPECT_EQ(ReadBytes(path), "old\r\n");
    EXPECT_EQ(NamesIn(dir.path()).size(), 2u) << "the lines go to a file beside the target";
  }
  EXPECT_EQ(ReadBytes(path), "old\r\n");
  EXPECT_THAT(NamesIn(dir.path()), ElementsAre("out.txt"));
}

TEST(LineWriterTest, RefusesWhatCannotBeWritten) {
  test::TempDir dir;
  EXPECT_FALSE(LineWriter().Open(dir / "no/such/folder/out.txt"));
  EXPECT_FALSE(LineWriter().Open(dir.MakeFolder("folder.m3u")));
  EXPECT_FALSE(LineWriter().Open(std::string("a\0b", 3)));
  ASSERT_EQ(symlink("loop", (dir / "loop").c_str()), 0);
  EXPECT_FALSE(LineWriter().Open(dir / "loop"));
  // A FIFO nobody reads from would block the open.
  ASSERT_EQ(mkfifo((dir / "fifo.m3u").c_str(), 0600), 0);
  EXPECT_FALSE(LineWriter().Open(dir / "fifo.m3u"));
  // A device is written as it is, never replaced; this one fails every write.
  LineWriter full;
  ASSERT_TRUE(full.Open("/dev/full"));
  EXPECT_TRUE(full.WriteLine("x"));  // kept in memory until it is flushed
  EXPECT_FALSE(full.Commit());
  EXPECT_THAT(NamesIn(dir.path()), ElementsAre("fifo.m3u", "folder.m3u", "loop"));
}

TEST(LineWriterTest, KeepsTheOldFileWhenAWriteIsCutShortByTheFileSizeLimit) {
  test::TempDir dir;
  const std::string path = dir.WriteFile("limited.txt", "old\r\n");
  // In a child, so that the limit stays there; the child leaves SIGXFSZ as it is, so the
  // writer itself must keep the signal from ending the process (and leaving its temporary
  // file behind). Two sizes: one that fails while lines are written, one that fails only
  // when Commit flushes.
  for (const int lines : {100'000, 1000}) {
    const std::string committed = test::RunWithFileSizeLimit(4096, [&] {
      LineWriter writer;
      if (!writer.Open(path)) return std::string("not opened");
      bool ok = true;
      for (int i = 0; i < lines; ++i)
        ok = writer.WriteLine("0123456789") && ok;
      ok = writer.Commit() && ok;
      return std::string(ok ? "success" : "failure");
    });
    EXPECT_EQ(committed, "failure") << "the writer must report that the file is cut";
    EXPECT_EQ(ReadBytes(path), "old\r\n");
    EXPECT_THAT(NamesIn(dir.path()), ElementsAre("limited.txt"));
  }
}

TEST(LineWriterTest, KeepsTheModeOfTheFileItReplacesAndHonoursTheUmaskForNewOnes) {
  test::TempDir dir;
  const std::string existing = dir.WriteFile("existing.txt", "old");
  ASSERT_EQ(chmod(existing.c_str(), 0604), 0);
  const mode_t previous = umask(027);
  const bool wroteExisting = WriteLines(existing, {"new"});
  const bool wroteNew = WriteLines(dir / "new.txt", {"new"});
  umask(previous);
  ASSERT_TRUE(wroteExisting);
  ASSERT_TRUE(wroteNew);
  EXPECT_EQ(ModeOf(existing) & 07777, 0604u);
  EXPECT_EQ(ModeOf(dir / "new.txt") & 07777, 0640u);
}

TEST(LineWriterTest, WritesThroughSymbolicLinks) {
  test::TempDir dir;
  const std::string real = dir.WriteFile("real/list.m3u", "old\r\n");
  dir.MakeFolder("links");
  ASSERT_EQ(symlink("../real/list.m3u", (dir / "links/relative.m3u").c_str()), 0);
  ASSERT_EQ(symlink("../real/made.m3u", (dir / "links/dangling.m3u").c_str()), 0);

  ASSERT_TRUE(WriteLines(dir / "links/relative.m3u", {"new"}));
  ASSERT_TRUE(WriteLines(dir / "links/dangling.m3u", {"made"}));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir / "links/relative.m3u")));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir / "links/dangling.m3u")));
  EXPECT_EQ(ReadBytes(real), "new\r\n");
  EXPECT_EQ(ReadBytes(dir / "real/made.m3u"), "made\r\n");
  EXPECT_THAT(NamesIn(dir / "links"), ElementsAre("dangling.m3u", "relative.m3u"));
  EXPECT_THAT(NamesIn(dir / "real"), ElementsAre("list.m3u", "made.m3u"));
}

TEST(LineWriterTest, WritesAWritableFileInAReadOnlyFolderDirectly) {
  test::TempDir dir;
  const std::string folder = dir.MakeFolder("locked");
  const std::string path = dir.WriteFile("locked/list.m3u", "an older and longer text\r\n");
  const std::string growing = dir.WriteFile("locked/growing.m3u", "old\r\n");
  const std::string readOnly = dir.WriteFile("open/read-only.m3u", "kept\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(growing.c_str(), 0666), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  ASSERT_EQ(chmod((dir / "open").c_str(), 0777), 0);
  ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
  const std::string outcome = test::RunUnprivileged([&] {
    std::string result;
    result += WriteLines(path, {"new"}) ? "written" : "failed";
    result += WriteLines(growing, {"a longer", "new text"}) ? " grown" : " not grown";
    result += WriteLines(folder + "/other.m3u", {"new"}) ? " created" : " not created";
    // A file the user may not write is not replaced, although its folder would allow it.
    result += WriteLines(readOnly, {"new"}) ? " replaced" : " refused";
    return result;
  });
  EXPECT_EQ(outcome, "written grown not created refused");
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  EXPECT_EQ(ReadBytes(growing), "a longer\r\nnew text\r\n");
  EXPECT_EQ(ReadBytes(readOnly), "kept\r\n");
  chmod(folder.c_str(), 0755);
  EXPECT_THAT(NamesIn(folder), ElementsAre("growing.m3u", "list.m3u"));
  EXPECT_THAT(NamesIn(dir / "open"), ElementsAre("read-only.m3u"));
}

}  // namespace
}  // namespace sorvina::platform
