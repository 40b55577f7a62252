#ifndef VOK_VIDEO_PLAYER_MEDIA_FRAME_SCHEDULE_H
#define VOK_VIDEO_PLAYER_MEDIA_FRAME_SCHEDULE_H

#include <cstdint>

namespace vok {

/// \brief When the next frame of the camera stream is due. One schedule serves the whole
/// stream, so an item's first frame is due one period after the last frame of the item before.
/// Times are nanoseconds of the node's clock.
class FrameSchedule {
 public:
  /// \brief True when a frame is due at a set time; false before the first publication.
  bool scheduled() const { return scheduled_; }

  /// \brief The time the next frame is due; meaningful only when scheduled().
  int64_t due() const { return due_; }

  /// \brief Records a frame published at `now` that was ready to go out at `ready`; the next is
  /// due `period` after this one was.
  ///
  /// The schedule starts afresh from `now`, so that the frames after it keep their period
  /// instead of bursting to catch up, when an item's first frame was not ready by its due time
  /// (the item took longer than a period to get ready, or the stream was idle), when any frame
  /// went out more than a period late, and when the clock went back (a simulated clock reset).
  /// \param first true for the first frame of an item
  void published(int64_t ready, int64_t now, int64_t period, bool first);

 private:
  bool scheduled_ = false;
  int64_t due_ = 0;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_FRAME_SCHEDULE_H
