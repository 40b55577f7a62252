// camera_recorder: records what /camera/image shows while the robot moves, and writes a report
// folder with a floor plan, a contact sheet per room visit and a text summary.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include <cv_bridge/cv_bridge.h>
#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>
#include <rosgraph_msgs/Log.h>
#include <sensor_msgs/Image.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "vok_video_player/tools/master_wait.h"
#include "vok_video_player/tools/report.h"
#include "vok_video_player/tools/report_images.h"
#include "vok_video_player/tools/tool_options.h"

namespace {

std::atomic<bool> stop_requested{false};

void on_stop_signal(int) { stop_requested = true; }

// A thumbnail is kept at most this often, and for the first frame after a new item began.
constexpr double THUMB_INTERVAL = 0.2;

// Collects with absolute ROS times; the report counts from the tour's first pose.
class Recorder {
 public:
  explicit Recorder(const vok::RecorderOptions& options) : options_(options) {}

  void start(ros::NodeHandle& node) {
    started_ = ros::Time::now().toSec();
    image_sub_ = node.subscribe("/camera/image", 100, &Recorder::on_image, this);
    pose_sub_ = node.subscribe("/amcl_pose", 100, &Recorder::on_pose, this);
    log_sub_ = node.subscribe("/rosout", 100, &Recorder::on_log, this);
  }

  void on_image(const sensor_msgs::ImageConstPtr& msg) {
    const double now = ros::Time::now().toSec();
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame_times_.empty()) {
      std::printf("camera: first frame, %ux%u %s\n", msg->width, msg->height,
                  msg->encoding.c_str());
      std::fflush(stdout);
      if (!options_.ready_file.empty()) std::ofstream(options_.ready_file) << "ready\n";
    }
    frame_times_.push_back(now);
    if (new_item_ || thumbnails_.empty() || now - thumbnails_.back().t >= THUMB_INTERVAL) {
      new_item_ = false;
      vok::Thumbnail thumb;
      thumb.t = now;
      cv::resize(cv_bridge::toCvShare(msg, "bgr8")->image, thumb.image,
                 cv::Size(vok::THUMB_WIDTH, vok::THUMB_HEIGHT), 0, 0, cv::INTER_AREA);
      thumbnails_.push_back(thumb);
    }
  }

  void on_pose(const geometry_msgs::PoseWithCovarianceStamped::ConstPtr& msg) {
    // The stamp says when the pose was sent, so the player's reaction never precedes it.
    const double t =
        msg->header.stamp.isZero() ? ros::Time::now().toSec() : msg->header.stamp.toSec();
    std::lock_guard<std::mutex> lock(mutex_);
    poses_.push_back({t, msg->pose.pose.position.x, msg->pose.pose.position.y});
  }

  void on_log(const rosgraph_msgs::Log::ConstPtr& msg) {
    static const std::string prefix = "VOK video player: ";
    if (msg->msg.compare(0, prefix.size(), prefix) != 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back({msg->header.stamp.toSec(), msg->msg});
    const std::string file = vok::played_file(msg->msg);
    if (!file.empty()) new_item_ = true;
    const std::string shown = file.empty() ? msg->msg.substr(prefix.size()) : "playing " + file;
    if (poses_.empty()) {
      std::printf("camera: %s\n", shown.c_str());
    } else {
      std::printf("camera [%5.1f s] %s\n", msg->header.stamp.toSec() - poses_.front().t,
                  shown.c_str());
    }
    std::fflush(stdout);
  }

  // Writes the report; called once the subscriptions are quiet.
  void write_report() {
    std::lock_guard<std::mutex> lock(mutex_);
    const double stopped = ros::Time::now().toSec();
    const double t0 = poses_.empty() ? started_ : poses_.front().t;
    vok::Recording recording;
    recording.length = stopped - t0;
    for (auto pose : poses_) {
      pose.t -= t0;
      recording.poses.push_back(pose);
    }
    for (double t : frame_times_) {
      if (t >= t0) recording.frame_times.push_back(t - t0);
    }
    // The item already on the camera when the tour began is kept, with its earlier start.
    const vok::PlayerLine* on_at_start = nullptr;
    for (const auto& line : lines_) {
      if (line.t < t0 && !vok::played_file(line.text).empty()) on_at_start = &line;
    }
    for (const auto& line : lines_) {
      if (line.t >= t0 || &line == on_at_start)
        recording.player_lines.push_back({line.t - t0, line.text});
    }
    std::vector<vok::Thumbnail> thumbs;
    for (const auto& thumb : thumbnails_) {
      if (thumb.t >= t0) thumbs.push_back({thumb.t - t0, thumb.image});
    }
    if (!options_.player_output.empty()) {
      std::ifstream in(options_.player_output);
      if (!in) {
        std::cerr << "camera_recorder: cannot read " << options_.player_output << std::endl;
      }
      for (std::string line; std::getline(in, line);) recording.player_output.push_back(line);
    }

    const vok::Analysis analysis = vok::analyse(recording);
    const std::string dir = options_.out + "/";
    write_png(dir + "floor_plan.png", vok::draw_floor_plan(recording, analysis));
    const auto visits = analysis.visits();
    for (std::size_t i = 0; i < visits.size(); ++i) {
      write_png(
          dir + vok::contact_sheet_name(i + 1, visits[i].room),
          vok::draw_contact_sheet(visits[i], i + 1, visits.size(), thumbs, recording, analysis));
    }
    std::ofstream summary(dir + "summary.txt");
    summary << vok::summary_text(recording, analysis);
    if (!summary) throw std::runtime_error("cannot write " + dir + "summary.txt");
    std::printf("camera_recorder: %zu frames, %zu items, %zu room visits; report in %s\n",
                recording.frame_times.size(), analysis.plays.size(), visits.size(),
                options_.out.c_str());
  }

 private:
  static void write_png(const std::string& path, const cv::Mat& image) {
    if (!cv::imwrite(path, image, {cv::IMWRITE_PNG_COMPRESSION, 9}))
      throw std::runtime_error("cannot write " + path);
  }

  vok::RecorderOptions options_;
  ros::Subscriber image_sub_, pose_sub_, log_sub_;
  std::mutex mutex_;
  double started_ = 0;
  std::vector<double> frame_times_;
  std::vector<vok::PoseSample> poses_;
  std::vector<vok::PlayerLine> lines_;
  std::vector<vok::Thumbnail> thumbnails_;
  bool new_item_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  ros::init(argc, argv, "vok_camera_recorder", ros::init_options::NoSigintHandler);
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  std::vector<std::string> args;
  ros::removeROSArgs(argc, argv, args);
  vok::RecorderOptions options;
  const vok::ToolCommand command =
      vok::parse_recorder_options(std::vector<std::string>(args.begin() + 1, args.end()), options);
  if (command.outcome != vok::ToolCommand::Outcome::run) {
    (command.outcome == vok::ToolCommand::Outcome::help ? std::cout : std::cerr) << command.text;
    return command.exit_status;
  }

  try {
    std::filesystem::create_directories(options.out);
    if (!vok::master_answers(20)) {
      std::cerr << "camera_recorder: no ROS master at " << ros::master::getURI() << std::endl;
      return 1;
    }
    ros::NodeHandle node;
    Recorder recorder(options);
    recorder.start(node);
    ros::AsyncSpinner spinner(1);
    spinner.start();
    const ros::WallTime deadline = ros::WallTime::now() + ros::WallDuration(options.seconds);
    while (!stop_requested && ros::ok() &&
           (options.seconds <= 0 || ros::WallTime::now() < deadline)) {
      ros::WallDuration(0.05).sleep();
    }
    spinner.stop();
    recorder.write_report();
    ros::shutdown();
  } catch (const std::exception& e) {
    std::cerr << "camera_recorder: error: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
