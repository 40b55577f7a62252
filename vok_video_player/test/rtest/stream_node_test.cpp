// The node end to end: its main loop streams the playlist of the room the robot is in.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cv_bridge/cv_bridge.h>
#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <sensor_msgs/Image.h>

#include "child_process.h"
#include "ros_test_main.h"
#include "sim_clock.h"
#include "test_media.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;

class StreamNode : public ::testing::Test {
 protected:
  void SetUp() override {
    ros::NodeHandle node;
    pose_pub_ = node.advertise<geometry_msgs::PoseWithCovarianceStamped>("/amcl_pose", 10);
    image_sub_ = node.subscribe("/camera/image", 10000, &StreamNode::on_image, this,
                                ros::TransportHints().tcpNoDelay());
  }

  void on_image(const sensor_msgs::ImageConstPtr& msg) {
    const auto code = vok_test::decode_frame(cv_bridge::toCvShare(msg, "bgr8")->image);
    std::lock_guard<std::mutex> lock(mutex_);
    codes_.push_back(code);
    changed_.notify_all();
  }

  void send_pose(double x, double y) {
    geometry_msgs::PoseWithCovarianceStamped msg;
    msg.pose.pose.position.x = x;
    msg.pose.pose.position.y = y;
    pose_pub_.publish(msg);
  }

  /// Waits until `count` frames of `item` have arrived after frame index `from`; returns the
  /// index of the first of them.
  std::optional<std::size_t> wait_frames(int item, std::size_t count, std::size_t from,
                                         std::chrono::milliseconds timeout = 10s) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<std::size_t> first;
    changed_.wait_for(lock, timeout, [&] {
      std::size_t seen = 0;
      for (std::size_t i = from; i < codes_.size(); ++i) {
        if (codes_[i].item != item) continue;
        if (!seen++) first = i;
      }
      return seen >= count;
    });
    return first && std::count_if(codes_.begin() + static_cast<long>(*first), codes_.end(),
                                  [&](const auto& c) { return c.item == item; }) >=
                        static_cast<long>(count)
               ? first
               : std::nullopt;
  }

  std::size_t frame_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_.size();
  }

  std::vector<vok_test::FrameCode> frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_;
  }

  vok_test::SimClock clock_{3.0};
  ros::Publisher pose_pub_;
  ros::Subscriber image_sub_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<vok_test::FrameCode> codes_;
};

TEST_F(StreamNode, MainLoopFollowsTheRobotFromRoomToRoom) {
  vok_test::MediaFolder media("node");
  ASSERT_TRUE(media.make_video("person", 10, 30));
  ChildProcess node(vok_test::node_binary(),
                    {"--video_folder", media.path(), "--test", "--seed", "3"});

  // Before any pose: "empty", again and again.
  ASSERT_TRUE(wait_frames(media.item("empty"), 5, 0)) << "no frames of empty";
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (pose_pub_.getNumSubscribers() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }

  send_pose(6.0, 8.3);  // room B: laptop alone
  auto line = node.wait_for_line("^Test in room B: playing laptop \\['laptop'\\]$", 5s);
  ASSERT_TRUE(line);
  auto out = node.out();
  EXPECT_EQ(out[*line - 2], "");
  EXPECT_EQ(out[*line - 1], "VOK video player: Robot in room B (Guest Room 1)");
  const std::size_t before_b = frame_count();
  ASSERT_TRUE(wait_frames(media.item("laptop"), 5, before_b)) << "laptop never shown";

  send_pose(10.6, 2.4);  // room F: the person video, played whole, pass after pass
  ASSERT_TRUE(node.wait_for_line("^Playlist for Kitchen \\(F\\): \\['person'\\]$", 5s));
  const auto first_person = wait_frames(media.item("person"), 25, frame_count());
  ASSERT_TRUE(first_person) << "person video not streamed";
  const auto seen = frames();
  std::vector<int> indexes;
  for (std::size_t i = *first_person; i < seen.size() && indexes.size() < 25; ++i) {
    if (seen[i].item == media.item("person")) indexes.push_back(seen[i].frame);
  }
  // A new room's first pass starts at the first frame; every frame comes once, in order.
  for (std::size_t i = 0; i < indexes.size(); ++i) EXPECT_EQ(indexes[i], static_cast<int>(i % 10));

  send_pose(3.78, 8.3);  // the gap between A and B is no room: back to "empty"
  ASSERT_TRUE(wait_frames(media.item("empty"), 3, frame_count()));

  node.signal(SIGINT);
  EXPECT_EQ(node.wait_exit(2s), std::optional<int>(0));
}

TEST_F(StreamNode, NonSpecialRoomsPlayEveryNameAndPerson) {
  vok_test::MediaFolder media("node_a");
  ChildProcess node(vok_test::node_binary(), {"--video_folder", media.path(), "--seed", "42"});
  ASSERT_TRUE(wait_frames(media.item("empty"), 2, 0));
  while (pose_pub_.getNumSubscribers() == 0) std::this_thread::sleep_for(10ms);
  send_pose(1.9, 8.3);  // room A
  const auto line = node.wait_for_line("^Playlist for non-special room: \\[", 5s);
  ASSERT_TRUE(line);
  const std::string playlist = node.out()[*line];
  for (const auto& name : vok::required_media_names()) {
    EXPECT_NE(playlist.find("'" + name + "'"), std::string::npos) << name;
  }
  const auto playing = node.wait_for_line("^VOK video player: Playing ", 5s, false, *line);
  ASSERT_TRUE(playing);
  node.signal(SIGTERM);
  EXPECT_EQ(node.wait_exit(2s), std::optional<int>(0));
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "stream_node_test", 1);
}
