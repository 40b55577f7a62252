#ifndef VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H
#define VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H

#include <ros/time.h>

namespace vok {

/// \brief Paces frames on the ROS clock (simulated time included) exactly as ros::Rate does,
/// and can also wake a little before the next frame is due, to prepare that frame just in time.
class FrameClock {
 public:
  /// \brief Starts the clock now; the first frame is due one period from now.
  explicit FrameClock(double rate);

  /// \brief Sleeps until `lead` seconds before the next frame is due; returns at once when that
  /// moment has passed.
  void sleep_until_before_due(double lead) const;

  /// \brief Sleeps until the next frame is due, as ros::Rate::sleep() does, including its reset
  /// when the clock went back or fell more than a period behind.
  /// \return false when the frame was already due, or the sleep was cut short by shutdown
  bool sleep();

 private:
  ros::Duration period_;
  ros::Time start_;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H
