#include "vok_video_player/media/frame_size.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace vok {

bool too_big_for_camera(int width, int height) {
  return std::max(width, height) > CAMERA_LONG_SIDE || std::min(width, height) > CAMERA_SHORT_SIDE;
}

double bgr8_mbit_per_second(int width, int height, double fps) {
  return static_cast<double>(width) * height * 3 * 8 * fps / 1e6;
}

std::optional<std::string> too_big_warning(const std::string& item, int width, int height,
                                           double fps) {
  if (!too_big_for_camera(width, height)) return std::nullopt;
  std::ostringstream line;
  line << "VOK video player: " << item << " is " << width << "x" << height << ", "
       << std::llround(bgr8_mbit_per_second(width, height, fps)) << " Mbit/s at " << fps
       << " frames/s, more than a camera stream of " << CAMERA_LONG_SIDE << "x" << CAMERA_SHORT_SIDE
       << "; it plays as it is. `rosrun vok_video_player make_media_folder` "
       << "makes camera-sized media";
  return line.str();
}

}  // namespace vok
