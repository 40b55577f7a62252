// A folder of files as a phone or the web gives them, turned into a media folder by
// make_media_folder: what it makes passes the node's folder check, and each item reaches a
// subscriber of the node upright, in "bgr8" and within the asked size; files it cannot use are
// listed. Every picture is a dark field with a white band along its top as it is meant to be
// seen, so a frame shows at once whether it came out upright.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/Image.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "child_process.h"
#include "ros_test_main.h"
#include "vok_video_player/node/folder_check.h"
#include "vok_video_player/site/site_tables.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;
using vok_test::run_to_end;
namespace fs = std::filesystem;

constexpr int BOX_WIDTH = 320, BOX_HEIGHT = 240;

/// Dark blue with a white band over its top fifth; `turned` stores it a quarter turn
/// anticlockwise (the band on the left), as a phone held upright stores what its sensor saw.
cv::Mat banded(int width, int height, bool turned = false) {
  cv::Mat image(height, width, CV_8UC3, cv::Scalar(0x60, 0x40, 0x20));
  image.rowRange(0, height / 5).setTo(cv::Scalar::all(255));
  if (turned) cv::rotate(image, image, cv::ROTATE_90_COUNTERCLOCKWISE);
  return image;
}

using Maker = std::function<bool(const std::string& path)>;

/// A JPEG stored sideways whose EXIF orientation (6) says to turn it a quarter clockwise.
bool sideways_jpeg(const std::string& path) {
  return cv::imwrite(path, banded(1800, 2400, true)) &&
         run_to_end("/usr/bin/exiftool",
                    {"-q", "-overwrite_original", "-n", "-Orientation=6", path});
}

bool heic(const std::string& path) {
  const std::string png = path + ".png";
  return cv::imwrite(png, banded(400, 300)) &&
         run_to_end("/usr/bin/heif-enc", {"-q", "60", png, "-o", path}) && fs::remove(png);
}

/// A PNG whose transparent part is white underneath, so that ignoring the alpha shows white.
bool transparent_png(const std::string& path) {
  cv::Mat image(200, 300, CV_8UC4, cv::Scalar(255, 255, 255, 0));
  image.rowRange(0, 40).setTo(cv::Scalar::all(255));
  return cv::imwrite(path, image);
}

Maker clip(const std::string& size, const std::string& rate, const std::string& codec_args,
           const std::string& rotate = "") {
  return [=](const std::string& path) {
    std::vector<std::string> args = {
        "-nostdin",
        "-loglevel",
        "error",
        "-y",
        "-f",
        "lavfi",
        "-i",
        "color=c=0x204060:s=" + size + ":r=" + rate + ":d=1," +
            (rotate.empty() ? "drawbox=x=0:y=0:w=iw:h=ih/5" : "drawbox=x=0:y=0:w=iw/5:h=ih") +
            ":color=white:t=fill"};
    std::istringstream words(codec_args);
    for (std::string w; words >> w;) args.push_back(w);
    if (rotate.empty()) {
      args.push_back(path);
      return run_to_end("/usr/bin/ffmpeg", args);
    }
    // Stored with the band on the left and the display matrix of a phone held upright, which
    // players turn a quarter clockwise (ffprobe: rotation -90, that is 270 anticlockwise).
    const std::string plain = path + ".plain.mp4";
    args.push_back(plain);
    const bool made = run_to_end("/usr/bin/ffmpeg", args) &&
                      vok_test::remux_rotated(plain, path, std::stoi(rotate));
    fs::remove(plain);
    return made;
  };
}

bool text(const std::string& path) {
  return static_cast<bool>(std::ofstream(path) << "This is not a picture.\n");
}

/// A file of the phone folder, and the item made of it (width 0: none, it is listed instead).
struct PhoneFile {
  std::string file;
  Maker make;
  std::string item;
  int width = 0, height = 0;
  std::string listed;  // its "left out" line, for a file that gives no item
};

void PrintTo(const PhoneFile& f, std::ostream* out) { *out << f.file; }

std::vector<PhoneFile> phone_files() {
  const std::string h264 = "-c:v libx264 -pix_fmt yuv420p";
  return {
      {"Pizza.jpg", sideways_jpeg, "pizza.jpg", 180, 240, ""},
      {"Tooth-Brush.HEIC", heic, "toothbrush.jpg", 320, 240, ""},
      {"dog.png", transparent_png, "dog.jpg", 300, 200, ""},
      {"Banana.MOV", clip("160x96", "30", h264, "270"), "banana.mp4", 96, 160, ""},
      {"book.webm", clip("480x360", "25", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8"),
       "book.mp4", 320, 240, ""},
      {"IMG_1234.png", [](const std::string& p) { return cv::imwrite(p, banded(64, 48)); }, "", 0,
       0, "left out: IMG_1234.png: names no media name"},
      {"fork.jpg", text, "", 0, 0, "left out: fork.jpg: cannot be decoded as a picture"},
  };
}

/// The phone folder and what make_media_folder made of it, once for all cases.
struct Conversion {
  fs::path root, src, dst;
  std::optional<int> status;
  std::vector<std::string> report;
  std::map<std::string, fs::file_time_type> src_before;
  std::string problem;  // why the folder could not be made

  Conversion() {
    root = fs::temp_directory_path() / ("vok_own_media_" + std::to_string(::getpid()));
    src = root / "phone";
    dst = root / "media";
    fs::remove_all(root);
    fs::create_directories(src);
    for (const auto& f : phone_files()) {
      if (!f.make((src / f.file).string())) problem += "could not make " + f.file + "; ";
    }
    for (const auto& e : fs::directory_iterator(src))
      src_before[e.path().string()] = e.last_write_time();
    ChildProcess tool(VOK_MAKE_MEDIA_FOLDER,
                      {src.string(), dst.string(), "--size",
                       std::to_string(BOX_WIDTH) + "x" + std::to_string(BOX_HEIGHT), "--fill"},
                      {"SAMPLE_VIDEO_SECONDS=1"});
    status = tool.wait_exit(120s);
    report = tool.out();
    for (const auto& line : tool.err()) std::cout << "make_media_folder stderr: " << line << "\n";
    for (const auto& line : report) std::cout << "make_media_folder: " << line << "\n";
  }
  ~Conversion() { fs::remove_all(root); }

  bool reported(const std::string& start, const std::string& part = "") const {
    return std::any_of(report.begin(), report.end(), [&](const std::string& l) {
      return l.rfind(start, 0) == 0 && l.find(part) != std::string::npos;
    });
  }
};

const Conversion& conversion() {
  static const Conversion made;
  return made;
}

/// Runs the node on a folder and keeps the first frame it publishes.
class NodeFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    ros::NodeHandle node;
    sub_ = node.subscribe("/camera/image", 10, &NodeFrames::on_image, this);
  }
  void TearDown() override { sub_.shutdown(); }

  void on_image(const sensor_msgs::ImageConstPtr& image) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!first_) first_ = image;
    arrived_.notify_all();
  }

  sensor_msgs::ImageConstPtr wait_frame(std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return first_ != nullptr; });
    return first_;
  }

  /// A media folder of links to the made items, with `item` as "empty": the node plays it first.
  fs::path folder_playing(const fs::path& item) {
    const fs::path dir = conversion().root / ("play_" + item.filename().string());
    fs::create_directories(dir);
    for (const auto& name : vok::required_media_names()) {
      if (name == vok::EMPTY_NAME) continue;
      for (const std::string ext : {".jpg", ".mp4"}) {
        const fs::path made = conversion().dst / (vok::file_stem(name) + ext);
        if (fs::exists(made)) fs::create_symlink(made, dir / made.filename());
      }
    }
    fs::create_symlink(item, dir / ("empty" + item.extension().string()));
    return dir;
  }

  ros::Subscriber sub_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  sensor_msgs::ImageConstPtr first_;
};

class OwnMedia : public NodeFrames, public ::testing::WithParamInterface<PhoneFile> {};

double mean_brightness(const cv::Mat& bgr, int from_row, int to_row) {
  const cv::Scalar m = cv::mean(bgr.rowRange(from_row, to_row));
  return (m[0] + m[1] + m[2]) / 3;
}

TEST_P(OwnMedia, BecomesAnUprightBgr8ItemWithinTheSizeOrIsListed) {
  const PhoneFile& file = GetParam();
  const Conversion& made = conversion();
  ASSERT_EQ(made.problem, "");
  ASSERT_EQ(made.status, std::optional<int>(0));
  EXPECT_EQ(vok::media_folder_problem(made.dst.string() + "/"), std::nullopt);
  EXPECT_TRUE(made.reported("fork.jpg ", "made by make_sample_media"));
  std::map<std::string, fs::file_time_type> src_after;
  for (const auto& e : fs::directory_iterator(made.src))
    src_after[e.path().string()] = e.last_write_time();
  EXPECT_EQ(src_after, made.src_before) << "the phone folder was written";

  if (file.width == 0) {
    EXPECT_TRUE(made.reported(file.listed)) << "not listed: " << file.listed;
    return;
  }
  EXPECT_TRUE(made.reported(file.item + " ", file.file)) << file.item << " not from " << file.file;
  const fs::path item = made.dst / file.item;
  ASSERT_TRUE(fs::is_regular_file(item));

  ChildProcess node(vok_test::node_binary(), {"--video_folder", folder_playing(item).string()});
  const auto frame = wait_frame(20s);
  ASSERT_TRUE(frame) << "no frame from the node";
  EXPECT_EQ(frame->encoding, "bgr8");
  EXPECT_EQ(frame->width, static_cast<uint32_t>(file.width));
  EXPECT_EQ(frame->height, static_cast<uint32_t>(file.height));
  EXPECT_LE(frame->width, static_cast<uint32_t>(BOX_WIDTH));
  EXPECT_LE(frame->height, static_cast<uint32_t>(BOX_HEIGHT));
  const cv::Mat image = cv_bridge::toCvShare(frame, "bgr8")->image;
  EXPECT_GT(mean_brightness(image, 0, image.rows / 8), 200) << "no band at the top";
  EXPECT_LT(mean_brightness(image, image.rows / 2, image.rows), 100) << "bright below the band";
  for (const auto& line : node.err()) {
    EXPECT_EQ(line.find("more than a camera stream"), std::string::npos) << line;
  }
  node.signal(SIGINT);
  EXPECT_EQ(node.wait_exit(5s), std::optional<int>(0));
}

// The node itself says when an item is too big for a camera stream: once, however often the
// item plays, and it plays it as it is.
TEST_F(NodeFrames, NamesAPhoneSizedStillOnceAsTooBig) {
  ASSERT_EQ(conversion().problem, "");
  ChildProcess node(vok_test::node_binary(),
                    {"--video_folder", folder_playing(conversion().src / "Pizza.jpg").string()});
  const auto frame = wait_frame(20s);
  ASSERT_TRUE(frame) << "no frame from the node";
  EXPECT_EQ(frame->width, 1800u);
  EXPECT_EQ(frame->height, 2400u);
  std::optional<std::size_t> play =
      node.wait_for_line("^VOK video player: Playing empty\\.jpg", 5s);
  ASSERT_TRUE(play);
  play = node.wait_for_line("^VOK video player: Playing empty\\.jpg", 15s, false, *play + 1);
  ASSERT_TRUE(play) << "the still did not play a second time";
  const auto err = node.err();
  const std::string warning =
      "VOK video player: empty.jpg is 1800x2400, 3110 Mbit/s at 30 frames/s, more than a camera "
      "stream of 1920x1080; it plays as it is. `rosrun vok_video_player make_media_folder` makes "
      "camera-sized media";
  EXPECT_EQ(std::count(err.begin(), err.end(), warning), 1);
  node.signal(SIGINT);
  EXPECT_EQ(node.wait_exit(5s), std::optional<int>(0));
}

INSTANTIATE_TEST_SUITE_P(PhoneFiles, OwnMedia, ::testing::ValuesIn(phone_files()),
                         [](const ::testing::TestParamInfo<PhoneFile>& info) {
                           std::string id = info.param.file;
                           std::replace_if(
                               id.begin(), id.end(), [](char c) { return !std::isalnum(c); }, '_');
                           return id;
                         });

}  // namespace

int main(int argc, char** argv) { return vok_test::run_ros_tests(argc, argv, "own_media_test", 1); }
