#ifndef VOK_VIDEO_PLAYER_TOOLS_TOOL_OPTIONS_H
#define VOK_VIDEO_PLAYER_TOOLS_TOOL_OPTIONS_H

#include <string>
#include <vector>

#include "vok_video_player/tools/route.h"

namespace vok {

/// \brief What a tool's command line came to. `text` is the help, or the usage and the error.
struct ToolCommand {
  enum class Outcome { run, help, error };
  Outcome outcome = Outcome::run;
  std::string text;
  /// \brief 0 after help, 2 after a command-line error.
  int exit_status = 0;
};

/// \brief The tour's settings.
struct TourOptions {
  std::string route_text = "default";
  std::vector<Waypoint> route;
  double speed = 1.5;
  double rate = 10;
  double dwell = 0;
  double wait = 20;
  /// \brief How many subscribers on /amcl_pose to wait for before the first pose.
  int subscribers = 1;
  std::string frame = "map";
};

/// \brief The camera recorder's settings.
struct RecorderOptions {
  std::string out;
  std::string player_output;
  std::string ready_file;
  double seconds = 0;
};

/// \brief Parses the tour's arguments (ROS remappings removed), route included.
ToolCommand parse_tour_options(const std::vector<std::string>& argv, TourOptions& options);

/// \brief Parses the camera recorder's arguments (ROS remappings removed).
ToolCommand parse_recorder_options(const std::vector<std::string>& argv, RecorderOptions& options);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_TOOLS_TOOL_OPTIONS_H
