// The detection self-test: plays every media item once and reports what /detect_frame saw.
#include <exception>
#include <iostream>

#include <ros/ros.h>

#include "vok_video_player/node/startup.h"
#include "vok_video_player/player/vok_video_player.h"

int main(int argc, char** argv) {
  try {
    const vok::Startup startup = vok::start_node(argc, argv, "vok_self_test");
    if (startup.finished) return startup.exit_status;
    if (!vok::wait_for_master()) return 0;

    vok::VOKVideoPlayer vokplayer(startup.video_folder, startup.args);
    ros::AsyncSpinner spinner(1);
    spinner.start();
    vokplayer.test_all_images();
    spinner.stop();
    ros::shutdown();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "vok_self_test: error: " << e.what() << std::endl;
    return 1;
  }
}
