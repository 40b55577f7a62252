#include "vok_video_player/media/frame_clock.h"

#include <cmath>

#include <ros/time.h>

namespace vok {

namespace {

int64_t now_ns() { return static_cast<int64_t>(ros::Time::now().toNSec()); }

}  // namespace

void FrameClock::wait_before_due(double lead) const {
  if (!schedule_.scheduled()) return;
  const int64_t left = schedule_.due() - std::llround(lead * 1e9) - now_ns();
  if (left > 0) ros::Duration().fromNSec(left).sleep();
}

void FrameClock::wait_until_due() {
  ready_ = now_ns();
  wait_before_due(0.0);
}

void FrameClock::published(double rate, bool first) {
  schedule_.published(ready_, now_ns(), std::llround(1e9 / rate), first);
}

}  // namespace vok
