#ifndef VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H
#define VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H

#include <string>

#include <sensor_msgs/Image.h>
#include <opencv2/core.hpp>

namespace vok {

/// \brief Converts OpenCV images to image messages, as cv_bridge does.
class ImageBridge {
 public:
  /// \brief A new message holding a copy of `image`; the header is left empty.
  /// \throws cv_bridge::Exception when `image` is empty or does not fit `encoding`.
  sensor_msgs::ImagePtr cv2_to_imgmsg(const cv::Mat& image, const std::string& encoding) const;

  /// \brief Shapes `message` for a `rows` x `cols` "bgr8" image and returns a view on its pixel
  /// buffer, so that a decoder can write a frame into the message without a copy in between.
  /// The buffer is reused when the message already has that shape.
  cv::Mat bgr8_view(sensor_msgs::Image& message, int rows, int cols) const;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H
