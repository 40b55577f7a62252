#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include <opencv2/videoio.hpp>

#include "vok_video_player/media/decode_lead.h"
#include "vok_video_player/media/frame_clock.h"
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
  FrameClock clock(std::max(30.0, file_fps));
  if (!cap.isOpened()) {
    report_bad_item(path, "the file cannot be opened as a video");
  }

  // Frames are decoded straight into the pixels of a message in wire form, which roscpp sends as
  // it is, so there is no copy between decoder and socket. Each frame is decoded just before it
  // is due: its publication then waits only for the clock, not for a decode whose length varies,
  // and the decoder leaves the machine to the sending of the frame before it. Two buffers take
  // turns, so the one being filled is never the one roscpp may still be sending.
  SerializedImage image_msgs[2];
  const int rows = std::max(static_cast<int>(cap.get(cv::CAP_PROP_FRAME_HEIGHT)), 1);
  const int cols = std::max(static_cast<int>(cap.get(cv::CAP_PROP_FRAME_WIDTH)), 1);
  DecodeLead lead;
  const auto decode = [&](SerializedImage& image_msg) {
    const auto started = std::chrono::steady_clock::now();
    cv::Mat frame = bridge.bgr8_view(image_msg, rows, cols);
    const uchar* buffer = frame.data;
    ret = cap.read(frame);
    if (*ret && frame.data != buffer) {
      // The decoder gave another shape than announced; convert as a fresh message.
      image_msg = bridge.serialized_bgr8(frame);
    }
    lead.record(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return *ret;
  };
  const auto goes_on = [&] { return video_location == location.load() && !shutdown_requested(); };
  long frames = 0;
  bool decoded = cap.isOpened() && goes_on() && decode(image_msgs[0]);
  while (decoded && goes_on()) {
    publish(image_msgs[frames % 2]);
    ++frames;
    clock.sleep_until_before_due(lead.seconds());
    // A change of room or a stop seen by now ends the item after this frame's period, with no
    // further frame read.
    decoded = goes_on() && decode(image_msgs[frames % 2]);
    clock.sleep();
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
