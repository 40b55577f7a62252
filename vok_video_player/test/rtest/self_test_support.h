#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_SELF_TEST_SUPPORT_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_SELF_TEST_SUPPORT_H

#include <atomic>
#include <chrono>
#include <thread>

#include <ros/ros.h>
#include <rosgraph_msgs/Clock.h>

namespace vok_test {

/// \brief Drives /clock for the whole graph, `speed` times faster than the wall clock in steps of
/// one wall millisecond, so that the self-test's 5 s pauses pass quickly.
class SelfTestClock {
 public:
  explicit SelfTestClock(double speed) : step_(0.001 * speed) {
    ros::NodeHandle node;
    pub_ = node.advertise<rosgraph_msgs::Clock>("/clock", 10);
    thread_ = std::thread([this] { run(); });
  }
  ~SelfTestClock() {
    running_ = false;
    thread_.join();
  }
  SelfTestClock(const SelfTestClock&) = delete;
  SelfTestClock& operator=(const SelfTestClock&) = delete;

 private:
  void run() {
    rosgraph_msgs::Clock clock;
    clock.clock = ros::Time(100, 0);
    while (running_ && ros::ok()) {
      pub_.publish(clock);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      clock.clock += step_;
    }
  }

  ros::Duration step_;
  ros::Publisher pub_;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_SELF_TEST_SUPPORT_H
