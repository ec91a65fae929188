#include "platform/text_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sorvina::platform {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> ReadAllLines(const std::string& path) {
  LineReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::vector<std::string> lines;
  for (std::string line; reader.Next(line);)
    lines.push_back(line);
  return lines;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
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

TEST(LineWriterTest, EndsEveryLineWithCarriageReturnAndLineFeed) {
  test::TempDir dir;
  const std::string path = dir / "out.txt";
  LineWriter writer;
  ASSERT_TRUE(writer.Open(path));
  EXPECT_TRUE(writer.WriteLine("2"));
  EXPECT_TRUE(writer.WriteLine(""));
  EXPECT_TRUE(writer.WriteLine("/music/"));
  EXPECT_TRUE(writer.Close());
  EXPECT_EQ(ReadBytes(path), "2\r\n\r\n/music/\r\n");
  EXPECT_THAT(ReadAllLines(path), ElementsAre("2", "", "/music/"));
}

TEST(LineWriterTest, ReportsFilesThatCannotBeWritten) {
  test::TempDir dir;
  EXPECT_FALSE(LineWriter().Open(dir / "no/such/folder/out.txt"));
  LineWriter full;
  ASSERT_TRUE(full.Open("/dev/full"));
  full.WriteLine(std::string(100'000, 'x'));  // may be buffered: the failure shows by Close
  EXPECT_FALSE(full.Close());
}

TEST(LineWriterTest, ReportsAWriteCutShortByTheFileSizeLimit) {
  test::TempDir dir;
  const std::string path = dir / "limited.txt";
  // In a child, so that the limit and the signal it raises stay there.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    LineWriter writer;
    if (!writer.Open(path)) _exit(3);
    bool ok = true;
    for (int i = 0; i < 1000; ++i)
      ok = writer.WriteLine("0123456789") && ok;
    ok = writer.Close() && ok;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "the writer reported success although the file is cut";
}

}  // namespace
}  // namespace sorvina::platform
