#include "vok_video_player/media/clip_rotation.h"

#include <cmath>

#include <opencv2/core/version.hpp>

namespace vok {

// What OpenCV reports of a clip's rotation differs between its versions; this file is the one
// place that knows. Measured with a clip whose display matrix says a quarter turn anticlockwise
// (ffprobe: rotation 90; ffmpeg shows its top left corner bottom left):
//
//   OpenCV 4.2 (Ubuntu 20.04, ROS Noetic)   no rotation properties; frames come as stored
//   OpenCV 4.5.1 with ffmpeg 4.3 (Debian 11)  CAP_PROP_ORIENTATION_META 270; turns right itself
//   OpenCV 4.6.0 with ffmpeg 5.1 (Debian 12)  CAP_PROP_ORIENTATION_META 90; turns the wrong way
//   OpenCV 4.10.0 with ffmpeg 7.1 (Debian 13) CAP_PROP_ORIENTATION_META 270; turns right itself
//
// So the property is the turn to make clockwise, except in OpenCV 4.6, which reports the angle
// of the display matrix itself (anticlockwise; OpenCV issue 22088, mended in 4.7). OpenCV 4.5
// reads ffmpeg's "rotate" tag, which ffmpeg 4 still gives. OpenCV 4.11 stopped turning by
// default. The player switches OpenCV's own turning off and turns by the
// property, which gives the same picture on every version.
#if CV_VERSION_MAJOR > 4 || (CV_VERSION_MAJOR == 4 && CV_VERSION_MINOR >= 5)
#define VOK_OPENCV_READS_ROTATION 1
#endif

namespace {

#ifdef VOK_OPENCV_READS_ROTATION
/// The clockwise quarter turns that CAP_PROP_ORIENTATION_META stands for in this OpenCV.
int clockwise_quarters(double orientation_meta) {
  const long degrees = std::lround(orientation_meta);
  const long clockwise = CV_VERSION_MAJOR == 4 && CV_VERSION_MINOR == 6 ? -degrees : degrees;
  return static_cast<int>(((clockwise % 360 + 360) % 360) / 90);
}
#endif

}  // namespace

ClipRotation clip_rotation(cv::VideoCapture& capture) {
  ClipRotation rotation;
#ifdef VOK_OPENCV_READS_ROTATION
  capture.set(cv::CAP_PROP_ORIENTATION_AUTO, 0);
  switch (clockwise_quarters(capture.get(cv::CAP_PROP_ORIENTATION_META))) {
    case 1:
      rotation.turn = cv::ROTATE_90_CLOCKWISE;
      break;
    case 2:
      rotation.turn = cv::ROTATE_180;
      break;
    case 3:
      rotation.turn = cv::ROTATE_90_COUNTERCLOCKWISE;
      break;
    default:
      break;
  }
#else
  (void)capture;
  rotation.known = false;
#endif
  return rotation;
}

std::string opencv_version() { return CV_VERSION; }

}  // namespace vok
