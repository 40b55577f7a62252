#include <algorithm>
#include <iostream>
#include <stdexcept>

#include <vok_tutorials22/YOLOLastFrame.h>

#include "vok_video_player/common/text_format.h"
#include "vok_video_player/player/vok_video_player.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {

namespace {

constexpr char DETECTION_SERVICE[] = "/detect_frame";
constexpr double STILL_TEST_DURATION = 0.5;
constexpr double PAUSE_AFTER_NAME = 5.0;

std::string with_blanks(std::string stem) {
  std::replace(stem.begin(), stem.end(), '_', ' ');
  return stem;
}

// A detection without a name names nothing, so it cannot stand for any media item.
const vok_tutorials22::Detection* first_match(
    const std::vector<vok_tutorials22::Detection>& detections, const std::string& text) {
  for (const auto& d : detections) {
    if (!d.name.empty() && text.find(d.name) != std::string::npos) return &d;
  }
  return nullptr;
}

}  // namespace

void VOKVideoPlayer::test_all_images() {
  ros::ServiceClient srv = node_.serviceClient<vok_tutorials22::YOLOLastFrame>(DETECTION_SERVICE);
  MediaList names;
  {
    std::lock_guard<std::mutex> lock(state_mutex);
    names = required_media_names();
  }

  for (const std::string& object : names) {
    std::cout << print_line({"\nTesting", object}) << std::endl;
    const std::string name = file_stem(object);
    if (is_still(name)) {
      play_still(name, STILL_TEST_DURATION);
    } else {
      play_video(name);
    }
    // The item's last frame has its period to reach the detector before the question is asked.
    stream_clock_.wait_until_due();
    if (shutdown_requested()) return;

    vok_tutorials22::YOLOLastFrame res;
    if (!srv.call(res)) {
      if (shutdown_requested()) return;
      throw std::runtime_error(std::string("the detection service ") + DETECTION_SERVICE +
                               (srv.exists() ? " failed to answer for " + object
                                             : " is not available; start a detector that "
                                               "serves it"));
    }
    const std::string text = with_blanks(name);
    if (const auto* d = first_match(res.response.detections, text)) {
      std::cout << print_line({"    Detected", name, "with confidence", number_text(d->confidence)})
                << std::endl;
    } else {
      ROS_ERROR("    Not detected");
    }

    pause(PAUSE_AFTER_NAME);
    if (shutdown_requested()) return;
  }
}

}  // namespace vok
