// SPDX-License-Identifier: GPL-3.0-or-later
// The real volumes the fault tests fill: each kind, used as those tests use it, leaves no
// mount and no loop device behind when it goes, also where it was pulled out and never
// plugged in again; a later test would otherwise find the system short of both.
#include "tests/faults/test_volumes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#ifndef SORVINA_MTP_RULES_VOLUME
#define SORVINA_MTP_RULES_VOLUME ""
#endif

namespace sorvina::test {
namespace {

// Whether a mount at `path`, or a loop device over a file beside it, is left. A loop
// device is let go of a moment after its last user, so that is waited for.
bool AnythingLeftAt(const std::string& path) {
  for (const std::string& line : LinesOf(ReadBytes("/proc/self/mountinfo")))
    if (line.find(" " + path + " ") != std::string::npos) return true;
  const std::string beside = std::filesystem::path(path).parent_path().string() + "/";
  for (int wait = 0; wait < 100; ++wait) {
    bool attached = false;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/block", error))
      attached = attached || ReadBytes(entry.path() / "loop/backing_file").starts_with(beside);
    if (!attached) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

enum class Ending { kUnmounted, kPulledOut, kPullOutRefused };

struct VolumeCase {
  const char* name;
  ImageVolume::Kind kind;
  Ending ending;
};

class ImageVolumeTest : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(ImageVolumeTest, LeavesNothingMountedOrAttachedWhenItGoes) {
  std::string path;
  {
    ImageVolume volume(GetParam().kind, 8);
    if (!volume.mounted()) GTEST_SKIP() << volume.reason();
    path = volume.path();
    std::ofstream(volume / "song.mp3") << "song";
    volume.ReadEntryOrder();
    ASSERT_TRUE(volume.mounted());
    EXPECT_EQ(ReadBytes(volume / "song.mp3"), "song");
    if (GetParam().ending != Ending::kUnmounted) {
      ASSERT_EQ(volume.PullOut(false), GetParam().ending == Ending::kPulledOut);
    }
    EXPECT_EQ(volume.mounted(), GetParam().ending != Ending::kPulledOut);
  }
  EXPECT_FALSE(AnythingLeftAt(path));
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, ImageVolumeTest,
    ::testing::Values(VolumeCase{"FAT", ImageVolume::Kind::kFat, Ending::kPullOutRefused},
                      VolumeCase{"exFAT", ImageVolume::Kind::kExFat, Ending::kUnmounted},
                      VolumeCase{"exFATPulledOut", ImageVolume::Kind::kExFat, Ending::kPulledOut}),
    [](const auto& info) { return std::string(info.param.name); });

// The MTP rules volume goes with its daemon, also where a file on it is still open for
// writing when it goes.
TEST(MtpRulesVolumeTest, LeavesNothingMountedWhenItGoes) {
  std::string path;
  {
    MtpRulesVolume volume(SORVINA_MTP_RULES_VOLUME);
    if (!volume.mounted()) GTEST_SKIP() << volume.reason();
    path = volume.path();
    std::ofstream open(volume / "song.mp3");
    open << "song" << std::flush;
  }
  EXPECT_FALSE(AnythingLeftAt(path));
}

}  // namespace
}  // namespace sorvina::test
