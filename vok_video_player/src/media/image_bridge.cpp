#include "vok_video_player/media/image_bridge.h"

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/image_encodings.h>

namespace vok {

sensor_msgs::ImagePtr ImageBridge::cv2_to_imgmsg(const cv::Mat& image,
                                                 const std::string& encoding) const {
  if (image.empty()) throw cv_bridge::Exception("cannot convert an empty image");
  return cv_bridge::CvImage(std_msgs::Header(), encoding, image).toImageMsg();
}

cv::Mat ImageBridge::bgr8_view(sensor_msgs::Image& message, int rows, int cols) const {
  message.height = static_cast<uint32_t>(rows);
  message.width = static_cast<uint32_t>(cols);
  message.encoding = sensor_msgs::image_encodings::BGR8;
  message.is_bigendian = 0;
  message.step = static_cast<uint32_t>(cols) * 3;
  message.data.resize(static_cast<std::size_t>(message.step) * message.height);
  return cv::Mat(rows, cols, CV_8UC3, message.data.data(), message.step);
}

}  // namespace vok
