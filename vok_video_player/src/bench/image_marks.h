#ifndef VOK_VIDEO_PLAYER_SRC_BENCH_IMAGE_MARKS_H
#define VOK_VIDEO_PLAYER_SRC_BENCH_IMAGE_MARKS_H

// A stand-in for sensor_msgs/Image on the receiving side of the bench: it has the same type and
// checksum on the wire, but reading it keeps only the header stamp, the size and the marks of
// the frame instead of copying megabytes of pixels, so the measuring subscriber takes as little
// of the machine as it can.

#include <cstdint>
#include <string>

#include <ros/message_traits.h>
#include <ros/serialization.h>
#include <sensor_msgs/Image.h>

#include "vok_video_player/bench/bench_stats.h"

namespace vok {
namespace bench {

/// \brief What the bench keeps of one received image message.
struct ImageMarks {
  double stamp = 0;  ///< header stamp (s); 0 when the sender sets none
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytes = 0;  ///< of the pixel data
  FrameMark mark;
};

}  // namespace bench
}  // namespace vok

namespace ros {
namespace message_traits {

template <>
struct IsMessage<vok::bench::ImageMarks> : TrueType {};

template <>
struct MD5Sum<vok::bench::ImageMarks> {
  static const char* value() { return MD5Sum<sensor_msgs::Image>::value(); }
  static const char* value(const vok::bench::ImageMarks&) { return value(); }
};

template <>
struct DataType<vok::bench::ImageMarks> {
  static const char* value() { return DataType<sensor_msgs::Image>::value(); }
  static const char* value(const vok::bench::ImageMarks&) { return value(); }
};

template <>
struct Definition<vok::bench::ImageMarks> {
  static const char* value() { return Definition<sensor_msgs::Image>::value(); }
  static const char* value(const vok::bench::ImageMarks&) { return value(); }
};

}  // namespace message_traits

namespace serialization {

template <>
struct Serializer<vok::bench::ImageMarks> {
  template <typename Stream>
  static void read(Stream& stream, vok::bench::ImageMarks& m) {
    uint32_t seq = 0, sec = 0, nsec = 0, step = 0, size = 0;
    uint8_t is_bigendian = 0;
    std::string frame_id, encoding;
    stream.next(seq);
    stream.next(sec);
    stream.next(nsec);
    stream.next(frame_id);
    stream.next(m.height);
    stream.next(m.width);
    stream.next(encoding);
    stream.next(is_bigendian);
    stream.next(step);
    stream.next(size);
    const uint8_t* data = stream.advance(size);
    m.stamp = sec + nsec * 1e-9;
    m.bytes = size;
    if (encoding == "bgr8" && static_cast<uint64_t>(step) * m.height <= size)
      m.mark = vok::bench::read_mark(data, m.width, m.height, step);
  }

  template <typename Stream>
  static void write(Stream&, const vok::bench::ImageMarks&) {}

  static uint32_t serializedLength(const vok::bench::ImageMarks&) { return 0; }
};

}  // namespace serialization
}  // namespace ros

#endif  // VOK_VIDEO_PLAYER_SRC_BENCH_IMAGE_MARKS_H
