#include "vok_video_player/media/item_loader.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include <opencv2/imgcodecs.hpp>

namespace vok {

namespace {

bool is_still_path(const std::string& path) {
  const std::string ext = ".jpg";
  return path.size() >= ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
}

}  // namespace

bool FileStamp::operator==(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified_ns == other.modified_ns;
}

std::optional<FileStamp> file_stamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

bool decode_frame(cv::VideoCapture& capture, SerializedImage& message, int rows, int cols,
                  const ImageBridge& bridge) {
  cv::Mat frame = bridge.bgr8_view(message, rows, cols);
  const uchar* buffer = frame.data;
  if (!capture.read(frame)) return false;
  // The decoder gave another shape than announced; convert as a fresh message.
  if (frame.data != buffer) message = bridge.serialized_bgr8(frame);
  return true;
}

PreparedItem prepare_item(const std::string& path, const ImageBridge& bridge) {
  PreparedItem item;
  item.path = path;
  // Stamped before reading, so that a change while it is read shows as a change.
  item.stamp = file_stamp(path);
  if (is_still_path(path)) {
    item.still.frame = cv::imread(path, cv::IMREAD_COLOR);
    // Converted once, straight into its wire form: every tick hands roscpp the same bytes.
    if (!item.still.frame.empty()) item.still.message = bridge.serialized_bgr8(item.still.frame);
    return item;
  }
  PreparedVideo& video = item.video;
  video.capture = std::make_unique<cv::VideoCapture>(path, cv::CAP_FFMPEG);
  video.fps = video.capture->get(cv::CAP_PROP_FPS);
  video.frame_count = video.capture->get(cv::CAP_PROP_FRAME_COUNT);
  video.rows = std::max(static_cast<int>(video.capture->get(cv::CAP_PROP_FRAME_HEIGHT)), 1);
  video.cols = std::max(static_cast<int>(video.capture->get(cv::CAP_PROP_FRAME_WIDTH)), 1);
  if (video.capture->isOpened()) {
    const auto started = std::chrono::steady_clock::now();
    video.decoded = decode_frame(*video.capture, video.first, video.rows, video.cols, bridge);
    video.decode_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  }
  return item;
}

ItemLoader::ItemLoader() : thread_([this] { run(); }) {}

ItemLoader::~ItemLoader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  asked_.notify_all();
  thread_.join();
}

void ItemLoader::ahead(const std::string& path) {
  std::optional<PreparedItem> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (wanted_ == path) return;
    wanted_ = path;
    ++request_;
    dropped = std::move(ready_);
    ready_.reset();
  }
  asked_.notify_all();
  // `dropped` (an open decoder, perhaps) is released here, outside the lock.
}

PreparedItem ItemLoader::take(const std::string& path) {
  std::optional<PreparedItem> item;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!path.empty() && wanted_ == path) {
      done_.wait(lock, [this] { return ready_.has_value() || stopping_; });
    }
    item = std::move(ready_);
    ready_.reset();
    wanted_.clear();
    ++request_;
  }
  if (item && item->path == path && item->stamp && item->stamp == file_stamp(path)) {
    return std::move(*item);
  }
  item.reset();
  return prepare_item(path, bridge_);
}

void ItemLoader::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  uint64_t served = 0;
  for (;;) {
    asked_.wait(lock, [&] { return stopping_ || request_ != served; });
    if (stopping_) return;
    served = request_;
    if (wanted_.empty()) continue;
    const std::string path = wanted_;
    lock.unlock();
    std::optional<PreparedItem> item = prepare_item(path, bridge_);
    lock.lock();
    if (request_ == served) {
      ready_ = std::move(item);
      done_.notify_all();
    } else {
      // Asked for something else meanwhile: this one goes, outside the lock.
      lock.unlock();
      item.reset();
      lock.lock();
    }
  }
}

}  // namespace vok
