#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_POSE_SENDER_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_POSE_SENDER_H

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>

namespace vok_test {

/// \brief Publishes robot poses on /amcl_pose, or on another robot's pose topic.
class PoseSender {
 public:
  explicit PoseSender(const std::string& topic = "/amcl_pose") {
    ros::NodeHandle node;
    pub_ = node.advertise<geometry_msgs::PoseWithCovarianceStamped>(topic, 20000);
  }

  /// \brief Waits until the node has subscribed.
  bool wait_for_subscriber(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pub_.getNumSubscribers() == 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  void send(double x, double y) {
    geometry_msgs::PoseWithCovarianceStamped msg;
    msg.header.frame_id = "map";
    msg.pose.pose.position.x = x;
    msg.pose.pose.position.y = y;
    msg.pose.pose.orientation.w = 1.0;
    pub_.publish(msg);
  }
  void send(const std::pair<double, double>& p) { send(p.first, p.second); }

 private:
  ros::Publisher pub_;
};

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_POSE_SENDER_H
