// bench_probe: the measuring subscriber of scripts/bench. It receives an image stream over TCP
// with TCP_NODELAY, raw or as JPEG (decoded as a viewer would), reads each frame's marks (colour
// code and frame number), and over a timed window works out the stream's timing, the
// publisher's CPU time per frame and resident memory from /proc, the intervals at the
// boundaries between plays (a change of item, or an item starting over), and, when poses are
// driven, how fast the stream follows a change of room. It writes one JSON object of figures.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/callback_queue.h>
#include <ros/ros.h>
#include <rosgraph_msgs/Log.h>
#include <sensor_msgs/CompressedImage.h>
#include <opencv2/imgcodecs.hpp>

#include "image_marks.h"
#include "vok_video_player/bench/bench_args.h"
#include "vok_video_player/bench/bench_output.h"
#include "vok_video_player/bench/bench_stats.h"
#include "vok_video_player/media/image_bridge.h"
#include "vok_video_player/site/room_geometry.h"

namespace vb = vok::bench;
using vb::cpu_seconds;
using vb::Json;
using vb::read_file;

namespace {

struct Options {
  std::string topic = "/camera/image";
  double rate = 30;
  double warmup = 2;
  double seconds = 20;
  double first_frame_timeout = 20;
  int pid = 0;
  std::string out;
  std::string raw;
  std::string label;
  bool rosout = false;
  bool poses = false;
  bool compressed = false;     // the topic carries sensor_msgs/CompressedImage (JPEG)
  bool until_stopped = false;  // the window ends when the probe is stopped, not after --seconds
};

void usage() {
  std::cerr << "usage: bench_probe --out FILE [--topic T] [--compressed] [--rate HZ] [--warmup S]\n"
               "                   [--seconds S | --until-stopped] [--pid PID] [--rosout]\n"
               "                   [--poses] [--label TEXT] [--raw CSV]\n";
}

bool parse(int argc, char** argv, Options& o) {
  for (vb::Args args(argc, argv); args.next();) {
    const std::string& a = args.name();
    if (a == "--topic")
      o.topic = args.value();
    else if (a == "--rate")
      o.rate = std::stod(args.value());
    else if (a == "--warmup")
      o.warmup = std::stod(args.value());
    else if (a == "--seconds")
      o.seconds = std::stod(args.value());
    else if (a == "--first-frame-timeout")
      o.first_frame_timeout = std::stod(args.value());
    else if (a == "--pid")
      o.pid = std::stoi(args.value());
    else if (a == "--out")
      o.out = args.value();
    else if (a == "--raw")
      o.raw = args.value();
    else if (a == "--label")
      o.label = args.value();
    else if (a == "--rosout")
      o.rosout = true;
    else if (a == "--poses")
      o.poses = true;
    else if (a == "--compressed")
      o.compressed = true;
    else if (a == "--until-stopped")
      o.until_stopped = true;
    else
      throw std::invalid_argument("unknown argument " + a);
  }
  if (o.out.empty()) throw std::invalid_argument("--out is required");
  if (!(o.rate > 0)) throw std::invalid_argument("--rate must be above 0");
  return true;
}

/// Run time (s) of each thread of `pid` but its main one, by thread id, as the scheduler counts
/// it (in nanoseconds, where /proc/<pid>/stat counts clock ticks of 10 ms).
std::map<int, double> other_thread_seconds(int pid) {
  std::map<int, double> seconds;
  std::error_code error;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    const int tid = std::atoi(task.path().filename().c_str());
    long long ns = 0;
    if (tid != pid && std::ifstream(task.path() / "schedstat") >> ns) seconds[tid] = ns * 1e-9;
  }
  return seconds;
}

/// The run time between two readings of the threads that were there at both.
double ran_between(const std::map<int, double>& before, const std::map<int, double>& after) {
  double seconds = 0;
  for (const auto& [tid, s] : after) {
    const auto it = before.find(tid);
    if (it != before.end()) seconds += s - it->second;
  }
  return seconds;
}

double rss_kb(int pid) {
  const long long kb = vb::parse_vmrss_kb(read_file("/proc/" + std::to_string(pid) + "/status"));
  return kb < 0 ? vb::NO_VALUE : static_cast<double>(kb);
}

/// Collects what arrives; every callback runs on the main thread.
struct Recorder {
  std::vector<vb::Arrival> frames;
  std::size_t empty_frames = 0;                // 0x0 images, which some publishers send at a loop
  std::size_t undecodable = 0;                 // JPEGs that would not decode
  std::vector<double> play_starts;             // stamps of the publisher's "Playing" lines
  std::vector<std::pair<double, char>> poses;  // stamp and room letter ('-' for none)

  void on_image(const boost::shared_ptr<const vb::ImageMarks>& m) {
    if (m->width == 0 || m->height == 0) {
      ++empty_frames;
      return;
    }
    vb::Arrival a;
    a.time = ros::WallTime::now().toSec();
    a.stamp = m->stamp;
    a.width = m->width;
    a.mark = m->mark;
    a.bytes = m->bytes;
    frames.push_back(a);
  }

  void on_jpeg(const sensor_msgs::CompressedImage::ConstPtr& m) {
    // Timed as it arrives; the decoding, which a viewer does next, counts in the probe's own
    // time only.
    vb::Arrival a;
    a.time = ros::WallTime::now().toSec();
    const cv::Mat image = cv::imdecode(m->data, cv::IMREAD_COLOR);
    if (image.empty()) {
      ++undecodable;
      return;
    }
    a.stamp = m->header.stamp.toSec();
    a.width = static_cast<uint32_t>(image.cols);
    a.mark = vb::read_mark(image.data, a.width, static_cast<uint32_t>(image.rows),
                           static_cast<uint32_t>(image.step));
    a.bytes = m->data.size();
    frames.push_back(a);
  }

  void on_log(const rosgraph_msgs::Log::ConstPtr& log) {
    if (log->msg.rfind("VOK video player: Playing", 0) == 0)
      play_starts.push_back(log->header.stamp.toSec());
  }

  void on_pose(const geometry_msgs::PoseWithCovarianceStamped::ConstPtr& msg) {
    const auto& p = msg->pose.pose.position;
    const std::string room = vok::find_room(p.x, p.y);
    poses.emplace_back(msg->header.stamp.toSec(), room.empty() ? '-' : room[0]);
  }
};

/// Puts every thread's allocations in one heap and faults `bytes` of free memory into it now.
/// roscpp's receiving thread takes a buffer of each message's size from its heap. Otherwise a
/// small message between two frames (a log line) takes a piece of the last frame's freed block,
/// the next frame no longer fits there, and the heap grows into fresh pages: at 1080p about
/// 1500 page faults, 3 ms late, and the first log line a probe receives lands right on an item
/// boundary of the node's stream.
void fault_in_heap(std::size_t bytes) {
  mallopt(M_ARENA_MAX, 1);
  constexpr std::size_t BLOCK = 16 << 20;  // below the mmap threshold: taken from the heap
  std::vector<void*> blocks;
  for (std::size_t n = 0; n < bytes; n += BLOCK) {
    void* block = std::malloc(BLOCK);
    if (block == nullptr) break;
    std::memset(block, 0, BLOCK);
    blocks.push_back(block);
  }
  for (void* block : blocks) std::free(block);
}

}  // namespace

int main(int argc, char** argv) {
  ros::init(argc, argv, "bench_probe", ros::init_options::AnonymousName);
  Options o;
  try {
    parse(argc, argv, o);
  } catch (const std::exception& e) {
    std::cerr << "bench_probe: " << e.what() << "\n";
    usage();
    return 2;
  }

  // roscpp reads every message into a buffer of its own size; keeping freed frames mapped spares
  // the probe a page fault per 4 KiB of every frame, which would show as jitter of the stream.
  vok::keep_frame_memory();
  fault_in_heap(64 << 20);  // two 4K frames and room to spare
  ros::NodeHandle nh;
  Recorder rec;
  rec.frames.reserve(static_cast<std::size_t>((o.warmup + o.seconds + 5) * o.rate * 1.5) + 64);
  const ros::TransportHints no_delay = ros::TransportHints().tcpNoDelay();
  ros::Subscriber images;
  if (o.compressed)
    images = nh.subscribe(o.topic, 10, &Recorder::on_jpeg, &rec, no_delay);
  else
    images = nh.subscribe<vb::ImageMarks>(o.topic, 10, &Recorder::on_image, &rec, no_delay);
  ros::Subscriber logs, poses;
  if (o.rosout) logs = nh.subscribe("/rosout", 1000, &Recorder::on_log, &rec);
  if (o.poses)
    poses = nh.subscribe("/amcl_pose", 100000, &Recorder::on_pose, &rec,
                         ros::TransportHints().tcpNoDelay());

  ros::CallbackQueue* queue = ros::getGlobalCallbackQueue();
  const double started = ros::WallTime::now().toSec();
  double window_start = 0, window_end = 0;
  double cpu0 = vb::NO_VALUE, cpu1 = vb::NO_VALUE, rss0 = vb::NO_VALUE, rss1 = vb::NO_VALUE;
  std::map<int, double> others0, others1;
  double rss_max = vb::NO_VALUE, next_rss = 0;
  std::size_t first_in_window = 0, end_of_window = 0;
  while (ros::ok()) {
    queue->callAvailable(ros::WallDuration(0.002));
    const double now = ros::WallTime::now().toSec();
    if (rec.frames.empty()) {
      if (now - started > o.first_frame_timeout) {
        std::cerr << "bench_probe: no frame on " << o.topic << " within " << o.first_frame_timeout
                  << " s\n";
        return 1;
      }
      continue;
    }
    if (window_start == 0 && now >= rec.frames.front().time + o.warmup) {
      window_start = now;
      first_in_window = rec.frames.size();
      if (o.pid) {
        cpu0 = cpu_seconds(o.pid), rss0 = rss_kb(o.pid);
        others0 = other_thread_seconds(o.pid);
      }
    }
    if (window_start != 0 && o.pid && now >= next_rss) {
      const double rss = rss_kb(o.pid);
      if (!(rss <= rss_max)) rss_max = rss;
      next_rss = now + 0.25;
    }
    if (window_start != 0 && !o.until_stopped && now >= window_start + o.seconds) {
      window_end = now;
      end_of_window = rec.frames.size();
      if (o.pid) {
        cpu1 = cpu_seconds(o.pid), rss1 = rss_kb(o.pid);
        others1 = other_thread_seconds(o.pid);
      }
      break;
    }
  }
  if (o.until_stopped && window_start != 0 && window_end == 0) {
    // Stopped (SIGINT): roscpp is shut down, but /proc still answers.
    window_end = ros::WallTime::now().toSec();
    end_of_window = rec.frames.size();
    if (o.pid) {
      cpu1 = cpu_seconds(o.pid), rss1 = rss_kb(o.pid);
      others1 = other_thread_seconds(o.pid);
    }
  }
  if (window_end == 0) {
    std::cerr << "bench_probe: stopped before the end of the window\n";
    return 1;
  }

  // Everything below works on the frames of the window.
  const std::vector<vb::Arrival> frames(rec.frames.begin() + first_in_window,
                                        rec.frames.begin() + end_of_window);
  const double period = 1.0 / o.rate;
  std::vector<double> starts;
  for (double s : rec.play_starts)
    if (s >= window_start && s <= window_end) starts.push_back(s);
  const std::vector<std::size_t> firsts = vb::split_plays(frames, starts);

  std::vector<double> intervals, lateness, first_intervals, gaps, drifts;
  double fitted_time = 0;  // the plays' intervals, each counted at its play's fitted period
  vb::SequenceFaults faults;
  for (std::size_t p = 0; p < firsts.size(); ++p) {
    const std::size_t first = firsts[p];
    const std::size_t last = p + 1 < firsts.size() ? firsts[p + 1] : frames.size();
    const vb::PlayTiming t = vb::time_play(frames, first, last, period);
    intervals.insert(intervals.end(), t.intervals.begin(), t.intervals.end());
    lateness.insert(lateness.end(), t.lateness.begin(), t.lateness.end());
    if (std::isfinite(t.fitted_period)) fitted_time += t.fitted_period * t.intervals.size();
    if (t.lateness.size() >= 20 && std::isfinite(t.drift)) drifts.push_back(std::fabs(t.drift));
    // The first play may be cut by the window's start: its first interval is not a play start.
    if (p > 0 && std::isfinite(t.first_interval)) first_intervals.push_back(t.first_interval);
    if (p > 0) gaps.push_back(frames[first].time - frames[first - 1].time);
    const vb::SequenceFaults f = vb::check_sequence(frames, first, last);
    faults.skipped += f.skipped;
    faults.repeated += f.repeated;
  }
  std::size_t unknown = 0;
  std::vector<double> stamp_latency, bytes;
  for (const auto& f : frames) {
    if (f.mark.colour == vb::Colour::unknown) ++unknown;
    if (f.stamp > 0) stamp_latency.push_back(f.time - f.stamp);
    bytes.push_back(static_cast<double>(f.bytes));
  }

  // Changes of room: the first pose in another room than the pose before it.
  std::vector<double> changes;
  char room = 0;
  std::size_t poses_in_window = 0;
  for (const auto& [stamp, letter] : rec.poses) {
    if (stamp >= window_start && stamp <= window_end) ++poses_in_window;
    if (room != 0 && letter != room && stamp >= window_start && stamp <= window_end - 1.0)
      changes.push_back(stamp);
    room = letter;
  }
  std::vector<double> old_last, new_first;
  std::size_t unanswered = 0;
  for (const auto& r : vb::match_changes(rec.frames, changes)) {
    if (std::isfinite(r.new_first)) {
      old_last.push_back(r.old_last);
      new_first.push_back(r.new_first);
    } else {
      ++unanswered;
    }
  }

  const double window = window_end - window_start;
  Json j;
  j.add_text("label", o.label);
  j.add("rate_target", o.rate);
  j.add("window_s", window);
  // On the wall clock, to the microsecond: where the window lies among the frames of --raw.
  j.add("window_start", window_start, 1, 17);
  j.add("window_end", window_end, 1, 17);
  j.add("frames", static_cast<double>(frames.size()));
  j.add("plays", static_cast<double>(firsts.size()));
  j.add("rate",
        fitted_time > 0 ? static_cast<double>(intervals.size()) / fitted_time : vb::NO_VALUE);
  // Over the whole window, boundaries included: what a consumer counting frames sees.
  j.add("stream_rate", frames.size() > 1 ? static_cast<double>(frames.size() - 1) /
                                               (frames.back().time - frames.front().time)
                                         : vb::NO_VALUE);
  j.add("interval_mean_ms", vb::mean(intervals), 1e3);
  j.add("interval_median_ms", vb::percentile(intervals, 50), 1e3);
  j.add("interval_std_ms", vb::stddev(intervals), 1e3);
  j.add("interval_p99_ms", vb::percentile(intervals, 99), 1e3);
  j.add("interval_max_ms", vb::maximum(intervals), 1e3);
  j.add("drift_max_ms", drifts.empty() ? vb::NO_VALUE : vb::maximum(drifts), 1e3);
  j.add("lateness_median_ms", vb::percentile(lateness, 50), 1e3);
  j.add("lateness_p99_ms", vb::percentile(lateness, 99), 1e3);
  j.add("stamp_latency_median_ms", vb::percentile(stamp_latency, 50), 1e3);
  j.add("stamp_latency_p99_ms", vb::percentile(stamp_latency, 99), 1e3);
  j.add("first_interval_min_ms",
        first_intervals.empty() ? vb::NO_VALUE
                                : *std::min_element(first_intervals.begin(), first_intervals.end()),
        1e3);
  j.add("first_interval_max_ms", vb::maximum(first_intervals), 1e3);
  j.add("gap_max_ms", vb::maximum(gaps), 1e3);
  j.add("boundaries", static_cast<double>(gaps.size()));
  j.add("boundary_median_ms", vb::percentile(gaps, 50), 1e3);
  j.add("boundary_p90_ms", vb::percentile(gaps, 90), 1e3);
  j.add("empty_frames", static_cast<double>(rec.empty_frames));
  j.add("skipped", static_cast<double>(faults.skipped));
  j.add("repeated", static_cast<double>(faults.repeated));
  j.add("unknown_colour", static_cast<double>(unknown));
  j.add("undecodable", static_cast<double>(rec.undecodable));
  j.add("bytes_mean", vb::mean(bytes));
  j.add("cpu_s", cpu1 - cpu0);
  j.add("cpu_ms_per_frame", frames.empty() ? vb::NO_VALUE : (cpu1 - cpu0) / frames.size(), 1e3);
  j.add("cpu_share", (cpu1 - cpu0) / window);
  // The threads that ran through the whole window, but the main one: roscpp's (sending frames,
  // receiving and handling poses) and the like. A video's decoder threads come and go with its
  // plays and are left out, and with them the cost of decoding, which varies with the frames
  // that fall in a window.
  j.add("ros_threads_cpu_s", o.pid ? ran_between(others0, others1) : vb::NO_VALUE);
  j.add("rss_start_kb", rss0);
  j.add("rss_end_kb", rss1);
  j.add("rss_max_kb", rss_max);
  j.add("poses", static_cast<double>(poses_in_window));
  j.add("changes", static_cast<double>(changes.size()));
  j.add("unanswered", static_cast<double>(unanswered));
  j.add("old_last_median_ms", vb::percentile(old_last, 50), 1e3);
  j.add("old_last_p99_ms", vb::percentile(old_last, 99), 1e3);
  j.add("new_first_median_ms", vb::percentile(new_first, 50), 1e3);
  j.add("new_first_p99_ms", vb::percentile(new_first, 99), 1e3);

  std::ofstream out(o.out);
  out << j.str();
  if (!out) {
    std::cerr << "bench_probe: cannot write " << o.out << "\n";
    return 1;
  }
  if (!o.raw.empty()) {
    std::ofstream raw(o.raw);
    raw << "time,stamp,colour,index,width,bytes\n";
    raw.precision(17);
    for (const auto& f : rec.frames)
      raw << f.time << ',' << f.stamp << ',' << static_cast<char>(f.mark.colour) << ','
          << f.mark.index << ',' << f.width << ',' << f.bytes << '\n';
    for (double s : changes) raw << s << ",0,P,-1,0,0\n";
  }
  return 0;
}
