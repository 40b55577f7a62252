#ifndef VOK_VIDEO_PLAYER_TOOLS_FLOOR_VIEW_H
#define VOK_VIDEO_PLAYER_TOOLS_FLOOR_VIEW_H

#include <optional>
#include <string>
#include <vector>

#include "vok_video_player/site/room_geometry.h"

namespace vok {

/// \brief Where the view places the robot: no pose seen yet, in no room, or in a room.
struct RobotPlace {
  /// \brief False until the first usable pose arrives.
  bool known = false;
  /// \brief The room letter, or empty for no room.
  std::string room;

  bool operator==(const RobotPlace& other) const {
    return known == other.known && room == other.room;
  }
  bool operator!=(const RobotPlace& other) const { return !(*this == other); }
};

/// \brief A colour with red, green, blue and opacity in [0, 1].
struct Rgba {
  double r;
  double g;
  double b;
  double a;
};

/// \brief One shape of the floor view, in map metres; each becomes one rviz marker.
///
/// `ns` and `id` name the marker: "area", "outline", "letter" and "name" have one shape per room
/// with the room's index in ROOMS as id, "robot" has one, the line that says where the robot is.
struct FloorShape {
  enum class Kind {
    area,     ///< a flat filled rectangle
    outline,  ///< the rectangle's edge, closed
    text      ///< `text`, `text_height` high, centred on the box
  };
  Kind kind;
  std::string ns;
  int id;
  /// \brief The rectangle of an area or outline, exactly the room's; a text's box is a point.
  RoomBounds box;
  std::string text;
  double text_height;
  Rgba colour;
};

/// \brief The floor with every room's rectangle (as room membership bounds it), letter and
/// name, the robot's room highlighted, and a line saying where the robot is.
std::vector<FloorShape> floor_shapes(const RobotPlace& robot);

/// \brief "robot in room B (Guest Room 1)", "robot in no room" or, before any pose, "waiting for
/// a pose on /amcl_pose".
std::string place_text(const RobotPlace& robot);

/// \brief Follows the robot's room from its poses and says when the view is to be redrawn: on a
/// change of place, and at most once per `min_interval` seconds however fast poses come.
class RoomFollower {
 public:
  explicit RoomFollower(double min_interval) : min_interval_(min_interval) {}

  /// \brief Takes a pose's position. A coordinate that is not finite is no position: it is
  /// ignored, and false is returned.
  bool observe(double x, double y);

  /// \brief The place to draw at time `now` in seconds, when it differs from the place drawn
  /// last and `min_interval` has passed since then (or time went back); it then counts as drawn.
  /// A change held back is returned by a later call.
  std::optional<RobotPlace> redraw(double now);

 private:
  double min_interval_;
  RobotPlace latest_;
  RobotPlace drawn_;
  std::optional<double> drawn_at_;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_TOOLS_FLOOR_VIEW_H
