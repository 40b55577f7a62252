#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "vok_video_player/tools/report.h"
#include "vok_video_player/tools/report_images.h"
#include "vok_video_player/tools/route.h"

namespace vok {
namespace {

// A tour from room A through the gap into room B, one pose every 0.1 s, with the player
// showing a still in A and a video in B at 30 frames per second.
Recording two_room_recording() {
  Recording r;
  const Waypoint a = room_centre("A"), gap = gap_between("A", "B"), b = room_centre("B");
  for (int i = 0; i < 100; ++i) {
    const Waypoint& at = i < 40 ? a : (i < 50 ? gap : b);
    r.poses.push_back({i * 0.1, at.x, at.y});
  }
  r.player_lines = {{-2.0, "VOK video player: Playing empty.jpg"},
                    {0.01, "VOK video player: Robot in room A (Pantry)"},
                    {0.02, "VOK video player: Playing pizza.jpg"},
                    {4.01, "VOK video player: Playing empty.jpg"},
                    {5.01, "VOK video player: Robot in room B (Guest Room 1)"},
                    {5.02, "VOK video player: Playing video dog.mp4"}};
  for (int k = 0; k < 300; ++k) r.frame_times.push_back(0.03 + k / 30.0);
  r.player_output = {"", "Playlist for non-special room: ['pizza', 'person']\r",
                     "[ INFO] something else", "Test in room B: playing laptop ['laptop']"};
  r.length = 10;
  return r;
}

TEST(DemoReport, SplitsTheTourIntoRoomVisitsAndGaps) {
  const Analysis analysis = analyse(two_room_recording());
  ASSERT_EQ(analysis.stays.size(), 3u);
  EXPECT_EQ(analysis.stays[1].room, "");
  const auto visits = analysis.visits();
  ASSERT_EQ(visits.size(), 2u);
  EXPECT_EQ(visits[0].room, "A");
  EXPECT_DOUBLE_EQ(visits[0].leave, 4.0);
  EXPECT_EQ(visits[1].room, "B");
  EXPECT_DOUBLE_EQ(visits[1].enter, 5.0);
  EXPECT_DOUBLE_EQ(visits[1].x, room_centre("B").x);
  EXPECT_DOUBLE_EQ(visits[1].leave, 10.0);
  EXPECT_EQ(analysis.room_lines.size(), 2u);
}

TEST(DemoReport, CountsEachFrameForTheItemPlayingWhenItArrived) {
  const Analysis analysis = analyse(two_room_recording());
  ASSERT_EQ(analysis.plays.size(), 4u);
  EXPECT_EQ(analysis.plays[0].file, "empty.jpg");
  EXPECT_EQ(analysis.plays[0].frames, 0u);  // on before the tour, replaced at once
  EXPECT_EQ(analysis.plays[1].name(), "pizza");
  EXPECT_EQ(analysis.plays[1].room, "A");
  EXPECT_EQ(analysis.plays[2].room, "");
  EXPECT_EQ(analysis.plays[3].file, "dog.mp4");
  EXPECT_EQ(analysis.plays[3].room, "B");
  std::size_t total = 0;
  for (const ItemPlay& play : analysis.plays) total += play.frames;
  EXPECT_EQ(total, 300u);
  EXPECT_EQ(analysis.unattributed_frames, 0u);
  EXPECT_EQ(analysis.plays[1].frames, 120u);
  EXPECT_NEAR(analysis.plays[1].rate(), 30, 1e-6);
  EXPECT_EQ(play_at(analysis.plays, 4.5), &analysis.plays[2]);
  EXPECT_EQ(play_at(analysis.plays, -3), nullptr);
}

TEST(DemoReport, AddsUpPlaysOfTheSameItem) {
  const std::vector<ItemPlay> plays = {
      {"a.jpg", 0, 31, 0, 1, "A"}, {"b.mp4", 1, 1, 1, 1, "A"}, {"a.jpg", 2, 61, 2, 4, "B"}};
  const auto totals = item_totals(plays);
  ASSERT_EQ(totals.size(), 2u);
  EXPECT_EQ(totals[0].file, "a.jpg");
  EXPECT_EQ(totals[0].plays, 2u);
  EXPECT_EQ(totals[0].frames, 92u);
  EXPECT_DOUBLE_EQ(totals[0].rate, 30);
  EXPECT_DOUBLE_EQ(totals[1].rate, 0);  // one frame has no rate
}

TEST(DemoReport, ReadsOnlyThePlayersPlayingLines) {
  EXPECT_EQ(played_file("VOK video player: Playing pizza.jpg"), "pizza.jpg");
  EXPECT_EQ(played_file("VOK video player: Playing video dog.mp4"), "dog.mp4");
  EXPECT_EQ(played_file("VOK video player: Robot in room A (Pantry)"), "");
  EXPECT_EQ(played_file("Playing pizza.jpg"), "");
}

TEST(DemoReport, ShowsEveryItemOfAVisitBeforeSpreadingTheOtherTiles) {
  std::vector<double> times;
  for (int k = 0; k < 100; ++k) times.push_back(k * 0.1);
  const std::vector<ItemPlay> plays = {
      {"a.jpg", 0, 0, 0, 0, ""}, {"b.mp4", 5.05, 0, 0, 0, ""}, {"c.mp4", 5.25, 0, 0, 0, ""}};
  const auto tiles = pick_tiles(times, plays, 2, 8, 4);
  ASSERT_EQ(tiles.size(), 4u);
  EXPECT_TRUE(std::is_sorted(tiles.begin(), tiles.end()));
  EXPECT_EQ(tiles.front(), 20u);  // a.jpg, already on when the visit began
  EXPECT_NE(std::find(tiles.begin(), tiles.end(), 51u), tiles.end());
  EXPECT_NE(std::find(tiles.begin(), tiles.end(), 53u), tiles.end());
  for (std::size_t i : tiles) EXPECT_TRUE(times[i] >= 2 && times[i] < 8);
  EXPECT_TRUE(pick_tiles(times, plays, 20, 30, 4).empty());
  EXPECT_EQ(pick_tiles(times, plays, 0, 10, 50).size(), 50u);
}

TEST(DemoReport, SummaryGivesRoomsPlaylistsItemsFramesAndRates) {
  const Recording recording = two_room_recording();
  const std::string summary = summary_text(recording, analyse(recording));
  for (const std::string expected :
       {"Rooms entered: 2 by the tour, 2 logged by the player",
        "Playlists printed: 2\n  Playlist for non-special room: ['pizza', 'person']\n"
        "  Test in room B: playing laptop ['laptop']\n",
        "Items played: 4", "Frames received: 300 (300 during the items above, 0 before the first)",
        "  pizza.jpg             1     120      30.0"}) {
    EXPECT_NE(summary.find(expected), std::string::npos) << expected << "\n---\n" << summary;
  }
}

TEST(DemoReportImages, FloorPlanShowsRoomsGapsAndEntries) {
  const Recording recording = two_room_recording();
  const Analysis analysis = analyse(recording);
  const PlanScale scale;
  const cv::Mat plan = draw_floor_plan(recording, analysis, scale);
  ASSERT_EQ(plan.type(), CV_8UC3);
  auto colour_at = [&plan, &scale](double x, double y) {
    const cv::Point p = scale.to_pixel(x, y);
    return cv::Scalar(plan.at<cv::Vec3b>(p)[0], plan.at<cv::Vec3b>(p)[1], plan.at<cv::Vec3b>(p)[2]);
  };
  const Waypoint d = room_centre("D");
  EXPECT_EQ(colour_at(d.x, d.y), room_colour("D"));
  EXPECT_NE(colour_at(3.7846, 7.0), room_colour("A"));  // the strip between A and B
  EXPECT_NE(colour_at(3.7846, 7.0), room_colour("B"));
  const cv::Point entry = scale.to_pixel(analysis.visits()[1].x, analysis.visits()[1].y);
  EXPECT_EQ(plan.at<cv::Vec3b>(entry + cv::Point(-9, 0)), cv::Vec3b(255, 255, 255));
}

TEST(DemoReportImages, ContactSheetHasATileForEachPickedFrame) {
  const Recording recording = two_room_recording();
  const Analysis analysis = analyse(recording);
  std::vector<Thumbnail> thumbs;
  for (int k = 0; k < 5; ++k) {
    thumbs.push_back({5.5 + k, cv::Mat(THUMB_HEIGHT, THUMB_WIDTH, CV_8UC3, cv::Scalar(0, 0, 200))});
  }
  const cv::Mat sheet = draw_contact_sheet(analysis.visits()[1], 2, 2, thumbs, recording, analysis);
  EXPECT_EQ(sheet.rows, 86 + 2 * (THUMB_HEIGHT + 42 + 10) + 10);
  EXPECT_EQ(sheet.at<cv::Vec3b>(86 + 20, 10 + 20), cv::Vec3b(0, 0, 200));
  EXPECT_EQ(contact_sheet_name(2, "B"), "visit_02_B.png");
}

}  // namespace
}  // namespace vok
