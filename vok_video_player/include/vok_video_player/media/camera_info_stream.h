#ifndef VOK_VIDEO_PLAYER_MEDIA_CAMERA_INFO_STREAM_H
#define VOK_VIDEO_PLAYER_MEDIA_CAMERA_INFO_STREAM_H

#include <memory>
#include <set>
#include <string>

#include <ros/ros.h>
#include <sensor_msgs/CameraInfo.h>
#include <std_msgs/Header.h>

namespace camera_info_manager {
class CameraInfoManager;
}

namespace vok {

/// \brief The camera conventions a user may ask for, as a camera driver offers them: a frame id
/// and a time stamp in every frame's header, and a camera_info beside the image topic, as
/// image_transport's camera publisher places it. Asked for with private parameters, read once:
/// `~frame_id` (empty, the default: none of it) and `~camera_info_url` (camera_info_manager's
/// `file://` and `package://` forms).
class CameraInfoStream {
 public:
  /// \brief Reads the parameters from `private_node` and, with a frame id, advertises
  /// camera_info beside `image_topic` as `node` resolves it.
  CameraInfoStream(ros::NodeHandle& node, const ros::NodeHandle& private_node,
                   const std::string& image_topic);
  ~CameraInfoStream();

  CameraInfoStream(const CameraInfoStream&) = delete;
  CameraInfoStream& operator=(const CameraInfoStream&) = delete;

  /// \brief True when frames carry a frame id and a stamp and camera_info goes out.
  bool stamped() const { return !frame_id_.empty(); }

  /// \brief The frames' frame id; empty for none.
  const std::string& frame_id() const { return frame_id_; }

  /// \brief The camera_info topic; empty while none is advertised.
  std::string topic() const { return publisher_ ? publisher_.getTopic() : std::string(); }

  /// \brief The camera_info of a `cols` x `rows` frame of `item`: the calibration when it is for
  /// that size, otherwise the uncalibrated info of that size, with one warning per item that
  /// names both sizes.
  sensor_msgs::CameraInfoPtr info_for(const std::string& item, int rows, int cols);

  /// \brief Publishes the camera_info of a frame of `item` that goes out with `header`; nothing
  /// unless stamped().
  void publish(const std_msgs::Header& header, const std::string& item, int rows, int cols);

 private:
  std::string frame_id_;
  std::string url_;
  ros::Publisher publisher_;
  std::unique_ptr<camera_info_manager::CameraInfoManager> calibration_;
  bool calibrated_ = false;
  std::set<std::string> mismatched_items_;  // warned of once each
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_CAMERA_INFO_STREAM_H
