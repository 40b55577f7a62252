#include "vok_video_player/tools/floor_view.h"

#include <cmath>

#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/site/site_tables.h"
#include "vok_video_player/tools/route.h"

namespace vok {

namespace {

// Pale rooms over rviz's dark background, so that the strips between them stay dark and the
// grid shows through; the robot's room in a strong orange.
const Rgba ROOM_FILL = {0.55, 0.65, 0.80, 0.35};
const Rgba ROBOT_ROOM_FILL = {1.00, 0.55, 0.10, 0.75};
const Rgba EDGE = {0.85, 0.90, 1.00, 1.0};
const Rgba LABEL = {1.0, 1.0, 1.0, 1.0};
const Rgba ROBOT_LINE = {1.00, 0.75, 0.30, 1.0};

// A point box `dy` metres above the middle of `b`, where a room's label goes.
RoomBounds at(const RoomBounds& b, double dy) {
  const double x = (b.left + b.right) / 2;
  const double y = (b.bottom + b.top) / 2 + dy;
  return {x, x, y, y};
}

}  // namespace

std::vector<FloorShape> floor_shapes(const RobotPlace& robot) {
  std::vector<FloorShape> shapes;
  for (std::size_t i = 0; i < ROOMS.size(); ++i) {
    const std::string& room = ROOMS[i];
    const RoomBounds b = room_bounds(room);
    const int id = static_cast<int>(i);
    const bool here = robot.known && robot.room == room;
    using Kind = FloorShape::Kind;
    shapes.push_back({Kind::area, "area", id, b, "", 0, here ? ROBOT_ROOM_FILL : ROOM_FILL});
    shapes.push_back({Kind::outline, "outline", id, b, "", 0, EDGE});
    shapes.push_back({Kind::text, "letter", id, at(b, 0.5), room, 1.2, LABEL});
    shapes.push_back({Kind::text, "name", id, at(b, -0.6), room_display_name(room), 0.45, LABEL});
  }
  const double top = MAP_LIMITS.y + 0.7;
  shapes.push_back({FloorShape::Kind::text,
                    "robot",
                    0,
                    {MAP_LIMITS.x / 2.0, MAP_LIMITS.x / 2.0, top, top},
                    place_text(robot),
                    0.5,
                    ROBOT_LINE});
  return shapes;
}

std::string place_text(const RobotPlace& robot) {
  if (!robot.known) return "waiting for a pose on /amcl_pose";
  if (robot.room.empty()) return "robot in no room";
  return "robot in room " + robot.room + " (" + room_display_name(robot.room) + ")";
}

bool RoomFollower::observe(double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  latest_.known = true;
  latest_.room = find_room(x, y);
  return true;
}

std::optional<RobotPlace> RoomFollower::redraw(double now) {
  if (latest_ == drawn_) return std::nullopt;
  if (drawn_at_ && now >= *drawn_at_ && now - *drawn_at_ < min_interval_) return std::nullopt;
  drawn_ = latest_;
  drawn_at_ = now;
  return drawn_;
}

}  // namespace vok
