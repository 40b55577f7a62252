// tour: drives a simulated robot along a route by publishing its pose on /amcl_pose, the way a
// localisation node would, and says where it is as it goes.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>

#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/tools/master_wait.h"
#include "vok_video_player/tools/route.h"
#include "vok_video_player/tools/tool_options.h"

namespace {

geometry_msgs::PoseWithCovarianceStamped pose_message(const vok::TourPose& pose,
                                                      const std::string& frame) {
  geometry_msgs::PoseWithCovarianceStamped msg;
  msg.header.stamp = ros::Time::now();
  msg.header.frame_id = frame;
  msg.pose.pose.position.x = pose.x;
  msg.pose.pose.position.y = pose.y;
  msg.pose.pose.orientation.z = std::sin(pose.yaw / 2);
  msg.pose.pose.orientation.w = std::cos(pose.yaw / 2);
  // A well-localised robot: a few centimetres and a few degrees.
  msg.pose.covariance[0] = 0.0025;
  msg.pose.covariance[7] = 0.0025;
  msg.pose.covariance[35] = 0.003;
  return msg;
}

std::string room_text(const std::string& room) {
  return "room " + room + " (" + vok::room_display_name(room) + ")";
}

void progress(double t, double duration, const std::string& what) {
  const int width = 20;
  const double done = duration > 0 ? std::min(1.0, std::max(0.0, t / duration)) : 1.0;
  const int filled = static_cast<int>(done * width + 0.5);
  std::printf("tour [%s%s] %5.1f/%.1f s  %s\n", std::string(filled, '#').c_str(),
              std::string(width - filled, '.').c_str(), t, duration, what.c_str());
  std::fflush(stdout);
}

bool wait_for_subscribers(const ros::Publisher& pub, int count, double seconds) {
  if (seconds <= 0) return true;
  const ros::WallTime deadline = ros::WallTime::now() + ros::WallDuration(seconds);
  while (ros::ok() && pub.getNumSubscribers() < static_cast<uint32_t>(count)) {
    if (ros::WallTime::now() > deadline) return false;
    ros::WallDuration(0.05).sleep();
  }
  return ros::ok();
}

}  // namespace

int main(int argc, char** argv) {
  ros::init(argc, argv, "vok_tour");
  std::vector<std::string> args;
  ros::removeROSArgs(argc, argv, args);
  vok::TourOptions options;
  const vok::ToolCommand command =
      vok::parse_tour_options(std::vector<std::string>(args.begin() + 1, args.end()), options);
  if (command.outcome != vok::ToolCommand::Outcome::run) {
    (command.outcome == vok::ToolCommand::Outcome::help ? std::cout : std::cerr) << command.text;
    return command.exit_status;
  }

  try {
    const vok::RoutePlan plan(options.route, options.speed);
    if (!vok::master_answers(options.wait)) {
      std::cerr << "tour: no ROS master at " << ros::master::getURI() << std::endl;
      return 1;
    }
    ros::NodeHandle node;
    ros::Publisher pub = node.advertise<geometry_msgs::PoseWithCovarianceStamped>("/amcl_pose", 10);
    std::printf("tour: %zu waypoints, %.1f m at %.2f m/s, %.1f s; poses at %.1f Hz on %s\n",
                plan.waypoints().size(), plan.length(), options.speed, plan.duration(),
                options.rate, pub.getTopic().c_str());
    std::fflush(stdout);
    if (!wait_for_subscribers(pub, options.subscribers, options.wait)) {
      if (!ros::ok()) return 0;
      std::cerr << "tour: " << pub.getNumSubscribers() << " of " << options.subscribers
                << " subscribers on /amcl_pose after " << options.wait
                << " s; is the player running?" << std::endl;
      return 1;
    }
    if (!ros::Time::waitForValid(ros::WallDuration(10))) {
      std::cerr << "tour: no valid ROS time within 10 s (is /clock published?)" << std::endl;
      return 1;
    }

    ros::Rate rate(options.rate);
    const ros::Time start = ros::Time::now();
    std::string room = "?";
    double t = 0;
    while (ros::ok()) {
      t = (ros::Time::now() - start).toSec();
      const vok::TourPose pose = plan.at(t);
      pub.publish(pose_message(pose, options.frame));
      const std::string now_in = vok::find_room(pose.x, pose.y);
      if (now_in != room) {
        room = now_in;
        progress(
            t, plan.duration(),
            room.empty() ? "in no room (a gap, or off the floor)" : "entering " + room_text(room));
      }
      if (t >= plan.duration()) break;
      rate.sleep();
    }
    if (!ros::ok()) {
      std::printf("tour: stopped after %.1f s\n", t);
      return 0;
    }
    progress(plan.duration(), plan.duration(),
             "done, " + (room.empty() ? std::string("in no room") : "in " + room_text(room)));
    // Let the last pose leave before the connection closes.
    ros::WallDuration(0.3).sleep();
  } catch (const std::exception& e) {
    std::cerr << "tour: error: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
