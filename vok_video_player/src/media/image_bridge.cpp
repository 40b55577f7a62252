#include "vok_video_player/media/image_bridge.h"

#include <malloc.h>

#include <cstring>

#include <boost/make_shared.hpp>

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/image_encodings.h>

namespace vok {

namespace {

/// Where the header's stamp lies in a message in wire form: after the length and the sequence
/// number.
constexpr std::size_t WIRE_STAMP_OFFSET = 8;

/// The fields of a "bgr8" message of the given shape, without its pixels.
sensor_msgs::Image bgr8_shape(int rows, int cols, const std::string& frame_id) {
  sensor_msgs::Image shape;
  shape.header.frame_id = frame_id;
  shape.height = static_cast<uint32_t>(rows);
  shape.width = static_cast<uint32_t>(cols);
  shape.encoding = sensor_msgs::image_encodings::BGR8;
  shape.is_bigendian = 0;
  shape.step = static_cast<uint32_t>(cols) * 3;
  return shape;
}

/// A "bgr8" message of the given shape in wire form, pixels left for the caller to fill.
SerializedImage bgr8_wire_form(int rows, int cols, const std::string& frame_id = "") {
  const sensor_msgs::Image shape = bgr8_shape(rows, cols, frame_id);
  const uint32_t fields = ros::serialization::serializationLength(shape);
  const uint32_t data_size = shape.step * shape.height;

  SerializedImage m;
  m.rows = rows;
  m.cols = cols;
  m.size = 4 + fields + data_size;
  m.pixels = 4 + fields;
  m.buffer.reset(new uint8_t[m.size]);
  ros::serialization::OStream out(m.buffer.get(), m.pixels);
  ros::serialization::serialize(out, m.size - 4);
  ros::serialization::serialize(out, shape);
  // The pixels come last: their length field is the last 4 bytes before them.
  std::memcpy(m.buffer.get() + m.pixels - 4, &data_size, 4);
  return m;
}

/// Shapes `m` as a "bgr8" message in wire form: the buffer it has is kept when it is of that
/// shape and roscpp no longer holds it, so that a decoder writes into pages already mapped.
/// \return true when the buffer was made anew
bool reshape_wire_form(SerializedImage& m, int rows, int cols, const std::string& frame_id) {
  if (m.buffer && !m.in_use() && m.rows == rows && m.cols == cols) return false;
  m = bgr8_wire_form(rows, cols, frame_id);
  return true;
}

/// A "bgr8" message of the given shape, pixels left for the caller to fill.
sensor_msgs::ImagePtr bgr8_message(int rows, int cols, const std::string& frame_id) {
  auto m = boost::make_shared<sensor_msgs::Image>(bgr8_shape(rows, cols, frame_id));
  m->data.resize(static_cast<std::size_t>(m->step) * m->height);
  return m;
}

void check_bgr8(const cv::Mat& image) {
  if (image.empty()) throw cv_bridge::Exception("cannot convert an empty image");
  if (image.type() != CV_8UC3)
    throw cv_bridge::Exception("a bgr8 image needs 8 bits and three channels");
}

}  // namespace

Frame Frame::copy() const {
  Frame f = *this;
  if (wire.buffer) f.wire = wire.copy();
  if (message) f.message = boost::make_shared<sensor_msgs::Image>(*message);
  return f;
}

cv::Mat Frame::pixels() const {
  uint8_t* data = wire.buffer ? wire.buffer.get() + wire.pixels : message->data.data();
  return cv::Mat(rows, cols, CV_8UC3, data, static_cast<std::size_t>(cols) * 3);
}

void ImageBridge::set_form(bool in_process, const std::string& frame_id) {
  in_process_ = in_process;
  frame_id_ = frame_id;
}

Frame ImageBridge::frame_of(const cv::Mat& image) const {
  check_bgr8(image);
  Frame f;
  image.copyTo(frame_view(f, image.rows, image.cols));
  return f;
}

cv::Mat ImageBridge::frame_view(Frame& frame, int rows, int cols) const {
  if (in_process_) {
    frame.wire = {};
    frame.message = bgr8_message(rows, cols, frame_id_);
  } else if (reshape_wire_form(frame.wire, rows, cols, frame_id_)) {
    frame.message.reset();
  }
  frame.rows = rows;
  frame.cols = cols;
  return frame.pixels();
}

void ImageBridge::stamp(Frame& frame, const ros::Time& stamp) {
  if (frame.message) frame.message->header.stamp = stamp;
  if (!frame.wire.buffer) return;
  ros::serialization::OStream out(frame.wire.buffer.get() + WIRE_STAMP_OFFSET, 8);
  ros::serialization::serialize(out, stamp);
}

SerializedImage SerializedImage::copy() const {
  SerializedImage m = *this;
  m.buffer.reset(new uint8_t[size]);
  std::memcpy(m.buffer.get(), buffer.get(), size);
  return m;
}

void keep_frame_memory() {
  // By default blocks of this size are mapped anew on every allocation, or trimmed off the heap
  // when freed. Below 32 MiB (glibc's ceiling for this setting) they now come from the heap, and
  // up to 256 MiB of free heap stays mapped.
  static const bool kept =
      mallopt(M_MMAP_THRESHOLD, 32 << 20) && mallopt(M_TRIM_THRESHOLD, 256 << 20);
  (void)kept;
}

sensor_msgs::ImagePtr ImageBridge::cv2_to_imgmsg(const cv::Mat& image,
                                                 const std::string& encoding) const {
  if (image.empty()) throw cv_bridge::Exception("cannot convert an empty image");
  return cv_bridge::CvImage(std_msgs::Header(), encoding, image).toImageMsg();
}

SerializedImage ImageBridge::serialized_bgr8(const cv::Mat& image) const {
  check_bgr8(image);
  SerializedImage m = bgr8_wire_form(image.rows, image.cols);
  image.copyTo(cv::Mat(image.rows, image.cols, CV_8UC3, m.buffer.get() + m.pixels,
                       static_cast<std::size_t>(image.cols) * 3));
  return m;
}

cv::Mat ImageBridge::bgr8_view(SerializedImage& message, int rows, int cols) const {
  reshape_wire_form(message, rows, cols, "");
  return cv::Mat(rows, cols, CV_8UC3, message.buffer.get() + message.pixels,
                 static_cast<std::size_t>(cols) * 3);
}

}  // namespace vok
