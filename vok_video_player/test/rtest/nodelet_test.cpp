// The player as nodelet vok_video_player/player, loaded into a manager in this test's own
// process as `nodelet manager` does: what subscribers in the manager receive, two players side by
// side against nodes with the same seeds, unloading, bad arguments, and the camera conventions
// (~frame_id, ~camera_info_url) of node and nodelet alike.
#include <gtest/gtest.h>
#include <nodelet/loader.h>
#include <ros/ros.h>

#include <cv_bridge/cv_bridge.h>
#include <sensor_msgs/CameraInfo.h>
#include <sensor_msgs/CompressedImage.h>
#include <sensor_msgs/Image.h>

#include <dirent.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>

#include "child_process.h"
#include "pose_sender.h"
#include "reliability_support.h"
#include "ros_test_main.h"
#include "test_media.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;
using vok_test::FrameCode;
using vok_test::wait_until;

constexpr char PLAYER[] = "vok_video_player/player";

/// The test program's nodelet manager, one for the whole program as a manager process has one.
/// It is never destroyed: on Debian 11, class_loader leaks a plugin's factory when the manager
/// that loaded the plugin goes.
nodelet::Loader& shared_loader() {
  static nodelet::Loader* const loader = new nodelet::Loader(false);
  return *loader;
}

/// One test's use of the manager: what it loaded is unloaded at its end.
class Manager {
 public:
  Manager() = default;
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;
  ~Manager() {
    for (const auto& name : loaded_) shared_loader().unload(name);
  }

  bool load(const std::string& name, const std::string& type, const nodelet::M_string& remaps,
            const std::vector<std::string>& args) {
    const bool loaded = shared_loader().load(name, type, remaps, args);
    if (loaded) loaded_.insert(name);
    return loaded;
  }
  bool unload(const std::string& name) {
    loaded_.erase(name);
    return shared_loader().unload(name);
  }
  std::vector<std::string> listLoadedNodelets() { return shared_loader().listLoadedNodelets(); }

 private:
  std::set<std::string> loaded_;
};

/// The remappings that put a player's topics under /NAME, as robot:=NAME does.
nodelet::M_string under(const std::string& name) {
  return {{"/amcl_pose", "/" + name + "/amcl_pose"},
          {"/camera/image", "/" + name + "/camera/image"}};
}

std::vector<std::string> node_remaps(const std::string& name) {
  return {"/amcl_pose:=/" + name + "/amcl_pose", "/camera/image:=/" + name + "/camera/image"};
}

/// Every message of one topic as it arrived, kept alive, so that a copy could never share an
/// address with another message.
template <class M>
class Received {
 public:
  explicit Received(const std::string& topic) {
    sub_ = ros::NodeHandle().subscribe<M>(
        topic, 1000,
        [this](const boost::shared_ptr<const M>& m) {
          std::lock_guard<std::mutex> lock(mutex_);
          all_.push_back(m);
        },
        ros::VoidConstPtr(), ros::TransportHints().tcpNoDelay());
  }
  ~Received() { sub_.shutdown(); }

  std::vector<boost::shared_ptr<const M>> all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return all_;
  }
  std::size_t count() const { return all().size(); }
  uint32_t publishers() const { return sub_.getNumPublishers(); }

 private:
  ros::Subscriber sub_;
  mutable std::mutex mutex_;
  std::vector<boost::shared_ptr<const M>> all_;
};
using Images = Received<sensor_msgs::Image>;

FrameCode code_of(const sensor_msgs::ImageConstPtr& m) {
  return vok_test::decode_frame(cv_bridge::toCvShare(m, "bgr8")->image);
}

/// The items a stream showed, in order, each once per play; "empty" left out.
std::vector<int> items_shown(const Images& images, int empty) {
  std::vector<int> items;
  for (const auto& m : images.all()) {
    const int item = code_of(m).item;
    if (item != empty && (items.empty() || items.back() != item)) items.push_back(item);
  }
  return items;
}

long resident_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

std::size_t thread_count() {
  std::size_t n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(dir)) n += e->d_name[0] != '.';
    closedir(dir);
  }
  return n;
}

TEST(PlayerNodelet, SubscribersInTheManagerReceiveThePlayersOwnMessages) {
  vok_test::MediaFolder media("nodelet_copy");
  ASSERT_TRUE(media.make_video("laptop", 90, 30));
  Manager manager;
  ASSERT_TRUE(manager.load("/copy/vok_cw_video", PLAYER, under("copy"),
                           {"--video_folder", media.path(), "--test"}));
  // Two subscribers of each stream: given the player's own message, both hold the same one;
  // given copies, each would hold one of its own.
  Images raw_a("/copy/camera/image"), raw_b("/copy/camera/image");
  Received<sensor_msgs::CompressedImage> jpeg_a("/copy/camera/image/compressed"),
      jpeg_b("/copy/camera/image/compressed");
  vok_test::PoseSender poses("/copy/amcl_pose");
  ASSERT_TRUE(poses.wait_for_subscriber(10s));
  poses.send(vok_test::room_centre("B"));  // in test mode, room B plays only laptop

  const int laptop = media.item("laptop");
  const auto laptop_frames = [&](const Images& images) {
    std::vector<sensor_msgs::ImageConstPtr> frames;
    for (const auto& m : images.all())
      if (code_of(m).item == laptop) frames.push_back(m);
    return frames;
  };
  ASSERT_TRUE(wait_until([&] { return laptop_frames(raw_b).size() >= 45; }, 20s));
  ASSERT_TRUE(wait_until([&] { return jpeg_b.count() >= 10; }, 10s));

  const auto a = laptop_frames(raw_a), b = laptop_frames(raw_b);
  std::set<const sensor_msgs::Image*> in_a;
  for (const auto& m : a) in_a.insert(m.get());
  for (const auto& m : b)
    EXPECT_TRUE(in_a.count(m.get())) << "a frame reached one subscriber as a copy";
  // Each frame of the clip is a message of its own (all are kept here, so none could take the
  // place of another), never written again once published.
  std::set<const sensor_msgs::Image*> in_b;
  for (const auto& m : b) in_b.insert(m.get());
  EXPECT_EQ(in_b.size(), b.size());
  // Read now, after dozens of later frames: a message that the player had written again would
  // show a later frame. (The codes tell frames 0 to 30 apart.)
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(code_of(b[i + 1]).frame, code_of(b[i]).frame + 1) << "frame " << i;
  }

  std::set<const sensor_msgs::CompressedImage*> jpeg_in_a;
  for (const auto& m : jpeg_a.all()) jpeg_in_a.insert(m.get());
  std::size_t shared = 0;
  for (const auto& m : jpeg_b.all()) shared += jpeg_in_a.count(m.get());
  EXPECT_GE(shared + 2, jpeg_b.count()) << "compressed frames reached a subscriber as copies";
  vok_test::report_figure("nodelet: " + std::to_string(b.size()) + " raw and " +
                          std::to_string(jpeg_b.count()) +
                          " compressed frames, each received by two subscribers as one message");
  EXPECT_TRUE(manager.unload("/copy/vok_cw_video"));
}

TEST(PlayerNodelet, TwoPlayersInOneManagerEachPlayAsANodeWithTheirSeed) {
  vok_test::MediaFolder media("nodelet_seeds");
  // Short clips, so that a pass over a room's playlist takes seconds.
  vok::MediaList names = vok::ALL_THINGS;
  names.push_back(vok::PERSON_NAME);
  for (const auto& name : names) ASSERT_TRUE(media.make_video(vok::file_stem(name), 6, 30));

  Manager manager;
  struct Camera {
    std::string name;
    std::string seed;
    std::unique_ptr<ChildProcess> node;  // none: a nodelet in `manager`
    std::unique_ptr<Images> images;
    std::unique_ptr<vok_test::PoseSender> poses;
  };
  std::vector<Camera> cameras;
  for (const auto& [name, seed, as_node] :
       std::vector<std::tuple<std::string, std::string, bool>>{{"robot_a", "7", false},
                                                               {"robot_b", "8", false},
                                                               {"node_7", "7", true},
                                                               {"node_8", "8", true}}) {
    Camera c{name, seed, nullptr, std::make_unique<Images>("/" + name + "/camera/image"),
             std::make_unique<vok_test::PoseSender>("/" + name + "/amcl_pose")};
    std::vector<std::string> args = {"--video_folder", media.path(), "--seed", seed};
    if (as_node) {
      for (const auto& r : node_remaps(name)) args.push_back(r);
      args.push_back("__name:=" + name);
      c.node = std::make_unique<ChildProcess>(vok_test::node_binary(), args);
    } else {
      ASSERT_TRUE(manager.load("/" + name + "/vok_cw_video", PLAYER, under(name), args));
    }
    cameras.push_back(std::move(c));
  }
  const int empty = media.item(vok::EMPTY_NAME);
  for (auto& c : cameras) {
    ASSERT_TRUE(c.poses->wait_for_subscriber(20s)) << c.name;
    // The pose comes while "empty" plays, as it would for a robot that starts outside the rooms.
    ASSERT_TRUE(wait_until([&] { return c.images->count() > 0; }, 20s)) << c.name;
    c.poses->send(vok_test::room_centre("E"));
  }
  constexpr std::size_t ITEMS = 8;
  for (auto& c : cameras) {
    ASSERT_TRUE(wait_until([&] { return items_shown(*c.images, empty).size() >= ITEMS; }, 30s))
        << c.name;
  }
  auto first = [&](const Camera& c) {
    auto items = items_shown(*c.images, empty);
    items.resize(ITEMS);
    return items;
  };
  EXPECT_EQ(first(cameras[0]), first(cameras[2])) << "robot_a against a node with seed 7";
  EXPECT_EQ(first(cameras[1]), first(cameras[3])) << "robot_b against a node with seed 8";
  EXPECT_NE(first(cameras[0]), first(cameras[1])) << "two seeds, one sequence";
  for (auto& c : cameras) {
    if (c.node) {
      EXPECT_EQ(vok_test::stop_node(*c.node, SIGINT, vok_test::stop_limit()),
                std::optional<int>(0));
    }
  }
}

TEST(PlayerNodelet, UnloadEndsThePlayerAndGivesBackWhatItTook) {
  vok_test::MediaFolder media("nodelet_cycles");
  Manager manager;
  Images images("/camera/image");
  const std::vector<std::string> args = {"--video_folder", media.path(), "--seed", "3"};
  std::size_t threads_before = 0;
  long resident_before = 0;
  double slowest = 0;
  constexpr int CYCLES = 22;
  for (int cycle = 0; cycle < CYCLES; ++cycle) {
    // The first two cycles load what stays: the plugin's libraries, the manager's threads.
    if (cycle == 2) {
      threads_before = thread_count();
      resident_before = resident_kb();
    }
    const std::size_t frames = images.count();
    ASSERT_TRUE(manager.load("/vok_cw_video", PLAYER, {}, args)) << "cycle " << cycle;
    ASSERT_TRUE(wait_until([&] { return images.count() > frames + 2; }, 20s)) << "cycle " << cycle;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(manager.unload("/vok_cw_video"));
    slowest = std::max(
        slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_TRUE(wait_until([&] { return images.publishers() == 0; }, 5s))
        << "the image topic outlived the player";
  }
  EXPECT_LT(slowest, 2.0);
  EXPECT_TRUE(wait_until([&] { return thread_count() <= threads_before; }, 5s))
      << thread_count() << " threads, " << threads_before << " before";
  const long grown_kb = resident_kb() - resident_before;
  // AddressSanitizer keeps freed memory in quarantine (256 MB by default), so there the figure is
  // the quarantine's, not the player's.
  if (!vok_test::under_sanitizer()) EXPECT_LT(grown_kb, 10 * 1024);
  vok_test::report_figure("nodelet: " + std::to_string(CYCLES - 2) +
                          " load/unload cycles: " + "slowest unload " + std::to_string(slowest) +
                          " s, resident memory " + std::to_string(grown_kb) + " kB up, threads " +
                          std::to_string(thread_count()) + " (" + std::to_string(threads_before) +
                          " before)");
  EXPECT_TRUE(manager.listLoadedNodelets().empty());
}

TEST(PlayerNodelet, ABadArgumentListFailsTheLoadAndTheManagerGoesOn) {
  vok_test::MediaFolder media("nodelet_args");
  Manager manager;
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--bogus"},
                                              {"--video_folder"},
                                              {"--help"},
                                              {"--video_folder", media.path() + "missing"},
                                              {"--video_folder", media.path(), "--seed"}}) {
    EXPECT_FALSE(manager.load("/vok_cw_video", PLAYER, {}, bad)) << bad.front();
  }
  Images images("/camera/image");
  ASSERT_TRUE(manager.load("/vok_cw_video", PLAYER, {}, {"--video_folder", media.path()}));
  EXPECT_TRUE(wait_until([&] { return images.count() > 0; }, 20s));
  EXPECT_TRUE(manager.unload("/vok_cw_video"));
}

/// Node and nodelet with ~frame_id and ~camera_info_url: every frame's header, and a
/// camera_info of the same header and size beside it, calibrated when the calibration is for the
/// frame's size.
class CameraConventions : public ::testing::TestWithParam<bool> {};

TEST_P(CameraConventions, FramesCarryTheFrameIdAStampAndTheirCameraInfo) {
  const bool as_node = GetParam();
  const std::string name = as_node ? "conv_node" : "conv_nodelet";
  vok_test::MediaFolder media(name);
  // "empty" is 64x64, as the calibration; laptop, room B's only item in test mode, is not.
  vok_test::write_still(media.path() + "laptop.jpg", media.item("laptop"), 32);
  const std::string calibration = media.path() + "calibration.yaml";
  std::ofstream(calibration)
      << "image_width: 64\nimage_height: 64\ncamera_name: camera\n"
         "camera_matrix: {rows: 3, cols: 3, data: [100, 0, 32, 0, 100, 32, 0, 0, 1]}\n"
         "distortion_model: plumb_bob\n"
         "distortion_coefficients: {rows: 1, cols: 5, data: [0, 0, 0, 0, 0]}\n"
         "rectification_matrix: {rows: 3, cols: 3, data: [1, 0, 0, 0, 1, 0, 0, 0, 1]}\n"
         "projection_matrix: {rows: 3, cols: 4, data: [100, 0, 32, 0, 0, 100, 32, 0, 0, 0, 1, "
         "0]}\n";

  Images images("/" + name + "/camera/image");
  Received<sensor_msgs::CameraInfo> infos("/" + name + "/camera/camera_info");
  Received<sensor_msgs::CompressedImage> jpegs("/" + name + "/camera/image/compressed");
  std::vector<std::string> args = {"--video_folder", media.path(), "--test"};
  std::unique_ptr<ChildProcess> node;
  Manager manager;
  if (as_node) {
    for (const auto& r : node_remaps(name)) args.push_back(r);
    args.push_back("_frame_id:=camera");
    args.push_back("_camera_info_url:=file://" + calibration);
    node = std::make_unique<ChildProcess>(vok_test::node_binary(), args);
  } else {
    ros::param::set("/" + name + "/vok_cw_video/frame_id", "camera");
    ros::param::set("/" + name + "/vok_cw_video/camera_info_url", "file://" + calibration);
    ASSERT_TRUE(manager.load("/" + name + "/vok_cw_video", PLAYER, under(name), args));
  }
  vok_test::PoseSender poses("/" + name + "/amcl_pose");
  ASSERT_TRUE(poses.wait_for_subscriber(20s));
  ASSERT_TRUE(wait_until([&] { return images.count() >= 10; }, 20s));
  poses.send(vok_test::room_centre("B"));
  ASSERT_TRUE(
      wait_until([&] { return images.all().back()->width == 32 && images.count() >= 40; }, 20s));
  ASSERT_TRUE(wait_until([&] { return jpegs.count() >= 5; }, 10s));
  std::this_thread::sleep_for(200ms);  // the camera_info of the last frames

  std::map<ros::Time, sensor_msgs::CameraInfoConstPtr> info_at;
  for (const auto& i : infos.all()) info_at[i->header.stamp] = i;
  std::set<ros::Time> stamps;
  ros::Time last;
  std::size_t calibrated = 0, uncalibrated = 0;
  for (const auto& m : images.all()) {
    ASSERT_EQ(m->header.frame_id, "camera");
    EXPECT_GT(m->header.stamp, last) << "stamps go forward";
    last = m->header.stamp;
    stamps.insert(m->header.stamp);
    const auto info = info_at.find(m->header.stamp);
    ASSERT_NE(info, info_at.end()) << "a frame without its camera_info";
    EXPECT_EQ(info->second->header.frame_id, "camera");
    EXPECT_EQ(info->second->width, m->width);
    EXPECT_EQ(info->second->height, m->height);
    const double fx = info->second->K[0];
    if (m->width == 64) {
      EXPECT_EQ(fx, 100.0);
      ++calibrated;
    } else {
      EXPECT_EQ(fx, 0.0) << "a calibration for 64x64 given to a 32x32 frame";
      ++uncalibrated;
    }
  }
  EXPECT_LE((ros::Time::now() - last).toSec(), 1.0) << "stamped with the time of publication";
  // Each JPEG has the header of a raw frame. Over TCP the compressed stream may have connected
  // before the raw one, and a busy machine may drop a raw frame from the publisher's queue of
  // one, so there a few may have no twin; in the manager none is dropped.
  std::size_t considered = 0, twinned = 0;
  for (const auto& j : jpegs.all()) {
    EXPECT_EQ(j->header.frame_id, "camera");
    if (j->header.stamp < *stamps.begin()) continue;
    ++considered;
    twinned += stamps.count(j->header.stamp);
  }
  if (as_node) {
    EXPECT_GE(twinned * 10, considered * 9) << "compressed frames with headers of their own";
  } else {
    EXPECT_EQ(twinned, considered) << "compressed frames with headers of their own";
  }
  EXPECT_GT(calibrated, 0u);
  EXPECT_GT(uncalibrated, 0u);
  if (node) {
    const std::regex mismatch("laptop\\.jpg is 32x32, but the calibration in .* is for 64x64");
    const auto out = node->err();
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [&](const std::string& l) { return std::regex_search(l, mismatch); }),
              1);
    EXPECT_EQ(vok_test::stop_node(*node, SIGINT, vok_test::stop_limit()), std::optional<int>(0));
  }
}

INSTANTIATE_TEST_SUITE_P(NodeAndNodelet, CameraConventions, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Node" : "Nodelet";
                         });

}  // namespace

int main(int argc, char** argv) {
  const int result = vok_test::run_ros_tests(argc, argv, "nodelet_test", 2);
#ifdef __SANITIZE_ADDRESS__
  // The leak check at the end of the process would run after the static destructors of the
  // libraries the manager loaded: class_loader's registry of plugins (Debian 11's) is gone by
  // then, and what it held looks lost. Checked here, while they are all in place; what the
  // player or the tests lose is found all the same.
  __lsan_do_leak_check();
#endif
  return result;
}
