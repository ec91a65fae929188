#include "transfer/copy_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::transfer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// What the operation was handed, the buffers decoded while they still exist.
struct Call {
  FileOperationRecord record;
  std::string from;  // raw bytes, final NULs included
  std::string to;
};

std::string RawList(const char* buffer) {
  std::size_t size = 0;
  while (buffer != nullptr && (buffer[size] != '\0' || (size > 0 && buffer[size - 1] != '\0')))
    ++size;
  return buffer == nullptr ? "<none>" : std::string(buffer, size + 1);
}

CopyJob::Operation Recorder(std::vector<Call>& calls, int returned = 0, bool aborted = false) {
  return [&calls, returned, aborted](FileOperationRecord& record) {
    calls.push_back({record, RawList(record.from), RawList(record.to)});
    record.anyOperationsAborted = aborted;
    return returned;
  };
}

TEST(CopyJobTest, BuildsTheDoubleNulBuffersOfOneFolderCopy) {
  std::vector<Call> calls;
  CopyJob job(Recorder(calls));
  job.Setup(FO_COPY, nullptr, 0);
  EXPECT_TRUE(job.AddDestination("E:\\Music"));
  for (const char* path : {"C:\\a.mp3", "C:\\b.mp3", "D:\\x\\c.mp3"})
    EXPECT_TRUE(job.AddSource(path));
  EXPECT_EQ(CopyJob::GetListBufferSize(job.sources()), 30u);
  EXPECT_EQ(CopyJob::GetListBufferSize(job.destinations()), 10u);

  bool started = false;
  int result = -1;
  bool aborted = true;
  EXPECT_TRUE(job.Run(&started, &result, &aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(aborted);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].record.operation, FO_COPY);
  EXPECT_EQ(calls[0].from, std::string("C:\\a.mp3\0C:\\b.mp3\0D:\\x\\c.mp3\0\0", 30));
  EXPECT_EQ(calls[0].to, std::string("E:\\Music\0\0", 10));
  EXPECT_EQ(calls[0].record.flags & FOF_MULTIDESTFILES, 0);
  EXPECT_STREQ(calls[0].record.progressTitle, "");
  // The buffers went with the call; the record no longer points at them.
  EXPECT_EQ(job.record().from, nullptr);
  EXPECT_EQ(job.record().to, nullptr);
}

TEST(CopyJobTest, OneDestinationPerSourceAddsMultiDestUntilReset) {
  std::vector<Call> calls;
  CopyJob job(Recorder(calls));
  job.Setup(FO_MOVE, nullptr, 0x0010);
  job.AddSource("a");
  job.AddSource("b");
  job.AddDestination("x");
  job.AddDestination("y");
  EXPECT_TRUE(job.Run());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].record.flags, 0x0011);
  EXPECT_EQ(calls[0].to, std::string("x\0y\0\0", 5));
  EXPECT_EQ(job.record().flags, 0x0011);

  job.Reset();
  EXPECT_EQ(job.record().flags, 0);
  EXPECT_THAT(job.sources(), IsEmpty());
  EXPECT_FALSE(job.Run());  // no longer set up
  EXPECT_EQ(calls.size(), 1u);
}

TEST(CopyJobTest, RefusesIncompleteRequestsWithoutCallingTheOperation) {
  std::vector<Call> calls;
  // Only `started` is written when the operation is not called.
  const auto refused = [](CopyJob& job) {
    bool started = true;
    int result = 77;
    bool aborted = true;
    return !job.Run(&started, &result, &aborted) && !started && result == 77 && aborted;
  };
  const auto job = [&](unsigned operation, std::vector<std::string> sources,
                       std::vector<std::string> destinations, bool setUp = true) {
    CopyJob made(Recorder(calls));
    if (setUp) made.Setup(operation, nullptr, 0);
    for (const std::string& path : sources)
      made.AddSource(path);
    for (const std::string& path : destinations)
      made.AddDestination(path);
    return made;
  };
  CopyJob notSetUp = job(FO_COPY, {"a"}, {"d"}, false);
  CopyJob threeToTwo = job(FO_COPY, {"a", "b", "c"}, {"x", "y"});
  CopyJob codeZero = job(0, {"a"}, {"d"});
  CopyJob codeFive = job(5, {"a"}, {"d"});
  CopyJob noSources = job(FO_COPY, {}, {"d"});
  CopyJob noDestination = job(FO_COPY, {"a"}, {});
  for (CopyJob* incomplete :
       {&notSetUp, &threeToTwo, &codeZero, &codeFive, &noSources, &noDestination}) {
    EXPECT_TRUE(refused(*incomplete));
  }
  EXPECT_THAT(calls, IsEmpty());
}

TEST(CopyJobTest, DeleteGetsNoDestinationBufferAndNonZeroResultsFail) {
  std::vector<Call> calls;
  CopyJob job(Recorder(calls, kOperationCancelled, true));
  job.Setup(FO_DELETE, nullptr, 0);
  job.AddSource("/a.mp3");
  bool started = false;
  int result = 0;
  bool aborted = false;
  EXPECT_FALSE(job.Run(&started, &result, &aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(result, kOperationCancelled);
  EXPECT_TRUE(aborted);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].from, std::string("/a.mp3\0\0", 8));
  EXPECT_EQ(calls[0].to, "<none>");
}

TEST(CopyJobTest, RefusesPathsTheBufferCannotCarry) {
  CopyJob job;
  EXPECT_FALSE(job.AddSource(std::string("a.mp3\0b.mp3", 11)));
  EXPECT_FALSE(job.AddSource(""));  // would end the list before the paths after it
  EXPECT_FALSE(job.AddDestination(std::string("d\0", 2)));
  EXPECT_TRUE(job.AddSource("c.mp3"));
  EXPECT_THAT(job.sources(), ElementsAre("c.mp3"));
  EXPECT_THAT(job.destinations(), IsEmpty());

  std::vector<char> empty(CopyJob::GetListBufferSize({}), 'x');
  CopyJob::FillListBuffer(empty.data(), {});
  EXPECT_THAT(empty, ElementsAre('\0'));
}

}  // namespace
}  // namespace sorvina::transfer
