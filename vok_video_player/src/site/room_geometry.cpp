#include "vok_video_player/site/room_geometry.h"

#include <cmath>

#include "vok_video_player/site/site_tables.h"

namespace vok {

RoomBounds room_bounds(const std::string& room_name) {
  const auto& corners = ROOM_CORNERS.at(room_name);
  return {corners[0].x, corners[1].x, corners[2].y, corners[0].y};
}

bool in_room(double x, double y, const std::string& room_name) {
  const RoomBounds b = room_bounds(room_name);
  return x > b.left && x < b.right && y > b.bottom && y < b.top;
}

std::string find_room(double x, double y) {
  for (const auto& room : ROOMS) {
    if (in_room(x, y, room)) return room;
  }
  return {};
}

double distance(double ax, double ay, double bx, double by) {
  return std::sqrt((ax - bx) * (ax - bx) + (ay - by) * (ay - by));
}

}  // namespace vok
