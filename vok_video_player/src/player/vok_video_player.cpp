#include "vok_video_player/player/vok_video_player.h"

#include <iostream>
#include <stdexcept>

#include "vok_video_player/common/random.h"
#include "vok_video_player/common/text_format.h"
#include "vok_video_player/media/clip_rotation.h"
#include "vok_video_player/media/frame_size.h"
#include "vok_video_player/player/dice.h"
#include "vok_video_player/site/location_generation.h"

namespace vok {

namespace {

void print(const std::string& line) { std::cout << line << std::endl; }

}  // namespace

Location location_of(const std::string& room) { return static_cast<unsigned char>(room.at(0)); }

VOKVideoPlayer::VOKVideoPlayer(const std::string& video_folder, const Args& args, PlayerPlace place)
    : node_(place.node),
      video_folder_path(video_folder),
      compressed_pub(place.node, "/camera/image"),
      to_play(own_playlist({EMPTY_NAME})),
      probability(0.6),
      location(NO_ROOM),
      room_assignment{{"A", "Pantry"},     {"B", "Guest room 1"}, {"C", "Guest room 2"},
                      {"D", "Front Desk"}, {"E", "Lobby"},        {"F", "Guest room 3"}},
      args(args),
      camera_(node_, place.private_node, "/camera/image") {
  if (is_digit_text(args.seed)) random_.seed_from_digits(args.seed);
  bridge.set_form(place.in_process, camera_.frame_id());
  // Every field is set before the subscription exists, so the callback never sees a half-built
  // player.
  image_pub = node_.advertise<sensor_msgs::Image>("/camera/image", 1);
  pose_sub = node_.subscribe("/amcl_pose", POSE_QUEUE_SIZE, &VOKVideoPlayer::pose_callback, this);
}

std::vector<std::pair<double, double>> VOKVideoPlayer::gen_locations(int n_locations,
                                                                     double radius) {
  return vok::gen_locations(random_, n_locations, radius);
}

void VOKVideoPlayer::pose_callback(const geometry_msgs::PoseWithCovarianceStamped::ConstPtr& msg) {
  const auto& pose = msg->pose.pose.position;
  std::string room;
  for (const auto& r : ROOMS) {
    if (in_room(pose, r)) {
      room = r;
      break;
    }
  }

  std::lock_guard<std::mutex> lock(state_mutex);
  if (room.empty()) {
    location.store(NO_ROOM);
    to_play = own_playlist({EMPTY_NAME});
    return;
  }
  const Location entered = location_of(room);
  if (location.load() != entered) {
    print("");
    ROS_INFO("VOK video player: Robot in room %s (%s)", room.c_str(),
             title_case(room_assignment.at(room)).c_str());
    const auto roll = [this] { return roll_dice(probability); };
    const RoomPlaylist playlist = build_playlist(room, args.test, roll, random_);
    to_play = playlist.list;
    print(playlist_line(playlist));
  }
  location.store(entered);
}

bool VOKVideoPlayer::roll_dice(double probability) {
  const DiceRoll roll = judge_dice(random_.uniform(), probability);
  ROS_INFO("%s", roll.log_line.c_str());
  return roll.success;
}

bool VOKVideoPlayer::is_still(const std::string& fname) const {
  switch (media_kind(video_folder_path, fname)) {
    case MediaKind::still:
      return true;
    case MediaKind::video:
      return false;
    case MediaKind::missing:
      break;
  }
  throw std::runtime_error("no media file " + video_folder_path + fname + "{.mp4/.jpg}");
}

void VOKVideoPlayer::main_loop() {
  while (!shutdown_requested()) {
    Location loc;
    PlaylistPtr pass;
    {
      std::lock_guard<std::mutex> lock(state_mutex);
      loc = location.load();
      pass = to_play;
    }
    const unsigned long frames_before = frames_published.load();
    const unsigned long bad_before = bad_items_met_;
    bool room_changed = false;
    for (std::size_t position = 0;; ++position) {
      std::string name;
      {
        std::lock_guard<std::mutex> lock(state_mutex);
        if (position >= pass->size()) break;
        name = (*pass)[position];
      }
      const std::string tp = file_stem(name);
      if (location.load() != loc) {
        room_changed = true;
        break;
      }

      const MediaKind kind = media_kind(video_folder_path, tp);
      const std::string missing = video_folder_path + tp + "{.mp4/.jpg}";
      if (kind == MediaKind::missing) {
        if (item_due(loc)) report_bad_item(missing, "no such media file");
      } else {
        // A file that is back ends its absence, so that a later removal is reported again.
        clear_bad_item(missing);
        // The clip after this item is opened and its first frame decoded while this one shows.
        const std::string next = item_after(pass, position);
        next_clip_ = media_kind(video_folder_path, next) == MediaKind::video
                         ? video_folder_path + next + ".mp4"
                         : std::string();
        if (kind == MediaKind::still) {
          play_still(tp);
        } else {
          play_video(tp);
        }
      }
      if (shutdown_requested()) return;
    }
    {
      std::lock_guard<std::mutex> lock(state_mutex);
      random_.shuffle(*to_play);
    }
    // Only a pass that had its chance, met bad items and published nothing waits; a pass cut
    // short by a room change goes straight on, even when the robot is back in the pass's room by
    // now, and so does one whose items a change of room and back stopped before their first frame.
    if (!room_changed && bad_items_met_ != bad_before && frames_published.load() == frames_before)
      idle_after_empty_pass(loc);
  }
}

std::string VOKVideoPlayer::item_after(const PlaylistPtr& pass, std::size_t position) {
  std::lock_guard<std::mutex> lock(state_mutex);
  if (position + 1 < pass->size()) return file_stem((*pass)[position + 1]);
  // The last of the pass: the next pass starts with the first item of the playlist as it will be
  // shuffled then, unless the robot changes rooms before. Looking ahead takes no draw.
  const MediaList next_pass = random_.preview_shuffle(*to_play);
  return next_pass.empty() ? std::string() : file_stem(next_pass.front());
}

bool VOKVideoPlayer::shutdown_requested() const {
  return stop_.load() || ros::isShuttingDown() || !ros::ok();
}

bool VOKVideoPlayer::still_in(Location item_location) const {
  return !shutdown_requested() && location.load() == item_location;
}

bool VOKVideoPlayer::frame_due(Location item_location) {
  // Only the moment the frame is due counts: a change of room undone within the period goes
  // unnoticed.
  stream_clock_.wait_until_due();
  return still_in(item_location);
}

bool VOKVideoPlayer::item_due(Location item_location) {
  // An item is got ready in the period after the last frame of the item before, and starts when
  // that period is over, unless the robot left the room during it. An item that was not ready
  // in time starts as soon as it is: the robot was in its room when it began, and a robot that
  // keeps changing rooms faster than items open must not stall the stream.
  const bool in_time = stream_clock_.wait_until_due();
  return in_time ? still_in(item_location) : !shutdown_requested();
}

void VOKVideoPlayer::publish(Frame& frame, double rate, bool first, uint64_t picture,
                             const std::string& item) {
  std_msgs::Header header;
  if (camera_.stamped()) {
    header.frame_id = camera_.frame_id();
    header.stamp = ros::Time::now();
    ImageBridge::stamp(frame, header.stamp);
  }
  compressed_pub.offer(frame, picture, header, camera_.stamped());
  stream_clock_.published(rate, first);
  if (frame.message) {
    image_pub.publish(sensor_msgs::ImageConstPtr(frame.message));
  } else {
    image_pub.publish(frame.wire);
  }
  camera_.publish(header, item, frame.rows, frame.cols);
  frames_published.fetch_add(1);
  // The clip before is closed and the next one got ready a few frames into the item, once the
  // boundary's frames are through: work on another thread then would delay their sending.
  shown_frames_ = first ? 1 : shown_frames_ + 1;
  if (shown_frames_ == PREPARE_AFTER_FRAMES) {
    prefetch_.dispose(std::move(played_clip_));
    if (!next_clip_.empty())
      prefetch_.prepare(next_clip_, std::move(spare_frames_[0]), std::move(spare_frames_[1]));
    next_clip_.clear();
  }
}

void VOKVideoPlayer::pause(double seconds) { sleep_unless_stopped(ros::Duration(seconds), stop_); }

void VOKVideoPlayer::report_bad_item(const std::string& path, const std::string& problem) {
  // One line per bad item, not one per pass: a bad item alone in its playlist comes up again and
  // again until the room changes.
  ++bad_items_met_;
  if (reported_bad_items_.insert(path).second) {
    ROS_ERROR("VOK video player: Cannot play %s: %s; skipping it", path.c_str(), problem.c_str());
  }
}

void VOKVideoPlayer::clear_bad_item(const std::string& path) { reported_bad_items_.erase(path); }

void VOKVideoPlayer::warn_if_too_big(const std::string& path, const std::string& item, int width,
                                     int height, double rate) {
  // Once per file and run: an item that comes up again and again (the "empty" still while no
  // pose comes) would otherwise repeat the line every few seconds.
  if (too_big_items_.count(path)) return;
  const std::optional<std::string> warning = too_big_warning(item, width, height, rate);
  if (!warning) return;
  too_big_items_.insert(path);
  ROS_WARN("%s", warning->c_str());
}

void VOKVideoPlayer::warn_unturned(const std::string& path, const std::string& item) {
  if (!unturned_items_.insert(path).second) return;
  ROS_WARN(
      "VOK video player: %s plays as decoded: OpenCV %s cannot read a clip's rotation, so a clip "
      "filmed sideways shows sideways; `rosrun vok_video_player make_media_folder` makes clips "
      "upright",
      item.c_str(), opencv_version().c_str());
}

void VOKVideoPlayer::idle_after_empty_pass(Location loc) {
  // A pass that published nothing (every item bad, or no items) would otherwise spin; wait up to
  // a second, in frame periods, for a change of room or shutdown.
  for (int tick = 0; tick < 30; ++tick) {
    if (shutdown_requested() || location.load() != loc) return;
    pause(1.0 / 30);
  }
}

}  // namespace vok
