#include <algorithm>
#include <cmath>
#include <optional>

#include <opencv2/videoio.hpp>

#include "vok_video_player/player/vok_video_player.h"

namespace vok {

namespace {

// Some variable-rate files report absurd rates (90000); above this the rate is not believed.
constexpr double MAX_TRUSTED_FPS = 240.0;

}  // namespace

bool VOKVideoPlayer::play_video(const std::string& video_name) {
  std::optional<bool> ret;
  const Location video_location = location.load();
  ROS_INFO("VOK video player: Playing video %s.mp4", video_name.c_str());

  const std::string path = video_folder_path + video_name + ".mp4";
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  double file_fps = cap.get(cv::CAP_PROP_FPS);
  if (cap.isOpened() && (!std::isfinite(file_fps) || file_fps > MAX_TRUSTED_FPS)) {
    ROS_WARN("VOK video player: %s reports a frame rate of %g; playing it at 30", path.c_str(),
             file_fps);
    file_fps = 30.0;
  }
  ros::Rate r(std::max(30.0, file_fps));
  if (!cap.isOpened()) {
    report_bad_item(path, "the file cannot be opened as a video");
  }

  // Frames are decoded straight into the pixels of a message in wire form, which roscpp sends as
  // it is. Its buffer is reused for the next frame once roscpp has sent it, so a whole clip costs
  // one buffer and no copy between decoder and socket.
  SerializedImage image_msg;
  const int rows = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_HEIGHT));
  const int cols = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_WIDTH));
  long frames = 0;
  while (cap.isOpened() && video_location == location.load() && !shutdown_requested()) {
    cv::Mat frame = bridge.bgr8_view(image_msg, std::max(rows, 1), std::max(cols, 1));
    const uchar* buffer = frame.data;
    ret = cap.read(frame);
    if (!*ret) break;
    if (frame.data != buffer) {
      // The decoder gave another shape than announced; convert as a fresh message.
      image_msg = bridge.serialized_bgr8(frame);
    }
    publish(image_msg);
    ++frames;
    r.sleep();
  }
  cap.release();
  if (frames > 0) {
    clear_bad_item(path);
  } else if (ret && !*ret) {
    report_bad_item(path, "no frame of it can be decoded");
  }
  return !ret.value_or(false);
}

}  // namespace vok
