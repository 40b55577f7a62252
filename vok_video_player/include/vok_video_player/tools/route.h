#ifndef VOK_VIDEO_PLAYER_TOOLS_ROUTE_H
#define VOK_VIDEO_PLAYER_TOOLS_ROUTE_H

#include <string>
#include <vector>

namespace vok {

/// \brief A point of a tour in map metres, where the robot stops for `dwell` seconds.
struct Waypoint {
  double x = 0;
  double y = 0;
  double dwell = 0;
  /// \brief How the route text named it: "B", "AB" or "4.5,8.2".
  std::string label;
};

/// \brief Where the robot is at one moment of a tour.
struct TourPose {
  double x = 0;
  double y = 0;
  /// \brief Direction of travel in radians, counter-clockwise from the map's x axis.
  double yaw = 0;
  /// \brief Index of the waypoint last reached (or being left).
  std::size_t waypoint = 0;
};

/// \brief The display name of a room letter, as the player logs it ("Guest Room 1").
/// \throws std::out_of_range for a letter that is not a room.
const std::string& room_display_name(const std::string& room);

/// \brief The middle of a room's rectangle.
Waypoint room_centre(const std::string& room);

/// \brief A point in the strip that separates two neighbouring rooms, in neither of them.
/// \throws std::invalid_argument when the rooms are not neighbours.
Waypoint gap_between(const std::string& first, const std::string& second);

/// \brief Parses a route: waypoints separated by blanks or ";".
///
/// A waypoint is a room letter ("B", the room's centre), two letters ("BC", the gap between
/// neighbouring rooms) or "X,Y" in map metres, optionally followed by ":SECONDS" of dwell; the
/// word "default" stands for default_route_text(). Waypoints without a dwell get
/// `default_dwell`.
/// \throws std::invalid_argument naming the waypoint that cannot be read.
std::vector<Waypoint> parse_route(const std::string& text, double default_dwell = 0);

/// \brief The default tour: every room from A to F, with a stop in each gap it crosses.
std::string default_route_text();

/// \brief A route driven at constant speed, stopping at each waypoint for its dwell.
class RoutePlan {
 public:
  /// \throws std::invalid_argument for no waypoints or a speed that is not positive.
  RoutePlan(std::vector<Waypoint> waypoints, double speed);

  /// \brief Seconds from the first pose to the end of the last dwell.
  double duration() const { return duration_; }
  /// \brief Length of the path in metres.
  double length() const { return length_; }
  const std::vector<Waypoint>& waypoints() const { return waypoints_; }

  /// \brief The pose `t` seconds after the start; before 0 it is the start, after the end the
  /// last waypoint.
  TourPose at(double t) const;

 private:
  std::vector<Waypoint> waypoints_;
  double speed_;
  std::vector<double> arrive_;  // when the robot reaches each waypoint
  double duration_ = 0;
  double length_ = 0;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_TOOLS_ROUTE_H
