#ifndef VOK_VIDEO_PLAYER_TOOLS_MASTER_WAIT_H
#define VOK_VIDEO_PLAYER_TOOLS_MASTER_WAIT_H

#include <ros/master.h>
#include <ros/time.h>

namespace vok {

/// \brief Waits up to `seconds` for the ROS master to answer, so that a tool without a master
/// says so instead of blocking in its first advertise or subscribe.
inline bool master_answers(double seconds) {
  const ros::WallTime deadline = ros::WallTime::now() + ros::WallDuration(seconds);
  while (!ros::master::check()) {
    if (ros::WallTime::now() >= deadline) return false;
    ros::WallDuration(0.2).sleep();
  }
  return true;
}

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_TOOLS_MASTER_WAIT_H
