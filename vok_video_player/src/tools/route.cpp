#include "vok_video_player/tools/route.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>
#include <stdexcept>

#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {

namespace {

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool is_room(const std::string& letter) {
  return std::find(ROOMS.begin(), ROOMS.end(), letter) != ROOMS.end();
}

double read_number(const std::string& text, const std::string& what) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || !std::isfinite(value)) {
    throw std::invalid_argument(what);
  }
  return value;
}

Waypoint read_place(const std::string& place, const std::string& token) {
  const std::string letters = upper(place);
  if (letters.size() == 1 && is_room(letters)) return room_centre(letters);
  if (letters.size() == 2 && is_room(letters.substr(0, 1)) && is_room(letters.substr(1, 1))) {
    return gap_between(letters.substr(0, 1), letters.substr(1, 1));
  }
  const auto comma = place.find(',');
  if (comma == std::string::npos) {
    throw std::invalid_argument("cannot read waypoint '" + token +
                                "': expected a room letter A-F, two neighbouring rooms such as "
                                "AB, or X,Y in metres, each optionally followed by :SECONDS");
  }
  const std::string what = "cannot read waypoint '" + token + "': X,Y must be two numbers";
  Waypoint point;
  point.x = read_number(place.substr(0, comma), what);
  point.y = read_number(place.substr(comma + 1), what);
  point.label = place;
  return point;
}

}  // namespace

const std::string& room_display_name(const std::string& room) {
  static const std::map<std::string, std::string> names = {
      {"A", "Pantry"},     {"B", "Guest Room 1"}, {"C", "Guest Room 2"},
      {"D", "Front Desk"}, {"E", "Lobby"},        {"F", "Guest Room 3"}};
  return names.at(room);
}

Waypoint room_centre(const std::string& room) {
  const RoomBounds b = room_bounds(room);
  Waypoint point;
  point.x = (b.left + b.right) / 2;
  point.y = (b.bottom + b.top) / 2;
  point.label = room;
  return point;
}

Waypoint gap_between(const std::string& first, const std::string& second) {
  const RoomBounds a = room_bounds(first);
  const RoomBounds b = room_bounds(second);
  Waypoint point;
  point.label = first + second;
  const double x_overlap = std::min(a.right, b.right) - std::max(a.left, b.left);
  const double y_overlap = std::min(a.top, b.top) - std::max(a.bottom, b.bottom);
  if (x_overlap > 0 && y_overlap <= 0) {
    // One room above the other: the strip runs along x.
    point.x = (std::max(a.left, b.left) + std::min(a.right, b.right)) / 2;
    point.y = (std::min(a.top, b.top) + std::max(a.bottom, b.bottom)) / 2;
  } else if (y_overlap > 0 && x_overlap <= 0) {
    point.x = (std::min(a.right, b.right) + std::max(a.left, b.left)) / 2;
    point.y = (std::max(a.bottom, b.bottom) + std::min(a.top, b.top)) / 2;
  } else {
    throw std::invalid_argument("rooms " + first + " and " + second + " are not neighbours");
  }
  if (!find_room(point.x, point.y).empty()) {
    throw std::invalid_argument("rooms " + first + " and " + second + " are not neighbours");
  }
  return point;
}

std::string default_route_text() {
  return "A:8 AB:1.5 B:8 BC:1.5 C:8 CF:1.5 F:8 FE:1.5 E:8 ED:1.5 D:8";
}

std::vector<Waypoint> parse_route(const std::string& text, double default_dwell) {
  std::string spaced = text;
  std::replace(spaced.begin(), spaced.end(), ';', ' ');
  std::istringstream tokens(spaced);
  std::vector<Waypoint> route;
  std::string token;
  while (tokens >> token) {
    if (token == "default") {
      const auto more = parse_route(default_route_text(), default_dwell);
      route.insert(route.end(), more.begin(), more.end());
      continue;
    }
    const auto colon = token.find(':');
    Waypoint point = read_place(token.substr(0, colon), token);
    point.dwell = default_dwell;
    if (colon != std::string::npos) {
      point.dwell = read_number(token.substr(colon + 1),
                                "cannot read waypoint '" + token + "': dwell must be a number");
      if (point.dwell < 0) {
        throw std::invalid_argument("cannot read waypoint '" + token + "': negative dwell");
      }
    }
    route.push_back(point);
  }
  if (route.empty()) throw std::invalid_argument("the route has no waypoint");
  return route;
}

RoutePlan::RoutePlan(std::vector<Waypoint> waypoints, double speed)
    : waypoints_(std::move(waypoints)), speed_(speed) {
  if (waypoints_.empty()) throw std::invalid_argument("the route has no waypoint");
  if (!(speed_ > 0) || !std::isfinite(speed_)) {
    throw std::invalid_argument("the speed must be a positive number of metres per second");
  }
  double t = 0;
  for (std::size_t i = 0; i < waypoints_.size(); ++i) {
    if (i > 0) {
      const double leg =
          distance(waypoints_[i - 1].x, waypoints_[i - 1].y, waypoints_[i].x, waypoints_[i].y);
      length_ += leg;
      t += leg / speed_;
    }
    arrive_.push_back(t);
    t += waypoints_[i].dwell;
  }
  duration_ = t;
}

TourPose RoutePlan::at(double t) const {
  auto heading = [this](std::size_t from, std::size_t to) {
    const double dx = waypoints_[to].x - waypoints_[from].x;
    const double dy = waypoints_[to].y - waypoints_[from].y;
    return dx == 0 && dy == 0 ? 0.0 : std::atan2(dy, dx);
  };
  const std::size_t last = waypoints_.size() - 1;
  for (std::size_t i = 0; i <= last; ++i) {
    const Waypoint& here = waypoints_[i];
    if (i == last || t < arrive_[i] + here.dwell) {
      const double yaw = i < last ? heading(i, i + 1) : (i > 0 ? heading(i - 1, i) : 0.0);
      return {here.x, here.y, yaw, i};
    }
    if (t < arrive_[i + 1]) {
      const Waypoint& next = waypoints_[i + 1];
      const double f = (t - arrive_[i] - here.dwell) / (arrive_[i + 1] - arrive_[i] - here.dwell);
      return {here.x + f * (next.x - here.x), here.y + f * (next.y - here.y), heading(i, i + 1), i};
    }
  }
  return {};  // not reached: the last waypoint returns above
}

}  // namespace vok
