#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vok_video_player/common/random.h"
#include "vok_video_player/site/location_generation.h"
#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {
namespace {

TEST(SiteTables, KeepNearEqualCornersDistinct) {
  // Stored as 32-bit values these would collapse; the rooms depend on each bit.
  EXPECT_EQ(ROOM_CORNERS.at("D")[0].x, 0.10946185886859894);
  EXPECT_EQ(ROOM_CORNERS.at("D")[2].x, 0.10946184396743774);
  EXPECT_NE(ROOM_CORNERS.at("D")[0].x, ROOM_CORNERS.at("D")[2].x);
  EXPECT_EQ(ROOM_CORNERS.at("E")[1].x, 8.247485160827637);
  EXPECT_EQ(ROOM_CORNERS.at("E")[3].x, 8.247486114501953);
  EXPECT_EQ(ROOM_CORNERS.at("C")[0].y, ROOM_CORNERS.at("C")[1].y);
  EXPECT_EQ(ROOM_CORNERS.at("F")[0].x, ROOM_CORNERS.at("C")[0].x);
}

TEST(SiteTables, HoldTheMediaNamesInOrder) {
  EXPECT_EQ(ROOMS, (std::vector<std::string>{"A", "B", "C", "D", "E", "F"}));
  ASSERT_EQ(ALL_THINGS.size(), 12u);
  EXPECT_EQ(ALL_THINGS.front(), "pizza");
  EXPECT_EQ(ALL_THINGS[4], "book");
  EXPECT_EQ(ALL_THINGS.back(), "empty");
  EXPECT_EQ(YEAR, "ZQ 25-26");
  EXPECT_EQ(MAP_LIMITS.x, 13);
  EXPECT_EQ(MAP_LIMITS.y, 10.7);
  const MediaList required = required_media_names();
  ASSERT_EQ(required.size(), 13u);
  EXPECT_EQ(required.back(), "person");
  EXPECT_EQ(file_stem("hot dog roll"), "hot_dog_roll");
}

TEST(RoomGeometry, PlacesTypicalPositionsInTheirRooms) {
  EXPECT_EQ(find_room(1.9, 8.3), "A");
  EXPECT_EQ(find_room(6.0, 8.3), "B");
  EXPECT_EQ(find_room(10.6, 8.3), "C");
  EXPECT_EQ(find_room(1.9, 3.0), "D");
  EXPECT_EQ(find_room(6.0, 3.0), "E");
  EXPECT_EQ(find_room(10.6, 2.4), "F");
}

TEST(RoomGeometry, TreatsGapsBoundsAndNanAsNoRoom) {
  EXPECT_EQ(find_room(3.78, 8.3), "");   // between A and B
  EXPECT_EQ(find_room(10.6, 5.5), "");   // between F and C
  EXPECT_EQ(find_room(-1.0, -1.0), "");  // off the floor
  EXPECT_FALSE(in_room(3.76343035697937, 8.3, "A"));
  EXPECT_FALSE(in_room(0.1178496852517128, 8.0, "A"));
  EXPECT_FALSE(in_room(1.0, 10.650749206542969, "A"));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(find_room(nan, 8.3), "");
  EXPECT_EQ(find_room(1.9, nan), "");
  EXPECT_EQ(find_room(std::numeric_limits<double>::infinity(), 8.3), "");
}

TEST(RoomGeometry, ReadsOnlyCornersZeroToTwo) {
  // Right of corner 3's x but left of corner 1's: inside.
  EXPECT_TRUE(in_room(3.75, 8.0, "A"));
  // Between D corner 2's x and corner 0's x: corner 0 alone decides.
  EXPECT_FALSE(in_room(0.10946185, 3.0, "D"));
  EXPECT_TRUE(in_room(0.10946186886859894, 3.0, "D"));
  EXPECT_THROW(in_room(1.0, 1.0, "G"), std::out_of_range);
}

TEST(RoomGeometry, DistanceIsEuclidean) {
  EXPECT_DOUBLE_EQ(distance(0, 0, 3, 4), 5.0);
  EXPECT_DOUBLE_EQ(distance(3, 4, 0, 0), 5.0);
  EXPECT_DOUBLE_EQ(distance(1.5, 2.5, 1.5, 2.5), 0.0);
}

TEST(LocationGeneration, FloorsDrawsAtTheRadius) {
  Random random;
  random.seed_from_digits("1");
  const auto locations = gen_locations(random, 2000);
  ASSERT_EQ(locations.size(), 2000u);
  int x_at_radius = 0;
  int y_at_radius = 0;
  for (const auto& [x, y] : locations) {
    EXPECT_GE(x, 5.0);
    EXPECT_LT(x, 8.0);
    EXPECT_GE(y, 5.0);
    EXPECT_LT(y, 5.7);
    x_at_radius += x == 5.0;
    y_at_radius += y == 5.0;
  }
  // 5 draws in 8 for x and about 88 in 100 for y land at or below the radius.
  EXPECT_NEAR(x_at_radius / 2000.0, 5.0 / 8.0, 0.05);
  EXPECT_NEAR(y_at_radius / 2000.0, 5.0 / 5.7, 0.05);
}

TEST(LocationGeneration, HandlesDegenerateCountsAndRadii) {
  Random a;
  Random b;
  a.seed_from_digits("9");
  b.seed_from_digits("9");
  EXPECT_TRUE(gen_locations(a, 0).empty());
  EXPECT_TRUE(gen_locations(a, -3).empty());
  // Nothing was drawn above: both generators are still in step.
  EXPECT_EQ(gen_locations(a, 5, 0), gen_locations(b, 5, 0));
  for (const auto& [x, y] : gen_locations(a, 50, 20)) {
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 20);
  }
  for (const auto& [x, y] : gen_locations(a, 50, -1)) {
    EXPECT_GE(x, 0);
    EXPECT_LT(x, 14);
    EXPECT_LT(y, 11.7);
  }
}

}  // namespace
}  // namespace vok
