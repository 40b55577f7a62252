// Proves that the ThreadSanitizer check can fail: a program that races on the player's playlist
// through the real pose callback must draw a report with the project's suppressions in force.
#include <gtest/gtest.h>

#include <cstdlib>

#include "child_process.h"

namespace {

using namespace std::chrono_literals;

TEST(ThreadSanitizerCheck, ReportsARaceThroughThePoseCallback) {
  const std::string options = std::string("suppressions=") + VOK_TSAN_SUPPRESSIONS +
                              " halt_on_error=1 exitcode=66 log_path=stderr";
  vok_test::ChildProcess probe(VOK_RACE_PROBE, {}, {"TSAN_OPTIONS=" + options});
  EXPECT_EQ(probe.wait_exit(60s), std::optional<int>(66));
  std::string report;
  for (const auto& line : probe.err()) report += line + "\n";
  EXPECT_NE(report.find("WARNING: ThreadSanitizer: data race"), std::string::npos) << report;
  EXPECT_NE(report.find("vok::VOKVideoPlayer::pose_callback"), std::string::npos) << report;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
