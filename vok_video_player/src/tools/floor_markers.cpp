// floor_markers: draws the floor's rooms for rviz on /vok/floor, in frame map, and marks the room
// the robot's pose on /amcl_pose falls in, so that a map whose frame differs from the floor's
// shows at a glance.
#include <iostream>
#include <string>
#include <vector>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>
#include <visualization_msgs/MarkerArray.h>

#include "vok_video_player/site/site_tables.h"
#include "vok_video_player/tools/floor_view.h"

namespace {

// Redraws are held to this wall-clock interval: rviz needs no more, and a pose flood must not
// turn into a marker flood.
const double REDRAW_INTERVAL = 0.25;

const char* const USAGE =
    "usage: floor_markers [-h]\n\n"
    "Publishes the floor's rooms as visualization_msgs/MarkerArray on /vok/floor (latched, frame\n"
    "map) and marks the room the pose on /amcl_pose falls in. No options; ROS remappings such as\n"
    "/amcl_pose:=/other are taken.\n";

std_msgs::ColorRGBA colour_of(const vok::Rgba& c) {
  std_msgs::ColorRGBA colour;
  colour.r = static_cast<float>(c.r);
  colour.g = static_cast<float>(c.g);
  colour.b = static_cast<float>(c.b);
  colour.a = static_cast<float>(c.a);
  return colour;
}

geometry_msgs::Point point(double x, double y) {
  geometry_msgs::Point p;
  p.x = x;
  p.y = y;
  return p;
}

visualization_msgs::Marker marker_of(const vok::FloorShape& shape) {
  visualization_msgs::Marker m;
  m.header.frame_id = "map";
  m.ns = shape.ns;
  m.id = shape.id;
  m.action = visualization_msgs::Marker::ADD;
  const vok::RoomBounds& b = shape.box;
  m.pose.position = point((b.left + b.right) / 2, (b.bottom + b.top) / 2);
  m.pose.orientation.w = 1;
  m.color = colour_of(shape.colour);
  switch (shape.kind) {
    case vok::FloorShape::Kind::area:
      m.type = visualization_msgs::Marker::CUBE;
      m.scale.x = b.right - b.left;
      m.scale.y = b.top - b.bottom;
      m.scale.z = 0.02;
      break;
    case vok::FloorShape::Kind::outline:
      // The corners as points in the frame itself, so that they carry the bounds exactly.
      m.type = visualization_msgs::Marker::LINE_STRIP;
      m.pose.position = point(0, 0);
      m.scale.x = 0.05;
      m.points = {point(b.left, b.bottom), point(b.right, b.bottom), point(b.right, b.top),
                  point(b.left, b.top), point(b.left, b.bottom)};
      break;
    case vok::FloorShape::Kind::text:
      m.type = visualization_msgs::Marker::TEXT_VIEW_FACING;
      m.pose.position.z = 0.1;
      m.scale.z = shape.text_height;
      m.text = shape.text;
      break;
  }
  return m;
}

visualization_msgs::MarkerArray floor_message(const vok::RobotPlace& robot) {
  visualization_msgs::MarkerArray array;
  const ros::Time now = ros::Time::now();
  for (const vok::FloorShape& shape : vok::floor_shapes(robot)) {
    array.markers.push_back(marker_of(shape));
    array.markers.back().header.stamp = now;
  }
  return array;
}

}  // namespace

int main(int argc, char** argv) {
  ros::init(argc, argv, "vok_floor_markers");
  std::vector<std::string> args;
  ros::removeROSArgs(argc, argv, args);
  if (args.size() > 1) {
    const bool help = args[1] == "-h" || args[1] == "--help";
    (help ? std::cout : std::cerr)
        << USAGE << (help ? "" : "floor_markers: error: unrecognized argument '" + args[1] + "'\n");
    return help ? 0 : 2;
  }

  ros::NodeHandle node;
  ros::Publisher floor = node.advertise<visualization_msgs::MarkerArray>("/vok/floor", 1, true);
  floor.publish(floor_message(vok::RobotPlace{}));

  // The pose callback and the timer both run in ros::spin()'s one thread.
  vok::RoomFollower follower(REDRAW_INTERVAL);
  const auto redraw = [&] {
    if (const auto place = follower.redraw(ros::WallTime::now().toSec())) {
      floor.publish(floor_message(*place));
    }
  };
  ros::Subscriber poses = node.subscribe<geometry_msgs::PoseWithCovarianceStamped>(
      "/amcl_pose", 1, [&](const geometry_msgs::PoseWithCovarianceStamped::ConstPtr& msg) {
        if (follower.observe(msg->pose.pose.position.x, msg->pose.pose.position.y)) redraw();
      });
  ros::WallTimer held_back = node.createWallTimer(ros::WallDuration(REDRAW_INTERVAL / 2),
                                                  [&](const ros::WallTimerEvent&) { redraw(); });
  ROS_INFO("floor_markers: %zu rooms on %s in frame map, following %s", vok::ROOMS.size(),
           floor.getTopic().c_str(), poses.getTopic().c_str());
  ros::spin();
  return 0;
}
