// A camera per robot on one master: player.launch with robot:=NAME, twice, one of the players
// loaded into a nodelet manager with manager:=.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/Image.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

#include "child_process.h"
#include "pose_sender.h"
#include "ros_test_main.h"
#include "test_media.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;
using vok_test::wait_until;

/// One robot: its player started through the launch file, its poses and what its camera shows.
struct Robot {
  Robot(const std::string& name, const std::string& folder, const std::string& manager = "")
      : launch("roslaunch",
               {"vok_video_player", "player.launch", "robot:=" + name, "video_folder:=" + folder,
                "test:=true", "seed:=1", "manager:=" + manager}),
        poses("/" + name + "/amcl_pose") {
    camera = ros::NodeHandle().subscribe<sensor_msgs::Image>(
        "/" + name + "/camera/image", 1,
        [this](const sensor_msgs::ImageConstPtr& msg) {
          shown = vok_test::decode_frame(cv_bridge::toCvShare(msg, "bgr8")->image).item;
        },
        ros::VoidConstPtr(), ros::TransportHints().tcpNoDelay());
  }
  ~Robot() { stop(); }
  std::optional<int> stop() {
    launch.signal(SIGINT);
    return launch.wait_exit(20s);
  }

  ChildProcess launch;
  vok_test::PoseSender poses;
  ros::Subscriber camera;
  std::atomic<int> shown{-1};
};

TEST(Robots, EachCameraShowsItsOwnRobotsRoom) {
  vok_test::MediaFolder folder("robots");
  ChildProcess manager("rosrun", {"nodelet", "nodelet", "manager", "__name:=camera_manager"});
  // In test mode room B plays only laptop and room F only person.
  Robot r1("r1", folder.path()), r2("r2", folder.path(), "/camera_manager");
  ASSERT_TRUE(r1.poses.wait_for_subscriber(30s)) << "no /r1/vok_cw_video";
  ASSERT_TRUE(r2.poses.wait_for_subscriber(30s)) << "no /r2/vok_cw_video";

  std::vector<std::string> nodes;
  ASSERT_TRUE(ros::master::getNodes(nodes));
  EXPECT_NE(std::find(nodes.begin(), nodes.end(), "/r1/vok_cw_video"), nodes.end());
  EXPECT_NE(std::find(nodes.begin(), nodes.end(), "/r2/vok_cw_video"), nodes.end());
  // Each camera's compressed stream comes along with its raw topic.
  ros::master::V_TopicInfo topics;
  ASSERT_TRUE(ros::master::getTopics(topics));
  for (const char* robot : {"r1", "r2"}) {
    const std::string compressed = "/" + std::string(robot) + "/camera/image/compressed";
    EXPECT_TRUE(std::any_of(topics.begin(), topics.end(),
                            [&](const ros::master::TopicInfo& t) { return t.name == compressed; }))
        << "no " << compressed;
  }

  const int laptop = folder.item("laptop"), person = folder.item("person");
  EXPECT_TRUE(wait_until(
      [&] {
        r1.poses.send(6.0, 8.3);   // room B
        r2.poses.send(10.6, 2.4);  // room F
        return r1.shown == laptop && r2.shown == person;
      },
      20s))
      << "r1 shows item " << r1.shown << ", r2 shows item " << r2.shown;

  // Ending r2's launch unloads its player; the manager stays up until it is stopped itself.
  EXPECT_EQ(r2.stop(), std::optional<int>(0));
  EXPECT_TRUE(wait_until([&] { return r2.camera.getNumPublishers() == 0; }, 5s));
  EXPECT_EQ(manager.wait_exit(200ms), std::nullopt) << "the manager ended with the player";
  manager.signal(SIGINT);
  EXPECT_EQ(manager.wait_exit(5s), std::optional<int>(0));
}

}  // namespace

int main(int argc, char** argv) { return vok_test::run_ros_tests(argc, argv, "robots_test", 1); }
