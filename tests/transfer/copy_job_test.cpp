// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/copy_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvina::transfer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr auto kFolder = DestinationLayout::kOneFolderForAll;
constexpr auto kOnePerSource = DestinationLayout::kOnePerSource;

// Records each request it is handed and answers with `outcome` and `leftOut`.
CopyJob::Operation Recorder(std::vector<FileOperationRequest>& calls,
                            OperationOutcome outcome = OperationOutcome::kSucceeded,
                            bool leftOut = false) {
  return [&calls, outcome, leftOut](const FileOperationRequest& request) {
    calls.push_back(request);
    return FileOperationResult{outcome, leftOut};
  };
}

TEST(CopyJobTest, HandsOneFolderCopyToTheOperation) {
  std::vector<FileOperationRequest> calls;
  CopyJob job(Recorder(calls));
  job.Setup(nullptr, kFolder);
  EXPECT_TRUE(job.AddDestination("E:\\Music"));
  for (const char* path : {"C:\\a.mp3", "C:\\b.mp3", "D:\\x\\c.mp3"})
    EXPECT_TRUE(job.AddSource(path));

  bool started = false;
  OperationOutcome outcome = OperationOutcome::kInvalid;
  bool aborted = true;
  EXPECT_TRUE(job.Run(&started, &outcome, &aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(outcome, OperationOutcome::kSucceeded);
  EXPECT_FALSE(aborted);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_THAT(calls[0].sources, ElementsAre("C:\\a.mp3", "C:\\b.mp3", "D:\\x\\c.mp3"));
  EXPECT_THAT(calls[0].destinations, ElementsAre("E:\\Music"));
  EXPECT_EQ(calls[0].layout, kFolder);
}

TEST(CopyJobTest, OneDestinationPerSourceSetsTheLayoutUntilReset) {
  std::vector<FileOperationRequest> calls;
  CopyJob job(Recorder(calls));
  job.Setup(nullptr, kFolder);
  job.AddSource("a");
  job.AddSource("b");
  job.AddDestination("x");
  job.AddDestination("y");
  EXPECT_TRUE(job.Run());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].layout, kOnePerSource);
  EXPECT_THAT(calls[0].destinations, ElementsAre("x", "y"));
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
  const auto job = [&](std::vector<std::string> sources, std::vector<std::string> destinations,
                       bool setUp = true) {
    CopyJob made(Recorder(calls));
    if (setUp) made.Setup(nullptr, kFolder);
    for (const std::string& path : sources)
      made.AddSource(path);
    for (const std::string& path : destinations)
      made.AddDestination(path);
    return made;
  };
  CopyJob notSetUp = job({"a"}, {"d"}, false);
  CopyJob threeToTwo = job({"a", "b", "c"}, {"x", "y"});
  CopyJob noSources = job({}, {"d"});
  CopyJob noDestination = job({"a"}, {});
  for (CopyJob* incomplete : {&notSetUp, &threeToTwo, &noSources, &noDestination})
    EXPECT_TRUE(refused(*incomplete));
  EXPECT_THAT(calls, IsEmpty());
}

TEST(CopyJobTest, OtherOutcomesFail) {
  std::vector<FileOperationRequest> calls;
  CopyJob job(Recorder(calls, OperationOutcome::kCancelled, true));
  job.Setup(nullptr, kFolder);
  job.AddSource("/a.mp3");
  job.AddDestination("/d");
  bool started = false;
  OperationOutcome outcome = OperationOutcome::kSucceeded;
  bool aborted = false;
  EXPECT_FALSE(job.Run(&started, &outcome, &aborted));
  EXPECT_TRUE(started);
  EXPECT_EQ(outcome, OperationOutcome::kCancelled);
  EXPECT_TRUE(aborted);
}

TEST(CopyJobTest, RefusesPathsNoRequestCanCarry) {
  CopyJob job;
  EXPECT_FALSE(job.AddSource(std::string("a.mp3\0b.mp3", 11)));
  EXPECT_FALSE(job.AddSource(""));
  EXPECT_FALSE(job.AddDestination(std::string("d\0", 2)));
  EXPECT_TRUE(job.AddSource("c.mp3"));
  EXPECT_THAT(job.sources(), ElementsAre("c.mp3"));
  EXPECT_THAT(job.destinations(), IsEmpty());
}

}  // namespace
}  // namespace sorvina::transfer
