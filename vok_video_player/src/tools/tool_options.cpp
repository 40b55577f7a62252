#include "vok_video_player/tools/tool_options.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

#include <boost/program_options.hpp>

namespace po = boost::program_options;

namespace vok {

namespace {

ToolCommand fail(const std::string& usage, const std::string& program, const std::string& what) {
  ToolCommand command;
  command.outcome = ToolCommand::Outcome::error;
  command.exit_status = 2;
  command.text = usage + "\n" + program + ": error: " + what + "\n";
  return command;
}

ToolCommand help(const std::string& usage, const std::string& about,
                 const po::options_description& options) {
  std::ostringstream text;
  text << usage << "\n\n" << about << "\n\n" << options;
  ToolCommand command;
  command.outcome = ToolCommand::Outcome::help;
  command.text = text.str();
  return command;
}

// Parses into `map`; a ToolCommand with an error or help outcome ends the parse.
ToolCommand parse(const std::vector<std::string>& argv, const po::options_description& options,
                  const std::string& usage, const std::string& program, const std::string& about,
                  po::variables_map& map) {
  try {
    po::store(po::command_line_parser(argv).options(options).run(), map);
    if (map.count("help")) return help(usage, about, options);
    po::notify(map);
  } catch (const po::error& e) {
    return fail(usage, program, e.what());
  }
  return {};
}

bool positive(double value) { return std::isfinite(value) && value > 0; }

}  // namespace

ToolCommand parse_tour_options(const std::vector<std::string>& argv, TourOptions& options) {
  const std::string program = "tour";
  const std::string usage =
      "usage: tour [-h] [--route ROUTE] [--speed M/S] [--rate HZ] [--dwell S] [--wait S] "
      "[--subscribers N] [--frame ID]";
  po::options_description described("options");
  described.add_options()("help,h", "show this help message and exit")(
      "route", po::value(&options.route_text)->value_name("ROUTE"),
      "waypoints separated by blanks or ';': a room letter (its centre), two neighbouring "
      "rooms such as AB (the gap between them) or X,Y in map metres, each optionally with "
      ":SECONDS of dwell; 'default' visits A to F")(
      "speed", po::value(&options.speed)->value_name("M/S"), "driving speed (default 1.5)")(
      "rate", po::value(&options.rate)->value_name("HZ"), "poses per second (default 10)")(
      "dwell", po::value(&options.dwell)->value_name("S"),
      "dwell at waypoints that give none (default 0)")(
      "wait", po::value(&options.wait)->value_name("S"),
      "wait this long for the subscribers on /amcl_pose, 0 to start at once (default 20)")(
      "subscribers", po::value(&options.subscribers)->value_name("N"),
      "how many subscribers to wait for, such as the player and a recorder (default 1)")(
      "frame", po::value(&options.frame)->value_name("ID"), "frame id of the poses (default map)");
  const std::string about =
      "Drives a simulated robot along a route by publishing geometry_msgs/"
      "PoseWithCovarianceStamped on /amcl_pose.\nDefault route: " +
      default_route_text();
  po::variables_map map;
  ToolCommand command = parse(argv, described, usage, program, about, map);
  if (command.outcome != ToolCommand::Outcome::run) return command;
  if (!positive(options.speed)) return fail(usage, program, "--speed must be above 0");
  if (!positive(options.rate)) return fail(usage, program, "--rate must be above 0");
  if (!(options.dwell >= 0)) return fail(usage, program, "--dwell must not be negative");
  if (!(options.wait >= 0)) return fail(usage, program, "--wait must not be negative");
  if (options.subscribers < 1) return fail(usage, program, "--subscribers must be at least 1");
  try {
    options.route = parse_route(options.route_text, options.dwell);
  } catch (const std::invalid_argument& e) {
    return fail(usage, program, std::string("--route: ") + e.what());
  }
  return command;
}

ToolCommand parse_recorder_options(const std::vector<std::string>& argv, RecorderOptions& options) {
  const std::string program = "camera_recorder";
  const std::string usage =
      "usage: camera_recorder [-h] --out DIR [--player-output FILE] [--ready-file FILE] "
      "[--seconds S]";
  po::options_description described("options");
  described.add_options()("help,h", "show this help message and exit")(
      "out", po::value(&options.out)->value_name("DIR")->required(),
      "folder for the report (created if missing)")(
      "player-output", po::value(&options.player_output)->value_name("FILE"),
      "the player's captured standard output, for the playlists it printed")(
      "ready-file", po::value(&options.ready_file)->value_name("FILE"),
      "created once the camera's first frame has arrived")(
      "seconds", po::value(&options.seconds)->value_name("S"),
      "stop after this long; 0 (default) records until SIGINT or SIGTERM");
  const std::string about =
      "Records what /camera/image shows while the robot moves (/amcl_pose, and the player's "
      "lines on /rosout)\nand writes a report: floor_plan.png, one contact sheet per room visit "
      "and summary.txt.";
  po::variables_map map;
  ToolCommand command = parse(argv, described, usage, program, about, map);
  if (command.outcome != ToolCommand::Outcome::run) return command;
  if (options.out.empty()) return fail(usage, program, "--out must name a folder");
  if (!(options.seconds >= 0)) return fail(usage, program, "--seconds must not be negative");
  return command;
}

}  // namespace vok
