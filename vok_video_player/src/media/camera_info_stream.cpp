#include "vok_video_player/media/camera_info_stream.h"

#include <camera_info_manager/camera_info_manager.h>
#include <boost/make_shared.hpp>

namespace vok {

CameraInfoStream::CameraInfoStream(ros::NodeHandle& node, const ros::NodeHandle& private_node,
                                   const std::string& image_topic) {
  private_node.param<std::string>("frame_id", frame_id_, "");
  private_node.param<std::string>("camera_info_url", url_, "");
  if (frame_id_.empty()) {
    if (!url_.empty())
      ROS_WARN(
          "VOK video player: ~camera_info_url is set but ~frame_id is not; no camera_info "
          "goes out (set ~frame_id too)");
    return;
  }
  // Beside the image topic as it resolves, remapping included: /camera/image gives
  // /camera/camera_info, as image_transport's camera publisher does.
  const std::string camera_ns = ros::names::parentNamespace(node.resolveName(image_topic));
  ros::NodeHandle camera(node, camera_ns);
  publisher_ = camera.advertise<sensor_msgs::CameraInfo>("camera_info", 1);
  if (url_.empty()) return;
  calibration_ = std::make_unique<camera_info_manager::CameraInfoManager>(camera, "camera");
  if (!calibration_->validateURL(url_)) {
    ROS_WARN(
        "VOK video player: ~camera_info_url %s is not a camera_info_manager URL "
        "(file://, package://); camera_info goes out uncalibrated",
        url_.c_str());
    return;
  }
  // camera_info_manager itself says why a calibration cannot be loaded.
  calibrated_ = calibration_->loadCameraInfo(url_) && calibration_->isCalibrated();
}

CameraInfoStream::~CameraInfoStream() = default;

sensor_msgs::CameraInfoPtr CameraInfoStream::info_for(const std::string& item, int rows, int cols) {
  auto info = boost::make_shared<sensor_msgs::CameraInfo>();
  if (calibrated_) {
    *info = calibration_->getCameraInfo();
    const bool fits =
        info->width == static_cast<uint32_t>(cols) && info->height == static_cast<uint32_t>(rows);
    if (fits) return info;
    if (mismatched_items_.insert(item).second) {
      ROS_WARN(
          "VOK video player: %s is %dx%d, but the calibration in %s is for %ux%u; its "
          "camera_info goes out uncalibrated",
          item.c_str(), cols, rows, url_.c_str(), info->width, info->height);
    }
    *info = sensor_msgs::CameraInfo();
  }
  info->width = static_cast<uint32_t>(cols);
  info->height = static_cast<uint32_t>(rows);
  return info;
}

void CameraInfoStream::publish(const std_msgs::Header& header, const std::string& item, int rows,
                               int cols) {
  if (!stamped()) return;
  sensor_msgs::CameraInfoPtr info = info_for(item, rows, cols);
  info->header = header;
  publisher_.publish(sensor_msgs::CameraInfoConstPtr(info));
}

}  // namespace vok
