#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "vok_video_player/player/vok_video_player.h"

namespace vok {

bool VOKVideoPlayer::play_still(const std::string& still_name, double duration, int fps) {
  if (fps <= 0) throw std::invalid_argument("a still plays at a rate above 0 frames per second");
  const Location video_location = location.load();

  const std::string path = video_folder_path + still_name + ".jpg";
  const cv::Mat frame = cv::imread(path, cv::IMREAD_COLOR);
  // Converted once, straight into its wire form: every tick hands roscpp the same bytes, which
  // it sends as they are instead of serializing the image again for each publication.
  SerializedImage image_msg;
  if (!frame.empty()) image_msg = bridge.serialized_bgr8(frame);

  if (!item_due(video_location)) return false;
  ROS_INFO("VOK video player: Playing %s.jpg", still_name.c_str());
  if (frame.empty()) {
    report_bad_item(path, "the file is missing or cannot be decoded as an image");
    return false;
  }
  clear_bad_item(path);

  const auto ticks = static_cast<long>(duration * fps);
  for (long i = 0; i < ticks; ++i) {
    if (i > 0 && !frame_due(video_location)) return false;
    // roscpp writes each publication's sequence number into the buffer it is given, so a buffer
    // it is still sending is never handed over again: a fresh one is made while it holds the last.
    if (image_msg.in_use()) image_msg = bridge.serialized_bgr8(frame);
    publish(image_msg, fps, i == 0);
  }
  return true;
}

}  // namespace vok
