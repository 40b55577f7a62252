#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/tools/route.h"
#include "vok_video_player/tools/tool_options.h"

namespace vok {
namespace {

// The rooms and gaps the player would see from poses sent at `rate` along the plan.
std::vector<std::string> rooms_seen(const RoutePlan& plan, double rate) {
  std::vector<std::string> seen;
  for (double t = 0; t <= plan.duration() + 1 / rate; t += 1 / rate) {
    const TourPose pose = plan.at(t);
    const std::string room = find_room(pose.x, pose.y);
    if (seen.empty() || seen.back() != room) seen.push_back(room);
  }
  return seen;
}

TEST(TourRoute, DefaultRouteEntersEveryRoomFromAGapAtTenPosesPerSecond) {
  // Room strips are only a few centimetres wide: without a stop there, poses skip them and the
  // player never shows "empty" between rooms.
  const RoutePlan plan(parse_route("default"), 1.5);
  EXPECT_EQ(rooms_seen(plan, 10),
            (std::vector<std::string>{"A", "", "B", "", "C", "", "F", "", "E", "", "D"}));
  EXPECT_LT(plan.duration(), 80);
}

TEST(TourRoute, PlacesGapsBetweenNeighboursOnly) {
  for (const auto& pair : std::vector<std::pair<std::string, std::string>>{
           {"A", "B"}, {"B", "C"}, {"C", "F"}, {"F", "E"}, {"E", "D"}, {"A", "D"}, {"B", "E"}}) {
    const Waypoint gap = gap_between(pair.first, pair.second);
    EXPECT_EQ(find_room(gap.x, gap.y), "") << pair.first << pair.second;
  }
  EXPECT_THROW(gap_between("A", "C"), std::invalid_argument);  // B lies between them
  EXPECT_THROW(gap_between("A", "E"), std::invalid_argument);  // diagonal
  EXPECT_THROW(gap_between("A", "A"), std::invalid_argument);
  const Waypoint b = room_centre("B");
  EXPECT_EQ(find_room(b.x, b.y), "B");
}

TEST(TourRoute, ParsesPointsRoomsAndDwells) {
  const auto route = parse_route("1.5,2:3; b  EF:0.5", 4);
  ASSERT_EQ(route.size(), 3u);
  EXPECT_DOUBLE_EQ(route[0].x, 1.5);
  EXPECT_DOUBLE_EQ(route[0].y, 2);
  EXPECT_DOUBLE_EQ(route[0].dwell, 3);
  EXPECT_EQ(route[1].label, "B");
  EXPECT_DOUBLE_EQ(route[1].dwell, 4);
  EXPECT_EQ(find_room(route[2].x, route[2].y), "");
  EXPECT_DOUBLE_EQ(route[2].dwell, 0.5);
}

TEST(TourRoute, RejectsWaypointsItCannotRead) {
  for (const std::string bad :
       {"", " ; ", "G", "1.5", "1,x", "1,2,3", "nan,1", "A:-1", "A:abc", "A:", "AC", "ABC"}) {
    EXPECT_THROW(parse_route(bad), std::invalid_argument) << "'" << bad << "'";
  }
}

TEST(RoutePlan, DrivesAtConstantSpeedAndStopsForEachDwell) {
  const RoutePlan plan({{0, 0, 2, "p"}, {3, 4, 1, "q"}}, 5);
  EXPECT_DOUBLE_EQ(plan.length(), 5);
  EXPECT_DOUBLE_EQ(plan.duration(), 4);
  EXPECT_DOUBLE_EQ(plan.at(-1).x, 0);
  EXPECT_DOUBLE_EQ(plan.at(1.9).y, 0);
  const TourPose halfway = plan.at(2.5);
  EXPECT_DOUBLE_EQ(halfway.x, 1.5);
  EXPECT_DOUBLE_EQ(halfway.y, 2);
  EXPECT_DOUBLE_EQ(halfway.yaw, std::atan2(4, 3));
  EXPECT_EQ(halfway.waypoint, 0u);
  EXPECT_DOUBLE_EQ(plan.at(3.5).x, 3);
  EXPECT_DOUBLE_EQ(plan.at(99).y, 4);
  EXPECT_EQ(plan.at(99).waypoint, 1u);
}

TEST(RoutePlan, RejectsAnEmptyRouteAndSpeedsThatAreNotPositive) {
  EXPECT_THROW(RoutePlan({}, 1), std::invalid_argument);
  EXPECT_THROW(RoutePlan({{0, 0, 0, "p"}}, 0), std::invalid_argument);
  EXPECT_THROW(RoutePlan({{0, 0, 0, "p"}}, -1), std::invalid_argument);
  EXPECT_THROW(RoutePlan({{0, 0, 0, "p"}}, NAN), std::invalid_argument);
}

TEST(TourOptions, ReportsBadCommandLinesWithStatusTwo) {
  TourOptions options;
  EXPECT_EQ(parse_tour_options({}, options).outcome, ToolCommand::Outcome::run);
  EXPECT_EQ(options.route.size(), 11u);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--rate", "0"},
                                             {"--speed=-1"},
                                             {"--route", "Z"},
                                             {"--dwell=-2"},
                                             {"--bogus"},
                                             {"--subscribers", "0"}}) {
    TourOptions o;
    const ToolCommand command = parse_tour_options(bad, o);
    EXPECT_EQ(command.outcome, ToolCommand::Outcome::error) << bad.front();
    EXPECT_EQ(command.exit_status, 2);
    EXPECT_NE(command.text.find("usage: tour"), std::string::npos);
  }
  EXPECT_EQ(parse_tour_options({"--help", "--rate", "0"}, options).outcome,
            ToolCommand::Outcome::help);
}

TEST(RecorderOptions, NeedsAnOutputFolder) {
  RecorderOptions options;
  EXPECT_EQ(parse_recorder_options({}, options).exit_status, 2);
  EXPECT_EQ(parse_recorder_options({"--out", "/tmp/r", "--seconds", "5"}, options).outcome,
            ToolCommand::Outcome::run);
  EXPECT_EQ(options.out, "/tmp/r");
  EXPECT_DOUBLE_EQ(options.seconds, 5);
}

}  // namespace
}  // namespace vok
