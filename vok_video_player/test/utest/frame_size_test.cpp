#include <gtest/gtest.h>

#include <tuple>

#include "vok_video_player/media/frame_size.h"

namespace vok {
namespace {

// width, height, too big for a camera stream
class TooBig : public ::testing::TestWithParam<std::tuple<int, int, bool>> {};

TEST_P(TooBig, OnlyFramesBeyond1080pEitherWayRound) {
  const auto [width, height, too_big] = GetParam();
  EXPECT_EQ(too_big_for_camera(width, height), too_big);
  EXPECT_EQ(too_big_warning("empty.jpg", width, height, 30).has_value(), too_big);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TooBig,
    ::testing::Values(std::make_tuple(1280, 720, false), std::make_tuple(1920, 1080, false),
                      std::make_tuple(1080, 1920, false), std::make_tuple(1921, 1080, true),
                      std::make_tuple(1920, 1081, true), std::make_tuple(1081, 1920, true),
                      std::make_tuple(2560, 800, true), std::make_tuple(4032, 3024, true)));

TEST(TooBigWarning, NamesTheItemItsSizeItsRateAndTheTool) {
  EXPECT_EQ(*too_big_warning("empty.jpg", 4032, 3024, 30),
            "VOK video player: empty.jpg is 4032x3024, 8779 Mbit/s at 30 frames/s, more than a "
            "camera stream of 1920x1080; it plays as it is. `rosrun vok_video_player "
            "make_media_folder` makes camera-sized media");
  EXPECT_NE(too_big_warning("clip.mp4", 3840, 2160, 59.94)->find(" 11932 Mbit/s at 59.94 "),
            std::string::npos);
}

}  // namespace
}  // namespace vok
