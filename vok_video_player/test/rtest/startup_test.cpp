// Start-up of the real node binary: command line, argument echo, folder check, exit statuses.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "ros_test_main.h"
#include "test_media.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;

const std::string BANNER = "VOK Video Player Node ZQ 25-26 started";

std::vector<std::string> run_to_end(ChildProcess& node, int expected_status) {
  const auto status = node.wait_exit(10s);
  EXPECT_EQ(status, std::optional<int>(expected_status));
  return node.out();
}

TEST(Startup, EchoesSeedsAsTyped) {
  struct Case {
    std::vector<std::string> seed_args;
    std::string line;
  };
  const std::vector<Case> cases = {
      {{"--seed", "42"}, "         seed: 42"}, {{"--seed", "007"}, "         seed: 007"},
      {{"--seed=-5"}, "         Random seed"}, {{"--seed", "4.2"}, "         Random seed"},
      {{"--seed="}, "         Random seed"},   {{}, "         Random seed"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--video_folder", "/nonexistent/media"};
    args.insert(args.end(), c.seed_args.begin(), c.seed_args.end());
    ChildProcess node(vok_test::node_binary(), args);
    const auto out = run_to_end(node, 1);
    ASSERT_EQ(out.size(), 4u) << c.line;
    EXPECT_EQ(out[0], BANNER);
    EXPECT_EQ(out[1], "Using arguments:");
    EXPECT_EQ(out[2], c.line);
    EXPECT_EQ(out[3], "         video_folder: /nonexistent/media");
    EXPECT_EQ(node.err(),
              std::vector<std::string>{"Video folder /nonexistent/media/ does not exist"});
  }
}

TEST(Startup, RefusesIncompleteFoldersWithTheirLine) {
  vok_test::MediaFolder media("startup_refuse");
  const std::string folder = media.path();
  const std::string bare = folder.substr(0, folder.size() - 1);
  auto check = [&](const std::string& given, const std::string& error) {
    ChildProcess node(vok_test::node_binary(), {"--video_folder", given});
    const auto out = run_to_end(node, 1);
    EXPECT_EQ(out.back(), "         video_folder: " + given);
    EXPECT_EQ(node.err(), std::vector<std::string>{error});
  };
  auto element = [&](const std::string& stem) {
    return "Element " + folder + stem +
           "{.mp4/.jpg} does not exist! Please add it to the video folder.";
  };

  std::filesystem::remove(folder + "person.jpg");
  check(bare, element("person"));
  check(folder, element("person"));

  std::filesystem::create_directory(folder + "person.mp4");
  check(folder, element("person"));

  std::filesystem::remove_all(folder + "person.mp4");
  std::filesystem::remove(folder + "pizza.jpg");
  vok_test::write_still(folder + "person.jpg", 0);
  check(bare, element("pizza"));

  check(folder + "dog.jpg", "Video folder " + folder + "dog.jpg/ does not exist");
}

TEST(Startup, RejectsBadCommandLinesWithStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {{},
                                                       {"--seed", "5"},
                                                       {"--video_folder", "/m", "extra"},
                                                       {"--video_folder", "/m", "--test=1"},
                                                       {"--video_folder"}};
  for (const auto& args : cases) {
    ChildProcess node(vok_test::node_binary(), args);
    const auto out = run_to_end(node, 2);
    // The banner is logged first; nothing of the later steps follows.
    EXPECT_EQ(out, std::vector<std::string>{BANNER});
    const auto err = node.err();
    ASSERT_EQ(err.size(), 2u);
    EXPECT_EQ(err[0],
              "usage: vok_video_player [-h] [--seed SEED] --video_folder VIDEO_FOLDER [--test]");
    EXPECT_EQ(err[1].rfind("vok_video_player: error: ", 0), 0u) << err[1];
  }
}

TEST(Startup, PrintsHelpAndExitsZero) {
  ChildProcess node(vok_test::node_binary(), {"--bogus", "--help", "--video_folder"});
  const auto out = run_to_end(node, 0);
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out[0], BANNER);
  EXPECT_EQ(out[1],
            "usage: vok_video_player [-h] [--seed SEED] --video_folder VIDEO_FOLDER [--test]");
  EXPECT_TRUE(node.err().empty());
}

TEST(Startup, ReportsAnEmptyFolderTextAsAnError) {
  ChildProcess node(vok_test::node_binary(), {"--video_folder="});
  const auto out = run_to_end(node, 1);
  EXPECT_EQ(out.back(), "         video_folder: ");
  ASSERT_EQ(node.err().size(), 1u);
  EXPECT_NE(node.err()[0].find("--video_folder is empty"), std::string::npos);
}

TEST(Startup, RunsWithRemappingsAnywhereAndStopsCleanly) {
  vok_test::MediaFolder media("startup_run");
  const std::string bare = media.path().substr(0, media.path().size() - 1);
  for (const int stop_signal : {SIGINT, SIGTERM}) {
    ChildProcess node(vok_test::node_binary(), {"__name:=startup_cam", "--video_folder",
                                                "image:=/other", bare, "--seed", "42", "__ns:=/"});
    ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing empty\\.jpg$", 10s));
    const auto out = node.out();
    EXPECT_EQ(out[0], BANNER);
    EXPECT_EQ(out[1], "Using arguments:");
    EXPECT_EQ(out[2], "         seed: 42");
    EXPECT_EQ(out[3], "         video_folder: " + bare);

    // The player is wired: it subscribes to the pose and advertises the camera.
    ros::master::V_TopicInfo topics;
    ASSERT_TRUE(ros::master::getTopics(topics));
    bool camera = false;
    for (const auto& t : topics)
      camera |= t.name == "/camera/image" && t.datatype == "sensor_msgs/Image";
    EXPECT_TRUE(camera);
    std::vector<std::string> nodes;
    ASSERT_TRUE(ros::master::getNodes(nodes));
    EXPECT_NE(std::find(nodes.begin(), nodes.end(), "/startup_cam"), nodes.end());

    node.signal(stop_signal);
    EXPECT_EQ(node.wait_exit(2s), std::optional<int>(0)) << "signal " << stop_signal;
  }
}

}  // namespace

int main(int argc, char** argv) { return vok_test::run_ros_tests(argc, argv, "startup_test", 0); }
