// Reading media files as the player does: what a file claims or holds never decodes past the
// frame size limit, never blocks and never throws.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "../rtest/test_media.h"
#include "vok_video_player/media/media_source.h"

namespace vok {
namespace {

namespace fs = std::filesystem;

class MediaSource : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vok_media_source_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
    return path(name);
  }

  static std::string jpeg_bytes(bool progressive = false) {
    cv::Mat picture(480, 640, CV_8UC3);
    cv::randu(picture, 0, 255);
    std::vector<uchar> bytes;
    cv::imencode(".jpg", picture, bytes, {cv::IMWRITE_JPEG_PROGRESSIVE, progressive ? 1 : 0});
    return std::string(bytes.begin(), bytes.end());
  }

  fs::path dir_;
};

TEST_F(MediaSource, StillsBeyondTheLimitAreRefusedByTheirHeaderWithoutDecoding) {
  for (const auto& [width, height] : {std::pair{30000, 30000}, std::pair{65500, 65500}}) {
    const StillPicture still =
        load_still_picture(write("huge.jpg", vok_test::header_claiming(width, height)));
    EXPECT_TRUE(still.image.empty());
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    EXPECT_NE(still.problem.find("it is " + size), std::string::npos) << still.problem;
  }
}

TEST_F(MediaSource, CutShortJpegsPlayWhatTheyHoldAndSaySo) {
  for (const bool progressive : {false, true}) {
    const std::string whole = jpeg_bytes(progressive);
    const StillPicture cut =
        load_still_picture(write("cut.jpg", whole.substr(0, whole.size() / 2)));
    EXPECT_TRUE(cut.problem.empty()) << cut.problem;
    EXPECT_EQ(cut.image.size(), cv::Size(640, 480));
    EXPECT_TRUE(cut.cut_short) << "progressive " << progressive;
    // Bytes after the end marker, as some cameras write them, are no cut.
    const StillPicture padded =
        load_still_picture(write("padded.jpg", whole + std::string("\0\0\0\xFF", 4)));
    EXPECT_TRUE(padded.problem.empty()) << padded.problem;
    EXPECT_FALSE(padded.cut_short) << "progressive " << progressive;
  }
}

TEST_F(MediaSource, WhatIsNoPictureIsRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo(path("pipe.jpg").c_str(), 0644), 0);
  EXPECT_EQ(load_still_picture(path("pipe.jpg")).problem, "it is not a regular file");
  EXPECT_EQ(load_still_picture("/dev/zero").problem, "it is not a regular file");
  EXPECT_EQ(load_still_picture(write("text.jpg", "not a picture")).problem,
            "it is not a JPEG or PNG picture");
  EXPECT_FALSE(load_still_picture(path("missing.jpg")).problem.empty());
  cv::Mat picture(40, 60, CV_8UC3, cv::Scalar(1, 2, 3));
  ASSERT_TRUE(cv::imwrite(path("png.png"), picture));
  fs::rename(path("png.png"), path("png.jpg"));
  EXPECT_EQ(load_still_picture(path("png.jpg")).image.size(), cv::Size(60, 40));
}

TEST_F(MediaSource, ClipsBeyondTheLimitAreRefusedBeforeTheirFirstFrame) {
  const std::string clip = path("huge.mp4");
  {
    cv::VideoWriter writer(clip, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30,
                           cv::Size(8000, 7000));
    ASSERT_TRUE(writer.isOpened());
    writer.write(cv::Mat(7000, 8000, CV_8UC3, cv::Scalar::all(90)));
  }
  VideoSource huge(clip);
  EXPECT_NE(huge.problem().find("it is 8000x7000"), std::string::npos) << huge.problem();
  cv::Mat frame;
  EXPECT_EQ(huge.read(frame), VideoSource::Read::failed);
  EXPECT_TRUE(frame.empty());

  VideoSource text(write("text.mp4", "not a video"));
  EXPECT_EQ(text.problem(), "the file cannot be opened as a video");
  EXPECT_EQ(text.read(frame), VideoSource::Read::failed);
}

}  // namespace
}  // namespace vok
