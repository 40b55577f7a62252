#include "vok_video_player/node/startup.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>

#include <ros/ros.h>

#include "vok_video_player/common/random.h"
#include "vok_video_player/common/text_format.h"
#include "vok_video_player/media/image_bridge.h"
#include "vok_video_player/node/folder_check.h"
#include "vok_video_player/player/vok_video_player.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {

namespace {

void on_stop_signal(int) { request_stop(); }

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void install_stop_handlers() {
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
}

Startup start_node(int& argc, char** argv, const std::string& node_name) {
  Startup startup;
  // Line-buffered, so that log lines and printed lines keep their order when stdout is a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  ros::init(argc, argv, node_name, ros::init_options::NoSigintHandler);
  install_stop_handlers();
  ROS_INFO("VOK Video Player Node %s started", YEAR.c_str());

  std::vector<std::string> arguments;
  ros::removeROSArgs(argc, argv, arguments);
  const std::string program = base_name(arguments.empty() ? node_name : arguments.front());
  const std::vector<std::string> options(arguments.begin() + (arguments.empty() ? 0 : 1),
                                         arguments.end());
  const ParseResult parsed = parse_args(options, program);
  if (parsed.outcome != ParseResult::Outcome::ok) {
    (parsed.outcome == ParseResult::Outcome::help ? std::cout : std::cerr)
        << parsed.text << std::flush;
    startup.finished = true;
    startup.exit_status = parsed.exit_status;
    return startup;
  }
  startup.args = parsed.args;

  const bool seeded = is_digit_text(startup.args.seed);
  if (seeded) rng().seed_from_digits(startup.args.seed);
  ROS_INFO("Using arguments:");
  const std::string indent = "        ";
  std::cout << (seeded ? print_line({indent, "seed:", startup.args.seed})
                       : print_line({indent, "Random seed"}))
            << std::endl;
  std::cout << print_line({indent, "video_folder:", startup.args.video_folder}) << std::endl;

  try {
    startup.video_folder = normalise_folder(startup.args.video_folder);
  } catch (const std::invalid_argument& e) {
    std::cerr << program << ": error: " << e.what() << std::endl;
    startup.finished = true;
    startup.exit_status = 1;
    return startup;
  }
  if (const auto problem = media_folder_problem(startup.video_folder)) {
    ROS_ERROR("%s", problem->c_str());
    startup.finished = true;
    startup.exit_status = 1;
  }
  return startup;
}

bool wait_for_master() {
  bool said = false;
  while (!ros::master::check()) {
    if (stop_requested()) return false;
    if (!said) {
      ROS_INFO("Waiting for the ROS master at %s", ros::master::getURI().c_str());
      said = true;
    }
    ros::WallDuration(0.2).sleep();
  }
  if (said) ROS_INFO("Connected to the ROS master");
  return true;
}

int run_player(int argc, char** argv, const std::string& node_name,
               const std::function<void(VOKVideoPlayer&)>& run) {
  const std::string program = base_name(argc > 0 ? argv[0] : node_name);
  try {
    const Startup startup = start_node(argc, argv, node_name);
    if (startup.finished) return startup.exit_status;
    if (!wait_for_master()) return 0;

    keep_frame_memory();
    VOKVideoPlayer vokplayer(startup.video_folder, startup.args);
    ros::AsyncSpinner spinner(1);
    spinner.start();
    run(vokplayer);
    spinner.stop();
    ros::shutdown();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << program << ": error: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace vok
