#include "vok_video_player/media/frame_size.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <string>

namespace vok {

bool too_big_for_camera(int width, int height) {
  return std::max(width, height) > CAMERA_LONG_SIDE || std::min(width, height) > CAMERA_SHORT_SIDE;
}

std::optional<std::string> frame_size_problem(long long width, long long height) {
  if (width <= 0 || height <= 0) {
    return "its frame size is " + std::to_string(width) + "x" + std::to_string(height);
  }
  const double megapixels = static_cast<double>(width) * static_cast<double>(height) / 1e6;
  if (megapixels * 1e6 <= static_cast<double>(MAX_FRAME_PIXELS)) return std::nullopt;
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text.setf(std::ios::fixed);
  text.precision(1);
  text << "it is " << width << "x" << height << " (" << megapixels << " megapixels), more than the "
       << MAX_FRAME_PIXELS / 1000000 << " megapixels a frame may have";
  return text.str();
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
