#include "vok_video_player/node/startup.h"

#include <semaphore.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <thread>

#include <ros/ros.h>

#include "vok_video_player/common/random.h"
#include "vok_video_player/common/text_format.h"
#include "vok_video_player/media/image_bridge.h"
#include "vok_video_player/node/folder_check.h"
#include "vok_video_player/node/master_watch.h"
#include "vok_video_player/player/vok_video_player.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {

namespace {

/// How long a stop may take before the process ends regardless: what is left then is waiting for
/// a master that does not answer (unregistrations, a call at start-up).
constexpr std::chrono::milliseconds STOP_GRACE(1200);

/// How long a master may take to answer at start-up before the node says that it waits.
constexpr std::chrono::milliseconds MASTER_SILENCE(1000);

/// Posted by the stop signals' handler; sem_post is safe there, a condition variable is not.
sem_t g_stop_signalled;

/// The node's stop: set by a stop signal, for the steps before and after the player.
std::atomic<bool> g_stop_requested{false};
/// The node's one player while it exists, for the stop signals' handler.
std::atomic<VOKVideoPlayer*> g_player{nullptr};

void on_stop_signal(int) {
  g_stop_requested.store(true);
  if (VOKVideoPlayer* player = g_player.load()) player->request_stop();
  // Not ros::requestShutdown(): roscpp would then shut itself down at once on its network thread,
  // beside the main loop and the pose callback, which may be logging. A line already on its way
  // through rosconsole then reaches roscpp's /rosout appender after roscpp deleted it (a SIGSEGV
  // at a stop under simulated time, where roscpp gets there within a millisecond). run_player
  // shuts ROS down on the main thread once the node's other threads have ended. Stopping the ROS
  // clock ends roscpp's own waits on it, which a paused /clock would otherwise make endless.
  ros::Time::shutdown();
  sem_post(&g_stop_signalled);
}

/// Makes `player` the one the stop signals reach while it exists.
struct SignalledPlayer {
  explicit SignalledPlayer(VOKVideoPlayer& player) {
    g_player.store(&player);
    // A signal that came before the store set only the node's flag.
    if (g_stop_requested.load()) player.request_stop();
  }
  ~SignalledPlayer() { g_player.store(nullptr); }
};

/// Waits up to `timeout` for a stop signal.
bool stop_signalled(std::chrono::milliseconds timeout) {
  timespec until{};
  clock_gettime(CLOCK_REALTIME, &until);
  const long ns = until.tv_nsec + static_cast<long>(timeout.count()) * 1000000L;
  until.tv_sec += ns / 1000000000L;
  until.tv_nsec = ns % 1000000000L;
  while (sem_timedwait(&g_stop_signalled, &until) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

/// Ends a stop that does not finish in time. roscpp's calls to the master wait until the TCP
/// connection fails, minutes for a host that drops packets silently, and roscpp makes several
/// at shutdown; they are given up (the master keeps the registrations, as after a crash, and
/// `rosnode cleanup` clears them). What the node wrote is flushed first.
void guard_stop() {
  while (!stop_signalled(std::chrono::milliseconds(100)) && !ros::isShuttingDown()) {
  }
  std::this_thread::sleep_for(STOP_GRACE);
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  _exit(0);
}

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool stop_requested() { return g_stop_requested.load(); }

void install_stop_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  sem_init(&g_stop_signalled, 0, 0);
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  // A stop comes as a signal, or through roscpp (`rosnode kill`, a second node of the same
  // name), which then shuts itself down.
  std::thread(guard_stop).detach();
}

Startup prepare_player(const std::vector<std::string>& options, const std::string& program,
                       std::ostream& out, std::ostream& err) {
  Startup startup;
  const ParseResult parsed = parse_args(options, program);
  if (parsed.outcome != ParseResult::Outcome::ok) {
    (parsed.outcome == ParseResult::Outcome::help ? out : err) << parsed.text << std::flush;
    startup.finished = true;
    startup.exit_status = parsed.exit_status;
    return startup;
  }
  startup.args = parsed.args;

  const bool seeded = is_digit_text(startup.args.seed);
  ROS_INFO("Using arguments:");
  const std::string indent = "        ";
  out << (seeded ? print_line({indent, "seed:", startup.args.seed})
                 : print_line({indent, "Random seed"}))
      << std::endl;
  out << print_line({indent, "video_folder:", startup.args.video_folder}) << std::endl;

  try {
    startup.video_folder = normalise_folder(startup.args.video_folder);
  } catch (const std::invalid_argument& e) {
    err << program << ": error: " << e.what() << std::endl;
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

Startup start_node(int& argc, char** argv, const std::string& node_name) {
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
  return prepare_player(options, program, std::cout, std::cerr);
}

bool wait_for_master() {
  // The master is asked on a thread of its own: against a host that drops packets, the first
  // call returns only when TCP gives up, minutes later, and the wait is to be said at once. That
  // thread takes no part of the player, which does not exist yet. Short sleeps, not a timed wait
  // on a condition variable, which GCC 10's ThreadSanitizer cannot follow (see MasterWatch).
  enum : int { asking, answered, stopped };
  std::atomic<int> outcome{asking};
  std::atomic<bool> refused{false};
  std::thread asker([&] {
    // The stop is tested before each call too: a call to a silent master takes minutes.
    while (!stop_requested()) {
      if (ros::master::check()) {
        outcome.store(answered);
        return;
      }
      refused.store(true);
      ros::WallDuration(0.2).sleep();
    }
    outcome.store(stopped);
  });
  // A stop while the asker is caught in a call leaves this loop waiting; the stop guard ends the
  // process in time.
  const auto start = std::chrono::steady_clock::now();
  bool said = false;
  while (outcome.load() == asking) {
    if (!said && (refused.load() || std::chrono::steady_clock::now() - start >= MASTER_SILENCE)) {
      ROS_INFO("Waiting for the ROS master at %s", ros::master::getURI().c_str());
      said = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  asker.join();
  if (outcome.load() == stopped) return false;
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
    const SignalledPlayer signalled(vokplayer);
    ros::AsyncSpinner spinner(1);
    spinner.start();
    MasterWatch master_watch([] { return stop_requested() || ros::isShuttingDown(); });
    run(vokplayer);
    // The threads that log end first: the watch, then the callback thread (a pose callback in
    // progress runs to its end). Only then is ROS shut down, here, where no line of the node can
    // be in rosconsole's appenders as roscpp removes them (see on_stop_signal).
    master_watch.stop();
    spinner.stop();
    ros::shutdown();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << program << ": error: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace vok
