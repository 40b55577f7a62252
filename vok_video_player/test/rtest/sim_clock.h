#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_SIM_CLOCK_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_SIM_CLOCK_H

#include <atomic>
#include <chrono>
#include <thread>

#include <ros/ros.h>
#include <rosgraph_msgs/Clock.h>

namespace vok_test {

/// \brief Publishes /clock, running simulated time `speed` times faster than the wall clock in
/// 1 ms wall steps, so that seconds of playback take a fraction of a second.
class SimClock {
 public:
  explicit SimClock(double speed) : speed_(speed) {
    ros::NodeHandle node;
    pub_ = node.advertise<rosgraph_msgs::Clock>("/clock", 10);
    thread_ = std::thread([this] { run(); });
  }
  ~SimClock() {
    running_ = false;
    thread_.join();
  }

 private:
  void run() {
    ros::Time now(1000, 0);
    while (running_ && ros::ok()) {
      rosgraph_msgs::Clock clock;
      clock.clock = now;
      pub_.publish(clock);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      now += ros::Duration(0.001 * speed_);
    }
  }

  double speed_;
  ros::Publisher pub_;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_SIM_CLOCK_H
