#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include <opencv2/core.hpp>

#include "vok_video_player/media/clip_prefetch.h"
#include "vok_video_player/media/decode_lead.h"
#include "vok_video_player/media/media_source.h"
#include "vok_video_player/player/vok_video_player.h"

namespace vok {

namespace {

// Some variable-rate files report absurd rates (90000); above this the rate is not believed.
constexpr double MAX_TRUSTED_FPS = 240.0;

/// Reads one byte of every cache line of the frame's pixels, so that they are in the cache when
/// roscpp sends them: a frame decoded a second ago would otherwise be read from memory then.
void warm_up(const Frame& frame) {
  const cv::Mat pixels = frame.pixels();
  const auto* data = static_cast<const volatile uchar*>(pixels.data);
  const std::size_t size = pixels.total() * pixels.elemSize();
  unsigned sum = 0;
  for (std::size_t i = 0; i < size; i += 64) sum += data[i];
  (void)sum;
}

}  // namespace

bool VOKVideoPlayer::play_video(const std::string& video_name) {
  std::optional<VideoSource::Read> ret;
  const Location video_location = location.load();

  const std::string path = video_folder_path + video_name + ".mp4";
  std::optional<PreparedClip> prepared = prefetch_.take(path);
  std::unique_ptr<VideoSource> clip =
      prepared ? std::move(prepared->clip) : std::make_unique<VideoSource>(path);
  const bool opened = clip->problem().empty();
  const double file_fps = clip->file_fps();
  const bool rate_trusted = !opened || (std::isfinite(file_fps) && file_fps <= MAX_TRUSTED_FPS);
  const double rate = std::max(30.0, rate_trusted ? file_fps : 30.0);
  // The container's frame count, where it gives one, tells which frame should be the last.
  const double frame_count = clip->frame_count();

  // Frames are decoded straight into the pixels of a message in wire form, which roscpp sends as
  // it is, so there is no copy between decoder and socket. Each frame is decoded just before it
  // is due: its publication then waits only for the clock, not for a decode whose length varies,
  // and the decoder leaves the machine to the sending of the frame before it. Two buffers take
  // turns, so the one being filled is never the one roscpp may still be sending (in a nodelet
  // manager, where subscribers may keep what they receive, each frame is a message of its own).
  // They are the
  // player's and outlive the play: taken and freed anew at every item, next to the still kept
  // for a replay, they left the heap in pieces, and now and then a frame no longer fitted in
  // what was free and the heap grew by one.
  auto& image_msgs = video_frames_;
  DecodeLead lead;
  const auto decode = [&](Frame& image_msg) {
    const auto started = std::chrono::steady_clock::now();
    ret = read_frame(*clip, bridge, image_msg);
    lead.record(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return *ret == VideoSource::Read::frame;
  };

  // The first frame is ready by now when the clip was prepared while the item before played;
  // else it is decoded while the item before still has its last period to run.
  bool decoded = false;
  if (prepared) {
    ret = prepared->read;
    if (ret) lead.record(prepared->decode_seconds);
    std::swap(image_msgs[0], prepared->first);
    spare_frames_[0] = std::move(prepared->first);
    if (prepared->second) {
      std::swap(image_msgs[1], prepared->second);
      spare_frames_[1] = std::move(prepared->second);
    }
    decoded = ret == VideoSource::Read::frame;
    if (decoded) warm_up(image_msgs[0]);
  } else {
    decoded = opened && decode(image_msgs[0]);
  }
  const bool started = item_due(video_location);
  if (started) ROS_INFO("VOK video player: Playing video %s.mp4", video_name.c_str());
  if (started && !rate_trusted) {
    ROS_WARN("VOK video player: %s reports a frame rate of %g; playing it at 30", path.c_str(),
             file_fps);
  }
  if (started && !opened) report_bad_item(path, clip->problem());
  if (started && decoded) {
    warn_if_too_big(path, video_name + ".mp4", image_msgs[0].cols, image_msgs[0].rows, rate);
    if (!clip->rotation_known()) warn_unturned(path, video_name + ".mp4");
  }
  long frames = 0;
  const std::string item = video_name + ".mp4";
  while (started && decoded) {
    publish(image_msgs[frames % 2], rate, frames == 0, next_picture(), item);
    ++frames;
    // Where this may have been the last frame, the end is looked for at once, so that the next
    // item has the whole period to get ready; other frames are decoded just before they are due.
    if (frames < frame_count) stream_clock_.wait_before_due(lead.seconds());
    // A change of room or a stop seen by now ends the item after this frame, with no further
    // frame read.
    decoded =
        still_in(video_location) && decode(image_msgs[frames % 2]) && frame_due(video_location);
  }
  const bool failed = ret == VideoSource::Read::failed;
  if (started && failed) {
    // A decoder that gives up part-way ends the item there; the clip is named once.
    report_bad_item(path, clip->problem());
  } else if (frames > 0) {
    clear_bad_item(path);
  } else if (started && ret) {
    report_bad_item(path, "no frame of it can be decoded");
  }
  // Closing a clip joins its decoder's threads: the prefetch's thread does it a few frames into
  // the next item. A clip before it that is still open (a one-frame item) is closed now.
  prefetch_.dispose(std::move(played_clip_));
  played_clip_ = std::move(clip);
  return !ret || *ret != VideoSource::Read::frame;
}

}  // namespace vok
