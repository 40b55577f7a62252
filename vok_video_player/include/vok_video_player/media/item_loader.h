#ifndef VOK_VIDEO_PLAYER_MEDIA_ITEM_LOADER_H
#define VOK_VIDEO_PLAYER_MEDIA_ITEM_LOADER_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "vok_video_player/media/image_bridge.h"

namespace vok {

/// \brief What tells one version of a file from another: a replaced or rewritten file differs
/// in at least one field.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;

  bool operator==(const FileStamp& other) const;
};

/// \brief The stamp of the file at `path`, or none when it cannot be read.
std::optional<FileStamp> file_stamp(const std::string& path);

/// \brief A still loaded and converted: `frame` is empty when the file cannot be decoded.
struct PreparedStill {
  cv::Mat frame;
  SerializedImage message;
};

/// \brief A video opened with its first frame decoded into `first`.
struct PreparedVideo {
  std::unique_ptr<cv::VideoCapture> capture;
  double fps = 0;          ///< as the container gives it
  double frame_count = 0;  ///< as the container gives it; 0 or less when unknown
  int rows = 1;            ///< the announced frame shape, at least 1 x 1
  int cols = 1;
  SerializedImage first;
  bool decoded = false;         ///< the first frame was read
  double decode_seconds = 0.0;  ///< how long the first frame took to decode
};

/// \brief A media item got ready to play: a ".jpg" as a still, anything else as a video.
struct PreparedItem {
  std::string path;
  std::optional<FileStamp> stamp;  ///< the file as it was when getting ready began
  PreparedStill still;
  PreparedVideo video;
};

/// \brief Loads and converts a still, or opens a video and decodes its first frame.
PreparedItem prepare_item(const std::string& path, const ImageBridge& bridge);

/// \brief Decodes the capture's next frame straight into `message`, shaped `rows` x `cols`;
/// a frame of another shape is converted into a fresh message. \return false at the end
bool decode_frame(cv::VideoCapture& capture, SerializedImage& message, int rows, int cols,
                  const ImageBridge& bridge);

/// \brief Gets the next media item ready on a thread of its own while the current one plays.
///
/// Opening a 1080p file and decoding its first frame can take longer than a frame period;
/// done while the item before plays, it no longer delays the first frame. One item is got ready
/// at a time, and what the thread does is seen only through take(); it draws nothing and logs
/// nothing.
class ItemLoader {
 public:
  ItemLoader();
  ~ItemLoader();
  ItemLoader(const ItemLoader&) = delete;
  ItemLoader& operator=(const ItemLoader&) = delete;

  /// \brief Starts getting the item at `path` ready, in place of any other not yet taken.
  void ahead(const std::string& path);

  /// \brief The item at `path`, ready to play: the one got ready ahead, once it is, when it is
  /// that file and the file has not changed since; otherwise one got ready now.
  PreparedItem take(const std::string& path);

 private:
  void run();

  ImageBridge bridge_;
  std::mutex mutex_;
  std::condition_variable asked_;
  std::condition_variable done_;
  std::string wanted_;                 // the path asked for ahead, empty when none
  uint64_t request_ = 0;               // counts the requests, so a stale result is dropped
  std::optional<PreparedItem> ready_;  // the result for the latest request
  bool stopping_ = false;
  std::thread thread_;  // last: it starts once the fields above exist
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_ITEM_LOADER_H
