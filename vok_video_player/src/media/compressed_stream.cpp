#include "vok_video_player/media/compressed_stream.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include <boost/make_shared.hpp>
#include <opencv2/imgcodecs.hpp>

namespace vok {

const char* const JPEG_BGR8_FORMAT = "bgr8; jpeg compressed bgr8";

namespace {

/// The encoder's nice value: the raw stream's pace comes first, so on a busy machine it is the
/// compressed stream that waits or drops a picture, not the player's thread a frame.
constexpr int ENCODER_NICENESS = 10;

}  // namespace

CompressedStream::CompressedStream(ros::NodeHandle node, const std::string& raw_topic, int quality)
    // The subtopic of the raw topic as resolved, so that a remapped camera brings its
    // compressed stream along, as image_transport's publishers do.
    : publisher_(node.advertise<sensor_msgs::CompressedImage>(
          node.resolveName(raw_topic) + "/compressed", 1)),
      quality_(quality),
      encoder_([this] { encode_pictures(); }) {}

CompressedStream::~CompressedStream() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  encoder_.join();
}

void CompressedStream::offer(const Frame& frame, uint64_t picture, const std_msgs::Header& header,
                             bool stamped) {
  if (publisher_.getNumSubscribers() == 0) return;
  sensor_msgs::CompressedImageConstPtr again;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (picture == last_picture_ && last_) {
      again = last_;
    } else if (picture != encoding_picture_ && picture != waiting_picture_) {
      // Copied now, before the raw publication hands the frame to roscpp: the encoder never
      // reads a buffer that roscpp may be sending or freeing.
      frame.pixels().copyTo(waiting_);
      waiting_header_ = header;
      const bool was_idle = waiting_picture_ == 0;
      waiting_picture_ = picture;
      if (was_idle) changed_.notify_one();
    }
  }
  if (!again) return;
  // A message once published is never changed; a replay under a header of its own is a copy.
  if (stamped) {
    auto stamped_again = boost::make_shared<sensor_msgs::CompressedImage>(*again);
    stamped_again->header = header;
    again = stamped_again;
  }
  publisher_.publish(again);
}

void CompressedStream::encode_pictures() {
  // Linux gives each thread a nice value of its own; raising it needs no privilege.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), ENCODER_NICENESS);
  const std::vector<int> params = {cv::IMWRITE_JPEG_QUALITY, quality_};
  cv::Mat pixels;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || waiting_picture_ != 0; });
    if (stopping_) return;
    std::swap(pixels, waiting_);
    const std_msgs::Header header = waiting_header_;
    encoding_picture_ = waiting_picture_;
    waiting_picture_ = 0;
    lock.unlock();

    const auto message = boost::make_shared<sensor_msgs::CompressedImage>();
    message->header = header;
    message->format = JPEG_BGR8_FORMAT;
    const bool done = cv::imencode(".jpg", pixels, message->data, params);
    if (done) publisher_.publish(sensor_msgs::CompressedImageConstPtr(message));
    encoded_.fetch_add(1);

    lock.lock();
    if (done) {
      last_ = message;
      last_picture_ = encoding_picture_;
    }
    encoding_picture_ = 0;
  }
}

}  // namespace vok
