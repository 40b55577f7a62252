// The node under pose abuse: floods, positions that are no numbers, a robot flapping at a door.
// It must stay up, keep the camera stream at the item's rate, print only playlists the room
// rules can produce, and stop cleanly afterwards.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cmath>
#include <limits>
#include <random>

#include "reliability_support.h"
#include "ros_test_main.h"

namespace {

using namespace std::chrono_literals;
using vok_test::Clock;

constexpr double PERIOD = 1.0 / 30;

// A sanitizer build of the node runs several times slower; there the stream is only held to a
// loose pace, since those runs look for races and memory faults, not for timing.
double gap_limit() { return vok_test::under_sanitizer() ? 1.0 : 0.25; }
double min_rate() { return vok_test::under_sanitizer() ? 10.0 : 27.0; }

// Every item a video: frame numbers tell one play from the next. Two plays in a row of one still
// (the "empty" still on both sides of a room the robot left before its item began) send the same
// frame, so the gap between them would be taken for a stall within one play.
std::vector<std::string> every_item_a_video() {
  std::vector<std::string> names;
  for (const auto& name : vok::required_media_names()) names.push_back(vok::file_stem(name));
  return names;
}

class PoseAbuse : public ::testing::Test {
 protected:
  void start(const std::vector<std::string>& videos, const std::vector<std::string>& extra = {}) {
    media_ = vok_test::mixed_media(::testing::UnitTest::GetInstance()->current_test_info()->name(),
                                   videos);
    node_ = vok_test::start_node(media_->path(), extra);
    ASSERT_TRUE(node_->wait_for_line("^VOK video player: Playing", 20s));
    ASSERT_TRUE(poses_.wait_for_subscriber(10s));
    ASSERT_TRUE(frames_.wait_count(3, 10s));
  }

  /// Sends a pose into `room` and waits for the node to log its entry.
  void enter(const std::string& room) {
    const std::size_t from = node_->out().size();
    poses_.send(vok_test::gap_between_a_and_b());
    poses_.send(vok_test::room_centre(room));
    const auto line =
        node_->wait_for_line("^VOK video player: Robot in room " + room, 10s, false, from);
    ASSERT_TRUE(line) << room;
    ASSERT_TRUE(node_->wait_for_line("^(Playlist for|Test in room)", 10s, false, *line)) << room;
  }

  /// Checks the stream of a window and reports its figures under `label`.
  void expect_steady_stream(const std::string& label, Clock::time_point from,
                            Clock::time_point to) {
    const auto f = vok_test::measure_stream(frames_.arrivals(), from, to, PERIOD);
    vok_test::report_figure(label + ": " + f.text());
    if (!vok_test::under_sanitizer()) EXPECT_EQ(f.stalls_in_item, 0u) << f.text();
    EXPECT_LE(f.max_gap_in_item, gap_limit()) << f.text();
    EXPECT_LE(f.max_gap_at_change, gap_limit()) << f.text();
    EXPECT_GE(f.rate(), min_rate()) << f.text();
  }

  /// Checks every room entry printed so far, then stops the node with SIGINT.
  void expect_valid_output_and_clean_stop(const std::string& label, bool test_mode) {
    ASSERT_FALSE(node_->wait_exit(0ms)) << "the node died";
    std::size_t entries = 0;
    const auto faults = vok_test::output_faults(node_->out(), test_mode, &entries);
    for (const auto& fault : faults) ADD_FAILURE() << fault;
    double seconds = 0;
    EXPECT_EQ(vok_test::stop_node(*node_, SIGINT, vok_test::stop_limit(), &seconds),
              std::optional<int>(0));
    vok_test::report_figure(label + ": " + std::to_string(entries) + " room entries checked, " +
                            std::to_string(faults.size()) + " faults; stopped in " +
                            std::to_string(seconds) + " s");
  }

  std::unique_ptr<vok_test::MediaFolder> media_;
  vok_test::FrameRecorder frames_;
  vok_test::PoseSender poses_;
  std::unique_ptr<vok_test::ChildProcess> node_;
};

TEST_F(PoseAbuse, FloodOfTenThousandPosesKeepsTheStream) {
  start(every_item_a_video());
  enter("D");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> wild = {nan,
                                    inf,
                                    -inf,
                                    1e308,
                                    -1e308,
                                    std::numeric_limits<double>::max(),
                                    std::numeric_limits<double>::denorm_min(),
                                    -0.0};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> x(-1.0, 14.0), y(-1.0, 11.7);
  std::uniform_int_distribution<int> kind(0, 9), pick(0, static_cast<int>(wild.size()) - 1);

  const auto from = Clock::now();
  for (int i = 0; i < 10000; ++i) {
    const int k = kind(random);
    if (k < 7) {
      poses_.send(x(random), y(random));
    } else if (k < 8) {
      poses_.send(vok_test::gap_between_f_and_c());
    } else {
      poses_.send(k == 8 ? wild[pick(random)] : x(random), wild[pick(random)]);
    }
  }
  const double send_seconds = std::chrono::duration<double>(Clock::now() - from).count();
  vok_test::report_figure("flood: 10000 poses sent in " + std::to_string(send_seconds) + " s");
  std::this_thread::sleep_for(1s);
  enter("E");
  std::this_thread::sleep_for(2s);
  expect_steady_stream("flood stream", from, Clock::now());
  expect_valid_output_and_clean_stop("flood output", false);
}

TEST_F(PoseAbuse, PositionsThatAreNoNumbersLieInNoRoom) {
  // Both items are videos: their frame numbers tell one play from the next, which the identical
  // frames of a still played twice in a row would not.
  start({"laptop", "empty"}, {"--test"});
  enter("B");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double huge = std::numeric_limits<double>::max();
  const auto [bx, by] = vok_test::room_centre("B");
  const std::vector<std::pair<double, double>> outside = {
      {nan, by},   {bx, nan},  {nan, nan},  {inf, by},      {bx, -inf},
      {-inf, inf}, {huge, by}, {bx, -huge}, {1e300, 1e300}, {-1e-320, by}};

  const std::size_t from_line = node_->out().size();
  const auto from = Clock::now();
  for (int round = 0; round < 20; ++round) {
    for (const auto& p : outside) {
      poses_.send(p);
      std::this_thread::sleep_for(3ms);
      poses_.send(bx, by);
      std::this_thread::sleep_for(3ms);
    }
  }
  // Each position above takes the robot out of room B, so each return enters it anew.
  const std::size_t expected = 20 * outside.size();
  const auto deadline = Clock::now() + 10s;
  std::size_t entries = 0;
  while (Clock::now() < deadline) {
    const auto out = node_->out();
    entries = std::count_if(
        out.begin() + static_cast<long>(from_line), out.end(),
        [](const std::string& l) { return l == "Test in room B: playing laptop ['laptop']"; });
    if (entries >= expected) break;
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(entries, expected);

  // Left on a position that is no number, the robot is in no room: the camera shows "empty".
  poses_.send(nan, nan);
  std::this_thread::sleep_for(1s);
  const auto after = frames_.arrivals();
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.back().code.item, media_->item("empty"));
  expect_steady_stream("non-numbers stream", from, Clock::now());
  expect_valid_output_and_clean_stop("non-numbers output", true);
}

TEST_F(PoseAbuse, RobotFlappingAtTheDoorsEveryTenMilliseconds) {
  start(every_item_a_video());
  const long seconds = vok_test::env_number("VOK_FLAP_SECONDS", 30);
  const std::vector<std::pair<double, double>> cycle = {
      vok_test::room_centre("F"), vok_test::gap_between_f_and_c(), vok_test::room_centre("C"),
      vok_test::gap_between_f_and_c()};
  const auto from = Clock::now();
  auto next = from;
  long sent = 0;
  while (next < from + std::chrono::seconds(seconds)) {
    poses_.send(cycle[sent++ % cycle.size()]);
    next += 10ms;
    std::this_thread::sleep_until(next);
  }
  const auto to = Clock::now();
  vok_test::report_figure("flapping: " + std::to_string(sent) + " poses over " +
                          std::to_string(seconds) + " s");
  expect_steady_stream("flapping stream", from, to);
  expect_valid_output_and_clean_stop("flapping output", false);
}

// The output check itself must be able to fail, or the tests above prove nothing.
TEST(OutputCheck, RejectsPlaylistsThatNoRuleProduces) {
  const std::vector<std::string> head = {"banner", "Using arguments:", "seed", "folder"};
  auto faults = [&](bool test, const std::vector<std::string>& entry) {
    std::vector<std::string> out = head;
    out.insert(out.end(), entry.begin(), entry.end());
    return vok_test::output_faults(out, test).size();
  };
  const std::string kitchen = "VOK video player: Robot in room F (Guest Room 3)";
  const std::string bedroom = "VOK video player: Robot in room C (Guest Room 2)";
  auto dice = [](const std::string& draw) {
    return "VOK video player: Random number is " + draw + " and probability is 0.6.";
  };
  EXPECT_EQ(faults(true, {"", kitchen, "Playlist for Kitchen (F): ['person']"}), 0u);
  EXPECT_EQ(
      faults(false, {"", kitchen, dice("0.3"), "Playlist for Kitchen (F): ['dog', 'person']"}), 0u);
  EXPECT_EQ(faults(false, {"", bedroom, dice("0.6"),
                           "Playlist for Bedroom (C): ['pizza', 'book', 'banana', 'empty']"}),
            0u);

  EXPECT_EQ(faults(true, {"", kitchen, "Playlist for Kitchen (F): ['dog']"}), 1u);
  EXPECT_EQ(faults(true, {"", kitchen, dice("0.3"), "Playlist for Kitchen (F): ['person']"}), 1u);
  EXPECT_EQ(
      faults(false, {"", kitchen, dice("0.7"), "Playlist for Kitchen (F): ['dog', 'person']"}), 1u);
  EXPECT_EQ(faults(false, {"", bedroom, dice("0.2"),
                           "Playlist for Bedroom (C): ['pizza', 'sandwich', 'banana', 'empty']"}),
            1u);
  EXPECT_EQ(faults(false, {"", "VOK video player: Robot in room D (Lobby)",
                           "Playlist for non-special room: ['dog']"}),
            2u);
  EXPECT_EQ(faults(false, {"stray line"}), 1u);
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "reliability_pose_test", 1);
}
