#ifndef VOK_VIDEO_PLAYER_MEDIA_CLIP_ROTATION_H
#define VOK_VIDEO_PLAYER_MEDIA_CLIP_ROTATION_H

#include <optional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace vok {

/// \brief How to show a clip upright, as ffmpeg and video players show it.
struct ClipRotation {
  /// \brief False where this OpenCV cannot read a clip's rotation; the clip then plays as decoded.
  bool known = true;
  /// \brief The turn that makes a decoded frame upright; nothing for an upright clip.
  std::optional<cv::RotateFlags> turn;
};

/// \brief Reads the rotation of the clip open in `capture` from its display matrix, and stops
/// OpenCV from turning frames itself, which OpenCV does the wrong way round in some versions.
ClipRotation clip_rotation(cv::VideoCapture& capture);

/// \brief The OpenCV this program runs with, such as "4.6.0".
std::string opencv_version();

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_CLIP_ROTATION_H
