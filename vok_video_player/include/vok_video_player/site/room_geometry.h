#ifndef VOK_VIDEO_PLAYER_SITE_ROOM_GEOMETRY_H
#define VOK_VIDEO_PLAYER_SITE_ROOM_GEOMETRY_H

#include <string>

namespace vok {

/// \brief The axis-aligned rectangle that room membership tests against, in map metres.
struct RoomBounds {
  double left;
  double right;
  double bottom;
  double top;
};

/// \brief The room's rectangle: corner 0's x (left), corner 1's x (right), corner 2's y (bottom)
/// and corner 0's y (top). Corner 3 is not consulted.
/// \throws std::out_of_range for a letter that is not a room.
RoomBounds room_bounds(const std::string& room_name);

/// \brief True when (x, y) lies strictly inside room_bounds(room_name): a point on a bound is
/// outside, and NaN is in no room.
/// \throws std::out_of_range for a letter that is not a room.
bool in_room(double x, double y, const std::string& room_name);

/// \brief The first room of ROOMS that contains (x, y), or an empty text when none does.
std::string find_room(double x, double y);

/// \brief Euclidean distance between two points in the plane.
double distance(double ax, double ay, double bx, double by);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_SITE_ROOM_GEOMETRY_H
