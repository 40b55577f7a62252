// The bench's image consumer as nodelet vok_video_player/bench_consumer: the same code measures
// a consumer in the player's nodelet manager, which receives the player's messages as pointers,
// and one in a process of its own (`nodelet standalone`), which receives them through the
// loopback and deserializes them as any sensor_msgs/Image subscriber does. Over a timed window
// it records the period between frames and the lag of each frame's stamp behind its receipt,
// reads the CPU time of its own process and of one other (the node it receives from), and
// writes one JSON object of figures.
//
// Private parameters: ~out (the JSON file, required), ~warmup (s, default 2), ~seconds (the
// window, default 10), ~other_pid (a process whose CPU time counts too, default none).
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <nodelet/nodelet.h>
#include <ros/ros.h>
#include <sensor_msgs/Image.h>
#include <pluginlib/class_list_macros.hpp>

#include "vok_video_player/bench/bench_output.h"
#include "vok_video_player/bench/bench_stats.h"

namespace vok {
namespace bench {

/// \brief Receives /camera/image and writes the figures of one window of it.
class ConsumerNodelet : public nodelet::Nodelet {
 private:
  void onInit() override {
    ros::NodeHandle& param = getPrivateNodeHandle();
    param.param("warmup", warmup_, 2.0);
    param.param("seconds", seconds_, 10.0);
    param.param("other_pid", other_pid_, 0);
    if (!param.getParam("out", out_) || out_.empty()) {
      NODELET_ERROR("bench_consumer: ~out (the file for the figures) is not set");
      return;
    }
    arrivals_.reserve(static_cast<std::size_t>((warmup_ + seconds_) * 70) + 64);
    images_ = getNodeHandle().subscribe("/camera/image", 2, &ConsumerNodelet::on_image, this,
                                        ros::TransportHints().tcpNoDelay());
  }

  void on_image(const sensor_msgs::ImageConstPtr& image) {
    const double now = ros::WallTime::now().toSec();
    const ros::Time ros_now = ros::Time::now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (done_) return;
    if (first_ == 0) first_ = now;
    if (now < first_ + warmup_) return;
    if (start_ == 0) {
      start_ = now;
      cpu0_ = process_cpu();
    }
    arrivals_.push_back(now);
    if (!image->header.stamp.isZero()) lags_.push_back((ros_now - image->header.stamp).toSec());
    if (now >= start_ + seconds_) finish(now);
  }

  double process_cpu() const {
    double cpu = cpu_seconds(static_cast<int>(getpid()));
    if (other_pid_ > 0) cpu += cpu_seconds(other_pid_);
    return cpu;
  }

  void finish(double now) {
    done_ = true;
    const double cpu = process_cpu() - cpu0_;
    std::vector<double> periods;
    for (std::size_t i = 1; i < arrivals_.size(); ++i)
      periods.push_back(arrivals_[i] - arrivals_[i - 1]);
    const double window = now - start_;
    Json j;
    j.add("window_s", window);
    j.add("frames", static_cast<double>(arrivals_.size()));
    j.add("period_median_ms", percentile(periods, 50), 1e3);
    j.add("period_p90_ms", percentile(periods, 90), 1e3);
    j.add("period_p99_ms", percentile(periods, 99), 1e3);
    j.add("stamped", static_cast<double>(lags_.size()));
    j.add("stamp_lag_median_ms", percentile(lags_, 50), 1e3);
    j.add("stamp_lag_p99_ms", percentile(lags_, 99), 1e3);
    j.add("cpu_s", cpu);
    j.add("cpu_share", cpu / window);
    j.add("cpu_ms_per_frame", arrivals_.empty() ? NO_VALUE : cpu / arrivals_.size(), 1e3);
    std::ofstream out(out_);
    out << j.str();
    if (!out) NODELET_ERROR("bench_consumer: cannot write %s", out_.c_str());
    images_.shutdown();
  }

  double warmup_ = 2, seconds_ = 10;
  int other_pid_ = 0;
  std::string out_;
  ros::Subscriber images_;
  std::mutex mutex_;
  bool done_ = false;
  double first_ = 0, start_ = 0, cpu0_ = 0;
  std::vector<double> arrivals_, lags_;
};

}  // namespace bench
}  // namespace vok

PLUGINLIB_EXPORT_CLASS(vok::bench::ConsumerNodelet, nodelet::Nodelet)
