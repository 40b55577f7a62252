#include "vok_video_player/tools/report_images.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include <opencv2/imgproc.hpp>

#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/site/site_tables.h"
#include "vok_video_player/tools/route.h"

namespace vok {

namespace {

const cv::Scalar WHITE(255, 255, 255);
const cv::Scalar INK(40, 40, 40);
const cv::Scalar GREY(120, 120, 120);
const cv::Scalar FLOOR(215, 215, 215);
const cv::Scalar PATH(150, 60, 20);
const cv::Scalar GAP_PATH(30, 110, 240);
const int SANS = cv::FONT_HERSHEY_SIMPLEX;
const int BOLD = cv::FONT_HERSHEY_DUPLEX;

std::string fixed(double value, int decimals) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

void text(cv::Mat& image, const std::string& s, cv::Point at, int font, double size,
          const cv::Scalar& colour, int thickness = 1) {
  cv::putText(image, s, at, font, size, colour, thickness, cv::LINE_AA);
}

// Centred on `centre` both ways.
void centred_text(cv::Mat& image, const std::string& s, cv::Point centre, int font, double size,
                  const cv::Scalar& colour, int thickness = 1) {
  int baseline = 0;
  const cv::Size extent = cv::getTextSize(s, font, size, thickness, &baseline);
  text(image, s, {centre.x - extent.width / 2, centre.y + extent.height / 2}, font, size, colour,
       thickness);
}

cv::Scalar darker(const cv::Scalar& colour, double factor) {
  return {colour[0] * factor, colour[1] * factor, colour[2] * factor};
}

void entry_mark(cv::Mat& image, cv::Point at, std::size_t number) {
  cv::circle(image, at, 13, WHITE, cv::FILLED, cv::LINE_AA);
  cv::circle(image, at, 13, INK, 2, cv::LINE_AA);
  centred_text(image, std::to_string(number), at, BOLD, 0.5, INK, 1);
}

// The room's letter and name go into the corner of the room that the tour's path crosses least.
cv::Rect label_box(const cv::Rect& room, const std::vector<cv::Point>& path) {
  const cv::Size size(std::min(room.width - 8, 200), 96);
  const int inset = 6;
  const std::vector<cv::Point> corners = {
      {room.x + inset, room.y + inset},
      {room.br().x - size.width - inset, room.y + inset},
      {room.x + inset, room.br().y - size.height - inset},
      {room.br().x - size.width - inset, room.br().y - size.height - inset}};
  cv::Rect best(corners.front(), size);
  long fewest = -1;
  for (const cv::Point& corner : corners) {
    const cv::Rect box(corner, size);
    const long crossing = std::count_if(path.begin(), path.end(),
                                        [&box](const cv::Point& p) { return box.contains(p); });
    if (fewest < 0 || crossing < fewest) {
      fewest = crossing;
      best = box;
    }
  }
  return best;
}

void draw_rooms(cv::Mat& plan, const PlanScale& scale, const std::vector<cv::Point>& path) {
  cv::rectangle(plan, scale.to_pixel(0, MAP_LIMITS.y), scale.to_pixel(MAP_LIMITS.x, 0), FLOOR,
                cv::FILLED);
  for (const std::string& room : ROOMS) {
    const RoomBounds b = room_bounds(room);
    const cv::Rect rect(scale.to_pixel(b.left, b.top), scale.to_pixel(b.right, b.bottom));
    cv::rectangle(plan, rect, room_colour(room), cv::FILLED);
    cv::rectangle(plan, rect, darker(room_colour(room), 0.55), 1);
    const cv::Rect box = label_box(rect, path);
    text(plan, room, box.tl() + cv::Point(4, 58), BOLD, 2.2, darker(room_colour(room), 0.4), 4);
    text(plan, room_display_name(room), box.tl() + cv::Point(6, 88), BOLD, 0.7, INK, 1);
  }
}

void draw_axes(cv::Mat& plan, const PlanScale& scale) {
  for (int x = 0; x <= MAP_LIMITS.x; ++x) {
    const cv::Point tick = scale.to_pixel(x, 0);
    cv::line(plan, tick, tick + cv::Point(0, 6), GREY, 1);
    centred_text(plan, std::to_string(x), tick + cv::Point(0, 18), SANS, 0.45, GREY);
  }
  for (int y = 0; y <= static_cast<int>(MAP_LIMITS.y); ++y) {
    const cv::Point tick = scale.to_pixel(0, y);
    cv::line(plan, tick, tick - cv::Point(6, 0), GREY, 1);
    centred_text(plan, std::to_string(y), tick - cv::Point(20, 0), SANS, 0.45, GREY);
  }
  text(plan, "x (m)", scale.to_pixel(MAP_LIMITS.x, 0) + cv::Point(-40, 40), SANS, 0.5, GREY);
  text(plan, "y (m)", scale.to_pixel(0, MAP_LIMITS.y) + cv::Point(-55, -12), SANS, 0.5, GREY);
}

std::vector<cv::Point> tour_path(const PlanScale& scale, const Recording& recording) {
  std::vector<cv::Point> path;
  for (const PoseSample& pose : recording.poses) {
    const cv::Point p = scale.to_pixel(pose.x, pose.y);
    if (path.empty() || path.back() != p) path.push_back(p);
  }
  return path;
}

void draw_tour(cv::Mat& plan, const std::vector<cv::Point>& path, const PlanScale& scale,
               const Recording& recording, const Analysis& analysis) {
  if (path.empty()) return;
  cv::polylines(plan, path, false, PATH, 3, cv::LINE_AA);
  // Stretches in no room on top, so that the stops in the gaps show.
  for (std::size_t i = 1; i < recording.poses.size(); ++i) {
    const PoseSample& a = recording.poses[i - 1];
    const PoseSample& b = recording.poses[i];
    if (find_room(a.x, a.y).empty() || find_room(b.x, b.y).empty()) {
      cv::line(plan, scale.to_pixel(a.x, a.y), scale.to_pixel(b.x, b.y), GAP_PATH, 5, cv::LINE_AA);
    }
  }
  for (const Stay& stay : analysis.stays) {
    if (stay.room.empty())
      cv::circle(plan, scale.to_pixel(stay.x, stay.y), 5, GAP_PATH, cv::FILLED);
  }
  cv::circle(plan, path.front(), 9, cv::Scalar(60, 170, 60), cv::FILLED, cv::LINE_AA);
  text(plan, "start", path.front() + cv::Point(-22, -16), BOLD, 0.55, cv::Scalar(40, 120, 40));
  cv::rectangle(plan, path.back() - cv::Point(8, 8), path.back() + cv::Point(8, 8),
                cv::Scalar(50, 50, 200), cv::FILLED);
  text(plan, "end", path.back() + cv::Point(-16, 28), BOLD, 0.55, cv::Scalar(40, 40, 170));
  const auto visits = analysis.visits();
  for (std::size_t i = 0; i < visits.size(); ++i) {
    entry_mark(plan, scale.to_pixel(visits[i].x, visits[i].y), i + 1);
  }
}

void draw_side_panel(cv::Mat& plan, int left, const Recording& recording,
                     const Analysis& analysis) {
  int y = 100;
  text(plan, "Room entries", {left, y}, BOLD, 0.7, INK);
  y += 34;
  const auto visits = analysis.visits();
  for (std::size_t i = 0; i < visits.size(); ++i) {
    entry_mark(plan, {left + 14, y - 5}, i + 1);
    const std::string line = visits[i].room + "  " + room_display_name(visits[i].room);
    text(plan, line, {left + 36, y}, BOLD, 0.55, INK);
    text(plan, "t = " + fixed(visits[i].enter, 1) + " s", {left + 200, y}, SANS, 0.5, INK);
    y += 32;
  }
  if (visits.empty()) {
    text(plan, "(none)", {left, y}, SANS, 0.5, INK);
    y += 32;
  }
  y += 24;
  text(plan, "Legend", {left, y}, BOLD, 0.7, INK);
  y += 30;
  cv::line(plan, {left, y - 5}, {left + 28, y - 5}, PATH, 3, cv::LINE_AA);
  text(plan, "tour path", {left + 36, y}, SANS, 0.5, INK);
  y += 28;
  entry_mark(plan, {left + 14, y - 5}, 1);
  text(plan, "where a room was entered", {left + 36, y}, SANS, 0.5, INK);
  y += 28;
  cv::line(plan, {left, y - 5}, {left + 28, y - 5}, GAP_PATH, 5, cv::LINE_AA);
  text(plan, "tour path in no room", {left + 36, y}, SANS, 0.5, INK);
  y += 28;
  cv::rectangle(plan, {left + 2, y - 14}, {left + 26, y + 2}, FLOOR, cv::FILLED);
  text(plan, "gap: in no room", {left + 36, y}, SANS, 0.5, INK);
  y += 44;
  text(plan, "Times count from the tour's first pose.", {left, y}, SANS, 0.45, GREY);
  y += 30;
  text(plan, "Recorded " + fixed(recording.length, 1) + " s", {left, y}, SANS, 0.5, INK);
  y += 24;
  text(plan, std::to_string(recording.poses.size()) + " poses", {left, y}, SANS, 0.5, INK);
  y += 24;
  text(plan, std::to_string(recording.frame_times.size()) + " camera frames", {left, y}, SANS, 0.5,
       INK);
  y += 24;
  text(plan, std::to_string(analysis.plays.size()) + " items played", {left, y}, SANS, 0.5, INK);
}

}  // namespace

cv::Point PlanScale::to_pixel(double x, double y) const {
  return {left + static_cast<int>(std::lround(x * pixels_per_metre)),
          top + static_cast<int>(std::lround((map_height - y) * pixels_per_metre))};
}

cv::Scalar room_colour(const std::string& room) {
  static const std::map<std::string, cv::Scalar> colours = {
      {"A", {150, 205, 255}}, {"B", {180, 230, 170}}, {"C", {240, 205, 165}},
      {"D", {215, 175, 235}}, {"E", {160, 235, 240}}, {"F", {210, 210, 150}}};
  const auto found = colours.find(room);
  return found == colours.end() ? FLOOR : found->second;
}

cv::Mat draw_floor_plan(const Recording& recording, const Analysis& analysis,
                        const PlanScale& scale) {
  const cv::Point far_corner = scale.to_pixel(MAP_LIMITS.x, 0);
  const int panel_left = far_corner.x + 40;
  cv::Mat plan(far_corner.y + 60, panel_left + 300, CV_8UC3, WHITE);
  text(plan, "VOK video player demo: the floor and the tour", {scale.left, 38}, BOLD, 0.85, INK);
  const std::vector<cv::Point> path = tour_path(scale, recording);
  draw_rooms(plan, scale, path);
  draw_axes(plan, scale);
  draw_tour(plan, path, scale, recording, analysis);
  draw_side_panel(plan, panel_left, recording, analysis);
  return plan;
}

cv::Mat draw_contact_sheet(const Stay& visit, std::size_t number, std::size_t visit_count,
                           const std::vector<Thumbnail>& thumbnails, const Recording& recording,
                           const Analysis& analysis, std::size_t max_tiles) {
  const int columns = 4;
  const int pad = 10;
  const int label = 42;
  const int header = 86;
  std::vector<double> times;
  for (const Thumbnail& thumb : thumbnails) times.push_back(thumb.t);
  const auto tiles = pick_tiles(times, analysis.plays, visit.enter, visit.leave, max_tiles);
  const int rows = std::max<int>(1, (static_cast<int>(tiles.size()) + columns - 1) / columns);
  cv::Mat sheet(header + rows * (THUMB_HEIGHT + label + pad) + pad,
                columns * (THUMB_WIDTH + pad) + pad, CV_8UC3, WHITE);

  const cv::Scalar colour = room_colour(visit.room);
  cv::rectangle(sheet, {0, 0}, {sheet.cols, header - pad}, colour, cv::FILLED);
  text(sheet,
       "Visit " + std::to_string(number) + " of " + std::to_string(visit_count) + ": room " +
           visit.room + ", " + room_display_name(visit.room),
       {pad + 4, 34}, BOLD, 0.85, INK);
  const auto frames = std::count_if(recording.frame_times.begin(), recording.frame_times.end(),
                                    [&](double t) { return t >= visit.enter && t < visit.leave; });
  std::vector<const ItemPlay*> shown;
  for (double t : recording.frame_times) {
    const ItemPlay* play =
        t >= visit.enter && t < visit.leave ? play_at(analysis.plays, t) : nullptr;
    if (play && std::find(shown.begin(), shown.end(), play) == shown.end()) shown.push_back(play);
  }
  const std::size_t items = shown.size();
  text(sheet,
       "t = " + fixed(visit.enter, 1) + " s to " + fixed(visit.leave, 1) + " s,  " +
           std::to_string(items) + " items played,  " + std::to_string(frames) + " frames received",
       {pad + 4, 64}, SANS, 0.55, INK);

  if (tiles.empty()) {
    text(sheet, "no frame was received during this visit", {pad + 4, header + 40}, SANS, 0.6, INK);
  }
  for (std::size_t k = 0; k < tiles.size(); ++k) {
    const Thumbnail& thumb = thumbnails[tiles[k]];
    const int x = pad + static_cast<int>(k % columns) * (THUMB_WIDTH + pad);
    const int y = header + static_cast<int>(k / columns) * (THUMB_HEIGHT + label + pad);
    cv::Mat tile = sheet(cv::Rect(x, y, THUMB_WIDTH, THUMB_HEIGHT));
    if (thumb.image.size() == tile.size() && thumb.image.type() == tile.type()) {
      thumb.image.copyTo(tile);
    } else if (!thumb.image.empty()) {
      cv::resize(thumb.image, tile, tile.size(), 0, 0, cv::INTER_AREA);
    }
    cv::rectangle(sheet, {x - 1, y - 1}, {x + THUMB_WIDTH, y + THUMB_HEIGHT}, GREY, 1);
    const ItemPlay* play = play_at(analysis.plays, thumb.t);
    text(sheet, play ? play->file : "(unknown item)", {x, y + THUMB_HEIGHT + 18}, BOLD, 0.5, INK);
    text(sheet, "t = " + fixed(thumb.t, 2) + " s", {x, y + THUMB_HEIGHT + 36}, SANS, 0.45, GREY);
  }
  return sheet;
}

std::string contact_sheet_name(std::size_t number, const std::string& room) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "visit_%02zu_%s.png", number, room.c_str());
  return buffer;
}

}  // namespace vok
