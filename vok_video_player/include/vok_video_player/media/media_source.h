#ifndef VOK_VIDEO_PLAYER_MEDIA_MEDIA_SOURCE_H
#define VOK_VIDEO_PLAYER_MEDIA_MEDIA_SOURCE_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "vok_video_player/media/clip_rotation.h"

namespace vok {

// Everything the player reads from a media file goes through this file: a file can hold
// anything, and nothing in it may end the node. What OpenCV or FFmpeg throws on the way becomes
// the item's problem, which the player names and skips like any other bad item.

/// \brief Runs `work`, turning whatever it throws into the text of the problem; nothing when it
/// ran through.
std::optional<std::string> guarded(const std::function<void()>& work);

/// \brief A file as it stands on disk: a file written anew or replaced differs in one of these.
struct FileStamp {
  uint64_t device = 0, inode = 0;
  int64_t size = 0, mtime_ns = 0;
  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && mtime_ns == o.mtime_ns;
  }
};

/// \brief The stamp of the file at `path` (links followed); nothing when there is none.
std::optional<FileStamp> file_stamp(const std::string& path);

/// \brief A still's picture, or why it cannot be played.
struct StillPicture {
  /// \brief 8-bit BGR, turned as its EXIF orientation says; empty when it cannot be played.
  cv::Mat image;
  /// \brief Why it cannot be played; empty when it can.
  std::string problem;
  /// \brief A JPEG whose data ends before its picture does; what was there is decoded.
  bool cut_short = false;
};

/// \brief Reads the still at `path`. Its size comes from its header before any pixel is decoded:
/// a picture larger than MAX_FRAME_PIXELS, one that is not a JPEG or PNG, and anything that is
/// not a regular file are refused without decoding.
StillPicture load_still_picture(const std::string& path);

/// \brief A video file open for playback through OpenCV's FFmpeg backend.
class VideoSource {
 public:
  /// \brief What a read gave.
  enum class Read { frame, end, failed };

  /// \brief Opens `path` and reads what playback needs to know before the first frame; a clip
  /// whose frames would be larger than MAX_FRAME_PIXELS is refused there, before a frame is read.
  explicit VideoSource(const std::string& path);
  ~VideoSource();

  VideoSource(const VideoSource&) = delete;
  VideoSource& operator=(const VideoSource&) = delete;

  /// \brief Why the clip cannot be played (open, size or a failed read); empty while it can.
  const std::string& problem() const { return problem_; }

  /// \brief The clip's rate as its container gives it (0 or absurd values included).
  double file_fps() const { return file_fps_; }
  /// \brief The container's frame count, 0 where it gives none.
  double frame_count() const { return frame_count_; }
  /// \brief The frame height as shown, after the clip's rotation; at least 1.
  int rows() const { return rows_; }
  /// \brief The frame width as shown; at least 1.
  int cols() const { return cols_; }
  /// \brief False where this OpenCV cannot read a clip's rotation.
  bool rotation_known() const { return rotation_.known; }

  /// \brief Decodes the next frame, upright, into `frame`: into its own pixels when the frame
  /// has the announced shape, or into new ones otherwise. After `failed`, problem() says why.
  Read read(cv::Mat& frame);

 private:
  cv::VideoCapture capture_;
  ClipRotation rotation_;
  std::string problem_;
  double file_fps_ = 0, frame_count_ = 0;
  int rows_ = 1, cols_ = 1;
  cv::Mat stored_;  // a turned clip's frame as the file stores it
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_MEDIA_SOURCE_H
