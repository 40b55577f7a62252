#ifndef VOK_VIDEO_PLAYER_NODE_OPTIONS_H
#define VOK_VIDEO_PLAYER_NODE_OPTIONS_H

#include <string>
#include <vector>

namespace vok {

/// \brief The parsed command line.
struct Args {
  std::string seed = "random";
  std::string video_folder;
  bool test = false;
};

/// \brief What parsing a command line came to. Only the entry point prints and exits.
struct ParseResult {
  enum class Outcome { ok, help, error };
  Outcome outcome = Outcome::ok;
  Args args;
  /// \brief For help: the whole help text. For an error: the usage line and the error line.
  std::string text;
  /// \brief The exit status that goes with `text`: 0 for help, 2 for an error.
  int exit_status = 0;
};

/// \brief Parses the arguments after the program path, with ROS remapping arguments removed.
///
/// Long options may be abbreviated to any unambiguous prefix and take their value as the next
/// argument or attached with "="; the last of repeated options wins; "-h"/"--help" wins over
/// every error.
/// \param program the program's base name, shown in the usage line
ParseResult parse_args(const std::vector<std::string>& argv, const std::string& program);

/// \brief The usage line, as help and errors show it.
std::string usage_line(const std::string& program);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_NODE_OPTIONS_H
