#ifndef VOK_VIDEO_PLAYER_PLAYER_VOK_VIDEO_PLAYER_H
#define VOK_VIDEO_PLAYER_PLAYER_VOK_VIDEO_PLAYER_H

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>

#include "vok_video_player/common/random.h"
#include "vok_video_player/media/camera_info_stream.h"
#include "vok_video_player/media/clip_prefetch.h"
#include "vok_video_player/media/compressed_stream.h"
#include "vok_video_player/media/frame_clock.h"
#include "vok_video_player/media/image_bridge.h"
#include "vok_video_player/node/options.h"
#include "vok_video_player/player/playlist_rules.h"
#include "vok_video_player/site/room_geometry.h"

namespace vok {

/// \brief A room letter as its character code, or NO_ROOM.
using Location = int;
/// \brief The location while the robot is in no room; unequal to every room letter.
constexpr Location NO_ROOM = -1;

/// \brief The frame of an item after which the clip before is closed and the next one is got
/// ready.
constexpr long PREPARE_AFTER_FRAMES = 3;

/// \brief Queue of the pose subscription: a second of poses at a fast localisation rate.
constexpr uint32_t POSE_QUEUE_SIZE = 100;

/// \brief Where a player lives in ROS: the node handles it works through and how its frames
/// reach their subscribers.
struct PlayerPlace {
  /// \brief Topics and callbacks: a node's own, or a nodelet's, with its remappings and queue.
  ros::NodeHandle node;
  /// \brief The private parameters (~frame_id, ~camera_info_url).
  ros::NodeHandle private_node{"~"};
  /// \brief Frames as messages that subscribers in the same process receive as they are (a
  /// nodelet manager), rather than in wire form.
  bool in_process = false;
};

/// \brief The simulated camera: follows the robot's room and publishes that room's media.
///
/// The pose callback runs on a ROS callback thread and the main loop with its playback on the
/// thread that calls main_loop(). `state_mutex` guards `to_play`, the site tables it may alias
/// and every write of `location`; playback reads the atomic `location` without the lock, and no
/// lock is held while an item plays.
class VOKVideoPlayer {
 public:
  /// \brief Connects the player to ROS: subscribes to /amcl_pose, advertises /camera/image.
  /// \param video_folder the media folder path, ending in "/"
  /// \param args the options; a seed of digits seeds the player's own random generator
  VOKVideoPlayer(const std::string& video_folder, const Args& args, PlayerPlace place = {});

  VOKVideoPlayer(const VOKVideoPlayer&) = delete;
  VOKVideoPlayer& operator=(const VOKVideoPlayer&) = delete;

  /// \brief Random positions within the map limits; see vok::gen_locations.
  std::vector<std::pair<double, double>> gen_locations(int n_locations, double radius = 5);

  /// \brief Places the robot in a room or none and builds the playlist of a room it enters.
  void pose_callback(const geometry_msgs::PoseWithCovarianceStamped::ConstPtr& msg);

  /// \brief True when the point lies strictly inside the room's rectangle.
  template <class Point>
  bool in_room(const Point& pose, const std::string& room_name) const {
    return vok::in_room(pose.x, pose.y, room_name);
  }

  /// \brief Draws once, logs the draw and returns whether it is at most `probability`.
  bool roll_dice(double probability);

  /// \brief True for a stem with a ".jpg" file, false for one with only an ".mp4" file.
  /// \throws std::runtime_error when the folder holds neither.
  bool is_still(const std::string& fname) const;

  /// \brief Plays the current playlist until the player stops or ROS shuts down.
  void main_loop();

  /// \brief Asks the player to stop: its waits end within milliseconds, and main_loop() and
  /// test_all_images() return after the current frame. Safe to call from a signal handler.
  void request_stop() { stop_.store(true); }

  /// \brief True once the player was asked to stop, or ROS shuts down.
  bool shutdown_requested() const;

  /// \brief Plays every media item and asks /detect_frame what it saw.
  void test_all_images();

  /// \brief Publishes the video's frames at max(30, its frame rate) until its end, a change of
  /// room or shutdown. \return true when the end of the file (or no frame at all) was reached
  ///
  /// Playback gets an item ready in the period after the last frame of the item before, so
  /// its first frame goes out one period after that one; it returns as soon as the item's last
  /// frame is out, and a change of room in the period after it stops the next item before its
  /// first frame.
  bool play_video(const std::string& video_name);

  /// \brief Publishes the still trunc(duration * fps) times at `fps` per second, stopping early
  /// on a change of room or shutdown. \return true when every tick was published
  bool play_still(const std::string& still_name, double duration = 8.0, int fps = 30);

  /// \brief Euclidean distance between two points.
  template <class A, class B>
  static double distance(const A& a, const B& b) {
    return vok::distance(a.x, a.y, b.x, b.y);
  }

  /// \brief Set by request_stop(); first, as the waits of the members below look at it.
  std::atomic<bool> stop_{false};
  ros::NodeHandle node_;
  ros::Subscriber pose_sub;
  std::string video_folder_path;
  ros::Publisher image_pub;
  /// \brief The frames of `image_pub` as JPEG on its "compressed" subtopic, for remote viewers.
  CompressedStream compressed_pub;
  ImageBridge bridge;
  PlaylistPtr to_play;
  double probability;
  std::atomic<Location> location;
  std::map<std::string, std::string> room_assignment;
  const Args args;

  /// \brief Guards `to_play`, the tables it may alias, and the writes of `location`.
  std::mutex state_mutex;

  /// \brief Frames published since construction, for the main loop's idle check.
  std::atomic<unsigned long> frames_published{0};

 private:
  bool still_in(Location item_location) const;
  bool frame_due(Location item_location);
  bool item_due(Location item_location);
  void publish(Frame& frame, double rate, bool first, uint64_t picture, const std::string& item);
  void pause(double seconds);
  uint64_t next_picture() { return ++pictures_; }
  void report_bad_item(const std::string& path, const std::string& problem);
  void clear_bad_item(const std::string& path);
  void warn_if_too_big(const std::string& path, const std::string& item, int width, int height,
                       double rate);
  void warn_unturned(const std::string& path, const std::string& item);
  void idle_after_empty_pass(Location loc);
  std::string item_after(const PlaylistPtr& pass, std::size_t position);

  /// The last still played, in wire form, for a replay of the unchanged file.
  struct LoadedStill {
    std::string path;
    FileStamp stamp;
    Frame image;
  };
  Frame load_still(const std::string& path, std::string& problem, bool& cut_short);

  Random random_;                             // the player's own; each draw takes its lock
  CameraInfoStream camera_;                   // main thread only, after construction
  uint64_t pictures_ = 0;                     // main thread only: pictures published, by number
  FrameClock stream_clock_{stop_};            // main thread only
  std::set<std::string> reported_bad_items_;  // main thread only
  std::set<std::string> too_big_items_;       // main thread only: warned of once each
  std::set<std::string> unturned_items_;      // main thread only: warned of once each
  std::set<std::string> cut_short_items_;     // main thread only: warned of once each
  unsigned long bad_items_met_ = 0;           // main thread only, for the idle check
  LoadedStill last_still_;                    // main thread only
  Frame video_frames_[2];                     // main thread only, reused from clip to clip
  Frame spare_frames_[2];                     // main thread only: for the next prepared clip
  std::string next_clip_;                     // main thread only: to prepare once an item shows
  std::unique_ptr<VideoSource> played_clip_;  // main thread only: to close once the next shows
  long shown_frames_ = 0;                     // main thread only: of the item playing
  ClipPrefetch prefetch_{bridge};             // last: its thread ends before the rest goes
};

/// \brief The location value of a room letter.
Location location_of(const std::string& room);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_PLAYER_VOK_VIDEO_PLAYER_H
