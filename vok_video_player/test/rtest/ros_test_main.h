#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_ROS_TEST_MAIN_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_ROS_TEST_MAIN_H

#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cstdio>
#include <memory>

#include "sim_clock.h"

namespace vok_test {

/// \brief The body of a rostest program: runs every test as the ROS node `node_name`, with
/// `spinner_threads` callback threads (none for 0) and, when `clock_speed` is above 0, /clock
/// driven that many times faster than the wall clock.
inline int run_ros_tests(int argc, char** argv, const char* node_name, int spinner_threads,
                         double clock_speed = 0) {
  // Line-buffered, so that what a test prints keeps its order against the node's log lines.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  testing::InitGoogleTest(&argc, argv);
  ros::init(argc, argv, node_name);
  ros::NodeHandle node;
  std::unique_ptr<ros::AsyncSpinner> spinner;
  if (spinner_threads > 0) {
    spinner = std::make_unique<ros::AsyncSpinner>(spinner_threads);
    spinner->start();
  }
  std::unique_ptr<SimClock> clock;
  if (clock_speed > 0) clock = std::make_unique<SimClock>(clock_speed);
  const int result = RUN_ALL_TESTS();
  clock.reset();
  if (spinner) spinner->stop();
  ros::shutdown();
  return result;
}

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_ROS_TEST_MAIN_H
