// The player's detection self-test against a scripted /detect_frame service, in one process with
// the player, under simulated time.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ros/ros.h>
#include <sensor_msgs/Image.h>
#include <vok_tutorials22/YOLOLastFrame.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "ros_test_main.h"
#include "vok_video_player/player/vok_video_player.h"
#include "vok_video_player/site/site_tables.h"

namespace {

namespace fs = std::filesystem;
using Detections = std::vector<vok_tutorials22::Detection>;

vok_tutorials22::Detection detection(const std::string& name, double confidence) {
  vok_tutorials22::Detection d;
  d.name = name;
  d.confidence = confidence;
  return d;
}

// Every item has its own blue level, so a received frame tells which item it came from.
cv::Scalar item_colour(int item, int frame) {
  return cv::Scalar(20 + 40 * item, frame < 0 ? 200 : 10 * frame, 100);
}

class MediaFolder {
 public:
  MediaFolder() {
    char pattern[] = "/tmp/vok_self_test_media_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~MediaFolder() { fs::remove_all(dir_); }
  MediaFolder(const MediaFolder&) = delete;
  MediaFolder& operator=(const MediaFolder&) = delete;

  std::string path() const { return dir_.string() + "/"; }

  void add_still(const std::string& stem, int item) {
    if (!cv::imwrite(path() + stem + ".jpg", cv::Mat(48, 64, CV_8UC3, item_colour(item, -1)))) {
      throw std::runtime_error("cannot write " + stem + ".jpg");
    }
  }

  void add_video(const std::string& stem, int item, int frames) {
    cv::VideoWriter writer(path() + stem + ".mp4", cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30, cv::Size(64, 48));
    if (!writer.isOpened()) throw std::runtime_error("cannot write " + stem + ".mp4");
    for (int i = 0; i < frames; ++i) writer.write(cv::Mat(48, 64, CV_8UC3, item_colour(item, i)));
  }

 private:
  fs::path dir_;
};

/// Gives ALL_THINGS other names for one test and puts the real table back afterwards.
class TestNames {
 public:
  explicit TestNames(const vok::MediaList& names) : saved_(vok::ALL_THINGS) {
    vok::ALL_THINGS = names;
  }
  ~TestNames() { vok::ALL_THINGS = saved_; }

 private:
  vok::MediaList saved_;
};

/// Answers /detect_frame from a script, one response per call, and notes the ROS time of every
/// call and how many frames of each item arrived on /camera/image.
class ScriptedDetector {
 public:
  explicit ScriptedDetector(std::vector<Detections> script) : script_(std::move(script)) {
    ros::NodeHandle node;
    image_sub_ = node.subscribe("/camera/image", 1000, &ScriptedDetector::on_image, this);
    server_ = node.advertiseService("/detect_frame", &ScriptedDetector::on_call, this);
  }

  std::vector<ros::Time> call_times() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return call_times_;
  }

  std::map<int, int> frames_per_item() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_per_item_;
  }

 private:
  bool on_call(vok_tutorials22::YOLOLastFrame::Request&,
               vok_tutorials22::YOLOLastFrame::Response& response) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (call_times_.size() < script_.size()) response.detections = script_[call_times_.size()];
    call_times_.push_back(ros::Time::now());
    return true;
  }

  void on_image(const sensor_msgs::ImageConstPtr& msg) {
    const std::size_t centre = msg->height / 2 * msg->step + msg->width / 2 * 3;
    const int item = static_cast<int>(std::lround((msg->data.at(centre) - 20) / 40.0));
    std::lock_guard<std::mutex> lock(mutex_);
    ++frames_per_item_[item];
  }

  std::vector<Detections> script_;
  ros::Subscriber image_sub_;
  ros::ServiceServer server_;
  mutable std::mutex mutex_;
  std::vector<ros::Time> call_times_;
  std::map<int, int> frames_per_item_;
};

/// Sends standard output and standard error into one file while it lives, so that printed lines
/// and log lines keep their order.
class CapturedOutput {
 public:
  CapturedOutput() {
    char pattern[] = "/tmp/vok_self_test_output_XXXXXX";
    file_fd_ = mkstemp(pattern);
    if (file_fd_ < 0) throw std::runtime_error("mkstemp failed");
    path_ = pattern;
    std::cout.flush();
    std::fflush(stdout);
    saved_out_ = dup(1);
    saved_err_ = dup(2);
    dup2(file_fd_, 1);
    dup2(file_fd_, 2);
  }
  ~CapturedOutput() {
    finish();
    std::remove(path_.c_str());
  }
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  /// Stops capturing; returns every line, log lines as "[SEVERITY] message" without time stamps
  /// and terminal colour codes.
  std::vector<std::string> finish() {
    if (file_fd_ >= 0) {
      std::cout.flush();
      std::fflush(stdout);
      dup2(saved_out_, 1);
      dup2(saved_err_, 2);
      close(saved_out_);
      close(saved_err_);
      close(file_fd_);
      file_fd_ = -1;
    }
    static const std::regex colour("\x1b\\[[0-9;]*m");
    static const std::regex time_stamp(R"(^(\[ *[A-Z]+\]) \[[0-9., ]+\]: )");
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) {
      line = std::regex_replace(line, colour, "");
      lines.push_back(std::regex_replace(line, time_stamp, "$1 "));
    }
    return lines;
  }

 private:
  std::string path_;
  int file_fd_ = -1;
  int saved_out_ = -1;
  int saved_err_ = -1;
};

/// The self-test's own lines: standard output, error log lines and playback's "Playing" lines.
std::vector<std::string> report_lines(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  for (const auto& line : lines) {
    if (line.rfind("[", 0) != 0 || line.rfind("[ERROR]", 0) == 0 ||
        line.rfind("[ INFO] VOK video player: Playing", 0) == 0) {
      kept.push_back(line);
    }
  }
  return kept;
}

// One self-test run over five names of its own and "person", with a scripted answer per name.
// Items: 0 hotdog, 1 hot dog, 2 pizza, 3 clip (a video), 4 banana, 5 person.
class ScriptedRun : public ::testing::Test {
 protected:
  static constexpr int CLIP_FRAMES = 12;

  static void SetUpTestSuite() {
    MediaFolder media;
    media.add_still("hotdog", 0);
    media.add_still("hot_dog", 1);
    media.add_still("pizza", 2);
    media.add_video("clip", 3, CLIP_FRAMES);
    media.add_still("banana", 4);
    media.add_still("person", 5);
    TestNames names({"hotdog", "hot dog", "pizza", "clip", "banana"});
    ScriptedDetector detector({
        {detection("cat", 0.9), detection("dog", 0.1 + 0.2), detection("hotdog", 0.95)},
        {detection("hot_dog", 0.9), detection("hot dog", 0.1)},
        {detection("", 0.99)},
        {},
        {detection("Banana", 0.8), detection("bananas", 0.7)},
        {detection("person", 1.0)},
    });
    vok::Args args;
    vok::VOKVideoPlayer player(media.path(), args);
    {
      CapturedOutput output;
      player.test_all_images();
      end_time_ = ros::Time::now();
      lines_ = report_lines(output.finish());
    }
    call_times_ = detector.call_times();
    frames_per_item_ = detector.frames_per_item();
  }

  static std::vector<std::string> lines_;
  static std::vector<ros::Time> call_times_;
  static std::map<int, int> frames_per_item_;
  static ros::Time end_time_;
};

std::vector<std::string> ScriptedRun::lines_;
std::vector<ros::Time> ScriptedRun::call_times_;
std::map<int, int> ScriptedRun::frames_per_item_;
ros::Time ScriptedRun::end_time_;

TEST_F(ScriptedRun, ReportsTheFirstMatchOnlyByTheSubstringRuleInOrder) {
  const std::vector<std::string> expected = {
      "",
      "Testing hotdog",
      "[ INFO] VOK video player: Playing hotdog.jpg",
      // "dog" lies inside "hotdog"; the later, more confident "hotdog" is not looked at.
      "    Detected hotdog with confidence 0.30000000000000004",
      "",
      "Testing hot dog",
      "[ INFO] VOK video player: Playing hot_dog.jpg",
      // Compared with blanks restored, so "hot_dog" does not match; reported by its file stem.
      "    Detected hot_dog with confidence 0.1",
      "",
      "Testing pizza",
      "[ INFO] VOK video player: Playing pizza.jpg",
      "[ERROR]     Not detected",  // a nameless detection names nothing
      "",
      "Testing clip",
      "[ INFO] VOK video player: Playing video clip.mp4",
      "[ERROR]     Not detected",  // no detections at all
      "",
      "Testing banana",
      "[ INFO] VOK video player: Playing banana.jpg",
      "[ERROR]     Not detected",  // case counts, and a longer name is no substring
      "",
      "Testing person",
      "[ INFO] VOK video player: Playing person.jpg",
      "    Detected person with confidence 1.0",
  };
  EXPECT_EQ(lines_, expected);
}

TEST_F(ScriptedRun, AsksOnceAfterPlayingStillsForHalfASecondAndVideosWhole) {
  ASSERT_EQ(call_times_.size(), 6u);
  const std::map<int, int> expected = {{0, 15},          {1, 15}, {2, 15},
                                       {3, CLIP_FRAMES}, {4, 15}, {5, 15}};
  EXPECT_EQ(frames_per_item_, expected);
}

TEST_F(ScriptedRun, PausesFiveSecondsAfterEveryNameTheLastIncluded) {
  ASSERT_EQ(call_times_.size(), 6u);
  const double clip_seconds = CLIP_FRAMES / 30.0;
  for (std::size_t i = 1; i < call_times_.size(); ++i) {
    const double playing = i == 3 ? clip_seconds : 0.5;
    const double gap = (call_times_[i] - call_times_[i - 1]).toSec();
    EXPECT_GE(gap, 5.0 + playing - 0.05) << "before call " << i;
    EXPECT_LT(gap, 5.0 + playing + 2.5) << "before call " << i;
  }
  const double last_pause = (end_time_ - call_times_.back()).toSec();
  EXPECT_GE(last_pause, 5.0);
  EXPECT_LT(last_pause, 7.5);
}

TEST(SelfTestWithoutService, EndsWithAClearErrorAfterTheFirstItem) {
  MediaFolder media;
  media.add_still("pizza", 0);
  media.add_still("person", 1);
  TestNames names({"pizza"});
  vok::Args args;
  vok::VOKVideoPlayer player(media.path(), args);
  std::string error;
  CapturedOutput output;
  try {
    player.test_all_images();
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  const auto lines = report_lines(output.finish());
  EXPECT_NE(error.find("/detect_frame"), std::string::npos) << error;
  const std::vector<std::string> expected = {"", "Testing pizza",
                                             "[ INFO] VOK video player: Playing pizza.jpg"};
  EXPECT_EQ(lines, expected);
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "self_test_scripted", 2, 5.0);
}
