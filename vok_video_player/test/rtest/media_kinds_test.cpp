// The kinds of file users put in the media folder (phone clips, editor exports, pictures from
// cameras and the web, broken files), each made here with Debian's ffmpeg, OpenCV and exiftool and
// played by the node as its "empty" item, which it plays over and over while no pose arrives.
// A good file must reach a subscriber upright, in "bgr8", at its display size and at
// max(30, its rate); a broken one must be named once on the error log and skipped, with the node
// staying up and not spinning over it.
#include <gtest/gtest.h>
#include <ros/ros.h>

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/Image.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "child_process.h"
#include "ros_test_main.h"
#include "test_media.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using vok_test::ChildProcess;
using vok_test::run_to_end;
namespace fs = std::filesystem;

enum class Corner { top_left, top_right, bottom_right, bottom_left };

/// How to make one kind of file at a path, and what a subscriber must receive from it.
struct Kind {
  std::string id;   // the test's name
  std::string ext;  // ".mp4" or ".jpg"
  std::function<bool(const std::string& path)> make;
  double rate = 0;  // publication rate; 0 for a file that cannot play
  int width = 0, height = 0;
  Corner marker = Corner::top_left;  // where the white marker shows
  bool colour = true;                // false for a greyscale picture
};

void PrintTo(const Kind& kind, std::ostream* out) { *out << kind.id; }

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

/// One second of a dark blue picture with a white marker in its top left quarter; `scale` (as
/// "W:H") makes sizes the colour source cannot.
std::string picture(const std::string& size, const std::string& rate, const std::string& scale) {
  return "color=c=0x202060:s=" + size + ":r=" + rate + ":d=1," +
         (scale.empty() ? "" : "scale=" + scale + ",") +
         "drawbox=x=0:y=0:w=iw/4:h=ih/4:color=white:t=fill";
}

std::function<bool(const std::string&)> video(const std::string& encoder_args,
                                              const std::string& rate = "30",
                                              const std::string& size = "96x64",
                                              const std::string& scale = "") {
  return [=](const std::string& path) {
    std::vector<std::string> args = {"-nostdin", "-loglevel", "error", "-y",
                                     "-f",       "lavfi",     "-i",    picture(size, rate, scale)};
    for (const auto& w : words(encoder_args)) args.push_back(w);
    args.push_back(path);
    return run_to_end("/usr/bin/ffmpeg", args);
  };
}

const std::string H264 = "-c:v libx264 -pix_fmt yuv420p";

/// Makes the file with the first of `variants` of ffmpeg's arguments that this ffmpeg takes: an
/// option may be new in one ffmpeg and gone from another.
std::function<bool(const std::string&)> first_of(std::vector<std::string> variants) {
  return [=](const std::string& path) {
    for (std::size_t i = 0; i + 1 < variants.size(); ++i) {
      std::vector<std::string> args = {
          "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i", picture("96x64", "30", "")};
      for (const auto& w : words(variants[i])) args.push_back(w);
      args.push_back(path);
      if (vok_test::output_of("/usr/bin/ffmpeg", args)) return true;
    }
    return video(variants.back())(path);
  };
}

/// An H.264 file with a rotation in its display matrix, as phones write it: `degrees`
/// anticlockwise, so that at 90 the top left marker shows bottom left.
std::function<bool(const std::string&)> rotated(int degrees) {
  return [=](const std::string& path) {
    const std::string plain = path + ".plain.mp4";
    const bool made = video(H264)(plain) && vok_test::remux_rotated(plain, path, degrees);
    fs::remove(plain);
    return made;
  };
}

cv::Mat marked_picture() {
  cv::Mat image(64, 96, CV_8UC3, cv::Scalar(0x60, 0x20, 0x20));
  cv::rectangle(image, cv::Rect(0, 0, 24, 16), cv::Scalar::all(255), cv::FILLED);
  return image;
}

std::function<bool(const std::string&)> still(std::vector<int> params = {}, bool grey = false) {
  return [=](const std::string& path) {
    cv::Mat image = marked_picture();
    if (grey) cv::cvtColor(image, image, cv::COLOR_BGR2GRAY);
    return cv::imwrite(path, image, params);
  };
}

/// A JPEG stored as it was taken, whose EXIF orientation (6) says to turn it 90 degrees clockwise.
bool exif_rotated_still(const std::string& path) {
  return still()(path) && run_to_end("/usr/bin/exiftool",
                                     {"-q", "-overwrite_original", "-n", "-Orientation=6", path});
}

std::function<bool(const std::string&)> text(const std::string& content) {
  return [=](const std::string& path) { return static_cast<bool>(std::ofstream(path) << content); };
}

/// An .mp4 whose index ("moov" box, which ffmpeg writes after the frames) is cut off.
bool index_cut_off(const std::string& path) {
  if (!video(H264)(path)) return false;
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t moov = bytes.rfind("moov");
  if (moov == std::string::npos || moov < 4) return false;
  fs::resize_file(path, moov - 4);
  return true;
}

Kind good(std::string id, std::string ext, std::function<bool(const std::string&)> make,
          double rate = 30, int width = 96, int height = 64, Corner marker = Corner::top_left) {
  return {std::move(id), std::move(ext), std::move(make), rate, width, height, marker};
}

Kind bad(std::string id, std::string ext, std::function<bool(const std::string&)> make) {
  return {std::move(id), std::move(ext), std::move(make)};
}

std::vector<Kind> kinds() {
  std::vector<Kind> k = {
      good("H264_8bit_420", ".mp4", video(H264)),
      good("H264_8bit_444", ".mp4", video("-c:v libx264 -pix_fmt yuv444p")),
      good("H264_10bit", ".mp4", video("-c:v libx264 -pix_fmt yuv420p10le")),
      good("HEVC_8bit_hvc1", ".mp4",
           video("-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p -tag:v hvc1")),
      good("HEVC_10bit_hvc1", ".mp4",
           video("-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p10le -tag:v hvc1")),
      good("VP9", ".mp4", video("-c:v libvpx-vp9 -deadline realtime -cpu-used 8")),
      // libaom before 2.0 (Debian 11) is "experimental" to ffmpeg and has no realtime usage.
      good("AV1", ".mp4", video("-c:v libaom-av1 -cpu-used 8 -strict experimental")),
      good("MPEG4_part2", ".mp4", video("-c:v mpeg4")),
      good("MJPEG", ".mp4", video("-c:v mjpeg -pix_fmt yuvj420p")),
      good("Size_100x60", ".mp4", video(H264, "30", "100x60"), 30, 100, 60),
      // 4:2:0 needs even sizes; phones and editors write odd ones only in 4:4:4.
      good("Size_97x61", ".mp4", video("-c:v libx264 -pix_fmt yuv444p", "30", "98x62", "97:61"), 30,
           97, 61),
      // As ffmpeg shows them: "rotate=90" stores a display matrix that turns the picture a
      // quarter anticlockwise, so the top left marker ends up bottom left.
      good("Rotated_90", ".mp4", rotated(90), 30, 64, 96, Corner::bottom_left),
      good("Rotated_180", ".mp4", rotated(180), 30, 96, 64, Corner::bottom_right),
      good("Rotated_270", ".mp4", rotated(270), 30, 64, 96, Corner::top_right),
      good("AAC_audio", ".mp4",
           [](const std::string& path) {
             return run_to_end("/usr/bin/ffmpeg",
                               {"-nostdin", "-loglevel", "error",     "-y",
                                "-f",       "lavfi",     "-i",        picture("96x64", "30", ""),
                                "-f",       "lavfi",     "-i",        "sine=d=1",
                                "-c:v",     "libx264",   "-pix_fmt",  "yuv420p",
                                "-c:a",     "aac",       "-shortest", path});
           }),
      // Frames 0-9 a thirtieth of a second apart, then a tenth: 16 frames, 20 per second on
      // average.
      // -fps_mode came with ffmpeg 5.1 and stands for -vsync, which ffmpeg 4 has alone.
      good("Variable_rate", ".mp4",
           first_of({"-vf select='lt(n\\,10)+not(mod(n\\,3))' -fps_mode vfr " + H264,
                     "-vf select='lt(n\\,10)+not(mod(n\\,3))' -vsync vfr " + H264})),
      good("Rate_23_976", ".mp4", video(H264, "24000/1001")),
      good("Rate_60", ".mp4", video(H264, "60"), 60),
      good("Fragmented", ".mp4", video(H264 + " -movflags frag_keyframe+empty_moov")),
      good("Faststart", ".mp4", video(H264 + " -movflags +faststart")),
      good("JPEG_baseline", ".jpg", still()),
      good("JPEG_progressive", ".jpg", still({cv::IMWRITE_JPEG_PROGRESSIVE, 1})),
      good("JPEG_greyscale", ".jpg", still({}, true)),
      good("JPEG_EXIF_rotated", ".jpg", exif_rotated_still, 30, 64, 96, Corner::top_right),
      bad("Zero_bytes_mp4", ".mp4", text("")),
      bad("Zero_bytes_jpg", ".jpg", text("")),
      bad("Text_as_mp4", ".mp4", text("This is not a video.\n")),
      bad("Text_as_jpg", ".jpg", text("This is not a picture.\n")),
      bad("Index_cut_off", ".mp4", index_cut_off),
  };
  for (auto& kind : k) kind.colour = kind.id != "JPEG_greyscale";
  return k;
}

/// Mean brightness of a 4x4 patch one pixel in from a corner.
double corner_brightness(const cv::Mat& bgr, Corner corner) {
  const int x = corner == Corner::top_left || corner == Corner::bottom_left ? 1 : bgr.cols - 5;
  const int y = corner == Corner::top_left || corner == Corner::top_right ? 1 : bgr.rows - 5;
  const cv::Scalar m = cv::mean(bgr(cv::Rect(x, y, 4, 4)));
  return (m[0] + m[1] + m[2]) / 3;
}

struct Arrival {
  sensor_msgs::ImageConstPtr image;
  Clock::time_point at;
};

class MediaKinds : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    ros::NodeHandle node;
    sub_ = node.subscribe("/camera/image", 1000, &MediaKinds::on_image, this,
                          ros::TransportHints().tcpNoDelay());
  }
  void TearDown() override { sub_.shutdown(); }

  void on_image(const sensor_msgs::ImageConstPtr& image) {
    std::lock_guard<std::mutex> lock(mutex_);
    arrivals_.push_back({image, Clock::now()});
    arrived_.notify_all();
  }

  std::vector<Arrival> wait_frames(std::size_t n, std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return arrivals_.size() >= n; });
    return arrivals_;
  }

  ros::Subscriber sub_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Arrival> arrivals_;
};

TEST_P(MediaKinds, ArrivesUprightInBgr8AtItsSizeAndRateOrIsSkipped) {
  const Kind& kind = GetParam();
  vok_test::MediaFolder media("kinds");
  fs::remove(media.path() + "empty.jpg");
  const std::string path = media.path() + "empty" + kind.ext;
  ASSERT_TRUE(kind.make(path)) << "could not make " << path;

  ChildProcess node(vok_test::node_binary(), {"--video_folder", media.path()});
  const auto first_play = node.wait_for_line("^VOK video player: Playing (video )?empty\\.", 20s);
  ASSERT_TRUE(first_play) << "the node did not start playing";
  const std::string named = "VOK video player: Cannot play " + path + ": ";
  const auto named_lines = [&] {
    const auto err = node.err();
    return std::count_if(err.begin(), err.end(),
                         [&](const std::string& l) { return l.rfind(named, 0) == 0; });
  };

  if (kind.rate > 0) {
    const std::size_t wanted = 40;
    const auto frames = wait_frames(wanted, 20s);
    ASSERT_GE(frames.size(), wanted) << "frames arrived: " << frames.size();
    const sensor_msgs::Image& first = *frames.front().image;
    EXPECT_EQ(first.encoding, "bgr8");
    EXPECT_EQ(first.width, static_cast<uint32_t>(kind.width));
    EXPECT_EQ(first.height, static_cast<uint32_t>(kind.height));
    EXPECT_EQ(first.step, first.width * 3);
    const cv::Mat image = cv_bridge::toCvShare(frames.front().image, "bgr8")->image;
    for (Corner c :
         {Corner::top_left, Corner::top_right, Corner::bottom_right, Corner::bottom_left}) {
      const double brightness = corner_brightness(image, c);
      if (c == kind.marker) {
        EXPECT_GT(brightness, 200) << "no marker in corner " << static_cast<int>(c);
      } else {
        EXPECT_LT(brightness, 100) << "the marker is in corner " << static_cast<int>(c);
      }
    }
    if (kind.colour) {
      const cv::Vec3b background = image.at<cv::Vec3b>(image.rows / 2, image.cols - 3);
      EXPECT_GT(background[0], background[2] + 30) << "blue and red swapped: " << background;
    }
    std::vector<double> gaps;
    for (std::size_t i = 1; i < wanted; ++i) {
      gaps.push_back(std::chrono::duration<double>(frames[i].at - frames[i - 1].at).count());
    }
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double median_gap = gaps[gaps.size() / 2];
    EXPECT_NEAR(median_gap, 1.0 / kind.rate, 0.15 / kind.rate) << "median frame gap";
    std::cout << "measured " << kind.id << ": " << first.width << "x" << first.height << " "
              << first.encoding << ", " << 1.0 / median_gap << " frames/s\n";
    EXPECT_EQ(named_lines(), 0);
  } else {
    // Each pass over the bad item is followed by the main loop's idle second; two passes more
    // show that it waits instead of spinning.
    const auto start = Clock::now();
    std::optional<std::size_t> play = first_play;
    for (int pass = 0; pass < 2 && play; ++pass) {
      play =
          node.wait_for_line("^VOK video player: Playing (video )?empty\\.", 10s, false, *play + 1);
    }
    ASSERT_TRUE(play) << "the node did not come back to the bad item";
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), 1.5)
        << "the node spins over the bad item";
    EXPECT_EQ(named_lines(), 1);
    EXPECT_TRUE(wait_frames(1, 0s).empty()) << "a bad file published frames";
  }
  EXPECT_FALSE(node.wait_exit(0ms)) << "the node ended";
  node.signal(SIGINT);
  EXPECT_EQ(node.wait_exit(5s), std::optional<int>(0));
  for (const auto& line : node.err()) {
    if (line.rfind(named, 0) != 0) std::cout << "node stderr: " << line << "\n";
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MediaKinds, ::testing::ValuesIn(kinds()),
                         [](const ::testing::TestParamInfo<Kind>& info) { return info.param.id; });

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "media_kinds_test", 1);
}
