// The player as a nodelet, for image pipelines in one nodelet manager: its frames reach the
// manager's other nodelets as pointers to the very messages it publishes, with no copy and no
// serialization.
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include <nodelet/nodelet.h>
#include <pluginlib/class_list_macros.hpp>

#include "vok_video_player/media/image_bridge.h"
#include "vok_video_player/node/master_watch.h"
#include "vok_video_player/node/startup.h"
#include "vok_video_player/player/vok_video_player.h"

namespace vok {

/// \brief The player as nodelet `vok_video_player/player`: the node's options as the nodelet's
/// arguments, its topics and parameters as the node's, its main loop on a thread of its own and
/// its pose callback on the nodelet's queue. Unloading it stops the player and waits for it.
class PlayerNodelet : public nodelet::Nodelet {
 public:
  ~PlayerNodelet() override;

 private:
  void onInit() override;

  std::unique_ptr<VOKVideoPlayer> player_;
  std::thread main_loop_;
  std::unique_ptr<MasterWatch> master_watch_;
};

namespace {

/// How long an unload waits for the master watch's call in progress: a master gone silent must
/// not hold up the unload, which the manager serves while others wait.
constexpr std::chrono::milliseconds WATCH_GIVE_UP(300);

}  // namespace

namespace {

/// Each line of `text` as one log line at `level`.
void log_lines(const std::string& name, ros::console::levels::Level level,
               const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    ROS_LOG(level, std::string(ROSCONSOLE_DEFAULT_NAME) + "." + name, "%s", line.c_str());
  }
}

}  // namespace

void PlayerNodelet::onInit() {
  std::ostringstream out, err;
  const Startup startup = prepare_player(getMyArgv(), "vok_video_player/player", out, err);
  log_lines(getName(), ros::console::levels::Info, out.str());
  log_lines(getName(), ros::console::levels::Error, err.str());
  // The manager reports a load that throws as failed and goes on without the nodelet; nothing
  // here may end the manager's process.
  if (startup.finished) {
    throw std::runtime_error(startup.exit_status == 0
                                 ? "help asked for; nothing to play"
                                 : "cannot start the player; the reason is logged above");
  }
  keep_frame_memory();
  player_ =
      std::make_unique<VOKVideoPlayer>(startup.video_folder, startup.args,
                                       PlayerPlace{getNodeHandle(), getPrivateNodeHandle(), true});
  // A master restarted under the manager knows none of its topics; the watch registers what the
  // manager's process publishes, subscribes to and serves again, the player's among them.
  master_watch_ = std::make_unique<MasterWatch>([] { return ros::isShuttingDown(); },
                                                std::chrono::milliseconds(500), WATCH_GIVE_UP);
  main_loop_ = std::thread([this] {
    try {
      player_->main_loop();
    } catch (const std::exception& e) {
      NODELET_ERROR("the player ended: %s", e.what());
    }
  });
}

PlayerNodelet::~PlayerNodelet() {
  master_watch_.reset();
  if (player_) player_->request_stop();
  if (main_loop_.joinable()) main_loop_.join();
  // The player's topics and subscription end with it; a pose callback in progress runs to its
  // end first.
  player_.reset();
}

}  // namespace vok

PLUGINLIB_EXPORT_CLASS(vok::PlayerNodelet, nodelet::Nodelet)
