// Soak: a tour of the floor with a room change every few seconds, on 1080p stills and videos, for
// VOK_SOAK_SECONDS (default 600). The node's resident memory must stay flat after the first
// minute, its file descriptors must not grow, and the stream must not stall. Run by
// scripts/stress, not by scripts/test.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "reliability_support.h"
#include "ros_test_main.h"

namespace {

using namespace std::chrono_literals;
using vok_test::Clock;

constexpr double PERIOD = 1.0 / 30;
const cv::Size FULL_HD(1920, 1080);

/// Resident memory of a process in kB, from /proc.
long resident_kb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

/// Open file descriptors of a process.
long open_fds(pid_t pid) {
  std::error_code ec;
  long n = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++n;
  return ec ? -1 : n;
}

/// A 1080p media folder: a still for every name, and 2-second videos for a few.
class FullHdMedia {
 public:
  FullHdMedia() {
    dir_ = std::filesystem::temp_directory_path() / ("vok_soak_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    const auto names = vok::required_media_names();
    for (std::size_t i = 0; i < names.size(); ++i) {
      const int item = static_cast<int>(i);
      const std::string stem = path() + vok::file_stem(names[i]);
      if (names[i] == "dog" || names[i] == "person" || names[i] == "pizza") {
        cv::VideoWriter writer(stem + ".mp4", cv::CAP_FFMPEG,
                               cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30, FULL_HD);
        for (int f = 0; f < 60; ++f)
          writer.write(cv::Mat(FULL_HD, CV_8UC3, vok_test::video_colour(item, f)));
      } else {
        cv::imwrite(stem + ".jpg", cv::Mat(FULL_HD, CV_8UC3, vok_test::still_colour(item)));
      }
    }
  }
  ~FullHdMedia() { std::filesystem::remove_all(dir_); }
  std::string path() const { return dir_.string() + "/"; }

 private:
  std::filesystem::path dir_;
};

TEST(Soak, TourAtFullHdKeepsMemoryFilesAndStreamFlat) {
  const long seconds = vok_test::env_number("VOK_SOAK_SECONDS", 600);
  FullHdMedia media;
  vok_test::FrameRecorder frames;
  vok_test::PoseSender poses;
  auto node = vok_test::start_node(media.path());
  ASSERT_TRUE(node->wait_for_line("^VOK video player: Playing", 30s));
  ASSERT_TRUE(poses.wait_for_subscriber(10s));
  ASSERT_TRUE(frames.wait_count(10, 10s));

  std::mt19937 random(42);
  std::uniform_int_distribution<int> stay_ms(2000, 6000);
  const std::vector<std::string> rooms = vok::ROOMS;
  std::uniform_int_distribution<std::size_t> pick(0, rooms.size() - 1);

  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  auto next_move = start;
  auto next_sample = start;
  std::pair<double, double> at = vok_test::room_centre("A");
  long room_changes = 0;
  const long rss_start = resident_kb(node->pid()), fds_start = open_fds(node->pid());
  long rss_first_minute = -1, rss_max_after = 0, fds_max_first = fds_start, fds_max_after = 0;
  std::ofstream samples(std::getenv("VOK_SOAK_SAMPLES") ? std::getenv("VOK_SOAK_SAMPLES")
                                                        : "/dev/null");
  while (Clock::now() < end) {
    const auto now = Clock::now();
    if (now >= next_move) {
      std::string room;
      do room = rooms[pick(random)];
      while (vok::in_room(at.first, at.second, room));
      // Through the doorway gap, then into the next room, as a robot would drive.
      poses.send(vok_test::gap_between_a_and_b());
      at = vok_test::room_centre(room);
      ++room_changes;
      next_move = now + std::chrono::milliseconds(stay_ms(random));
    }
    poses.send(at);  // a localisation rate of 10 Hz
    if (now >= next_sample) {
      const double t = std::chrono::duration<double>(now - start).count();
      const long rss = resident_kb(node->pid()), fds = open_fds(node->pid());
      samples << t << " " << rss << " " << fds << " " << frames.count() << "\n";
      if (t < 60) {
        fds_max_first = std::max(fds_max_first, fds);
      } else {
        if (rss_first_minute < 0) rss_first_minute = rss;
        rss_max_after = std::max(rss_max_after, rss);
        fds_max_after = std::max(fds_max_after, fds);
      }
      next_sample = now + 1s;
    }
    ASSERT_FALSE(node->wait_exit(0ms)) << "the node died";
    std::this_thread::sleep_for(100ms);
  }
  const long rss_end = resident_kb(node->pid()), fds_end = open_fds(node->pid());
  const auto stream = vok_test::measure_stream(frames.arrivals(), start, Clock::now(), PERIOD);
  double stop_seconds = 0;
  EXPECT_EQ(vok_test::stop_node(*node, SIGINT, vok_test::stop_limit(), &stop_seconds),
            std::optional<int>(0));

  const double growth =
      rss_first_minute > 0 ? 100.0 * (rss_max_after - rss_first_minute) / rss_first_minute : 0;
  std::ostringstream f;
  f.precision(3);
  f << "soak: " << seconds << " s, " << room_changes << " room changes; resident memory "
    << rss_start << " kB at start, " << rss_first_minute << " kB at 1 min, " << rss_end
    << " kB at the end, peak after 1 min " << rss_max_after << " kB (growth " << growth
    << "%); file descriptors " << fds_start << " at start, peak " << fds_max_first
    << " in the first minute and " << fds_max_after << " after it, " << fds_end
    << " at the end; stream " << stream.text() << "; stopped in " << stop_seconds << " s";
  vok_test::report_figure(f.str());

  if (seconds >= 120) EXPECT_LT(growth, 5.0);
  EXPECT_LE(fds_max_after, fds_max_first);
  EXPECT_EQ(stream.stalls_in_item, 0u) << stream.text();
  EXPECT_GE(stream.rate(), 27.0) << stream.text();
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "reliability_soak_test", 1);
}
