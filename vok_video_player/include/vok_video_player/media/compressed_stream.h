#ifndef VOK_VIDEO_PLAYER_MEDIA_COMPRESSED_STREAM_H
#define VOK_VIDEO_PLAYER_MEDIA_COMPRESSED_STREAM_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <ros/ros.h>
#include <sensor_msgs/CompressedImage.h>
#include <opencv2/core.hpp>

#include "vok_video_player/media/image_bridge.h"

namespace vok {

/// \brief The format text of a JPEG frame of a "bgr8" image, as image_transport's compressed
/// transport writes it and reads it back.
extern const char* const JPEG_BGR8_FORMAT;

/// \brief image_transport's default JPEG quality for the compressed transport.
constexpr int JPEG_QUALITY = 80;

/// \brief The camera's pictures as JPEG on the raw topic's "compressed" subtopic, as a camera
/// that publishes through image_transport offers them to viewers on other machines.
///
/// Pictures are encoded only while the topic has a subscriber, on a thread of the stream's own,
/// so that the raw stream keeps its pace; when encoding falls behind, the newest picture waits
/// and older ones are dropped. The thread touches nothing but the stream's own state.
class CompressedStream {
 public:
  /// \brief Advertises `raw_topic` + "/compressed" (sensor_msgs/CompressedImage) as `node`
  /// resolves it.
  CompressedStream(ros::NodeHandle node, const std::string& raw_topic, int quality = JPEG_QUALITY);
  ~CompressedStream();

  CompressedStream(const CompressedStream&) = delete;
  CompressedStream& operator=(const CompressedStream&) = delete;

  /// \brief Hands over the picture that is about to go out on the raw topic; call it before the
  /// raw publication, while nobody else holds the frame. `picture` names the picture: a still
  /// offered again under the same number is not encoded again, its JPEG goes out once more.
  /// With `stamped`, each JPEG goes out with `header`, the raw frame's.
  void offer(const Frame& frame, uint64_t picture, const std_msgs::Header& header, bool stamped);

  /// \brief Pictures encoded so far.
  unsigned long encoded() const { return encoded_.load(); }

  /// \brief The compressed topic's name.
  std::string topic() const { return publisher_.getTopic(); }

 private:
  void encode_pictures();

  ros::Publisher publisher_;
  const int quality_;

  std::mutex mutex_;  // guards everything below but encoded_
  std::condition_variable changed_;
  bool stopping_ = false;
  cv::Mat waiting_;               // the picture to encode next, a copy of the raw frame's pixels
  uint64_t waiting_picture_ = 0;  // 0 while none waits
  std_msgs::Header waiting_header_;
  uint64_t encoding_picture_ = 0;  // 0 while none is being encoded
  sensor_msgs::CompressedImageConstPtr last_;
  uint64_t last_picture_ = 0;
  std::atomic<unsigned long> encoded_{0};
  std::thread encoder_;  // last: starts once the rest is ready
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_COMPRESSED_STREAM_H
