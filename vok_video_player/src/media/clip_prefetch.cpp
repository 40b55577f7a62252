#include "vok_video_player/media/clip_prefetch.h"

#include <pthread.h>

#include <chrono>
#include <utility>

namespace vok {

VideoSource::Read read_frame(VideoSource& clip, const ImageBridge& bridge, Frame& frame) {
  cv::Mat view = bridge.frame_view(frame, clip.rows(), clip.cols());
  const uchar* buffer = view.data;
  VideoSource::Read read = clip.read(view);
  if (read == VideoSource::Read::frame && view.data != buffer) {
    // The decoder gave another shape than announced; convert as a fresh frame.
    if (guarded([&] { frame = bridge.frame_of(view); })) read = VideoSource::Read::end;
  }
  return read;
}

ClipPrefetch::~ClipPrefetch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ClipPrefetch::start_thread() {
  if (thread_.joinable()) return;
  thread_ = std::thread(&ClipPrefetch::run, this);
  pthread_setname_np(thread_.native_handle(), "vok_prefetch");
}

void ClipPrefetch::prepare(const std::string& path, Frame spare, Frame spare_second) {
  std::unique_ptr<VideoSource> unwanted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path == wanted_) return;
    if (ready_) unwanted = std::move(ready_->clip);
    ready_.reset();
    wanted_ = path;
    pending_ = true;
    spare_ = std::move(spare);
    spare_second_ = std::move(spare_second);
    if (unwanted) to_close_.push_back(std::move(unwanted));
    start_thread();
  }
  changed_.notify_all();
}

std::optional<PreparedClip> ClipPrefetch::take(const std::string& path) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wanted_ != path) return std::nullopt;
  changed_.wait(lock, [&] { return stopping_ || (!pending_ && !working_); });
  wanted_.clear();
  if (!ready_) return std::nullopt;
  PreparedClip prepared = std::move(*ready_);
  ready_.reset();
  const std::optional<FileStamp> opened = stamp_;
  lock.unlock();
  // Replaced or rewritten since it was opened: the player opens the file as it is now.
  if (!(file_stamp(path) == opened)) {
    dispose(std::move(prepared.clip));
    return std::nullopt;
  }
  return prepared;
}

void ClipPrefetch::dispose(std::unique_ptr<VideoSource> clip) {
  if (!clip) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to_close_.push_back(std::move(clip));
    start_thread();
  }
  changed_.notify_all();
}

void ClipPrefetch::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (!to_close_.empty()) {
      std::unique_ptr<VideoSource> clip = std::move(to_close_.front());
      to_close_.pop_front();
      lock.unlock();
      clip.reset();
      lock.lock();
      continue;
    }
    if (!pending_) {
      changed_.wait(lock);
      continue;
    }
    pending_ = false;
    working_ = true;
    const std::string path = wanted_;
    Frame frame = std::move(spare_), second = std::move(spare_second_);
    lock.unlock();

    const std::optional<FileStamp> stamp = file_stamp(path);
    PreparedClip prepared;
    prepared.clip = std::make_unique<VideoSource>(path);
    if (prepared.clip->problem().empty()) {
      const auto started = std::chrono::steady_clock::now();
      prepared.read = read_frame(*prepared.clip, bridge_, frame);
      prepared.decode_seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      prepared.first = std::move(frame);
      if (prepared.read == VideoSource::Read::frame && !bridge_.in_process()) {
        guarded([&] {
          bridge_.frame_view(second, prepared.clip->rows(), prepared.clip->cols()).setTo(0);
          prepared.second = std::move(second);
        });
      }
    }

    lock.lock();
    working_ = false;
    if (wanted_ == path && !pending_) {
      ready_ = std::move(prepared);
      stamp_ = stamp;
    } else {
      to_close_.push_back(std::move(prepared.clip));
    }
    changed_.notify_all();
  }
}

}  // namespace vok
