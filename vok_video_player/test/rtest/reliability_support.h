#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_RELIABILITY_SUPPORT_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_RELIABILITY_SUPPORT_H

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <cv_bridge/cv_bridge.h>
#include <geometry_msgs/PoseWithCovarianceStamped.h>
#include <ros/ros.h>
#include <sensor_msgs/Image.h>

#include "child_process.h"
#include "pose_sender.h"
#include "test_media.h"
#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/site/site_tables.h"

namespace vok_test {

using Clock = std::chrono::steady_clock;

/// \brief An integer from the environment, or `fallback` when it is unset or not a number.
inline long env_number(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return *end ? fallback : value;
}

/// \brief True when the node under test is a sanitizer build (scripts/test says so).
inline bool under_sanitizer() {
  const char* s = std::getenv("VOK_SANITIZER");
  return s && *s;
}

/// \brief Appends a line of measured figures to $VOK_FIGURES_FILE (if set) and prints it; the
/// line names the sanitizer the node runs under, if any.
inline void report_figure(const std::string& line) {
  const char* sanitizer = std::getenv("VOK_SANITIZER");
  const std::string text =
      (sanitizer && *sanitizer ? std::string("[") + sanitizer + " sanitizer] " : "") + line;
  std::cout << "FIGURES " << text << std::endl;
  if (const char* path = std::getenv("VOK_FIGURES_FILE")) {
    std::ofstream(path, std::ios::app) << text << "\n";
  }
}

/// \brief A point well inside a room's rectangle.
inline std::pair<double, double> room_centre(const std::string& room) {
  const auto& c = vok::ROOM_CORNERS.at(room);
  return {(c[0].x + c[1].x) / 2, (c[0].y + c[2].y) / 2};
}

/// \brief A point between rooms A and B, in no room.
inline std::pair<double, double> gap_between_a_and_b() { return {3.7846, 8.3}; }
/// \brief A point between rooms F and C, in no room.
inline std::pair<double, double> gap_between_f_and_c() { return {10.6, 5.4}; }

/// \brief One frame as it arrived: when, and what its centre pixel says.
struct Arrival {
  Clock::time_point at;
  FrameCode code;
};

/// \brief Records every frame on /camera/image with its arrival time.
class FrameRecorder {
 public:
  FrameRecorder() {
    ros::NodeHandle node;
    sub_ = node.subscribe("/camera/image", 1000, &FrameRecorder::on_image, this,
                          ros::TransportHints().tcpNoDelay());
  }
  /// \brief Unsubscribes first: it waits for a callback in progress, which uses the members.
  ~FrameRecorder() { sub_.shutdown(); }
  FrameRecorder(const FrameRecorder&) = delete;
  FrameRecorder& operator=(const FrameRecorder&) = delete;

  std::vector<Arrival> arrivals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_;
  }
  std::size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_.size();
  }
  /// \brief Waits until at least `n` frames have arrived in all.
  bool wait_count(std::size_t n, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (count() < n) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

 private:
  void on_image(const sensor_msgs::ImageConstPtr& msg) {
    const auto now = Clock::now();
    const FrameCode code = decode_frame(cv_bridge::toCvShare(msg, "bgr8")->image);
    std::lock_guard<std::mutex> lock(mutex_);
    arrivals_.push_back({now, code});
  }

  ros::Subscriber sub_;
  mutable std::mutex mutex_;
  std::vector<Arrival> arrivals_;
};

/// \brief Gaps between consecutive frames of a window, split by whether the item changed.
///
/// A stall is a gap of more than two frame periods within one play of an item after which the
/// stream does not return to its schedule: frames that only arrive late (the subscriber was slow
/// to read them) are followed by frames back on time, as the node kept its pace; after a node that
/// fell behind, they are not.
struct StreamFigures {
  std::size_t frames = 0;
  double seconds = 0;
  double max_gap_in_item = 0;      // seconds
  double max_gap_at_change = 0;    // seconds
  std::size_t late_frames = 0;     // gaps over two periods, made up by the next gap
  std::size_t stalls_in_item = 0;  // gaps over two periods, not made up
  std::size_t item_changes = 0;
  std::string first_stall;  // where the first stall ended, for the failure message

  double rate() const { return seconds > 0 ? (frames - 1) / seconds : 0; }
  std::string text() const {
    std::ostringstream s;
    s.precision(3);
    s << frames << " frames in " << seconds << " s (" << rate() << "/s), " << item_changes
      << " item changes, max gap " << max_gap_in_item * 1000 << " ms within an item, "
      << max_gap_at_change * 1000 << " ms at an item change, " << late_frames << " late frames, "
      << stalls_in_item << " stalls" << first_stall;
    return s.str();
  }
};

/// \brief True when `b` can follow `a` within one play of one item: the same still again, or
/// the next frame of the same video.
inline bool same_item_play(const FrameCode& a, const FrameCode& b) {
  if (a.item != b.item) return false;
  if (a.frame < 0 || b.frame < 0) return a.frame == b.frame;
  return b.frame == a.frame + 1;
}

/// \brief Measures the frames that arrived between `from` and `to`; `period` is the item rate's
/// period in seconds.
inline StreamFigures measure_stream(const std::vector<Arrival>& all, Clock::time_point from,
                                    Clock::time_point to, double period) {
  std::vector<const Arrival*> window;
  for (const auto& a : all) {
    if (a.at >= from && a.at <= to) window.push_back(&a);
  }
  StreamFigures f;
  f.frames = window.size();
  if (window.empty()) return f;
  f.seconds = std::chrono::duration<double>(window.back()->at - window.front()->at).count();
  auto gap = [&](std::size_t i) {
    return std::chrono::duration<double>(window[i]->at - window[i - 1]->at).count();
  };
  for (std::size_t i = 1; i < window.size(); ++i) {
    if (!same_item_play(window[i - 1]->code, window[i]->code)) {
      ++f.item_changes;
      f.max_gap_at_change = std::max(f.max_gap_at_change, gap(i));
      continue;
    }
    f.max_gap_in_item = std::max(f.max_gap_in_item, gap(i));
    if (gap(i) <= 2 * period) continue;
    // Made up when a later frame of the same play is back on the schedule kept before the gap,
    // give or take a period.
    bool made_up = false;
    for (std::size_t k = 1; k <= 8 && i + k < window.size() && !made_up; ++k) {
      if (!same_item_play(window[i + k - 1]->code, window[i + k]->code)) break;
      const double since =
          std::chrono::duration<double>(window[i + k]->at - window[i - 1]->at).count();
      made_up = since <= (k + 2) * period;
    }
    ++(made_up ? f.late_frames : f.stalls_in_item);
    if (!made_up && f.first_stall.empty()) {
      std::ostringstream where;
      where << " (the first " << gap(i) * 1000 << " ms before frame " << window[i]->code.frame
            << " of item " << window[i]->code.item << ", "
            << std::chrono::duration<double>(window[i]->at - window.front()->at).count()
            << " s into the window)";
      f.first_stall = where.str();
    }
  }
  return f;
}

/// \brief Parses "['a', 'b']" into its names; false when the text is not such a list.
inline bool parse_playlist(const std::string& text, std::vector<std::string>& names) {
  names.clear();
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
  const std::string inner = text.substr(1, text.size() - 2);
  if (inner.empty()) return true;
  static const std::regex item("'([^']*)'(, |$)");
  std::size_t consumed = 0;
  for (std::sregex_iterator it(inner.begin(), inner.end(), item), end; it != end; ++it) {
    if (static_cast<std::size_t>(it->position()) != consumed) return false;
    names.push_back((*it)[1]);
    consumed += static_cast<std::size_t>(it->length());
  }
  return consumed == inner.size();
}

/// \brief Why a playlist line cannot come from entering `room`, or "" when a rule can produce
/// it. `dice` is the logged draw ("" when none was logged).
inline std::string playlist_fault(const std::string& room, bool test, const std::string& dice,
                                  const std::string& line) {
  using Names = std::multiset<std::string>;
  const Names all_things(vok::ALL_THINGS.begin(), vok::ALL_THINGS.end());
  const Names food(vok::FOOD_LIST.begin(), vok::FOOD_LIST.end());
  const Names objects(vok::OBJECT_LIST.begin(), vok::OBJECT_LIST.end());
  auto list_after = [&](const std::string& label, Names& names) {
    std::vector<std::string> list;
    if (line.rfind(label + " ", 0) != 0 || !parse_playlist(line.substr(label.size() + 1), list))
      return false;
    names = Names(list.begin(), list.end());
    return true;
  };
  const bool rolled = !dice.empty();
  if (test && rolled) return "dice rolled in test mode";
  const bool special = room == "F" || room == "C" || (room == "B" && test);
  if (!test && (room == "F" || room == "C") && !rolled) return "no dice line before it";
  if (!special && rolled) return "dice rolled for a non-special room";
  const double draw = rolled ? std::stod(dice) : 0;
  const bool may_win = draw <= 0.6, may_lose = draw >= 0.6;  // the draw is logged rounded
  Names names;
  if (room == "F") {
    if (!list_after("Playlist for Kitchen (F):", names)) return "not a Kitchen playlist";
    if (test) return names == Names{"person"} ? "" : "test playlist is not ['person']";
    if (may_win && names.size() == 2 && names.count("person") >= 1) {
      Names rest = names;
      rest.erase(rest.find("person"));
      if (all_things.count(*rest.begin())) return "";
    }
    if (may_lose && names == all_things) return "";
    return "no Kitchen rule gives this list after draw " + dice;
  }
  if (room == "C") {
    if (!list_after("Playlist for Bedroom (C):", names)) return "not a Bedroom playlist";
    if (test) return names == food ? "" : "test playlist is not FOOD_LIST";
    if (may_win && names.size() == 4 &&
        std::set<std::string>(names.begin(), names.end()).size() == 4) {
      const auto from_food = std::count_if(names.begin(), names.end(),
                                           [&](const std::string& n) { return food.count(n); });
      const auto from_objects = std::count_if(
          names.begin(), names.end(), [&](const std::string& n) { return objects.count(n); });
      if (from_food == 2 && from_objects == 2) return "";
    }
    if (may_lose && names == objects) return "";
    return "no Bedroom rule gives this list after draw " + dice;
  }
  if (room == "B" && test) {
    return line == "Test in room B: playing laptop ['laptop']" ? "" : "not the room B test line";
  }
  if (!list_after("Playlist for non-special room:", names)) return "not a non-special playlist";
  Names expected = all_things;
  expected.insert("person");
  return names == expected ? "" : "not ALL_THINGS and person";
}

/// \brief Checks the node's standard output after start-up: every room entry is an empty line,
/// the room line, a dice line where the room rolls one, and a playlist the room's rule can
/// produce; "Playing" lines may stand between them. Returns the faults found, at most ten.
inline std::vector<std::string> output_faults(const std::vector<std::string>& out, bool test,
                                              std::size_t* entries = nullptr) {
  static const std::map<std::string, std::string> room_names = {
      {"A", "Pantry"},     {"B", "Guest Room 1"}, {"C", "Guest Room 2"},
      {"D", "Front Desk"}, {"E", "Lobby"},        {"F", "Guest Room 3"}};
  static const std::regex room_line(R"(^VOK video player: Robot in room ([A-F]) \((.*)\)$)");
  static const std::regex dice_line(
      R"(^VOK video player: Random number is ([0-9.]+) and probability is 0\.6\.$)");
  static const std::regex playing(R"(^VOK video player: Playing (video )?[a-z_]+\.(jpg|mp4)$)");
  std::vector<std::string> faults;
  auto fault = [&](std::size_t i, const std::string& why) {
    if (faults.size() < 10)
      faults.push_back("line " + std::to_string(i) + " '" + out[i] + "': " + why);
  };
  enum class Want { blank_or_other, room, dice_or_list } want = Want::blank_or_other;
  std::string room, dice;
  std::size_t count = 0;
  // The first four lines are the banner and the argument echo.
  for (std::size_t i = 4; i < out.size(); ++i) {
    const std::string& line = out[i];
    std::smatch m;
    if (std::regex_match(line, playing)) continue;
    switch (want) {
      case Want::blank_or_other:
        if (!line.empty())
          fault(i, "unexpected line");
        else
          want = Want::room;
        break;
      case Want::room:
        if (!std::regex_match(line, m, room_line)) {
          fault(i, "expected the room line after the empty line");
          want = Want::blank_or_other;
        } else {
          room = m[1];
          dice.clear();
          if (m[2] != room_names.at(room)) fault(i, "wrong room name");
          want = Want::dice_or_list;
        }
        break;
      case Want::dice_or_list:
        if (std::regex_match(line, m, dice_line)) {
          if (!dice.empty()) fault(i, "second dice line");
          dice = m[1];
          break;
        }
        if (const std::string why = playlist_fault(room, test, dice, line); !why.empty())
          fault(i, why);
        ++count;
        want = Want::blank_or_other;
        break;
    }
  }
  if (entries) *entries = count;
  return faults;
}

/// \brief A media folder for playback tests: stills for every name, videos of 30 frames per
/// second for `videos`.
inline std::unique_ptr<MediaFolder> mixed_media(const std::string& tag,
                                                const std::vector<std::string>& videos,
                                                int frames = 45) {
  auto media = std::make_unique<MediaFolder>(tag);
  for (const auto& v : videos) media->make_video(v, frames, 30);
  return media;
}

/// \brief Starts the node on a media folder; extra arguments follow the folder and seed.
inline std::unique_ptr<ChildProcess> start_node(const std::string& folder,
                                                const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"--video_folder", folder, "--seed", "20250611"};
  args.insert(args.end(), extra.begin(), extra.end());
  return std::make_unique<ChildProcess>(node_binary(), args);
}

/// \brief How soon the node must end after a stop signal: a second, or three for a sanitizer build,
/// whose roscpp shutdown (unregistering, joining its threads) runs several times slower.
inline std::chrono::milliseconds stop_limit() {
  return std::chrono::milliseconds(under_sanitizer() ? 3000 : 1000);
}

/// \brief Sends a stop signal and returns the exit status if the node ended within `limit`.
inline std::optional<int> stop_node(ChildProcess& node, int signal, std::chrono::milliseconds limit,
                                    double* seconds = nullptr) {
  const auto start = Clock::now();
  node.signal(signal);
  const auto status = node.wait_exit(limit);
  if (seconds) *seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return status;
}

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_RELIABILITY_SUPPORT_H
