#include "vok_video_player/site/room_geometry.h"

#include <cmath>

#include "vok_video_player/site/site_tables.h"

namespace vok {

bool in_room(double x, double y, const std::string& room_name) {
  const auto& corners = ROOM_CORNERS.at(room_name);
  return x > corners[0].x && x < corners[1].x && y > corners[2].y && y < corners[0].y;
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
