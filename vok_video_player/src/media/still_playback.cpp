#include <stdexcept>

#include "vok_video_player/player/vok_video_player.h"

namespace vok {

bool VOKVideoPlayer::play_still(const std::string& still_name, double duration, int fps) {
  if (fps <= 0) throw std::invalid_argument("a still plays at a rate above 0 frames per second");
  const Location still_location = location.load();
  PreparedItem item = prepare_item(video_folder_path + still_name + ".jpg", bridge);
  return play_prepared_still(still_name, still_location, std::move(item.still), duration, fps);
}

bool VOKVideoPlayer::play_prepared_still(const std::string& still_name, Location still_location,
                                         PreparedStill still, double duration, int fps) {
  if (!item_due(still_location)) return false;
  ROS_INFO("VOK video player: Playing %s.jpg", still_name.c_str());
  const std::string path = video_folder_path + still_name + ".jpg";
  if (still.frame.empty()) {
    report_bad_item(path, "the file is missing or cannot be decoded as an image");
    return false;
  }
  clear_bad_item(path);

  const auto ticks = static_cast<long>(duration * fps);
  for (long i = 0; i < ticks; ++i) {
    if (i > 0 && !frame_due(still_location)) return false;
    // roscpp writes each publication's sequence number into the buffer it is given, so a buffer
    // it is still sending is never handed over again: a fresh one is made while it holds the last.
    if (still.message.in_use()) still.message = bridge.serialized_bgr8(still.frame);
    publish(still.message, fps, i == 0);
  }
  return true;
}

}  // namespace vok
