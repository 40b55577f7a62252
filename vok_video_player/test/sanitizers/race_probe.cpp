// A deliberate data race for proving the ThreadSanitizer check: the main thread reads the
// player's playlist without `state_mutex` while the pose callback, run by roscpp's spinner thread
// for real /amcl_pose messages, replaces it. A ThreadSanitizer build must report this race with
// the project's suppressions in force; if it stays silent, the suppressions hide what they
// must not.
#include <chrono>
#include <thread>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>

#include "vok_video_player/player/vok_video_player.h"

int main(int argc, char** argv) {
  ros::init(argc, argv, "vok_race_probe", ros::init_options::AnonymousName);
  vok::Args args;
  args.video_folder = "/nonexistent/";
  vok::VOKVideoPlayer player(args.video_folder, args);
  ros::NodeHandle node;
  ros::Publisher poses = node.advertise<geometry_msgs::PoseWithCovarianceStamped>("/amcl_pose", 10);
  ros::AsyncSpinner spinner(1);
  spinner.start();
  for (int i = 0; i < 500 && poses.getNumSubscribers() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  std::size_t names = 0;
  for (int i = 0; i < 2000 && ros::ok(); ++i) {
    geometry_msgs::PoseWithCovarianceStamped pose;
    pose.pose.pose.position.x = i % 2 ? 2.0 : 3.78;  // room A, then the gap beside it
    pose.pose.pose.position.y = 8.0;
    poses.publish(pose);
    // The race: the playlist's pointer read without state_mutex. Only the pointer is read: a
    // copy of the shared_ptr could be torn and crash the probe before the report.
    const vok::MediaList* playlist = player.to_play.get();
    names += playlist != nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  spinner.stop();
  ros::shutdown();
  return names > 0 ? 0 : 1;
}
