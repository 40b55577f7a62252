// The node and its rosmaster. Started before the master, the node says once that it waits, starts
// normally when a master comes up, and stops cleanly while it waits. When the master is killed
// and started again under it, the node registers with the new one and its stream goes on; and a
// stop ends it within two seconds also while its master has gone silent. A stop while simulated
// time stands still ends it cleanly too.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <ros/ros.h>
#include <sys/socket.h>
#include <xmlrpcpp/XmlRpcClient.h>

#include <algorithm>

#include "reliability_support.h"
#include "sim_clock.h"

namespace {

using namespace std::chrono_literals;
using vok_test::ChildProcess;

/// A TCP port on which nothing listens right now.
int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

/// The port of the master that this test program's own ROS node talks to (the restart tests).
int g_port = 0;

std::string master_uri(int port) { return "http://localhost:" + std::to_string(port); }

/// Calls the master on `port`; the answer's value, or nothing when it gave none.
std::optional<XmlRpc::XmlRpcValue> call_master(int port, const std::string& method,
                                               XmlRpc::XmlRpcValue args) {
  XmlRpc::XmlRpcClient client("localhost", port, "/");
  XmlRpc::XmlRpcValue result;
  const bool ok = client.execute(method.c_str(), args, result) &&
                  result.getType() == XmlRpc::XmlRpcValue::TypeArray &&
                  static_cast<int>(result[0]) == 1;
  client.close();
  if (!ok) return std::nullopt;
  return result[2];
}

/// Starts a rosmaster on `port` and waits until it answers; sets /use_sim_time when `sim`.
std::unique_ptr<ChildProcess> start_master(int port, bool sim) {
  auto master = std::make_unique<ChildProcess>(
      "rosmaster", std::vector<std::string>{"--core", "-p", std::to_string(port)},
      std::vector<std::string>{"ROS_MASTER_URI=" + master_uri(port)});
  XmlRpc::XmlRpcValue args;
  args[0] = "/reliability_master_test";
  for (int i = 0; i < 200 && !call_master(port, "getPid", args); ++i)
    std::this_thread::sleep_for(50ms);
  if (sim) {
    args[1] = "/use_sim_time";
    args[2] = true;
    call_master(port, "setParam", args);
  }
  return master;
}

/// "topic kind" for every topic and service the master on `port` has `node` in, kind being
/// publisher, subscriber or service.
std::set<std::string> registrations(int port, const std::string& node) {
  XmlRpc::XmlRpcValue args;
  args[0] = "/reliability_master_test";
  std::set<std::string> found;
  const auto state = call_master(port, "getSystemState", args);
  if (!state) return found;
  const char* kinds[] = {"publisher", "subscriber", "service"};
  for (int k = 0; k < 3; ++k) {
    XmlRpc::XmlRpcValue entries = (*state)[k];
    for (int i = 0; i < entries.size(); ++i) {
      for (int n = 0; n < entries[i][1].size(); ++n) {
        if (static_cast<std::string>(entries[i][1][n]) == node)
          found.insert(static_cast<std::string>(entries[i][0]) + " " + kinds[k]);
      }
    }
  }
  return found;
}

/// The topics that the master on `port` knows a publisher of.
std::vector<std::string> published_topics(int port) {
  XmlRpc::XmlRpcValue args;
  args[0] = "/reliability_master_test";
  args[1] = "";
  std::vector<std::string> topics;
  const auto published = call_master(port, "getPublishedTopics", args);
  if (!published) return topics;
  for (int i = 0; i < published->size(); ++i)
    topics.push_back(static_cast<std::string>((*published)[i][0]));
  return topics;
}

std::size_t count_matching(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class LateMaster : public ::testing::Test {
 protected:
  void SetUp() override {
    media_ = std::make_unique<vok_test::MediaFolder>("rel_master");
    port_ = free_port();
    uri_ = "http://localhost:" + std::to_string(port_);
    node_ = std::make_unique<ChildProcess>(
        vok_test::node_binary(), std::vector<std::string>{"--video_folder", media_->path()},
        std::vector<std::string>{"ROS_MASTER_URI=" + uri_});
  }

  std::unique_ptr<vok_test::MediaFolder> media_;
  int port_ = 0;
  std::string uri_;
  std::unique_ptr<ChildProcess> node_;
};

TEST_F(LateMaster, NodeWaitsOnceThenStartsWhenTheMasterComesUp) {
  const std::string waiting = "Waiting for the ROS master at " + uri_;
  ASSERT_TRUE(node_->wait_for_line("^" + waiting + "$", 20s));
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(count_matching(node_->out(), waiting), 1u);
  EXPECT_EQ(count_matching(node_->out(), "VOK video player: Playing"), 0u);

  ChildProcess master("rosmaster", {"--core", "-p", std::to_string(port_)},
                      {"ROS_MASTER_URI=" + uri_});
  ASSERT_TRUE(node_->wait_for_line("^VOK video player: Playing empty\\.jpg$", 20s));
  const auto topics = published_topics(port_);
  EXPECT_NE(std::find(topics.begin(), topics.end(), "/camera/image"), topics.end());

  double seconds = 0;
  EXPECT_EQ(vok_test::stop_node(*node_, SIGINT, vok_test::stop_limit(), &seconds),
            std::optional<int>(0));
  vok_test::report_figure("late master: started after the master came up; stopped in " +
                          std::to_string(seconds) + " s");
  master.signal(SIGINT);
  master.wait_exit(5s);
}

TEST_F(LateMaster, StopWhileWaitingEndsTheNodeCleanly) {
  ASSERT_TRUE(node_->wait_for_line("^Waiting for the ROS master at ", 20s));
  EXPECT_EQ(vok_test::stop_node(*node_, SIGTERM, vok_test::stop_limit()), std::optional<int>(0));
  EXPECT_EQ(count_matching(node_->out(), "VOK video player:"), 0u);
}

/// A TCP port on 127.0.0.1 that takes no connection and answers none: its listener never accepts
/// and its backlog is full, so the kernel drops further connection attempts without a word, as
/// a host does that went off the network.
class SilentPort {
 public:
  explicit SilentPort(int port) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(port);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 0) != 0)
      throw std::runtime_error("cannot listen on port " + std::to_string(port));
    for (int i = 0; i < 3; ++i) fillers_.push_back(connect_now(port));
    std::this_thread::sleep_for(100ms);
  }
  ~SilentPort() {
    for (const int fd : fillers_) close(fd);
    close(listener_);
  }

  /// \brief True when a new connection attempt gets no answer within `wait`.
  static bool silent(int port, std::chrono::milliseconds wait) {
    const int fd = connect_now(port);
    pollfd poll_fd{fd, POLLOUT, 0};
    const bool answered = poll(&poll_fd, 1, static_cast<int>(wait.count())) != 0;
    close(fd);
    return !answered;
  }

 private:
  static sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }
  static int connect_now(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const sockaddr_in address = loopback(port);
    connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
  }

  int listener_ = -1;
  std::vector<int> fillers_;
};

/// The longest gap between frames that arrived from `from` on, in seconds, and when it ended.
std::pair<double, vok_test::Clock::time_point> longest_gap(
    const std::vector<vok_test::Arrival>& arrivals, vok_test::Clock::time_point from) {
  std::pair<double, vok_test::Clock::time_point> longest{0, from};
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    if (arrivals[i].at < from) continue;
    const double gap = std::chrono::duration<double>(arrivals[i].at - arrivals[i - 1].at).count();
    if (gap > longest.first) longest = {gap, arrivals[i].at};
  }
  return longest;
}

/// A stop's time limit: two seconds, three for a sanitizer build of the node.
std::chrono::milliseconds master_stop_limit() {
  return std::chrono::milliseconds(vok_test::under_sanitizer() ? 3000 : 2000);
}

/// The master is killed and started again on its port while the node plays, under wall time
/// and under simulated time, whose /clock source is restarted with the master (so it registers
/// with the new master before the node does).
class MasterRestart : public ::testing::TestWithParam<bool> {};

TEST_P(MasterRestart, NodeRegistersAgainAndItsStreamGoesOn) {
  using vok_test::Clock;
  const bool sim = GetParam();
  const std::string uri = master_uri(g_port);
  auto master = start_master(g_port, sim);
  ros::AsyncSpinner spinner(1);
  spinner.start();
  std::unique_ptr<vok_test::SimClock> clock;
  if (sim) clock = std::make_unique<vok_test::SimClock>(1.0);
  auto media = vok_test::mixed_media(sim ? "rel_restart_sim" : "rel_restart", {});
  ChildProcess node(vok_test::node_binary(), {"--video_folder", media->path(), "--test"},
                    {"ROS_MASTER_URI=" + uri});
  ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing", 30s));
  auto before = std::make_unique<vok_test::FrameRecorder>();
  ASSERT_TRUE(before->wait_count(15, 10s));

  const auto killed = Clock::now();
  master->signal(SIGKILL);
  master->wait_exit(5s);
  clock.reset();
  std::this_thread::sleep_for(1s);
  master = start_master(g_port, sim);
  const auto up = Clock::now();
  if (sim) clock = std::make_unique<vok_test::SimClock>(1.0);
  ASSERT_TRUE(node.wait_for_line("^Registered again with the ROS master at " + uri + "$", 3s));
  const double registered = std::chrono::duration<double>(Clock::now() - up).count();

  std::set<std::string> expected = {"/camera/image publisher",
                                    "/camera/image/compressed publisher",
                                    "/rosout publisher",
                                    "/amcl_pose subscriber",
                                    "/vok_cw_video/get_loggers service",
                                    "/vok_cw_video/set_logger_level service"};
  if (sim) expected.insert("/clock subscriber");
  EXPECT_EQ(registrations(g_port, "/vok_cw_video"), expected);
  XmlRpc::XmlRpcValue lookup;
  lookup[0] = "/reliability_master_test";
  lookup[1] = "/vok_cw_video";
  EXPECT_TRUE(call_master(g_port, "lookupNode", lookup));

  // The subscriber from before the restart: no pause under wall time; under simulated time none
  // after the new /clock publisher, registered before the node, reached it.
  std::this_thread::sleep_for(1s);
  const auto [gap, gap_end] = longest_gap(before->arrivals(), killed);
  if (sim) {
    EXPECT_LT(std::chrono::duration<double>(gap_end - up).count(), registered + 1.0);
  } else {
    EXPECT_LT(gap, 0.5);
  }
  EXPECT_GT(before->count(), 0u);
  before.reset();

  vok_test::FrameRecorder after;
  EXPECT_TRUE(after.wait_count(30, 4s)) << after.count() << " frames for a new subscriber";
  {
    vok_test::PoseSender poses;
    ASSERT_TRUE(poses.wait_for_subscriber(5s));
    poses.send(vok_test::room_centre("A"));
    EXPECT_TRUE(node.wait_for_line("^VOK video player: Robot in room A ", 5s));
  }

  double seconds = 0;
  EXPECT_EQ(vok_test::stop_node(node, SIGINT, master_stop_limit(), &seconds),
            std::optional<int>(0));
  std::ostringstream figures;
  figures.precision(3);
  figures << "master restart (" << (sim ? "simulated" : "wall") << " time): registered again "
          << registered << " s after the new master answered; longest gap of a subscriber from "
          << "before " << gap * 1000 << " ms; a new subscriber got " << after.count()
          << " frames; stopped in " << seconds << " s";
  vok_test::report_figure(figures.str());
  clock.reset();
  spinner.stop();
  master->signal(SIGINT);
  master->wait_exit(5s);
}

TEST(NodeletMasterRestart, ANodeletsTopicsAreRegisteredAgainAndAStopStillEndsItsProcess) {
  using vok_test::Clock;
  const std::string uri = master_uri(g_port);
  auto master = start_master(g_port, false);
  ros::AsyncSpinner spinner(1);
  spinner.start();
  auto media = vok_test::mixed_media("rel_restart_nodelet", {});
  // The nodelet in a process of its own, as `nodelet standalone` runs it: the manager's process
  // is the node the master knows.
  ChildProcess nodelet("rosrun",
                       {"nodelet", "nodelet", "standalone", "vok_video_player/player",
                        "__name:=vok_cw_video", "--video_folder", media->path(), "--test"},
                       {"ROS_MASTER_URI=" + uri});
  auto before = std::make_unique<vok_test::FrameRecorder>();
  ASSERT_TRUE(before->wait_count(15, 30s));
  before.reset();

  master->signal(SIGKILL);
  master->wait_exit(5s);
  std::this_thread::sleep_for(1s);
  master = start_master(g_port, false);
  const auto up = Clock::now();
  // Told by the master, not by the log: the manager's standard output is a pipe here, which
  // nodelet's programs leave fully buffered.
  const std::set<std::string> expected = {
      "/camera/image publisher", "/camera/image/compressed publisher", "/amcl_pose subscriber"};
  const auto all_registered = [&] {
    const auto now_registered = registrations(g_port, "/vok_cw_video");
    return std::all_of(expected.begin(), expected.end(),
                       [&](const std::string& e) { return now_registered.count(e) > 0; });
  };
  while (!all_registered() && Clock::now() - up < 3s) std::this_thread::sleep_for(20ms);
  const double registered = std::chrono::duration<double>(Clock::now() - up).count();
  ASSERT_TRUE(all_registered()) << "not registered again within 3 s";
  vok_test::FrameRecorder after;
  EXPECT_TRUE(after.wait_count(30, 4s)) << after.count() << " frames for a new subscriber";

  double seconds = 0;
  EXPECT_EQ(vok_test::stop_node(nodelet, SIGINT, master_stop_limit(), &seconds),
            std::optional<int>(0));
  std::ostringstream figures;
  figures.precision(3);
  figures << "master restart, nodelet standalone: registered again " << registered
          << " s after the new master answered; a new subscriber got " << after.count()
          << " frames; stopped in " << seconds << " s";
  vok_test::report_figure(figures.str());
  spinner.stop();
  master->signal(SIGINT);
  master->wait_exit(5s);
}

INSTANTIATE_TEST_SUITE_P(Clock, MasterRestart, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "SimulatedTime" : "WallTime";
                         });

/// A stop while simulated time stands still (its /clock source paused, or not started yet): the
/// node waits on the ROS clock for its next frame, and must end all the same as a clean stop does,
/// its registrations withdrawn from the master; the stop guard's forced exit would leave them.
TEST(PausedClock, StopEndsTheNodeAndWithdrawsItsRegistrations) {
  const int port = free_port();
  auto master = start_master(port, true);
  vok_test::MediaFolder media("rel_paused_clock");
  ChildProcess node(vok_test::node_binary(), {"--video_folder", media.path()},
                    {"ROS_MASTER_URI=" + master_uri(port)});
  ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing empty\\.jpg$", 30s));
  EXPECT_FALSE(registrations(port, "/vok_cw_video").empty());
  std::this_thread::sleep_for(500ms);

  double seconds = 0;
  EXPECT_EQ(vok_test::stop_node(node, SIGINT, vok_test::stop_limit(), &seconds),
            std::optional<int>(0));
  EXPECT_EQ(registrations(port, "/vok_cw_video"), std::set<std::string>{});
  vok_test::report_figure("paused clock: SIGINT stopped the node in " + std::to_string(seconds) +
                          " s");
  master->signal(SIGINT);
  master->wait_exit(5s);
}

/// A stop after the master went silent under the running node: every call to it, roscpp's
/// unregistrations too, would wait minutes for its connection to fail.
TEST(SilentMaster, StopEndsTheNodeWithinTwoSeconds) {
  const int port = free_port();
  const std::string uri = "http://127.0.0.1:" + std::to_string(port);
  auto media = vok_test::mixed_media("rel_silent", {});
  ChildProcess master("rosmaster", {"--core", "-p", std::to_string(port)},
                      {"ROS_MASTER_URI=" + uri});
  ChildProcess node(vok_test::node_binary(), {"--video_folder", media->path()},
                    {"ROS_MASTER_URI=" + uri});
  ASSERT_TRUE(node.wait_for_line("^VOK video player: Playing", 30s));
  master.signal(SIGKILL);
  master.wait_exit(5s);
  const SilentPort silent(port);
  ASSERT_TRUE(SilentPort::silent(port, 500ms)) << "the kernel answered past a full backlog";
  // Long enough for the node to be caught in a call to the master.
  std::this_thread::sleep_for(1s);

  double seconds = 0;
  EXPECT_EQ(vok_test::stop_node(node, SIGTERM, master_stop_limit(), &seconds),
            std::optional<int>(0));
  vok_test::report_figure("silent master: SIGTERM stopped the node in " + std::to_string(seconds) +
                          " s");
}

TEST(SilentMaster, StartUpSaysAtOnceThatItWaitsAndAStopEndsIt) {
  const int port = free_port();
  const SilentPort silent(port);
  ASSERT_TRUE(SilentPort::silent(port, 500ms)) << "the kernel answered past a full backlog";
  const std::string uri = "http://127.0.0.1:" + std::to_string(port);
  vok_test::MediaFolder media("rel_silent_start");
  const auto start = std::chrono::steady_clock::now();
  ChildProcess node(vok_test::node_binary(), {"--video_folder", media.path()},
                    {"ROS_MASTER_URI=" + uri});
  // TCP gives up on the first call only after about two minutes. A sanitizer build takes a few
  // seconds more to start on a busy machine.
  const auto limit = vok_test::under_sanitizer() ? 10s : 5s;
  ASSERT_TRUE(node.wait_for_line(
      "^Waiting for the ROS master at http://127\\.0\\.0\\.1:" + std::to_string(port) + "$",
      limit));
  const double said =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double seconds = 0;
  EXPECT_EQ(vok_test::stop_node(node, SIGINT, master_stop_limit(), &seconds),
            std::optional<int>(0));
  vok_test::report_figure("silent master at start-up: the wait said after " + std::to_string(said) +
                          " s; SIGINT stopped the node in " + std::to_string(seconds) + " s");
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // This program's own node talks to masters that the restart tests start on one port.
  g_port = free_port();
  ros::init(ros::M_string{{"__master", master_uri(g_port)}}, "reliability_master_test",
            ros::init_options::NoSigintHandler);
  const int result = RUN_ALL_TESTS();
  ros::shutdown();
  return result;
}
