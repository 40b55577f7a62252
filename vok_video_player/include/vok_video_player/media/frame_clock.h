#ifndef VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H
#define VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H

#include <cstdint>

#include "vok_video_player/media/frame_schedule.h"

namespace vok {

/// \brief Paces the camera stream on the ROS clock (simulated time included): one schedule for
/// every frame the node publishes, whatever item it comes from.
class FrameClock {
 public:
  /// \brief Sleeps until `lead` seconds before the next frame is due, to get that frame ready
  /// just in time. Returns at once when no frame is scheduled or that moment has passed, and
  /// early when the clock goes back or the node shuts down.
  void wait_before_due(double lead) const;

  /// \brief Sleeps until the next frame is due, as wait_before_due(0), and notes that a frame is
  /// ready to go out.
  void wait_until_due();

  /// \brief Records a frame published now by an item that plays at `rate` frames per second.
  /// \param first true for the item's first frame
  void published(double rate, bool first);

 private:
  FrameSchedule schedule_;
  int64_t ready_ = 0;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_FRAME_CLOCK_H
