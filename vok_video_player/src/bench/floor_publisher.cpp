// bench_floor: the publishing floor of scripts/bench. It publishes the frames of one still or
// one video as "bgr8" images at a fixed rate and does nothing else: a still is converted once,
// video frames are decoded by OpenCV straight into a reused buffer, and the clip starts over at
// its end, with a new clock for each play as the player does. It stamps every message with its
// publication time so the bench can read the latency. Frames take the player's own image
// bridge into their wire form, so the floor and the player differ in what they do around it.
//
// Two ways to hand frames to roscpp:
//   --serialize frame (default): an ordinary sensor_msgs/Image, reused from frame to frame;
//     roscpp serializes it into a fresh buffer at every publication, as it does for any
//     publisher that uses its ordinary API.
//   --serialize once: the frame lives in an already serialized message whose buffer roscpp
//     sends as it is, so a publication neither allocates nor copies the image.
// --poses on also takes /amcl_pose as the player does (queue 100, a callback thread of its own)
// and drops every pose: the least a subscriber of a pose stream spends on it.
// --measure-open N instead times opening the file N times (a still: load and convert; a video:
// open and decode the first frame) and prints the median in JSON.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>
#include <ros/serialization.h>
#include <sensor_msgs/Image.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "vok_video_player/bench/bench_args.h"
#include "vok_video_player/bench/bench_stats.h"
#include "vok_video_player/media/image_bridge.h"

namespace bench_floor {
namespace {

using vok::SerializedImage;
const vok::ImageBridge bridge;

struct Options {
  std::string file;
  std::string topic = "/camera/image";
  double rate = 0;  // 0: 30 for a still, max(30, the file's rate) for a video
  bool serialize_once = false;
  bool poses = false;
  int measure_open = 0;
};

bool is_still(const std::string& file) {
  return file.size() > 4 && file.compare(file.size() - 4, 4, ".jpg") == 0;
}

void stamp(SerializedImage& s) {
  // Wire layout: length (4), seq (4), stamp.sec (4), stamp.nsec (4), ...
  const ros::Time now = ros::Time::now();
  std::memcpy(s.buffer.get() + 8, &now.sec, 4);
  std::memcpy(s.buffer.get() + 12, &now.nsec, 4);
}

cv::Mat load_still(const std::string& file) {
  const cv::Mat frame = cv::imread(file, cv::IMREAD_COLOR);
  if (frame.empty()) throw std::runtime_error("cannot read " + file);
  return frame;
}

void publish_still(const Options& o, ros::Publisher& pub, double rate) {
  ros::Rate r(rate);
  const cv::Mat frame = load_still(o.file);
  // Only the form that is sent is kept: the frame and that form, as the player keeps them.
  sensor_msgs::ImagePtr msg;
  SerializedImage once;
  if (o.serialize_once)
    once = bridge.serialized_bgr8(frame);
  else
    msg = bridge.cv2_to_imgmsg(frame, "bgr8");
  while (ros::ok()) {
    if (o.serialize_once) {
      // Each publication may still be in roscpp's hands; a new stamp goes into a fresh one then.
      if (once.in_use()) once = bridge.serialized_bgr8(frame);
      stamp(once);
      pub.publish(once);
    } else {
      if (msg.use_count() > 1) msg = boost::make_shared<sensor_msgs::Image>(*msg);
      msg->header.stamp = ros::Time::now();
      pub.publish(sensor_msgs::ImageConstPtr(msg));
    }
    r.sleep();
  }
}

void publish_video(const Options& o, ros::Publisher& pub) {
  SerializedImage slots[2];  // taking turns, as the player's two buffers do
  long frames = 0;
  sensor_msgs::ImagePtr msg = boost::make_shared<sensor_msgs::Image>();
  // A play per pass, as the player does it: open the file, start a clock, publish to the end.
  while (ros::ok()) {
    cv::VideoCapture cap(o.file, cv::CAP_FFMPEG);
    if (!cap.isOpened()) throw std::runtime_error("cannot open " + o.file);
    ros::Rate r(o.rate > 0 ? o.rate : std::max(30.0, cap.get(cv::CAP_PROP_FPS)));
    const int rows = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_HEIGHT));
    const int cols = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_WIDTH));
    msg->height = static_cast<uint32_t>(rows);
    msg->width = static_cast<uint32_t>(cols);
    msg->encoding = "bgr8";
    msg->step = static_cast<uint32_t>(cols) * 3;
    msg->data.resize(static_cast<std::size_t>(msg->step) * msg->height);
    while (ros::ok()) {
      if (o.serialize_once) {
        SerializedImage& s = slots[frames++ % 2];
        cv::Mat view = bridge.bgr8_view(s, rows, cols);
        if (!cap.read(view)) break;
        stamp(s);
        pub.publish(s);
      } else {
        if (msg.use_count() > 1) msg = boost::make_shared<sensor_msgs::Image>(*msg);
        cv::Mat view(rows, cols, CV_8UC3, msg->data.data(), msg->step);
        if (!cap.read(view)) break;
        msg->header.stamp = ros::Time::now();
        pub.publish(sensor_msgs::ImageConstPtr(msg));
      }
      r.sleep();
    }
  }
}

int measure_open(const Options& o) {
  std::vector<double> ms;
  for (int i = 0; i < o.measure_open; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (is_still(o.file)) {
      bridge.serialized_bgr8(load_still(o.file));
    } else {
      cv::VideoCapture cap(o.file, cv::CAP_FFMPEG);
      cv::Mat frame;
      if (!cap.read(frame)) throw std::runtime_error("cannot decode " + o.file);
    }
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::cout << "{\"open_median_ms\": " << vok::bench::percentile(ms, 50)
            << ", \"open_p99_ms\": " << vok::bench::percentile(ms, 99) << "}\n";
  return 0;
}

}  // namespace
}  // namespace bench_floor

int main(int argc, char** argv) {
  using namespace bench_floor;
  ros::init(argc, argv, "bench_floor");
  Options o;
  try {
    for (vok::bench::Args args(argc, argv); args.next();) {
      const std::string& a = args.name();
      const std::string v = args.value();
      if (a == "--file")
        o.file = v;
      else if (a == "--topic")
        o.topic = v;
      else if (a == "--rate")
        o.rate = std::stod(v);
      else if (a == "--serialize") {
        if (v != "once" && v != "frame") throw std::invalid_argument("--serialize once|frame");
        o.serialize_once = v == "once";
      } else if (a == "--poses") {
        if (v != "on" && v != "off") throw std::invalid_argument("--poses on|off");
        o.poses = v == "on";
      } else if (a == "--measure-open")
        o.measure_open = std::stoi(v);
      else
        throw std::invalid_argument("unknown argument " + a);
    }
    if (o.file.empty()) throw std::invalid_argument("--file is required");
  } catch (const std::exception& e) {
    std::cerr << "bench_floor: " << e.what()
              << "\nusage: bench_floor --file F [--topic T] [--rate HZ] [--serialize frame|once]"
                 " [--poses on|off] [--measure-open N]\n";
    return 2;
  }
  try {
    if (o.measure_open > 0) return measure_open(o);
    // The lean floor keeps freed frame memory mapped, as the player does; the plain one shows
    // what glibc's defaults cost.
    if (o.serialize_once) vok::keep_frame_memory();
    ros::NodeHandle nh;
    ros::Publisher pub = nh.advertise<sensor_msgs::Image>(o.topic, 1);
    ros::Subscriber poses;
    ros::AsyncSpinner spinner(1);
    if (o.poses) {
      const boost::function<void(const geometry_msgs::PoseWithCovarianceStampedConstPtr&)> drop =
          [](const geometry_msgs::PoseWithCovarianceStampedConstPtr&) {};
      poses = nh.subscribe("/amcl_pose", 100, drop);
      spinner.start();
    }
    if (is_still(o.file)) {
      publish_still(o, pub, o.rate > 0 ? o.rate : 30);
    } else {
      publish_video(o, pub);
    }
  } catch (const std::exception& e) {
    std::cerr << "bench_floor: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
