#ifndef VOK_VIDEO_PLAYER_MEDIA_CLIP_PREFETCH_H
#define VOK_VIDEO_PLAYER_MEDIA_CLIP_PREFETCH_H

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "vok_video_player/media/image_bridge.h"
#include "vok_video_player/media/media_source.h"

namespace vok {

/// \brief Decodes the next frame of `clip` into `frame`, shaped by `bridge`: into the frame's own
/// pixels when the clip gives the shape it announced, or as a fresh frame otherwise.
VideoSource::Read read_frame(VideoSource& clip, const ImageBridge& bridge, Frame& frame);

/// \brief A clip opened and its first frame decoded ahead of its play.
struct PreparedClip {
  std::unique_ptr<VideoSource> clip;
  /// \brief The first frame; valid when `read` is Read::frame.
  Frame first;
  /// \brief What reading the first frame gave; nothing when the clip did not open.
  std::optional<VideoSource::Read> read;
  /// \brief For frames in wire form, one of the clip's shape for the frame after the first, its
  /// pages touched: a buffer of a new size would otherwise fault its pages in on the player's
  /// thread while the first frame is being sent.
  Frame second;
  /// \brief How long the first frame's decoding took (s).
  double decode_seconds = 0;
};

/// \brief Gets the next clip ready while the item before plays. Opening a clip and decoding its
/// first frame take longer than a frame period at 1080p (the decoder's threads start and fill
/// their pipeline), and closing one joins those threads: done between two items, they would
/// stretch that interval. A thread of its own opens the clip, decodes its first frame and closes
/// the clips that have played; it touches nothing but those clips and the frames it is given.
class ClipPrefetch {
 public:
  /// \brief `bridge` shapes the frames and outlives the prefetch; it is not changed meanwhile.
  explicit ClipPrefetch(const ImageBridge& bridge) : bridge_(bridge) {}
  /// \brief Ends the thread after the work in hand, closing every clip it holds.
  ~ClipPrefetch();

  ClipPrefetch(const ClipPrefetch&) = delete;
  ClipPrefetch& operator=(const ClipPrefetch&) = delete;

  /// \brief Opens `path` and decodes its first frame into `spare`, and shapes `spare_second`
  /// for the frame after it (both reused where they fit), ahead of time. Replaces an earlier
  /// request that nobody took; one for the same file is kept.
  void prepare(const std::string& path, Frame spare, Frame spare_second = {});

  /// \brief The clip prepared for `path`, once ready, when that was the last request and the file
  /// has not changed since it was opened; nothing otherwise (the caller opens it itself).
  std::optional<PreparedClip> take(const std::string& path);

  /// \brief Closes `clip` on the prefetch's thread.
  void dispose(std::unique_ptr<VideoSource> clip);

 private:
  void run();
  void start_thread();  // caller holds mutex_

  const ImageBridge& bridge_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::string wanted_;                 // the path asked for last; empty for none
  bool pending_ = false;               // `wanted_` is yet to be prepared
  bool working_ = false;               // the thread is preparing a clip
  Frame spare_, spare_second_;         // the frames to make ready
  std::optional<FileStamp> stamp_;     // of the prepared file as it was opened
  std::optional<PreparedClip> ready_;  // prepared for `wanted_`
  std::deque<std::unique_ptr<VideoSource>> to_close_;
  std::thread thread_;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_CLIP_PREFETCH_H
