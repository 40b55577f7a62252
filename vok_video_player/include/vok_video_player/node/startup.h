#ifndef VOK_VIDEO_PLAYER_NODE_STARTUP_H
#define VOK_VIDEO_PLAYER_NODE_STARTUP_H

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "vok_video_player/node/options.h"

namespace vok {

/// \brief What the start-up steps before the player make of a command line.
struct Startup {
  /// \brief Set when the process must end now, with `exit_status`.
  bool finished = false;
  int exit_status = 0;
  Args args;
  /// \brief The checked media folder, ending in "/".
  std::string video_folder;
};

/// \brief Turns SIGINT and SIGTERM into an orderly ROS shutdown, so that a stop exits with 0, and
/// ends any stop (also one that roscpp starts) within about a second and a quarter, flushed and
/// with exit status 0, whatever the master does.
void install_stop_handlers();

/// \brief True once the node was asked to stop by SIGINT or SIGTERM, even before ROS started.
bool stop_requested();

/// \brief The steps before a player, for a node and a nodelet alike: parses the options (the
/// arguments after the program, ROS's removed), echoes them on `out` and checks the media
/// folder. Help goes to `out`, command-line errors to `err`, a folder's problem to the log; the
/// caller only ends with `exit_status` when `finished` is set.
Startup prepare_player(const std::vector<std::string>& options, const std::string& program,
                       std::ostream& out, std::ostream& err);

/// \brief Initialises ROS under `node_name`, logs the banner, installs the stop handlers, then
/// prepare_player() with stdout and stderr.
Startup start_node(int& argc, char** argv, const std::string& node_name);

/// \brief Blocks until the ROS master answers, saying once, within about a second, that it waits
/// and where. False on a stop request.
bool wait_for_master();

class VOKVideoPlayer;

/// \brief A player program's whole life: start-up, the master, the one player with its pose
/// callback on a thread of its own, then `run` on the calling thread until it returns.
/// \return the process exit status; an error is reported on stderr as "PROGRAM: error: ..."
int run_player(int argc, char** argv, const std::string& node_name,
               const std::function<void(VOKVideoPlayer&)>& run);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_NODE_STARTUP_H
