#ifndef VOK_VIDEO_PLAYER_TOOLS_REPORT_IMAGES_H
#define VOK_VIDEO_PLAYER_TOOLS_REPORT_IMAGES_H

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "vok_video_player/tools/report.h"

namespace vok {

/// \brief A reduced copy of a camera frame and when it was received.
struct Thumbnail {
  double t = 0;
  cv::Mat image;
};

/// \brief Width and height of the thumbnails the recorder keeps and the sheets show.
constexpr int THUMB_WIDTH = 192;
constexpr int THUMB_HEIGHT = 144;

/// \brief Maps map metres to pixels of the floor plan.
struct PlanScale {
  double pixels_per_metre = 64;
  int left = 60;
  int top = 70;
  double map_height = 10.9;

  cv::Point to_pixel(double x, double y) const;
};

/// \brief The colour that marks a room on the plan and on its sheets (BGR).
cv::Scalar room_colour(const std::string& room);

/// \brief The floor plan: the six rooms with letters and names, the tour's path, and a
/// numbered mark where each room was entered, with a list of the entries beside it.
cv::Mat draw_floor_plan(const Recording& recording, const Analysis& analysis,
                        const PlanScale& scale = PlanScale());

/// \brief A contact sheet for one room visit: up to `max_tiles` frames received during it, each
/// with the item that was playing and the time.
/// \param number the visit's number in the tour, from 1
cv::Mat draw_contact_sheet(const Stay& visit, std::size_t number, std::size_t visit_count,
                           const std::vector<Thumbnail>& thumbnails, const Recording& recording,
                           const Analysis& analysis, std::size_t max_tiles = 12);

/// \brief The file name of a visit's sheet: "visit_02_B.png".
std::string contact_sheet_name(std::size_t number, const std::string& room);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_TOOLS_REPORT_IMAGES_H
