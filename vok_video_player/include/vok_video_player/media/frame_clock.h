#ifndef VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H
#define VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H

#include <atomic>
#include <cstdint>

#include <ros/duration.h>

#include "vok_video_player/media/frame_schedule.h"

namespace vok {

/// \brief Sleeps for `duration` on the ROS clock (simulated time included), as
/// ros::Duration::sleep does, but returns within a few milliseconds once `stop` is set, and when
/// the clock goes back. A sleep begun before a simulated clock has started waits for it first.
/// \return true when the whole duration passed
bool sleep_unless_stopped(const ros::Duration& duration, const std::atomic<bool>& stop);

/// \brief Paces the camera stream on the ROS clock (simulated time included): one schedule for
/// every frame the player publishes, whatever item it comes from.
class FrameClock {
 public:
  /// \brief A clock whose waits end early once `stop` is set; `stop` outlives the clock.
  explicit FrameClock(const std::atomic<bool>& stop) : stop_(stop) {}

  /// \brief Sleeps until `lead` seconds before the next frame is due, to get that frame ready
  /// just in time. Returns at once when no frame is scheduled or that moment has passed, and
  /// early when the clock goes back or the player stops.
  void wait_before_due(double lead) const;

  /// \brief Sleeps until the next frame is due, as wait_before_due(0), and notes that a frame is
  /// ready to go out. \return true when the frame was ready by its due time
  bool wait_until_due();

  /// \brief Records a frame published now by an item that plays at `rate` frames per second.
  /// \param first true for the item's first frame
  void published(double rate, bool first);

 private:
  const std::atomic<bool>& stop_;
  FrameSchedule schedule_;
  int64_t ready_ = 0;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H
