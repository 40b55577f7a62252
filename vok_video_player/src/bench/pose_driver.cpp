// bench_pose: drives /amcl_pose for scripts/bench. It holds the robot at one place, or moves it
// back and forth between two places a given number of times, and publishes either one pose per
// move or a steady stream at a given rate. Every pose carries its publication time as its stamp,
// which is how the bench times a change of room. Places are named as the demo's tour names them:
// a room letter (its centre), two letters (the gap between two rooms) or "X,Y" in map metres.
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>

#include "vok_video_player/bench/bench_args.h"
#include "vok_video_player/tools/route.h"

namespace {

struct Options {
  vok::Waypoint at = vok::gap_between("A", "B");  // in no room
  vok::Waypoint other;
  bool alternate = false;
  int changes = 0;
  double interval = 0.5;  // seconds between moves
  double jitter = 0;      // extra random wait in [0, jitter) before each move
  double stream = 0;      // poses per second; 0 publishes one pose per move
  double seconds = 0;     // how long to hold when not alternating
  double delay = 0;       // wait before the first pose
  int subscribers = 1;    // wait for this many subscribers first
};

vok::Waypoint place(const std::string& text) {
  const std::vector<vok::Waypoint> route = vok::parse_route(text);
  if (route.size() != 1) throw std::invalid_argument("one place, not " + text);
  return route.front();
}

}  // namespace

int main(int argc, char** argv) {
  ros::init(argc, argv, "bench_pose", ros::init_options::AnonymousName);
  Options o;
  try {
    for (vok::bench::Args args(argc, argv); args.next();) {
      const std::string& a = args.name();
      const std::string v = args.value();
      if (a == "--at") {
        o.at = place(v);
      } else if (a == "--other") {
        o.other = place(v);
        o.alternate = true;
      } else if (a == "--changes") {
        o.changes = std::stoi(v);
      } else if (a == "--interval") {
        o.interval = std::stod(v);
      } else if (a == "--jitter") {
        o.jitter = std::stod(v);
      } else if (a == "--stream") {
        o.stream = std::stod(v);
      } else if (a == "--seconds") {
        o.seconds = std::stod(v);
      } else if (a == "--delay") {
        o.delay = std::stod(v);
      } else if (a == "--subscribers") {
        o.subscribers = std::stoi(v);
      } else {
        throw std::invalid_argument("unknown argument " + a);
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "bench_pose: " << e.what()
              << "\nusage: bench_pose [--at PLACE] [--other PLACE --changes N --interval S"
                 " [--jitter S]] [--stream HZ] [--seconds S] [--delay S] [--subscribers N]\n";
    return 2;
  }

  ros::NodeHandle nh;
  ros::Publisher pub = nh.advertise<geometry_msgs::PoseWithCovarianceStamped>("/amcl_pose", 1000);
  const ros::WallTime wait_until = ros::WallTime::now() + ros::WallDuration(20.0);
  while (ros::ok() && static_cast<int>(pub.getNumSubscribers()) < o.subscribers) {
    if (ros::WallTime::now() > wait_until) {
      std::cerr << "bench_pose: fewer than " << o.subscribers << " subscribers after 20 s\n";
      return 1;
    }
    ros::WallDuration(0.01).sleep();
  }
  ros::WallDuration(o.delay).sleep();

  geometry_msgs::PoseWithCovarianceStamped msg;
  msg.header.frame_id = "map";
  msg.pose.pose.orientation.w = 1.0;
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> extra(0.0, 1.0);
  bool at_other = false;
  const auto send = [&]() {
    msg.pose.pose.position.x = at_other ? o.other.x : o.at.x;
    msg.pose.pose.position.y = at_other ? o.other.y : o.at.y;
    msg.header.stamp = ros::Time::now();
    ++msg.header.seq;
    pub.publish(msg);
  };

  const ros::WallTime start = ros::WallTime::now();
  const double total = o.alternate ? 0 : o.seconds;
  int moves = 0;
  ros::WallTime next_move = start;
  ros::WallRate tick(o.stream > 0 ? o.stream : 1000.0);
  while (ros::ok()) {
    const ros::WallTime now = ros::WallTime::now();
    if (o.alternate && now >= next_move) {
      if (moves > o.changes) break;
      if (moves > 0) at_other = !at_other;
      ++moves;
      send();
      next_move = now + ros::WallDuration(o.interval + o.jitter * extra(gen));
    } else if (o.stream > 0) {
      send();
    } else if (!o.alternate && moves++ == 0) {
      send();
    }
    if (!o.alternate && (now - start).toSec() >= total) break;
    tick.sleep();
  }
  // Let the last poses go out before the connection closes.
  ros::WallDuration(0.2).sleep();
  return 0;
}
