#include "transfer/copy_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::transfer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr auto kCopy = FileOperationKind::kCopy;
constexpr auto kFolder = DestinationLayout::kOneFolderForAll;
constexpr auto kOnePerSource = DestinationLayout::kOnePerSource;

// The list's buffer as FillListBuffer writes it, final NULs included.
std::string Buffer(const std::vector<std::string>& list) {
  std::string buffer(CopyJob::GetListBufferSize(list), 'x');
  CopyJob::FillListBuffer(buffer.data(), list);
  return buffer;
}

// Records each request it is handed and answers with `outcome` and `leftOut`.
CopyJob::Operation Recorder(std::vector<FileOperationRequest>& calls,
                            OperationOutcome outcome = OperationOutcome::kSucceeded,
                            bool leftOut = false) {
  return [&calls, outcome, leftOut](const FileOperationRequest& request) {
    calls.push_back(request);
    return FileOperationResult{outcome, leftOut};
  };
}

TEST(CopyJobTest, BuildsTheDoubleNulBuffersOfOneFolderCopy) {
  std::vector<FileOperationRequest> calls;
  CopyJob job(Recorder(calls));
  job.Setup(kCopy, nullptr, kFolder);
  EXPECT_TRUE(job.AddDestination("E:\\Music"));
  for (const char* path : {"C:\\a.mp3", "C:\\b.mp3", "D:\\x\\c.mp3"})
    EXPECT_TRUE(job.AddSource(path));
  EXPECT_EQ(CopyJob::GetListBufferSize(job.sources()), 30u);
  EXPECT_EQ(CopyJob::GetListBufferSize(job.destinations()), 10u);
  EXPECT_EQ(Buffer(job.sources()), std::string("C:\\a.mp3\0C:\\b.mp3\0D:\\x\\c.mp3\0\0", 30));
  EXPECT_EQ(Buffer(job.destinations()), std::string("E:\\Music\0\0", 10));

  bool started = false;
  OperationOutcome outcome = OperationOutcome::kInvalid;
  bool aborted = true;
  EXPECT_TRUE(job.Run(&started, &outcome, &aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(outcome, OperationOutcome::kSucceeded);
  EXPECT_FALSE(aborted);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, kCopy);
  EXPECT_THAT(calls[0].sources, ElementsAre("C:\\a.mp3", "C:\\b.mp3", "D:\\x\\c.mp3"));
  EXPECT_THAT(calls[0].destinations, ElementsAre("E:\\Music"));
  EXPECT_EQ(calls[0].layout, kFolder);
}

TEST(CopyJobTest, OneDestinationPerSourceSetsTheLayoutUntilReset) {
  std::vector<FileOperationRequest> calls;
  CopyJob job(Recorder(calls));
  job.Setup(FileOperationKind::kMove, nullptr, kFolder);
  job.AddSource("a");
  job.AddSource("b");
  job.AddDestination("x");
  job.AddDestination("y");
  EXPECT_TRUE(job.Run());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].layout, kOnePerSource);
  EXPECT_EQ(Buffer(calls[0].destinations), std::string("x\0y\0\0", 5));
  EXPECT_EQ(job.request().layout, kOnePerSource);

  job.Reset();
  EXPECT_EQ(job.request().layout, kFolder);
  EXPECT_THAT(job.sources(), IsEmpty());
  EXPECT_FALSE(job.Run());  // no longer set up
  EXPECT_EQ(calls.size(), 1u);
}

TEST(CopyJobTest, RefusesIncompleteRequestsWithoutCallingTheOperation) {
  std::vector<FileOperationRequest> calls;
  // Only `started` is written when the operation is not called.
  const auto refused = [](CopyJob& job) {
    bool started = true;
    OperationOutcome outcome = OperationOutcome::kCancelled;
    bool aborted = true;
    return !job.Run(&started, &outcome, &aborted) && !started &&
           outcome == OperationOutcome::kCancelled && aborted;
  };
  const auto job = [&](FileOperationKind kind, std::vector<std::string> sources,
                       std::vector<std::string> destinations, bool setUp = true) {
    CopyJob made(Recorder(calls));
    if (setUp) made.Setup(kind, nullptr, kFolder);
    for (const std::string& path : sources)
      made.AddSource(path);
    for (const std::string& path : destinations)
      made.AddDestination(path);
    return made;
  };
  CopyJob notSetUp = job(kCopy, {"a"}, {"d"}, false);
  CopyJob threeToTwo = job(kCopy, {"a", "b", "c"}, {"x", "y"});
  CopyJob belowTheKinds = job(static_cast<FileOperationKind>(-1), {"a"}, {"d"});
  CopyJob aboveTheKinds = job(static_cast<FileOperationKind>(4), {"a"}, {"d"});
  CopyJob noSources = job(kCopy, {}, {"d"});
  CopyJob noDestination = job(kCopy, {"a"}, {});
  for (CopyJob* incomplete :
       {&notSetUp, &threeToTwo, &belowTheKinds, &aboveTheKinds, &noSources, &noDestination}) {
    EXPECT_TRUE(refused(*incomplete));
  }
  EXPECT_THAT(calls, IsEmpty());
}

TEST(CopyJobTest, DeleteGetsNoDestinationsAndOtherOutcomesFail) {
  std::vector<FileOperationRequest> calls;
  CopyJob job(Recorder(calls, OperationOutcome::kCancelled, true));
  job.Setup(FileOperationKind::kDelete, nullptr, kFolder);
  job.AddSource("/a.mp3");
  bool started = false;
  OperationOutcome outcome = OperationOutcome::kSucceeded;
  bool aborted = false;
  EXPECT_FALSE(job.Run(&started, &outcome, &aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(outcome, OperationOutcome::kCancelled);
  EXPECT_TRUE(aborted);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Buffer(calls[0].sources), std::string("/a.mp3\0\0", 8));
  EXPECT_THAT(calls[0].destinations, IsEmpty());
}

TEST(CopyJobTest, RefusesPathsNoRequestCanCarry) {
  CopyJob job;
  EXPECT_FALSE(job.AddSource(std::string("a.mp3\0b.mp3", 11)));
  EXPECT_FALSE(job.AddSource(""));  // would end the list before the paths after it
  EXPECT_FALSE(job.AddDestination(std::string("d\0", 2)));
  EXPECT_TRUE(job.AddSource("c.mp3"));
  EXPECT_THAT(job.sources(), ElementsAre("c.mp3"));
  EXPECT_THAT(job.destinations(), IsEmpty());

  EXPECT_EQ(Buffer({}), std::string(1, '\0'));
}

}  // namespace
}  // namespace sorvina::transfer
