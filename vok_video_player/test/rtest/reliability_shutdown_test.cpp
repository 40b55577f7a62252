// Stop signals at random moments: during start-up and before the first pose, during a still,
// during a video and while the robot changes room. Every run must end with exit status 0 within a
// second (three for a sanitizer build of the node).
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <atomic>
#include <random>
#include <thread>

#include "reliability_support.h"
#include "ros_test_main.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;

enum class Moment { before_first_pose, during_still, during_video, during_room_change };

const char* moment_name(Moment m) {
  switch (m) {
    case Moment::before_first_pose:
      return "before the first pose";
    case Moment::during_still:
      return "during a still";
    case Moment::during_video:
      return "during a video";
    case Moment::during_room_change:
      return "during a room change";
  }
  return "";
}

/// Sends the robot back and forth between rooms B and F, through no room, every 10 ms.
class Flapper {
 public:
  explicit Flapper(vok_test::PoseSender& poses)
      : thread_([this, &poses] {
          const std::vector<std::pair<double, double>> cycle = {
              vok_test::room_centre("B"), vok_test::gap_between_a_and_b(),
              vok_test::room_centre("F"), vok_test::gap_between_f_and_c()};
          for (std::size_t i = 0; !stop_; ++i) {
            poses.send(cycle[i % cycle.size()]);
            std::this_thread::sleep_for(10ms);
          }
        }) {}
  ~Flapper() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct RunResult {
  std::optional<int> status;
  double seconds = 0;
};

TEST(Shutdown, StopSignalsAtRandomMomentsEndTheNodeWithinASecond) {
  // In test mode room B plays the still "laptop" and room F the video "person".
  auto media = vok_test::mixed_media("rel_shutdown", {"person"}, 300);
  vok_test::PoseSender poses;
  const long runs = vok_test::env_number("VOK_SHUTDOWN_RUNS", 50);
  const unsigned seed = static_cast<unsigned>(vok_test::env_number("VOK_SHUTDOWN_SEED", 2025));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delay_ms(0, 400);
  const std::vector<Moment> moments = {Moment::before_first_pose, Moment::during_still,
                                       Moment::during_video, Moment::during_room_change};
  std::map<Moment, std::vector<double>> stop_times;
  long failures = 0;

  for (long run = 0; run < runs; ++run) {
    const Moment moment = moments[static_cast<std::size_t>(run) % moments.size()];
    const int signal = run % 2 ? SIGTERM : SIGINT;
    const auto delay = std::chrono::milliseconds(delay_ms(random));
    const std::string what = "run " + std::to_string(run) + " (" + moment_name(moment) + ", " +
                             (signal == SIGINT ? "SIGINT" : "SIGTERM") + " after " +
                             std::to_string(delay.count()) + " ms)";
    ChildProcess node(vok_test::node_binary(), {"--video_folder", media->path(), "--test"});
    std::unique_ptr<Flapper> flapper;
    switch (moment) {
      case Moment::before_first_pose:
        // From the banner, which the node logs once its stop handlers are in place: the rest of
        // start-up, then the wait for a pose.
        ASSERT_TRUE(node.wait_for_line("^VOK Video Player Node", 30s)) << what;
        std::this_thread::sleep_for(delay * 3);
        break;
      case Moment::during_still:
      case Moment::during_video: {
        const bool still = moment == Moment::during_still;
        ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing", 30s)) << what;
        ASSERT_TRUE(poses.wait_for_subscriber(10s)) << what;
        poses.send(vok_test::room_centre(still ? "B" : "F"));
        ASSERT_TRUE(node.wait_for_line(still ? "^VOK video player: Playing laptop\\.jpg$"
                                             : "^VOK video player: Playing video person\\.mp4$",
                                       10s))
            << what;
        std::this_thread::sleep_for(delay);
        break;
      }
      case Moment::during_room_change:
        ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing", 30s)) << what;
        ASSERT_TRUE(poses.wait_for_subscriber(10s)) << what;
        flapper = std::make_unique<Flapper>(poses);
        ASSERT_TRUE(node.wait_for_line("^VOK video player: Robot in room", 10s)) << what;
        std::this_thread::sleep_for(delay);
        break;
    }
    double seconds = 0;
    const auto status = vok_test::stop_node(node, signal, vok_test::stop_limit(), &seconds);
    flapper.reset();
    stop_times[moment].push_back(seconds);
    if (status != std::optional<int>(0)) {
      ++failures;
      ADD_FAILURE() << what << ": exit status "
                    << (status ? std::to_string(*status) : "none within the time limit") << "\n"
                    << ::testing::PrintToString(node.err());
    }
  }

  std::ostringstream figures;
  figures.precision(3);
  figures << "shutdown: " << runs << " runs (seed " << seed << "), " << failures
          << " failures; longest stop";
  for (const auto& [moment, times] : stop_times) {
    figures << (moment == Moment::before_first_pose ? " " : ", ") << moment_name(moment) << " "
            << *std::max_element(times.begin(), times.end()) << " s";
  }
  vok_test::report_figure(figures.str());
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "reliability_shutdown_test", 1);
}
