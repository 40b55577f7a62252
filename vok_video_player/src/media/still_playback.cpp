#include <sys/stat.h>

#include <optional>
#include <stdexcept>

#include "vok_video_player/media/media_source.h"
#include "vok_video_player/player/vok_video_player.h"

namespace vok {

Frame VOKVideoPlayer::load_still(const std::string& path, std::string& problem, bool& cut_short) {
  // A still replayed as it is (the "empty" item while no pose comes, a one-item playlist) skips
  // the decode, which at 1080p takes much of the period it has to fit in.
  const std::optional<FileStamp> stamp = file_stamp(path);
  if (stamp && last_still_.image && last_still_.path == path && last_still_.stamp == *stamp)
    return std::move(last_still_.image);
  last_still_ = {};
  StillPicture picture = load_still_picture(path);
  problem = picture.problem;
  cut_short = picture.cut_short;
  if (!stamp && problem.empty()) problem = "the file is missing or cannot be decoded as an image";
  if (!problem.empty()) return {};
  // Converted once, straight into the form it is published in: every tick hands roscpp the same
  // bytes, which it sends as they are instead of serializing the image again for each
  // publication.
  Frame image;
  if (const auto failed = guarded([&] { image = bridge.frame_of(picture.image); })) {
    problem = *failed;
    return {};
  }
  last_still_.path = path;
  last_still_.stamp = *stamp;
  return image;
}

bool VOKVideoPlayer::play_still(const std::string& still_name, double duration, int fps) {
  if (fps <= 0) throw std::invalid_argument("a still plays at a rate above 0 frames per second");
  const Location video_location = location.load();

  const std::string path = video_folder_path + still_name + ".jpg";
  // The player's own copy of the still, never handed to roscpp; handed back on every way out,
  // for the next play of the same file.
  std::string problem;
  bool cut_short = false;
  Frame still = load_still(path, problem, cut_short);
  struct KeepForReplay {
    LoadedStill& slot;
    Frame& image;
    ~KeepForReplay() {
      if (image) slot.image = std::move(image);
    }
  } keep{last_still_, still};
  // What each tick publishes. In wire form roscpp writes each publication's sequence number into
  // the buffer it is given and sends it from threads of its own, which free it once done; so it
  // is given a copy, taken anew only while it still holds the last one. A message for
  // subscribers in this process is shared as it is, and copied only for a stamp of its own:
  // they may keep what they received. The still itself is never read while roscpp has it.
  const bool shared = bridge.in_process() && !camera_.stamped();
  Frame image_msg;
  const auto next_publication = [&] {
    if (shared) {
      image_msg = still;
    } else if (!image_msg || image_msg.in_use() || bridge.in_process()) {
      image_msg = still.copy();
    }
  };
  // The first publication's copy is made while the item is got ready, so that the first frame
  // leaves on time: at 1080p the copy takes milliseconds.
  if (still) next_publication();

  if (!item_due(video_location)) return false;
  ROS_INFO("VOK video player: Playing %s.jpg", still_name.c_str());
  if (!still) {
    report_bad_item(path, problem);
    return false;
  }
  clear_bad_item(path);
  warn_if_too_big(path, still_name + ".jpg", still.cols, still.rows, fps);
  if (cut_short && cut_short_items_.insert(path).second) {
    ROS_WARN(
        "VOK video player: %s.jpg is cut short: its data ends before the picture does, and the "
        "rest of it shows grey",
        still_name.c_str());
  }

  const uint64_t picture = next_picture();
  const std::string item = still_name + ".jpg";
  const auto ticks = static_cast<long>(duration * fps);
  for (long i = 0; i < ticks; ++i) {
    if (i > 0 && !frame_due(video_location)) return false;
    if (i > 0) next_publication();
    publish(image_msg, fps, i == 0, picture, item);
  }
  return true;
}

}  // namespace vok
