#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_TEST_MEDIA_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_TEST_MEDIA_H

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "vok_video_player/site/site_tables.h"

namespace vok_test {

/// \brief Media whose frames say what they are: blue codes the item, green the frame index of a
/// video (and 200 for a still), red tells stills (50) from video frames (150).
struct FrameCode {
  int item;
  int frame;  // -1 for a still
};

inline cv::Scalar still_colour(int item) { return cv::Scalar(item * 16 + 8, 200, 50); }
inline cv::Scalar video_colour(int item, int frame) {
  return cv::Scalar(item * 16 + 8, frame * 8 + 4, 150);
}

/// \brief Reads the code back from a frame's centre pixel.
inline FrameCode decode_frame(const cv::Mat& bgr) {
  const cv::Vec3b p = bgr.at<cv::Vec3b>(bgr.rows / 2, bgr.cols / 2);
  const int item = static_cast<int>(std::lround((p[0] - 8) / 16.0));
  if (p[2] < 100) return {item, -1};
  return {item, static_cast<int>(std::lround((p[1] - 4) / 8.0))};
}

inline void write_still(const std::string& path, int item, int size = 64) {
  cv::imwrite(path, cv::Mat(size, size, CV_8UC3, still_colour(item)));
}

inline bool write_video(const std::string& path, int item, int frames, double fps, int size = 64) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), fps,
                         cv::Size(size, size));
  if (!writer.isOpened()) return false;
  for (int i = 0; i < frames; ++i)
    writer.write(cv::Mat(size, size, CV_8UC3, video_colour(item, i)));
  return true;
}

/// \brief A small real JPEG whose frame header is changed to claim `width` x `height`: a few
/// hundred bytes that libjpeg decodes as that size, grey where the data runs out, as a file
/// from the web whose header lies.
inline std::string header_claiming(int width, int height) {
  std::vector<uchar> bytes;
  cv::imencode(".jpg", cv::Mat(16, 16, CV_8UC3, cv::Scalar(40, 80, 120)), bytes);
  std::string jpeg(bytes.begin(), bytes.end());
  const std::size_t sof = jpeg.find("\xFF\xC0");
  if (sof == std::string::npos || sof + 9 > jpeg.size()) return {};
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width);
  return jpeg;
}

/// \brief A temporary media folder holding a still for every required name (item codes follow
/// the names' order), removed with the object.
class MediaFolder {
 public:
  explicit MediaFolder(const std::string& tag) {
    dir_ = std::filesystem::temp_directory_path() /
           ("vok_media_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    names_ = vok::required_media_names();
    for (std::size_t i = 0; i < names_.size(); ++i) {
      write_still(path() + vok::file_stem(names_[i]) + ".jpg", static_cast<int>(i));
    }
  }
  ~MediaFolder() { std::filesystem::remove_all(dir_); }

  /// \brief The folder path, ending in "/".
  std::string path() const { return dir_.string() + "/"; }
  /// \brief The item code of a media name.
  int item(const std::string& name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) return static_cast<int>(i);
    }
    return -1;
  }
  /// \brief Replaces the name's still by a video of `frames` frames at `fps`.
  bool make_video(const std::string& name, int frames, double fps) {
    std::filesystem::remove(path() + name + ".jpg");
    return write_video(path() + name + ".mp4", item(name), frames, fps);
  }

 private:
  std::filesystem::path dir_;
  vok::MediaList names_;
};

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_TEST_MEDIA_H
