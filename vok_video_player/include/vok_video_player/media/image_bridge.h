#ifndef VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H
#define VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H

#include <cstdint>
#include <string>

#include <ros/message_traits.h>
#include <ros/serialization.h>
#include <sensor_msgs/Image.h>
#include <boost/shared_array.hpp>
#include <opencv2/core.hpp>

namespace vok {

/// \brief An image message already in its wire form. A publisher of sensor_msgs/Image sends it
/// as it is, so a publication neither allocates nor copies the image; subscribers receive the
/// same bytes as for the sensor_msgs::Image it stands for.
struct SerializedImage {
  boost::shared_array<uint8_t> buffer;  ///< the 4-byte length, then the serialized message
  uint32_t size = 0;                    ///< bytes in `buffer`
  uint32_t pixels = 0;                  ///< offset of the first pixel byte in `buffer`
  int rows = 0;                         ///< the image's height
  int cols = 0;                         ///< the image's width

  /// \brief True while roscpp still holds the buffer (a publication not yet sent).
  bool in_use() const { return buffer.use_count() > 1; }

  /// \brief The same message in a buffer of its own.
  SerializedImage copy() const;
};

/// \brief Converts OpenCV images to image messages, as cv_bridge does.
class ImageBridge {
 public:
  /// \brief A new message holding a copy of `image`; the header is left empty.
  /// \throws cv_bridge::Exception when `image` is empty or does not fit `encoding`.
  sensor_msgs::ImagePtr cv2_to_imgmsg(const cv::Mat& image, const std::string& encoding) const;

  /// \brief `image` (8-bit, three channels, BGR) as a "bgr8" message in wire form with an empty
  /// header: the same bytes as cv2_to_imgmsg(image, "bgr8") once serialized.
  /// \throws cv_bridge::Exception when `image` is empty or not 8-bit with three channels.
  SerializedImage serialized_bgr8(const cv::Mat& image) const;

  /// \brief Shapes `message` as a `rows` x `cols` "bgr8" message in wire form and returns a view
  /// on its pixels, so that a decoder writes a frame straight into what is published. The
  /// buffer is reused when it has that shape and roscpp no longer holds it.
  cv::Mat bgr8_view(SerializedImage& message, int rows, int cols) const;
};

/// \brief Makes glibc keep freed multi-megabyte blocks in the process instead of giving them
/// back to the kernel, so that the next frame, play or serialization reuses pages already mapped
/// rather than faulting fresh ones in (a page fault costs more than copying the page). Affects
/// the whole process; safe to call more than once.
void keep_frame_memory();

}  // namespace vok

namespace ros {
namespace message_traits {

template <>
struct IsMessage<vok::SerializedImage> : TrueType {};

template <>
struct MD5Sum<vok::SerializedImage> {
  static const char* value() { return MD5Sum<sensor_msgs::Image>::value(); }
  static const char* value(const vok::SerializedImage&) { return value(); }
};

template <>
struct DataType<vok::SerializedImage> {
  static const char* value() { return DataType<sensor_msgs::Image>::value(); }
  static const char* value(const vok::SerializedImage&) { return value(); }
};

template <>
struct Definition<vok::SerializedImage> {
  static const char* value() { return Definition<sensor_msgs::Image>::value(); }
  static const char* value(const vok::SerializedImage&) { return value(); }
};

}  // namespace message_traits

namespace serialization {

/// \brief Hands roscpp the message's own buffer: no allocation, no copy.
template <>
inline SerializedMessage serializeMessage<vok::SerializedImage>(const vok::SerializedImage& m) {
  SerializedMessage s(m.buffer, m.size);
  s.message_start = m.buffer.get() + 4;
  return s;
}

}  // namespace serialization
}  // namespace ros

#endif  // VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H
