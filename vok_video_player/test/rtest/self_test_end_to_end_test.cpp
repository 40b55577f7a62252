// The vok_self_test binary end to end: against no detector, and against the reference detector
// over a generated media folder, under simulated time.
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ros/ros.h>

#include "child_process.h"
#include "ros_test_main.h"
#include "vok_video_player/site/site_tables.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;
namespace fs = std::filesystem;

bool contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class SelfTestEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vok_self_test_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    // Stills and videos both, the last name ("person") among the videos.
    const std::string command =
        std::string(VOK_MAKE_MEDIA) + " " + folder_ + " sandwich,dog,person";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  static void TearDownTestSuite() { fs::remove_all(folder_); }

  static std::string folder_;
};

std::string SelfTestEndToEnd::folder_;

TEST_F(SelfTestEndToEnd, EndsWithStatusOneWhenNoDetectorServes) {
  ASSERT_FALSE(ros::service::exists("/detect_frame", false));
  ChildProcess self_test(VOK_SELF_TEST_BINARY, {"--video_folder", folder_});
  EXPECT_EQ(self_test.wait_exit(60s), std::optional<int>(1));
  EXPECT_TRUE(contains(self_test.err(), "/detect_frame is not available"));
  EXPECT_TRUE(contains(self_test.out(), "Testing pizza"));
  EXPECT_FALSE(contains(self_test.out(), "Testing sandwich"));
}

TEST_F(SelfTestEndToEnd, ReferenceDetectorRecognisesEveryItem) {
  ChildProcess detector("rosrun",
                        {"vok_tutorials22", "reference_detector", "--media_folder", folder_});
  ASSERT_TRUE(ros::service::waitForService("/detect_frame", ros::Duration(30.0)));

  ChildProcess self_test(VOK_SELF_TEST_BINARY, {"--video_folder", folder_});
  ASSERT_EQ(self_test.wait_exit(180s), std::optional<int>(0));

  // The report lines alone, each "Testing NAME" followed by its "Detected" line.
  std::vector<std::string> report;
  for (const auto& line : self_test.out()) {
    if (line.rfind("Testing ", 0) == 0 || line.rfind("    Detected ", 0) == 0) {
      report.push_back(line);
    }
  }
  const auto names = vok::required_media_names();
  ASSERT_EQ(report.size(), 2 * names.size());
  const std::regex detected(R"(    Detected (\S+) with confidence ([0-9.e+-]+))");
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(report[2 * i], "Testing " + names[i]);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(report[2 * i + 1], m, detected)) << report[2 * i + 1];
    EXPECT_EQ(m[1], vok::file_stem(names[i]));
    const double confidence = std::stod(m[2]);
    EXPECT_GE(confidence, 0.9) << names[i];
    EXPECT_LE(confidence, 1.0) << names[i];
  }
  EXPECT_FALSE(contains(self_test.err(), "Not detected"));
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "self_test_end_to_end", 0, 5.0);
}
