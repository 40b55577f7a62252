// The node started before its rosmaster: it says once that it waits, starts normally when a
// master comes up, and stops cleanly while it waits.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <ros/ros.h>
#include <sys/socket.h>
#include <xmlrpcpp/XmlRpcClient.h>

#include "reliability_support.h"

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

/// The topics that the master on `port` knows a publisher of.
std::vector<std::string> published_topics(int port) {
  XmlRpc::XmlRpcClient client("localhost", port, "/");
  XmlRpc::XmlRpcValue args, result;
  args[0] = "/reliability_master_test";
  args[1] = "";
  std::vector<std::string> topics;
  if (!client.execute("getPublishedTopics", args, result) || static_cast<int>(result[0]) != 1)
    return topics;
  for (int i = 0; i < result[2].size(); ++i)
    topics.push_back(static_cast<std::string>(result[2][i][0]));
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

  ChildProcess master("/usr/bin/rosmaster", {"--core", "-p", std::to_string(port_)},
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

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
