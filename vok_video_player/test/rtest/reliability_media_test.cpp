// The node against a media folder that is broken at start or breaks while it plays: start-up
// refuses exactly what the folder check refuses, and at run time every bad item costs one error
// line and is skipped while the rest keeps streaming.
#include <gtest/gtest.h>
#include <ros/ros.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

#include "reliability_support.h"
#include "ros_test_main.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using vok_test::ChildProcess;

void zero_bytes(const std::string& path) { std::ofstream(path, std::ios::trunc); }

void cut_in_half(const std::string& path) { fs::resize_file(path, fs::file_size(path) / 2); }

/// Keeps the file's first bytes, so that it still looks like its kind, and scrambles the rest.
void scramble(const std::string& path) {
  std::string head(16, '\0');
  std::ifstream(path, std::ios::binary).read(&head[0], 16);
  std::mt19937 random(11);
  std::string junk(4000, '\0');
  for (auto& c : junk) c = static_cast<char>(random());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << head << junk;
}

const std::regex CANNOT_PLAY("^VOK video player: Cannot play (.+?): (.+); skipping it$");

/// The paths named by "Cannot play" error lines, one entry per line.
std::multiset<std::string> reported_paths(const std::vector<std::string>& err) {
  std::multiset<std::string> paths;
  for (const auto& line : err) {
    std::smatch m;
    if (std::regex_match(line, m, CANNOT_PLAY)) paths.insert(m[1]);
  }
  return paths;
}

std::size_t count_lines(const std::vector<std::string>& lines, const std::string& text,
                        std::size_t from) {
  return static_cast<std::size_t>(std::count(
      lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end(), text));
}

TEST(MediaFaults, StartUpRefusesWhatTheFolderCheckRefusesWithItsLine) {
  vok_test::MediaFolder media("rel_refuse");
  const std::string folder = media.path();
  const std::string line =
      "Element " + folder + "person{.mp4/.jpg} does not exist! Please add it to the video folder.";
  auto expect_refused = [&](const std::string& what) {
    ChildProcess node(vok_test::node_binary(), {"--video_folder", folder});
    EXPECT_EQ(node.wait_exit(10s), std::optional<int>(1)) << what;
    EXPECT_EQ(node.err(), std::vector<std::string>{line}) << what;
  };
  const std::string still = folder + "person.jpg";
  fs::remove(still);
  fs::create_directory(still);
  expect_refused("a directory in place of the still");
  fs::remove(still);
  fs::create_symlink(folder + "nowhere.jpg", still);
  expect_refused("a dangling link in place of the still");
  fs::remove(still);
  ASSERT_EQ(mkfifo(still.c_str(), 0644), 0);
  expect_refused("a named pipe in place of the still");
  fs::remove(still);
  fs::create_directory(folder + "person.mp4");
  expect_refused("a directory in place of the video");
}

TEST(MediaFaults, StartUpAcceptsFilesThatOnlyFailToDecode) {
  vok_test::MediaFolder media("rel_accept");
  const std::string folder = media.path();
  zero_bytes(folder + "pizza.jpg");
  cut_in_half(folder + "sandwich.jpg");
  scramble(folder + "banana.jpg");
  ASSERT_TRUE(media.make_video("book", 6, 30));
  zero_bytes(folder + "book.mp4");
  ChildProcess node(vok_test::node_binary(), {"--video_folder", folder});
  EXPECT_TRUE(node.wait_for_line("^VOK video player: Playing empty\\.jpg$", 20s));
  EXPECT_EQ(vok_test::stop_node(node, SIGTERM, vok_test::stop_limit()), std::optional<int>(0));
}

/// Peak resident memory of a process in kB (VmHWM in /proc/PID/status); 0 where unknown.
long peak_kb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

TEST(MediaFaults, PicturesClaimingTooMuchAreRefusedByTheirHeaderAndTheStreamGoesOn) {
  vok_test::MediaFolder media("rel_bomb");
  const std::string folder = media.path();
  // Room B plays the laptop alone in test mode, room F the person: two refused items in a row.
  std::ofstream(folder + "laptop.jpg", std::ios::binary | std::ios::trunc)
      << vok_test::header_claiming(30000, 30000);
  std::ofstream(folder + "person.jpg", std::ios::binary | std::ios::trunc)
      << vok_test::header_claiming(65500, 65500);
  // A picture cut short by a full disk plays as far as it goes, with one warning: the "empty"
  // still, which plays until a pose comes.
  cv::Mat noise(480, 640, CV_8UC3);
  cv::randu(noise, 0, 255);
  ASSERT_TRUE(cv::imwrite(folder + "empty.jpg", noise));
  cut_in_half(folder + "empty.jpg");
  vok_test::FrameRecorder frames;
  vok_test::PoseSender poses;
  ChildProcess node(vok_test::node_binary(), {"--video_folder", folder, "--test"});
  ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing empty\\.jpg$", 20s));
  ASSERT_TRUE(poses.wait_for_subscriber(10s));
  EXPECT_TRUE(node.wait_for_line("^VOK video player: empty\\.jpg is cut short: ", 5s, true));
  for (const auto& [room, item, size] : {std::tuple{"B", "laptop.jpg", "30000x30000"},
                                         std::tuple{"F", "person.jpg", "65500x65500"}}) {
    poses.send(vok_test::room_centre(room));
    EXPECT_TRUE(node.wait_for_line("^VOK video player: Cannot play " + folder + item + ": it is " +
                                       size +
                                       " \\([0-9.]+ megapixels\\), more than the 50 "
                                       "megapixels a frame may have; skipping it$",
                                   10s, true))
        << item;
  }
  // The stream goes on in the next room.
  const std::size_t before = frames.count();
  const auto sent = vok_test::Clock::now();
  poses.send(vok_test::room_centre("D"));
  EXPECT_TRUE(frames.wait_count(before + 30, 10s));
  const auto arrivals = frames.arrivals();
  if (arrivals.size() > before) {
    vok_test::report_figure(
        "media faults: first frame of the next room " +
        std::to_string(std::chrono::duration<double>(arrivals[before].at - sent).count() * 1000) +
        " ms after its pose, the room before holding only a refused item");
  }
  ASSERT_FALSE(node.wait_exit(0ms)) << "the node died";
  const long peak = peak_kb(node.pid());
  vok_test::report_figure(
      "media faults: peak memory with two pictures claiming 0.9 and 4.3 "
      "gigapixels: " +
      std::to_string(peak / 1024) + " MB");
  EXPECT_LT(peak, 1000000) << "kB";
  EXPECT_EQ(vok_test::stop_node(node, SIGINT, vok_test::stop_limit()), std::optional<int>(0));
}

/// How to start the node so that a file without read permission is unreadable to it: as it is
/// when the tests run unprivileged, through setpriv as user "nobody" when they run as root.
struct Launcher {
  bool can_unread = false;
  std::vector<std::string> prefix;  // program and arguments before the node binary
};

Launcher unprivileged_launcher(const std::string& scratch) {
  if (geteuid() != 0) return {true, {}};
  const std::vector<std::string> prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                           "--clear-groups", "--"};
  if (!fs::exists(prefix[0])) return {};
  std::vector<std::string> probe(prefix.begin() + 1, prefix.end());
  probe.insert(probe.end(), {"/usr/bin/test", "-x", vok_test::node_binary(), "-a", "-w", scratch});
  ChildProcess check(prefix[0], probe);
  if (check.wait_exit(5s) != std::optional<int>(0)) return {};
  return {true, prefix};
}

class RunTimeFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    media_ = std::make_unique<vok_test::MediaFolder>("rel_runtime");
    folder_ = media_->path();
    for (const auto& name : vok::required_media_names())
      ASSERT_TRUE(media_->make_video(name, 6, 30)) << name;
    // Three stills and three videos that exist but cannot be decoded.
    for (const auto& name : {"pizza", "sandwich", "banana"}) {
      fs::remove(folder_ + name + ".mp4");
      vok_test::write_still(folder_ + name + ".jpg", media_->item(name));
    }
    zero_bytes(folder_ + "pizza.jpg");
    cut_in_half(folder_ + "sandwich.jpg");
    scramble(folder_ + "banana.jpg");
    zero_bytes(folder_ + "broccoli.mp4");
    cut_in_half(folder_ + "book.mp4");
    scramble(folder_ + "bottle.mp4");
    scratch_ = fs::temp_directory_path() / ("vok_rel_home_" + std::to_string(getpid()));
    fs::create_directories(scratch_);
    fs::permissions(scratch_, fs::perms::all);
  }
  void TearDown() override { fs::remove_all(scratch_); }

  /// Waits until each of `names` has begun playing `passes` times since output line `from`.
  bool wait_passes(const std::vector<std::string>& names, std::size_t passes, std::size_t from,
                   std::chrono::seconds timeout = 30s) {
    const auto deadline = vok_test::Clock::now() + timeout;
    while (vok_test::Clock::now() < deadline) {
      const auto out = node_->out();
      if (std::all_of(names.begin(), names.end(), [&](const std::string& n) {
            return count_lines(out, "VOK video player: Playing video " + n + ".mp4", from) >=
                   passes;
          }))
        return true;
      if (node_->wait_exit(0ms)) return false;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  bool seen_item(int item, std::size_t from_frame) {
    const auto frames = frames_.arrivals();
    return std::any_of(frames.begin() + static_cast<long>(std::min(from_frame, frames.size())),
                       frames.end(),
                       [&](const vok_test::Arrival& a) { return a.code.item == item; });
  }

  std::unique_ptr<vok_test::MediaFolder> media_;
  std::string folder_;
  fs::path scratch_;
  vok_test::FrameRecorder frames_;
  vok_test::PoseSender poses_;
  std::unique_ptr<ChildProcess> node_;
};

TEST_F(RunTimeFaults, EachBadItemIsReportedOnceAndSkipped) {
  const Launcher launcher = unprivileged_launcher(scratch_.string());
  const bool can_unread = launcher.can_unread;
  std::string program = vok_test::node_binary();
  std::vector<std::string> args;
  if (!launcher.prefix.empty()) {
    program = launcher.prefix[0];
    args.assign(launcher.prefix.begin() + 1, launcher.prefix.end());
    args.push_back(vok_test::node_binary());
  }
  args.insert(args.end(), {"--video_folder", folder_, "--seed", "5"});
  node_ = std::make_unique<ChildProcess>(
      program, args,
      std::vector<std::string>{"HOME=" + scratch_.string(), "ROS_HOME=" + scratch_.string()});
  ASSERT_TRUE(node_->wait_for_line("^VOK video player: Playing", 20s));
  ASSERT_TRUE(poses_.wait_for_subscriber(10s));
  poses_.send(vok_test::room_centre("D"));

  const std::vector<std::string> good = {"dog",        "fork",  "laptop", "remote",
                                         "toothbrush", "empty", "person"};
  ASSERT_TRUE(node_->wait_for_line("^Playlist for non-special room:", 10s));
  ASSERT_TRUE(wait_passes(good, 2, 0)) << "the good items did not play twice";

  // Break four good items while the node plays.
  fs::remove(folder_ + "laptop.mp4");
  fs::remove(folder_ + "remote.mp4");
  const int replacement = 14;
  ASSERT_TRUE(vok_test::write_video(folder_ + "remote.mp4", replacement, 6, 30));
  fs::remove(folder_ + "fork.mp4");
  fs::create_directory(folder_ + "fork.mp4");
  if (can_unread) fs::permissions(folder_ + "toothbrush.mp4", fs::perms::none);
  const std::size_t out_mark = node_->out().size();
  const std::size_t frame_mark = frames_.count();

  const std::vector<std::string> still_good = {"dog", "remote", "empty", "person"};
  ASSERT_TRUE(wait_passes(still_good, 3, out_mark)) << "the rest stopped streaming";
  for (const auto& name : still_good) {
    const int item = name == "remote" ? replacement : media_->item(name);
    EXPECT_TRUE(seen_item(item, frame_mark)) << name << " streamed no frame after the faults";
  }

  std::multiset<std::string> expected = {
      folder_ + "pizza.jpg",         folder_ + "sandwich.jpg",   folder_ + "banana.jpg",
      folder_ + "broccoli.mp4",      folder_ + "book.mp4",       folder_ + "bottle.mp4",
      folder_ + "laptop{.mp4/.jpg}", folder_ + "fork{.mp4/.jpg}"};
  if (can_unread) expected.insert(folder_ + "toothbrush.mp4");
  EXPECT_EQ(reported_paths(node_->err()), expected);

  // An item that plays again is reported again when it breaks again.
  const std::size_t restore_mark = node_->out().size();
  ASSERT_TRUE(vok_test::write_video(folder_ + "laptop.mp4", media_->item("laptop"), 6, 30));
  ASSERT_TRUE(wait_passes({"laptop"}, 1, restore_mark));
  const auto laptop_line =
      node_->wait_for_line("^VOK video player: Playing video laptop", 1s, false, restore_mark);
  ASSERT_TRUE(laptop_line);
  ASSERT_TRUE(node_->wait_for_line("^VOK video player: Playing", 10s, false, *laptop_line + 1))
      << "laptop did not finish playing";
  fs::remove(folder_ + "laptop.mp4");
  const std::size_t break_mark = node_->out().size();
  ASSERT_TRUE(wait_passes({"dog", "empty"}, 2, break_mark));
  expected.insert(folder_ + "laptop{.mp4/.jpg}");
  EXPECT_EQ(reported_paths(node_->err()), expected);

  vok_test::report_figure(
      "media faults: " + std::to_string(expected.size()) + " bad items expected, " +
      std::to_string(reported_paths(node_->err()).size()) + " error lines; unreadable file " +
      (can_unread ? std::string("tested") : std::string("not testable here")));
  ASSERT_FALSE(node_->wait_exit(0ms)) << "the node died";
  EXPECT_EQ(vok_test::stop_node(*node_, SIGINT, vok_test::stop_limit()), std::optional<int>(0));
}

}  // namespace

int main(int argc, char** argv) {
  return vok_test::run_ros_tests(argc, argv, "reliability_media_test", 1);
}
