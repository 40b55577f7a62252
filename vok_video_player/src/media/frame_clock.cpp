#include "vok_video_player/media/frame_clock.h"

#include <algorithm>
#include <cmath>

#include <ros/time.h>

namespace vok {

namespace {

int64_t now_ns() { return static_cast<int64_t>(ros::Time::now().toNSec()); }

/// The longest single sleep on the wall clock, and so the longest a stop waits for a sleep.
constexpr int64_t WALL_STEP_NS = 20000000;
/// How often a simulated clock is looked at, as roscpp itself does in ros::Duration::sleep.
constexpr int64_t SIM_STEP_NS = 1000000;

}  // namespace

bool sleep_unless_stopped(const ros::Duration& duration, const std::atomic<bool>& stop) {
  // A player in a nodelet manager shares the process's clock with the manager's other nodelets,
  // so its stop cannot end the clock's waits for everyone (ros::Time::shutdown); it sleeps in
  // steps instead and looks at its own flag between them.
  if (duration <= ros::Duration(0)) return true;
  const ros::Time start = ros::Time::now();
  const ros::Time end = start.isZero() ? ros::TIME_MAX : start + duration;
  const bool simulated = !ros::Time::isSystemTime();
  for (;;) {
    if (stop.load()) return false;
    ros::Time now = ros::Time::now();
    if (now < start) return false;
    if (start.isZero() && !now.isZero()) return sleep_unless_stopped(duration, stop);
    if (now >= end) return true;
    const int64_t step =
        simulated ? SIM_STEP_NS : std::min<int64_t>((end - now).toNSec(), WALL_STEP_NS);
    ros::WallDuration().fromNSec(step).sleep();
  }
}

void FrameClock::wait_before_due(double lead) const {
  if (!schedule_.scheduled()) return;
  const int64_t left = schedule_.due() - std::llround(lead * 1e9) - now_ns();
  if (left > 0) sleep_unless_stopped(ros::Duration().fromNSec(left), stop_);
}

bool FrameClock::wait_until_due() {
  ready_ = now_ns();
  const bool in_time = schedule_.scheduled() && ready_ <= schedule_.due();
  wait_before_due(0.0);
  return in_time;
}

void FrameClock::published(double rate, bool first) {
  schedule_.published(ready_, now_ns(), std::llround(1e9 / rate), first);
}

}  // namespace vok
