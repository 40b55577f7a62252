// Playback and pose handling of a player in this process, under simulated time: exact frame
// counts, order, content and the reaction to a change of room.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/CompressedImage.h>
#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "child_process.h"
#include "ros_test_main.h"
#include "sim_clock.h"
#include "test_media.h"
#include "vok_video_player/common/text_format.h"
#include "vok_video_player/player/vok_video_player.h"

namespace {

using namespace std::chrono_literals;

geometry_msgs::PoseWithCovarianceStamped::ConstPtr pose_at(double x, double y) {
  auto msg = boost::make_shared<geometry_msgs::PoseWithCovarianceStamped>();
  msg->pose.pose.position.x = x;
  msg->pose.pose.position.y = y;
  return msg;
}

struct Received {
  sensor_msgs::ImageConstPtr message;
  vok_test::FrameCode code;
  ros::Time stamp;
};

class StreamPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    media_ = std::make_unique<vok_test::MediaFolder>("playback");
    args_.test = true;
    player_ = std::make_unique<vok::VOKVideoPlayer>(media_->path(), args_);
    ros::NodeHandle node;
    image_sub_ = node.subscribe("/camera/image", 10000, &StreamPlayback::on_image, this);
    // Both ends live in this process, so every frame is delivered, none dropped.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (image_sub_.getNumPublishers() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
  }
  void TearDown() override {
    image_sub_.shutdown();
    player_.reset();
  }

  void on_image(const sensor_msgs::ImageConstPtr& msg) {
    const cv::Mat frame = cv_bridge::toCvShare(msg, "bgr8")->image;
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back({msg, vok_test::decode_frame(frame), ros::Time::now()});
    if (change_room_after_ > 0 && received_.size() == change_room_after_) {
      player_->pose_callback(pose_at(10.6, 2.4));  // room F
    }
  }

  std::vector<Received> received() {
    std::this_thread::sleep_for(50ms);  // let the last deliveries land
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

  vok_test::SimClock clock_{5.0};
  std::unique_ptr<vok_test::MediaFolder> media_;
  vok::Args args_;
  std::unique_ptr<vok::VOKVideoPlayer> player_;
  ros::Subscriber image_sub_;
  std::mutex mutex_;
  std::vector<Received> received_;
  std::size_t change_room_after_ = 0;
};

TEST_F(StreamPlayback, StillPublishesOneMessageTruncTimes) {
  EXPECT_TRUE(player_->play_still("pizza"));
  auto frames = received();
  ASSERT_EQ(frames.size(), 240u);
  for (const auto& f : frames) {
    // Every tick sends the one converted image; only roscpp's sequence number moves on.
    sensor_msgs::Image image = *f.message;
    image.header.seq = frames.front().message->header.seq;
    EXPECT_TRUE(image == *frames.front().message);
    EXPECT_EQ(f.code.item, media_->item("pizza"));
  }
  EXPECT_EQ(frames.front().message->encoding, "bgr8");
  // 8 s at 30 per second in simulated time.
  EXPECT_NEAR((frames.back().stamp - frames.front().stamp).toSec(), 239.0 / 30.0, 0.1);

  received_.clear();
  EXPECT_TRUE(player_->play_still("pizza", 0.51));
  EXPECT_EQ(received().size(), 15u);
  received_.clear();
  EXPECT_TRUE(player_->play_still("pizza", 0.0));
  EXPECT_EQ(received().size(), 0u);
}

TEST_F(StreamPlayback, AReplayedStillIsReadAgainWhenItsFileChangedOrWent) {
  const std::string file = media_->path() + "pizza.jpg";
  ASSERT_TRUE(player_->play_still("pizza", 0.1));
  // Same size and shape, another item's colour: only the file's stamp tells them apart.
  vok_test::write_still(file, media_->item("dog"));
  ASSERT_TRUE(player_->play_still("pizza", 0.1));
  auto frames = received();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames.front().code.item, media_->item("pizza"));
  EXPECT_EQ(frames.back().code.item, media_->item("dog"));

  std::filesystem::remove(file);
  received_.clear();
  EXPECT_FALSE(player_->play_still("pizza", 0.1));
  EXPECT_EQ(received().size(), 0u);
}

TEST_F(StreamPlayback, StillStopsAfterTheFrameInWhichTheRoomChanged) {
  change_room_after_ = 1;
  EXPECT_FALSE(player_->play_still("pizza"));
  EXPECT_EQ(received().size(), 1u);
}

TEST_F(StreamPlayback, VideoPublishesEveryFrameOnceInOrder) {
  ASSERT_TRUE(media_->make_video("dog", 20, 30));
  EXPECT_TRUE(player_->play_video("dog"));
  const auto frames = received();
  ASSERT_EQ(frames.size(), 20u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].code.item, media_->item("dog"));
    EXPECT_EQ(frames[i].code.frame, static_cast<int>(i));
  }
}

TEST_F(StreamPlayback, VideoStopsAfterTheFrameInWhichTheRoomChanged) {
  ASSERT_TRUE(media_->make_video("dog", 20, 30));
  change_room_after_ = 6;
  EXPECT_FALSE(player_->play_video("dog"));
  EXPECT_EQ(received().size(), 6u);
}

TEST_F(StreamPlayback, VideoPlaysAtItsRateButNeverBelowThirty) {
  for (const auto& [fps, expected] : {std::pair<double, double>{24, 30}, {30, 30}, {60, 60}}) {
    ASSERT_TRUE(media_->make_video("dog", 31, fps));
    received_.clear();
    EXPECT_TRUE(player_->play_video("dog"));
    const auto frames = received();
    ASSERT_EQ(frames.size(), 31u);
    // A loaded machine can only make the span longer; playing at the file's own 24 or at a
    // capped 30 would make it 0.25 s or 0.5 s off.
    const double span = (frames.back().stamp - frames.front().stamp).toSec();
    EXPECT_GT(span, 30.0 / expected - 0.05) << "file at " << fps << " fps";
    EXPECT_LT(span, 30.0 / expected + 0.15) << "file at " << fps << " fps";
  }
}

TEST_F(StreamPlayback, CompressedFramesAreTheRawOnesAndAreMadeOnlyForASubscriber) {
  ASSERT_TRUE(media_->make_video("dog", 30, 30));
  EXPECT_TRUE(player_->play_still("pizza", 0.2));
  player_->play_video("dog");
  EXPECT_EQ(player_->compressed_pub.encoded(), 0u) << "encoded while nobody subscribed";

  struct Compressed {
    cv::Mat image;
    std::string format;
  };
  std::mutex mutex;
  std::vector<Compressed> compressed;
  ros::NodeHandle node;
  const auto sub = node.subscribe<sensor_msgs::CompressedImage>(
      "/camera/image/compressed", 10000, [&](const sensor_msgs::CompressedImageConstPtr& msg) {
        std::lock_guard<std::mutex> lock(mutex);
        compressed.push_back({cv::imdecode(msg->data, cv::IMREAD_COLOR), msg->format});
      });
  for (int i = 0; i < 500 && sub.getNumPublishers() == 0; ++i) std::this_thread::sleep_for(10ms);
  received_.clear();
  EXPECT_TRUE(player_->play_still("pizza", 1.0));
  EXPECT_EQ(player_->compressed_pub.encoded(), 1u) << "a still is encoded once per play";
  player_->play_video("dog");
  const auto raw = received();
  std::this_thread::sleep_for(100ms);  // the last picture's encoding
  std::lock_guard<std::mutex> lock(mutex);

  // The still's first tick may go by while its picture is encoded; every other tick of the still
  // and every frame of the video has its JPEG, so the compressed stream keeps the raw one's 30
  // frames per second (which the cases above hold to the clock).
  ASSERT_EQ(raw.size(), 60u);
  EXPECT_GE(compressed.size(), 58u);
  EXPECT_LE(compressed.size(), 60u);
  std::map<std::pair<int, int>, cv::Mat> raw_by_code;
  for (const auto& r : raw) {
    raw_by_code[{r.code.item, r.code.frame}] = cv_bridge::toCvShare(r.message, "bgr8")->image;
  }
  std::set<std::pair<int, int>> seen;
  for (const auto& c : compressed) {
    EXPECT_EQ(c.format, "bgr8; jpeg compressed bgr8");
    ASSERT_FALSE(c.image.empty()) << "a JPEG that does not decode";
    const auto code = vok_test::decode_frame(c.image);
    const auto match = raw_by_code.find({code.item, code.frame});
    ASSERT_NE(match, raw_by_code.end()) << "a compressed picture that no raw frame showed";
    ASSERT_EQ(c.image.size(), match->second.size());
    cv::Mat difference;
    cv::absdiff(c.image, match->second, difference);
    EXPECT_LT(cv::mean(difference)[0] + cv::mean(difference)[1] + cv::mean(difference)[2], 6.0);
    seen.insert({code.item, code.frame});
  }
  EXPECT_EQ(seen.size(), 31u) << "the still and each of the video's 30 frames";
}

TEST_F(StreamPlayback, ItemsFollowOnePeriodApartAndAnIdleDoesNotBurst) {
  // One-frame and two-frame clips and a three-tick still, so that nearly every interval crosses
  // an item boundary: a boundary that costs the time to get the next item ready shows in the sum.
  ASSERT_TRUE(media_->make_video("dog", 1, 30));
  ASSERT_TRUE(media_->make_video("book", 2, 30));
  constexpr int ROUNDS = 6;
  for (int round = 0; round < ROUNDS; ++round) {
    player_->play_video("dog");
    player_->play_video("book");
    player_->play_still("pizza", 0.1);
  }
  auto frames = received();
  ASSERT_EQ(frames.size(), 6u * ROUNDS);
  const double period = 1.0 / 30.0;
  const double span = (frames.back().stamp - frames.front().stamp).toSec();
  EXPECT_LT(span, (frames.size() - 1) * period + 0.05);
  EXPECT_GT(span, (frames.size() - 1) * period - 0.01);

  // After a second of nothing, the stream starts afresh instead of catching up.
  ros::Duration(1.0).sleep();
  received_.clear();
  player_->play_video("book");
  frames = received();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_GT((frames[1].stamp - frames[0].stamp).toSec(), period - 0.006);
}

TEST_F(StreamPlayback, BadMediaIsReportedOnceAndPublishesNothing) {
  std::ofstream(media_->path() + "pizza.jpg") << "not a jpeg";
  std::ofstream(media_->path() + "broken.mp4") << "not a video";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(player_->play_still("pizza"));
  EXPECT_FALSE(player_->play_still("pizza"));
  EXPECT_TRUE(player_->play_video("broken"));
  EXPECT_TRUE(player_->play_video("missing"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(received().size(), 0u);
  const std::string pizza = "Cannot play " + media_->path() + "pizza.jpg";
  EXPECT_NE(err.find(pizza), std::string::npos) << err;
  EXPECT_EQ(err.find(pizza, err.find(pizza) + 1), std::string::npos) << "reported twice";
  EXPECT_NE(err.find("Cannot play " + media_->path() + "broken.mp4"), std::string::npos);
  EXPECT_NE(err.find("Cannot play " + media_->path() + "missing.mp4"), std::string::npos);
}

std::vector<std::string> printed_lines(const std::string& out) {
  std::vector<std::string> lines;
  std::stringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST_F(StreamPlayback, PoseCallbackFollowsTheRobotInTestMode) {
  EXPECT_EQ(player_->location.load(), vok::NO_ROOM);
  EXPECT_EQ(*player_->to_play, vok::MediaList{"empty"});
  EXPECT_EQ(player_->probability, 0.6);

  testing::internal::CaptureStdout();
  player_->pose_callback(pose_at(6.0, 8.3));  // B
  player_->pose_callback(pose_at(6.1, 8.4));  // still B: nothing new
  std::vector<std::string> lines = printed_lines(testing::internal::GetCapturedStdout());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "");
  EXPECT_NE(lines[1].find("VOK video player: Robot in room B (Guest Room 1)"), std::string::npos);
  EXPECT_EQ(lines[2], "Test in room B: playing laptop ['laptop']");
  EXPECT_EQ(player_->location.load(), vok::location_of("B"));
  EXPECT_EQ(*player_->to_play, vok::MediaList{"laptop"});

  testing::internal::CaptureStdout();
  player_->pose_callback(pose_at(10.6, 8.3));  // C: the food table itself
  lines = printed_lines(testing::internal::GetCapturedStdout());
  EXPECT_EQ(player_->to_play.get(), &vok::FOOD_LIST);
  EXPECT_EQ(lines.back(), "Playlist for Bedroom (C): " + vok::format_playlist(vok::FOOD_LIST));

  testing::internal::CaptureStdout();
  player_->pose_callback(pose_at(std::nan(""), 8.3));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(player_->location.load(), vok::NO_ROOM);
  EXPECT_EQ(*player_->to_play, vok::MediaList{"empty"});
}

TEST(PoseCallback, RollsDiceOnlyInSpecialRoomsOutsideTestMode) {
  vok_test::MediaFolder media("dice");
  vok::Args args;
  vok::VOKVideoPlayer player(media.path(), args);
  testing::internal::CaptureStdout();
  player.pose_callback(pose_at(1.9, 8.3));   // A
  player.pose_callback(pose_at(10.6, 2.4));  // F
  const std::vector<std::string> lines = printed_lines(testing::internal::GetCapturedStdout());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_NE(lines[1].find("Robot in room A (Pantry)"), std::string::npos);
  EXPECT_EQ(lines[2].rfind("Playlist for non-special room: [", 0), 0u);
  EXPECT_EQ(lines[3], "");
  EXPECT_NE(lines[4].find("Robot in room F (Guest Room 3)"), std::string::npos);
  EXPECT_TRUE(std::regex_search(
      vok_test::log_message(lines[5]),
      std::regex(R"(^VOK video player: Random number is (0\.\d\d?|1\.0) and probability )"
                 R"(is 0\.6\.$)")))
      << lines[5];
  EXPECT_EQ(lines[6].rfind("Playlist for Kitchen (F): [", 0), 0u);
  EXPECT_TRUE(player.to_play->size() == 2u || player.to_play.get() == &vok::ALL_THINGS);
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "stream_playback_test", 2);
}
