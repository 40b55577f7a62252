#include "vok_video_player/media/decode_lead.h"

#include <algorithm>
#include <cmath>

namespace vok {

void DecodeLead::record(double seconds) {
  recent_[next_] = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
  next_ = (next_ + 1) % WINDOW;
}

double DecodeLead::seconds() const {
  return *std::max_element(recent_.begin(), recent_.end()) + MARGIN;
}

}  // namespace vok
