#include "vok_video_player/media/frame_schedule.h"

namespace vok {

void FrameSchedule::published(int64_t ready, int64_t now, int64_t period, bool first) {
  const bool late = first ? ready > due_ : now > due_ + period;
  const bool restart = !scheduled_ || late || now < due_ - period;
  due_ = (restart ? now : due_) + period;
  scheduled_ = true;
}

}  // namespace vok
