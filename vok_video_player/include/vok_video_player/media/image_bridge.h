#ifndef VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H
#define VOK_VIDEO_PLAYER_MEDIA_IMAGE_BRIDGE_H

#include <cstdint>
#include <string>

#include <ros/message_traits.h>
#include <ros/serialization.h>
#include <ros/time.h>
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

/// \brief A frame as the player hands it to roscpp. For subscribers in other processes it is in
/// wire form (`wire`). In a process shared with its subscribers (a nodelet manager) it is a
/// message (`message`) that they receive as it is, pointer and all, and that nobody changes once
/// it is published.
struct Frame {
  SerializedImage wire;
  sensor_msgs::ImagePtr message;
  int rows = 0;  ///< the image's height
  int cols = 0;  ///< the image's width

  explicit operator bool() const { return wire.buffer || message; }

  /// \brief True while anybody but its maker holds the frame.
  bool in_use() const { return wire.buffer ? wire.in_use() : message.use_count() > 1; }

  /// \brief The same frame in memory of its own.
  Frame copy() const;

  /// \brief The frame's pixels, 8-bit BGR, without a copy.
  cv::Mat pixels() const;
};

/// \brief Converts OpenCV images to image messages, as cv_bridge does.
class ImageBridge {
 public:
  /// \brief How frame_of() and frame_view() make frames from now on: as messages for subscribers
  /// in this process (`in_process`) or in wire form, and with `frame_id` in their headers.
  void set_form(bool in_process, const std::string& frame_id);

  /// \brief True when frames are made as messages for subscribers in this process.
  bool in_process() const { return in_process_; }

  /// \brief A new frame holding a copy of `image` (8-bit, three channels, BGR) as "bgr8", its
  /// header empty but for the frame id.
  /// \throws cv_bridge::Exception when `image` is empty or not 8-bit with three channels.
  Frame frame_of(const cv::Mat& image) const;

  /// \brief Shapes `frame` as a `rows` x `cols` "bgr8" frame and returns a view on its pixels,
  /// for a decoder to write into. A frame in wire form is reused when it has that shape and
  /// roscpp no longer holds it; a message is always made anew, since subscribers may keep the
  /// ones published.
  cv::Mat frame_view(Frame& frame, int rows, int cols) const;

  /// \brief Writes `stamp` into the frame's header. \pre nobody else holds the frame
  static void stamp(Frame& frame, const ros::Time& stamp);

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

 private:
  bool in_process_ = false;
  std::string frame_id_;
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
