// floor_markers against a real master: the rooms it draws for rviz, and the room it marks as the
// robot's pose moves, through gaps, off the floor, past unusable poses and through a pose flood.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <visualization_msgs/MarkerArray.h>

#include "pose_sender.h"
#include "ros_test_main.h"
#include "vok_video_player/site/site_tables.h"

namespace {

using namespace std::chrono_literals;
using visualization_msgs::Marker;
using visualization_msgs::MarkerArray;

/// What one drawing says of the robot: the room whose area stands out ("" for none, "?" when
/// more than one does) and the line above the floor.
struct Marked {
  std::string room;
  std::string status;
  bool operator==(const Marked& o) const { return room == o.room && status == o.status; }
};

std::ostream& operator<<(std::ostream& out, const Marked& m) {
  return out << "room '" << m.room << "', '" << m.status << "'";
}

const Marker* find(const MarkerArray& array, const std::string& ns, int id) {
  for (const Marker& m : array.markers) {
    if (m.ns == ns && m.id == id) return &m;
  }
  return nullptr;
}

bool same_colour(const Marker& a, const Marker& b) {
  return a.color.r == b.color.r && a.color.g == b.color.g && a.color.b == b.color.b &&
         a.color.a == b.color.a;
}

Marked marked(const MarkerArray& array) {
  Marked result;
  const Marker* robot = find(array, "robot", 0);
  if (robot) result.status = robot->text;
  std::vector<const Marker*> areas;
  for (std::size_t i = 0; i < vok::ROOMS.size(); ++i) {
    areas.push_back(find(array, "area", static_cast<int>(i)));
    if (!areas.back()) return {"?", result.status};
  }
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const auto differing = std::count_if(areas.begin(), areas.end(), [&](const Marker* other) {
      return !same_colour(*areas[i], *other);
    });
    if (differing == static_cast<long>(areas.size()) - 1) {
      result.room = result.room.empty() ? vok::ROOMS[i] : "?";
    }
  }
  return result;
}

class FloorMarkers : public ::testing::Test {
 protected:
  void SetUp() override {
    ros::NodeHandle node;
    floor_sub_ = node.subscribe("/vok/floor", 1000, &FloorMarkers::on_floor, this);
    ASSERT_TRUE(poses_.wait_for_subscriber(20s)) << "floor_markers did not subscribe /amcl_pose";
    std::unique_lock<std::mutex> lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, 20s, [this] { return !arrays_.empty(); }))
        << "no latched drawing on /vok/floor";
  }

  void on_floor(const MarkerArray::ConstPtr& msg) {
    std::lock_guard<std::mutex> lock(mutex_);
    arrays_.push_back(msg);
    changed_.notify_all();
  }

  void send_pose(double x, double y) { poses_.send(x, y); }

  /// Waits until the latest drawing marks `expected`; returns the drawings that came meanwhile.
  std::vector<Marked> wait_for(const Marked& expected, std::size_t from) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, 10s, [&] { return marked(*arrays_.back()) == expected; });
    std::vector<Marked> seen;
    for (std::size_t i = from; i < arrays_.size(); ++i) seen.push_back(marked(*arrays_[i]));
    return seen;
  }

  std::size_t count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrays_.size();
  }

  MarkerArray::ConstPtr latest() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrays_.back();
  }

  vok_test::PoseSender poses_;
  ros::Subscriber floor_sub_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<MarkerArray::ConstPtr> arrays_;
};

const Marked NO_ROOM = {"", "robot in no room"};

// Guards a floor drawn off the tables (a room shifted, swapped or missing, so that the picture
// disagrees with the node) and a highlight that sticks, follows the wrong room, or takes a
// position that is no position (NaN) for "no room".
TEST_F(FloorMarkers, DrawsTheTablesRoomsAndMarksTheRoomThePoseFallsIn) {
  const MarkerArray first = *latest();
  const std::vector<std::string> names = {"Pantry",     "Guest Room 1", "Guest Room 2",
                                          "Front Desk", "Lobby",        "Guest Room 3"};
  ASSERT_EQ(vok::ROOMS.size(), 6u);
  for (std::size_t i = 0; i < vok::ROOMS.size(); ++i) {
    const std::string& room = vok::ROOMS[i];
    const auto& c = vok::ROOM_CORNERS.at(room);
    const int id = static_cast<int>(i);
    const Marker* outline = find(first, "outline", id);
    ASSERT_NE(outline, nullptr) << room;
    EXPECT_EQ(outline->header.frame_id, "map");
    EXPECT_EQ(outline->type, Marker::LINE_STRIP);
    // Left is corner 0's x, right corner 1's x, bottom corner 2's y, top corner 0's y.
    const std::vector<std::pair<double, double>> corners = {
        {c[0].x, c[2].y}, {c[1].x, c[2].y}, {c[1].x, c[0].y}, {c[0].x, c[0].y}, {c[0].x, c[2].y}};
    ASSERT_EQ(outline->points.size(), corners.size()) << room;
    for (std::size_t k = 0; k < corners.size(); ++k) {
      EXPECT_EQ(outline->points[k].x + outline->pose.position.x, corners[k].first) << room << k;
      EXPECT_EQ(outline->points[k].y + outline->pose.position.y, corners[k].second) << room << k;
    }
    const Marker* area = find(first, "area", id);
    ASSERT_NE(area, nullptr) << room;
    EXPECT_NEAR(area->scale.x, c[1].x - c[0].x, 1e-9) << room;
    EXPECT_NEAR(area->scale.y, c[0].y - c[2].y, 1e-9) << room;
    EXPECT_NEAR(area->pose.position.x, (c[0].x + c[1].x) / 2, 1e-9) << room;
    ASSERT_NE(find(first, "letter", id), nullptr) << room;
    EXPECT_EQ(find(first, "letter", id)->text, room);
    ASSERT_NE(find(first, "name", id), nullptr) << room;
    EXPECT_EQ(find(first, "name", id)->text, names[i]);
  }
  EXPECT_EQ(marked(first), (Marked{"", "waiting for a pose on /amcl_pose"}));

  struct Step {
    const char* where;
    double x, y;
    Marked expected;
  };
  const std::vector<Step> steps = {
      {"room A", 1.9, 8.3, {"A", "robot in room A (Pantry)"}},
      {"the gap between A and B", 3.78, 8.3, NO_ROOM},
      {"room B", 6.0, 8.3, {"B", "robot in room B (Guest Room 1)"}},
      {"off the floor", 20.0, -4.0, NO_ROOM},
      {"room F", 10.6, 2.4, {"F", "robot in room F (Guest Room 3)"}},
  };
  for (const Step& step : steps) {
    const std::size_t from = count();
    send_pose(step.x, step.y);
    const std::vector<Marked> seen = wait_for(step.expected, from);
    ASSERT_FALSE(seen.empty()) << "no redraw for " << step.where;
    EXPECT_EQ(seen.back(), step.expected) << step.where;
  }

  // A NaN is no position: the robot stays in F, and nothing is redrawn until a real move.
  const std::size_t from = count();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  send_pose(nan, 2.4);
  send_pose(10.6, nan);
  std::this_thread::sleep_for(1s);
  send_pose(1.9, 3.0);
  const Marked in_d = {"D", "robot in room D (Front Desk)"};
  EXPECT_EQ(wait_for(in_d, from), std::vector<Marked>{in_d});
}

// Guards a redraw per pose (a marker flood for rviz when localisation runs fast) and a rate limit
// that drops the last change, leaving the highlight in a room the robot has left.
TEST_F(FloorMarkers, RedrawsAFewTimesASecondUnderAPoseFloodAndKeepsTheLastRoom) {
  const auto start = std::chrono::steady_clock::now();
  const std::size_t from = count();
  int sent = 0;
  while (std::chrono::steady_clock::now() - start < 2s) {
    send_pose(sent % 2 ? 6.0 : 10.6, 8.3);  // B and C in turn: every pose is a change of room
    ++sent;
    std::this_thread::sleep_for(1ms);
  }
  const Marked in_e = {"E", "robot in room E (Lobby)"};
  send_pose(6.0, 3.0);
  const std::vector<Marked> seen = wait_for(in_e, from);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), in_e);
  EXPECT_GE(sent, 500);
  EXPECT_GE(seen.size(), 3u) << "the drawing stopped following during the flood";
  EXPECT_LE(static_cast<double>(seen.size()), 5 * seconds + 2)
      << seen.size() << " redraws for " << sent << " poses in " << seconds << " s";
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "floor_markers_test", 1);
}
