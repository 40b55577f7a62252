#include "vok_video_player/media/frame_clock.h"

namespace vok {

FrameClock::FrameClock(double rate) : period_(1.0 / rate), start_(ros::Time::now()) {}

void FrameClock::sleep_until_before_due(double lead) const {
  const ros::Time now = ros::Time::now();
  if (now < start_) return;
  const ros::Duration left = start_ + period_ - now - ros::Duration(lead);
  if (left > ros::Duration(0)) left.sleep();
}

bool FrameClock::sleep() {
  ros::Time due = start_ + period_;
  const ros::Time now = ros::Time::now();
  if (now < start_) due = now + period_;
  start_ = due;
  const ros::Duration left = due - now;
  if (left <= ros::Duration(0)) {
    if (now > due + period_) start_ = now;
    return false;
  }
  return left.sleep();
}

}  // namespace vok
